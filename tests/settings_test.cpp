// The "Settings" group through the real window and the simulated instrument.
#include "WindowTest.h"

#include <QCheckBox>
#include <QLineEdit>

#include <array>
#include <vector>

namespace sim = trelvo::sim;

namespace {

constexpr int SettingsAddress = 0x0002;

class SettingsTest : public WindowTest {
protected:
    void SetInstrument(std::array<std::uint8_t, 4> identity, std::array<std::uint8_t, 4> settings)
    {
        Edit([&](sim::TImage& image) {
            image.Identity = identity;
            for (int i = 0; i < 4; ++i)
                image.At(sim::TBlock::Eeprom, SettingsAddress + i) = settings[i];
        });
    }

    std::array<std::uint8_t, 4> InstrumentSettings() const
    {
        const sim::TImage image = Sim.Image();
        std::array<std::uint8_t, 4> settings{};
        for (int i = 0; i < 4; ++i)
            settings[i] = image.At(sim::TBlock::Eeprom, SettingsAddress + i);
        return settings;
    }

    // Connects and reads, so that "Write" is enabled and the controls hold what the instrument holds.
    void ConnectAndRead()
    {
        Connect();
        Click(W->BSettRead);
        ASSERT_TRUE(W->BSettWrite->isEnabled()) << LastLog().toStdString();
    }
};

TEST_F(SettingsTest, ReadShowsEachSettingAndTimeZeroAsUncheckedBox)
{
    // QZ5520, year 4, month 12, serial 300.
    SetInstrument({0x20, 0x3B, 0x01, 0x2C}, {5, 255, 0, 30});
    Connect();
    EXPECT_FALSE(W->BSettWrite->isEnabled());
    Click(W->BSettRead);

    EXPECT_EQ(W->ETrgCount->text(), "5");
    EXPECT_EQ(W->ETrgMask->text(), "255");
    EXPECT_FALSE(W->CBBeep->isChecked());
    EXPECT_EQ(W->ETmBeep->text(), "");
    EXPECT_FALSE(W->ETmBeep->isEnabled());
    EXPECT_TRUE(W->CBShutDown->isChecked());
    EXPECT_EQ(W->ETmShutDown->text(), "30");
    EXPECT_TRUE(W->ETmShutDown->isEnabled());
    EXPECT_TRUE(W->BSettWrite->isEnabled());
    EXPECT_EQ(W->SettingsCopy[0], 255);  // mask, count, beep, shutdown
    EXPECT_EQ(W->SettingsCopy[1], 5);
    EXPECT_EQ(W->SettingsCopy[2], 0);
    EXPECT_EQ(W->SettingsCopy[3], 30);

    // Each box turns over, and its edit follows it.
    SetInstrument({0x20, 0x3B, 0x01, 0x2C}, {0, 15, 5, 0});
    Click(W->BSettRead);
    EXPECT_EQ(W->ETrgCount->text(), "0");
    EXPECT_EQ(W->ETrgMask->text(), "15");
    EXPECT_TRUE(W->CBBeep->isChecked());
    EXPECT_EQ(W->ETmBeep->text(), "5");
    EXPECT_TRUE(W->ETmBeep->isEnabled());
    EXPECT_FALSE(W->CBShutDown->isChecked());
    EXPECT_EQ(W->ETmShutDown->text(), "");
    EXPECT_FALSE(W->ETmShutDown->isEnabled());
}

TEST_F(SettingsTest, InstrumentAnsweringGetIdButNotGetDataShowsTheIdentityOnly)
{
    SetInstrument({0x20, 0x3B, 0x01, 0x2C}, {5, 15, 3, 30});
    ConnectAndRead();
    W->ETrgCount->setText(QStringLiteral("77"));
    const int before = LogLines().size();

    // Year 10, month 2, serial 7 now; the second exchange, GetData, goes unanswered.
    SetInstrument({0x20, 10 * 12 + 1, 0x00, 0x07}, {9, 9, 9, 9});
    Sim.SetFault({sim::TFault::Silent, sim::TFaultWhen::EveryNth, 2});
    Click(W->BSettRead);

    EXPECT_EQ(LogLines().size(), before + 1);
    EXPECT_EQ(LastLog(), "- GetData failed");
    EXPECT_EQ(W->EYear->text(), "10");
    EXPECT_EQ(W->EMonth->text(), "02");
    EXPECT_EQ(W->ESerial->text(), "0007");
    EXPECT_EQ(W->ETrgCount->text(), "77");
    EXPECT_EQ(W->ETmBeep->text(), "3");
    EXPECT_EQ(W->SettingsCopy[1], 5);
    EXPECT_TRUE(W->BSettWrite->isEnabled());
}

TEST_F(SettingsTest, SilentInstrumentFailsGetIdAndChangesNothing)
{
    SetInstrument({0x20, 0x3B, 0x01, 0x2C}, {5, 15, 3, 30});
    Connect();
    SetInstrument({0x30, 0x00, 0x00, 0x01}, {9, 9, 9, 9});
    Sim.SetFault({sim::TFault::Silent, sim::TFaultWhen::Always});
    Click(W->BSettRead);
    EXPECT_EQ(LastLog(), "- GetID failed");
    EXPECT_EQ(W->ESerial->text(), "0300");
    EXPECT_EQ(W->ETrgCount->text(), "");
    EXPECT_FALSE(W->BSettWrite->isEnabled());
}

TEST_F(SettingsTest, WriteSendsBothRecordsIdentityFirst)
{
    SetInstrument({0x08, 0x00, 0x00, 0x00}, {0, 0, 0, 0});
    ConnectAndRead();
    Pick(W->CBPart, 4);  // QZ5520
    Type(W->EYear, QStringLiteral("4"));
    Type(W->EMonth, QStringLiteral("12"));
    Type(W->ESerial, QStringLiteral("300"));
    Type(W->ETrgCount, QStringLiteral("$10"));
    Type(W->ETrgMask, QStringLiteral(" 12"));
    W->CBBeep->setChecked(true);
    Type(W->ETmBeep, QStringLiteral("0x1E"));
    W->CBShutDown->setChecked(false);
    W->ETmShutDown->setText(QStringLiteral("abc"));
    const int lines = LogLines().size();
    Sim.ClearTrace();

    const TModalSeen seen = WithModal([&] { Click(W->BSettWrite); });

    EXPECT_FALSE(seen.Shown) << seen.Text.toStdString();
    const std::vector<std::uint8_t> expected = {
        0x81, 0x20, 0x3B, 0x01, 0x2C,              // PutID and the identity record
        0xC2, 0x00, 0x02, 0x10, 0x0C, 0x1E, 0x00,  // PutData at 0x0002 and the settings record
    };
    EXPECT_EQ(Sim.HostBytes(), expected);
    EXPECT_EQ(Sim.Image().Identity, (std::array<std::uint8_t, 4>{0x20, 0x3B, 0x01, 0x2C}));
    EXPECT_EQ(InstrumentSettings(), (std::array<std::uint8_t, 4>{0x10, 0x0C, 0x1E, 0x00}));
    EXPECT_EQ(LogLines().size(), lines);
    // The identity as written, with the leading zeros; the settings controls as they were.
    EXPECT_EQ(W->EYear->text(), "04");
    EXPECT_EQ(W->ESerial->text(), "0300");
    EXPECT_EQ(W->ETrgCount->text(), "$10");
    EXPECT_EQ(W->ETmShutDown->text(), "abc");
}

TEST_F(SettingsTest, WriteAcceptsTheLargestValuesThatFit)
{
    SetInstrument({0x20, 0x00, 0x00, 0x00}, {0, 0, 0, 0});
    ConnectAndRead();
    Type(W->EYear, QStringLiteral("21"));
    Type(W->EMonth, QStringLiteral("4"));
    Type(W->ESerial, QStringLiteral("65535"));
    Type(W->ETrgCount, QStringLiteral("255"));
    Type(W->ETrgMask, QStringLiteral("$FF"));
    W->CBShutDown->setChecked(true);
    Type(W->ETmShutDown, QStringLiteral("0xff"));
    Click(W->BSettWrite);
    EXPECT_EQ(Sim.Image().Identity, (std::array<std::uint8_t, 4>{0x20, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(InstrumentSettings(), (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0x00, 0xFF}));
    EXPECT_EQ(W->ESerial->text(), "65535");
}

// A part code that no item stands for is written back as it was read, not as 0xF8.
TEST_F(SettingsTest, WriteWithNoPartChosenKeepsThePartCodeRead)
{
    SetInstrument({0x41, 0x3B, 0x01, 0x2C}, {1, 2, 3, 4});
    ConnectAndRead();
    ASSERT_EQ(W->CBPart->currentIndex(), -1);
    Type(W->ESerial, QStringLiteral("301"));
    Click(W->BSettWrite);
    EXPECT_EQ(Sim.Image().Identity, (std::array<std::uint8_t, 4>{0x41, 0x3B, 0x01, 0x2D}));
    EXPECT_EQ(W->CBPart->currentIndex(), -1);
}

struct TRefusal {
    QLineEdit* Ui::TFCore::*Field;
    const char* Text;
    const char* Message;
    QLineEdit* Ui::TFCore::*OtherField = nullptr;  // a second field the case needs
    const char* OtherText = nullptr;
};

// Every bad field is found before the first byte goes out.
TEST_F(SettingsTest, WriteRefusesBadFieldsAndSendsNothing)
{
    using Ui::TFCore;
    const TRefusal refusals[] = {
        {&TFCore::EYear, "abc", "'abc' is not a valid integer value."},
        {&TFCore::EYear, "22", "'22' is out of range for the production year (0 to 21)."},
        {&TFCore::EYear, "-1", "'-1' is out of range for the production year (0 to 21)."},
        {&TFCore::EYear, "$FFFFFFFF", "'$FFFFFFFF' is out of range for the production year (0 to 21)."},
        {&TFCore::EMonth, "0", "'0' is out of range for the production month (1 to 12)."},
        {&TFCore::EMonth, "13", "'13' is out of range for the production month (1 to 12)."},
        {&TFCore::EMonth, "5",
         "Year '21' with month '5' is beyond the latest production date the instrument can hold (year 21, month 4).",
         &TFCore::EYear, "21"},
        {&TFCore::ESerial, "65536", "'65536' is out of range for the serial number (0 to 65535)."},
        {&TFCore::ESerial, "12 ", "'12 ' is not a valid integer value."},
        {&TFCore::ETrgCount, "", "'' is not a valid integer value."},
        {&TFCore::ETrgCount, "256", "'256' is out of range for the trigger count (0 to 255)."},
        {&TFCore::ETrgCount, "300", "'300' is out of range for the trigger count (0 to 255)."},
        {&TFCore::ETrgMask, "-1", "'-1' is out of range for the trigger mask (0 to 255)."},
        {&TFCore::ETmBeep, "$100", "'$100' is out of range for the beep time (0 to 255)."},
        {&TFCore::ETmBeep, "abc", "'abc' is not a valid integer value."},
        {&TFCore::ETmShutDown, "1000", "'1000' is out of range for the shutdown time (0 to 255)."},
    };
    SetInstrument({0x20, 0x3B, 0x01, 0x2C}, {5, 15, 3, 30});
    ConnectAndRead();
    const sim::TImage image = Sim.Image();
    const int exchanges = Sim.Exchanges();
    const QStringList log = LogLines();

    for (const TRefusal& refusal : refusals) {
        SCOPED_TRACE(refusal.Message);
        Click(W->BSettRead);  // every field good again, both boxes checked
        const int before = Sim.Exchanges();
        if (refusal.OtherField)
            Type(W->*refusal.OtherField, QString::fromLatin1(refusal.OtherText));
        Type(W->*refusal.Field, QString::fromLatin1(refusal.Text));

        const TModalSeen seen = WithModal([&] { Click(W->BSettWrite); });

        EXPECT_EQ(seen.ClassName, "QMessageBox");
        EXPECT_EQ(seen.Text, QString::fromLatin1(refusal.Message));
        EXPECT_EQ(Sim.Exchanges(), before);
    }
    EXPECT_EQ(Sim.Image(), image);
    EXPECT_EQ(Sim.Exchanges(), exchanges + static_cast<int>(std::size(refusals)) * 2);
    EXPECT_EQ(LogLines(), log);
}

TEST_F(SettingsTest, WriteReportsTheTransactionThatFailed)
{
    SetInstrument({0x20, 0x3B, 0x01, 0x2C}, {5, 15, 3, 30});
    ConnectAndRead();
    Type(W->ESerial, QStringLiteral("301"));
    Type(W->ETrgCount, QStringLiteral("6"));

    Sim.SetFault({sim::TFault::Silent, sim::TFaultWhen::Once});
    Click(W->BSettWrite);
    EXPECT_EQ(LastLog(), "- PutID failed");
    EXPECT_EQ(Sim.Image().Identity[3], 0x2C);
    EXPECT_EQ(InstrumentSettings()[0], 5);

    // The identity is written and shown again; the settings are not.
    Sim.SetFault({sim::TFault::Silent, sim::TFaultWhen::EveryNth, 2});
    Type(W->ESerial, QStringLiteral("302"));
    Click(W->BSettWrite);
    EXPECT_EQ(LastLog(), "- PutData failed");
    EXPECT_EQ(Sim.Image().Identity[3], 0x2E);
    EXPECT_EQ(W->ESerial->text(), "0302");
    EXPECT_EQ(InstrumentSettings()[0], 5);
}

}  // namespace
