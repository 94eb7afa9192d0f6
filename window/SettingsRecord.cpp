#include "SettingsRecord.h"

#include "Formats.h"

#include <stdexcept>

namespace {

constexpr int MonthsPerYear = 12;
constexpr int LatestYear = 0xFF / MonthsPerYear;                         // 21
constexpr int LatestMonthOfLatestYear = 0xFF % MonthsPerYear + 1;        // 4

int FieldValue(const QString& text, const QString& field, int minimum, int maximum)
{
    const qint32 value = StrToInt(text);
    if (value < minimum || value > maximum)
        throw TConversionError(
            QStringLiteral("'%1' is out of range for the %2 (%3 to %4)").arg(text, field).arg(minimum).arg(maximum));
    return value;
}

std::uint8_t ByteValue(const QString& text, const QString& field)
{
    return static_cast<std::uint8_t>(FieldValue(text, field, 0, 0xFF));
}

}  // namespace

std::uint8_t PartCodeToWrite(int partIndex, int partCode)
{
    if (partIndex >= 0)
        return static_cast<std::uint8_t>(partIndex * 8);
    if (partCode < 0 || partCode > 0xFF)
        throw std::runtime_error("No part type is chosen: choose one, or read the identity first");
    return static_cast<std::uint8_t>(partCode);
}

TRecord IdentityRecord(std::uint8_t partCode, const QString& year, const QString& month, const QString& serial)
{
    const int y = FieldValue(year, QStringLiteral("production year"), 0, LatestYear);
    const int m = FieldValue(month, QStringLiteral("production month"), 1, MonthsPerYear);
    if (y == LatestYear && m > LatestMonthOfLatestYear)
        throw TConversionError(QStringLiteral("Year '%1' with month '%2' is beyond the latest production date "
                                              "the instrument can hold (year %3, month %4)")
                                   .arg(year, month)
                                   .arg(LatestYear)
                                   .arg(LatestMonthOfLatestYear));
    const int s = FieldValue(serial, QStringLiteral("serial number"), 0, 0xFFFF);
    return {partCode, static_cast<std::uint8_t>(y * MonthsPerYear + m - 1), static_cast<std::uint8_t>(s >> 8),
            static_cast<std::uint8_t>(s & 0xFF)};
}

TRecord SettingsRecord(const TSettingsTexts& texts)
{
    TRecord record{};
    record[SettingsRecordByte::TriggerCount] = ByteValue(texts.TriggerCount, QStringLiteral("trigger count"));
    record[SettingsRecordByte::TriggerMask] = ByteValue(texts.TriggerMask, QStringLiteral("trigger mask"));
    if (texts.BeepTime)
        record[SettingsRecordByte::BeepTime] = ByteValue(*texts.BeepTime, QStringLiteral("beep time"));
    if (texts.ShutDownTime)
        record[SettingsRecordByte::ShutDownTime] = ByteValue(*texts.ShutDownTime, QStringLiteral("shutdown time"));
    return record;
}
