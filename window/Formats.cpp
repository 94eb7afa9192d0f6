#include "Formats.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::optional<QChar> decimalSeparatorOverride;

// A double's exact decimal expansion never has more significant digits than this.
constexpr int kExactDigits = 767;

// Only ASCII digits count, as in the texts that the window itself writes.
bool IsDecimalDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The digit's value in the base (10 or 16), or -1 when it is not a digit of that base.
int DigitValue(QChar c, int base)
{
    if (IsDecimalDigit(c))
        return c.unicode() - u'0';
    if (base == 16 && c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (base == 16 && c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

[[noreturn]] void ThrowNotInteger(const QString& text)
{
    throw TConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

[[noreturn]] void ThrowNotFloat(const QString& text)
{
    throw TConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

// The exact decimal expansion of a finite, positive value: its significant digits without trailing zeros,
// and E such that value = 0.d1d2... x 10^E.
struct TDecimalDigits {
    std::string digits;
    int exponent = 0;
};

TDecimalDigits ExactDigits(double value)
{
    // Scientific notation with enough places is exact, so the rounding below is the only one.
    char buffer[kExactDigits + 16];
    const auto written = std::to_chars(std::begin(buffer), std::end(buffer), value,
                                       std::chars_format::scientific, kExactDigits - 1);
    const std::string_view text(buffer, written.ptr - buffer);
    const auto e = text.find('e');

    TDecimalDigits result;
    result.digits.reserve(kExactDigits);
    result.digits += text[0];
    result.digits += text.substr(2, e - 2);
    int power = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), power);
    result.exponent = power + 1;
    result.digits.erase(result.digits.find_last_not_of('0') + 1);
    return result;
}

// Rounds half up to at most `precision` significant digits and drops the trailing zeros.
void RoundDigits(TDecimalDigits& number, int precision)
{
    std::string& digits = number.digits;
    if (static_cast<int>(digits.size()) <= precision)
        return;
    const bool roundUp = digits[precision] >= '5';
    digits.resize(precision);
    if (roundUp) {
        int i = precision - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {
            digits.insert(digits.begin(), '1');
            ++number.exponent;
        }
    }
    digits.erase(digits.find_last_not_of('0') + 1);
}

} // namespace

TConversionError::TConversionError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

QString TConversionError::Message() const
{
    return QString::fromUtf8(what());
}

qint32 StrToInt(const QString& text)
{
    const qsizetype length = text.size();
    qsizetype pos = 0;
    while (pos < length && text[pos] == u' ')
        ++pos;

    bool negative = false;
    if (pos < length && (text[pos] == u'-' || text[pos] == u'+')) {
        negative = text[pos] == u'-';
        ++pos;
    }

    bool hex = false;
    if (pos < length && text[pos] == u'$') {
        hex = true;
        pos += 1;
    } else if (pos + 1 < length && text[pos] == u'0' && (text[pos + 1] == u'x' || text[pos + 1] == u'X')) {
        hex = true;
        pos += 2;
    }

    if (pos == length)
        ThrowNotInteger(text);

    const int base = hex ? 16 : 10;
    const quint64 limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    quint64 magnitude = 0;
    for (; pos < length; ++pos) {
        const int digit = DigitValue(text[pos], base);
        if (digit < 0)
            ThrowNotInteger(text);
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            ThrowNotInteger(text);
    }

    const quint32 bits = static_cast<quint32>(magnitude);
    return static_cast<qint32>(negative ? 0u - bits : bits);
}

double StrToFloat(const QString& text)
{
    const QChar separator = DecimalSeparator();
    qsizetype pos = 0;
    qsizetype end = text.size();
    while (pos < end && text[pos] == u' ')
        ++pos;
    while (end > pos && text[end - 1] == u' ')
        --end;

    // Rebuilt in the C locale's spelling, which is what from_chars reads.
    std::string plain;
    plain.reserve(end - pos);
    if (pos < end && (text[pos] == u'-' || text[pos] == u'+')) {
        if (text[pos] == u'-')
            plain += '-';
        ++pos;
    }

    // Only the characters are checked here; from_chars rejects what is out of place (".", "1e", "e5").
    while (pos < end && IsDecimalDigit(text[pos]))
        plain += static_cast<char>(text[pos++].unicode());
    if (pos < end && text[pos] == separator) {
        plain += '.';
        ++pos;
        while (pos < end && IsDecimalDigit(text[pos]))
            plain += static_cast<char>(text[pos++].unicode());
    }
    if (pos < end && (text[pos] == u'E' || text[pos] == u'e')) {
        plain += 'e';
        ++pos;
        if (pos < end && (text[pos] == u'-' || text[pos] == u'+'))
            plain += static_cast<char>(text[pos++].unicode());
        while (pos < end && IsDecimalDigit(text[pos]))
            plain += static_cast<char>(text[pos++].unicode());
    }
    if (pos != end)
        ThrowNotFloat(text);

    double value = 0.0;
    const auto [parsedEnd, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc{} || parsedEnd != plain.data() + plain.size())
        ThrowNotFloat(text);
    return value;
}

QString FloatToStrF(double value, int precision)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0.0)
        return QStringLiteral("0");

    precision = std::clamp(precision, 1, kExactDigits);
    TDecimalDigits number = ExactDigits(std::fabs(value));
    RoundDigits(number, precision);

    const QString digits = QString::fromLatin1(number.digits.data(), static_cast<qsizetype>(number.digits.size()));
    const int count = static_cast<int>(digits.size());
    const int exponent = number.exponent;
    const QChar separator = DecimalSeparator();

    QString result;
    if (value < 0)
        result += u'-';
    if (exponent >= -3 && exponent <= precision) {
        if (exponent >= 1) {
            if (count <= exponent) {
                result += digits;
                result += QString(exponent - count, u'0');
            } else {
                result += digits.left(exponent);
                result += separator;
                result += digits.mid(exponent);
            }
        } else {
            result += u'0';
            result += separator;
            result += QString(-exponent, u'0');
            result += digits;
        }
    } else {
        result += digits[0];
        if (count > 1) {
            result += separator;
            result += digits.mid(1);
        }
        result += u'E';
        result += QString::number(exponent - 1);
    }
    return result;
}

QString FloatToStr(double value)
{
    return FloatToStrF(value, 15);
}

QString IntToStr(qint64 value)
{
    return QString::number(value);
}

QString IntToHex(quint32 value, int digits)
{
    return QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

QString ZeroPad(qint32 value, int width)
{
    // Zeros go between the sign and the digits, so that the text still reads back as the same number.
    const QString magnitude = QString::number(std::abs(static_cast<qint64>(value)));
    if (value < 0)
        return QLatin1Char('-') + magnitude.rightJustified(width - 1, u'0');
    return magnitude.rightJustified(width, u'0');
}

QChar DecimalSeparator()
{
    if (decimalSeparatorOverride)
        return *decimalSeparatorOverride;
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point[0];
}

void SetDecimalSeparatorForTesting(std::optional<QChar> separator)
{
    decimalSeparatorOverride = separator;
}
