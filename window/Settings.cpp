#include "Core.h"
#include "SettingsRecord.h"

#include <algorithm>

namespace {

// A time of 0 means the function is off: the box unchecked and the edit empty.
void ShowTime(std::uint8_t time, QLineEdit* edit, QCheckBox* box)
{
    edit->setText(time != 0 ? IntToStr(time) : QString());
    box->setChecked(time != 0);
}

// An unchecked box writes 0, whatever its edit holds.
std::optional<QString> TimeText(const QCheckBox* box, const QLineEdit* edit)
{
    if (!box->isChecked())
        return std::nullopt;
    return edit->text();
}

}  // namespace

void TFCore::BSettReadClick()
{
    GetID();
    if (!LinkOk) {
        LogMessage(QStringLiteral("- GetID failed"));
        return;
    }
    ShowIdentity();
    GetData();
    if (!LinkOk) {
        LogMessage(QStringLiteral("- GetData failed"));
        return;
    }
    SettingsCopy[SettingsCopyIndex::TriggerCount] = ExchangeBuffer[SettingsRecordByte::TriggerCount];
    SettingsCopy[SettingsCopyIndex::TriggerMask] = ExchangeBuffer[SettingsRecordByte::TriggerMask];
    SettingsCopy[SettingsCopyIndex::BeepTime] = ExchangeBuffer[SettingsRecordByte::BeepTime];
    SettingsCopy[SettingsCopyIndex::ShutDownTime] = ExchangeBuffer[SettingsRecordByte::ShutDownTime];
    BSettWrite->setEnabled(true);
    ShowSettings();
}

void TFCore::BSettWriteClick()
{
    // Both records are complete before the first byte goes out: a bad field sends nothing at all.
    const TRecord identity = IdentityRecord(PartCodeToWrite(CBPart->currentIndex(), PartCode), EYear->text(),
                                            EMonth->text(), ESerial->text());
    const TRecord settings = SettingsRecord({ETrgCount->text(), ETrgMask->text(), TimeText(CBBeep, ETmBeep),
                                             TimeText(CBShutDown, ETmShutDown)});

    std::copy(identity.begin(), identity.end(), ExchangeBuffer);
    PutID();
    if (!LinkOk) {
        LogMessage(QStringLiteral("- PutID failed"));
        return;
    }
    ShowIdentity();

    std::copy(settings.begin(), settings.end(), ExchangeBuffer);
    PutData();
    if (!LinkOk)
        LogMessage(QStringLiteral("- PutData failed"));
}

void TFCore::CBBeepClick()
{
    ETmBeep->setEnabled(CBBeep->isChecked());
}

void TFCore::CBShutDownClick()
{
    ETmShutDown->setEnabled(CBShutDown->isChecked());
}

void TFCore::ShowSettings()
{
    ShowTime(SettingsCopy[SettingsCopyIndex::BeepTime], ETmBeep, CBBeep);
    ShowTime(SettingsCopy[SettingsCopyIndex::ShutDownTime], ETmShutDown, CBShutDown);
    ETrgCount->setText(IntToStr(SettingsCopy[SettingsCopyIndex::TriggerCount]));
    ETrgMask->setText(IntToStr(SettingsCopy[SettingsCopyIndex::TriggerMask]));
}
