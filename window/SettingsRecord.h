// The identity and settings records that "Write" sends, built from the texts of the "Settings" group.
// Every field is converted and checked before the first byte goes out, so a bad text never leaves the
// instrument half-written, and a value that does not fit its byte or word is refused rather than wrapped.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

using TRecord = std::array<std::uint8_t, 4>;

// Where each setting lies in the settings record, in line order.
namespace SettingsRecordByte {
constexpr int TriggerCount = 0;
constexpr int TriggerMask = 1;
constexpr int BeepTime = 2;
constexpr int ShutDownTime = 3;
}  // namespace SettingsRecordByte

// Where each setting lies in TFCore::SettingsCopy.
namespace SettingsCopyIndex {
constexpr int TriggerMask = 0;
constexpr int TriggerCount = 1;
constexpr int BeepTime = 2;
constexpr int ShutDownTime = 3;
}  // namespace SettingsCopyIndex

// The part code byte to write: the chosen part's index times 8. With no part chosen (a code of 56 or more
// was read, which no item stands for) it is `partCode` as last decoded from the instrument's identity,
// so that writing keeps it. Throws when no part is chosen and `partCode` is no byte the instrument sent.
std::uint8_t PartCodeToWrite(int partIndex, int partCode);

// Converts the texts of the year, month and serial edits into the identity record. Throws TConversionError,
// naming the text, when one is not an integer or the value does not fit: month 1 to 12, a year and month
// whose month count (year x 12 + month - 1) fits its byte, serial 0 to 65535.
TRecord IdentityRecord(std::uint8_t partCode, const QString& year, const QString& month, const QString& serial);

// The texts of the settings edits; a time whose box is unchecked is absent and is written as 0.
struct TSettingsTexts {
    QString TriggerCount;
    QString TriggerMask;
    std::optional<QString> BeepTime;
    std::optional<QString> ShutDownTime;
};

// Converts the settings texts into the settings record. Throws TConversionError, naming the text, when one
// is not an integer or lies outside 0 to 255.
TRecord SettingsRecord(const TSettingsTexts& texts);
