// Conversions between numbers and the texts of the window's edits and grid cells.
#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <stdexcept>

// Raised when a text does not convert to a number; what() is the message the error box shows (UTF-8).
class TConversionError : public std::runtime_error {
public:
    explicit TConversionError(const QString& message);
    QString Message() const;
};

// Optional leading spaces, an optional sign, then decimal digits, or hexadecimal digits after "$", "0x" or "0X".
// Decimal values must fit the signed 32-bit range; hexadecimal values up to FFFFFFFF are taken as the 32-bit
// pattern (FFFFFFFF is -1) and a minus sign negates that pattern. Throws TConversionError otherwise.
qint32 StrToInt(const QString& text);

// Optional spaces around an optional sign, digits with DecimalSeparator() and an optional exponent (E or e,
// optional sign, digits). Throws TConversionError for anything else, and for values beyond the range of double.
double StrToFloat(const QString& text);

// The general number format: `precision` significant digits (clamped to 1..767), plain or scientific notation,
// DecimalSeparator() as separator. Infinities and NaN show as "INF", "-INF" and "NAN".
QString FloatToStrF(double value, int precision);

// The default float-to-text conversion: the general number format with 15 significant digits.
QString FloatToStr(double value);

QString IntToStr(qint64 value);

// Upper-case hexadecimal, with leading zeros up to at least `digits` digits.
QString IntToHex(quint32 value, int digits);

// Decimal text with leading zeros up to `width` characters, never cut. A minus sign stays in front of the zeros.
QString ZeroPad(qint32 value, int width);

// The decimal separator of the user's regional settings, unless a test has fixed one.
QChar DecimalSeparator();

// Fixes the separator that DecimalSeparator() returns, so that tests do not depend on the machine's locale;
// std::nullopt returns to the regional settings.
void SetDecimalSeparatorForTesting(std::optional<QChar> separator);
