// The window itself: its start state, the event log, opening and closing a session, the identity and
// the part profiles, and the error box. Driven through the real widgets against the simulator.
#include "WindowTest.h"

#include "Commport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>

#include <cstdlib>

using trelvo::sim::TFault;
using trelvo::sim::TFaultWhen;
using trelvo::sim::TImage;
using Bytes = std::vector<std::uint8_t>;

namespace {

class CoreWindow : public WindowTest {
protected:
    void Identify(std::array<std::uint8_t, 4> identity)
    {
        Edit([&](TImage& image) { image.Identity = identity; });
    }

    QStringList RangeItems() const { return {W->CBRange->itemText(0), W->CBRange->itemText(1)}; }
    bool ToolsEnabled() const
    {
        for (QWidget* tool : {static_cast<QWidget*>(W->CBRange), static_cast<QWidget*>(W->CBTable),
                              static_cast<QWidget*>(W->CBPage), static_cast<QWidget*>(W->BPageRead),
                              static_cast<QWidget*>(W->BTblExport), static_cast<QWidget*>(W->BTblClear)}) {
            EXPECT_EQ(tool->isEnabled(), W->CBTable->isEnabled()) << tool->objectName().toStdString();
        }
        return W->CBTable->isEnabled();
    }
};

TEST_F(CoreWindow, StartsDisconnectedWithTheBannerLines)
{
    EXPECT_EQ(W->windowTitle(), "Trelvo");
    EXPECT_EQ(W->size(), QSize(224, 596));
    EXPECT_EQ(W->minimumSize(), W->maximumSize()) << "the window cannot be resized";
    EXPECT_EQ(W->PCCore->currentWidget(), W->TabSheet4);
    EXPECT_EQ(LogLines(), (QStringList{"> Trelvo 2.00", "> (c) Trelvo 2025-2026"}));
    EXPECT_EQ(StatusText(), "> (c) Trelvo 2025-2026");
    EXPECT_FALSE(W->Timer->isActive());

    struct TStart {
        QWidget* Control;
        bool Enabled;
    };
    const TStart controls[] = {
        {W->CBPort, true},      {W->BPort, true},        {W->Memo, true},       {W->SGPage, true},
        {W->SGMem, true},       {W->ETrGap, true},       {W->ETrCode, false},   {W->BSettWrite, false},
        {W->ETmBeep, false},    {W->ETmShutDown, false}, {W->CBPart, false},    {W->EYear, false},
        {W->EMonth, false},     {W->ESerial, false},     {W->ETrgCount, false}, {W->ETrgMask, false},
        {W->CBBeep, false},     {W->CBShutDown, false},  {W->BSettRead, false}, {W->CBPage, false},
        {W->BPageRead, false},  {W->BTblExport, false},  {W->BTblClear, false}, {W->CBInput, false},
        {W->BStore, false},     {W->BFilter, false},     {W->BClear, false},    {W->EAverage, false},
        {W->ESigma, false},     {W->SGPoint, false},     {W->CBTable, false},   {W->CBRange, false},
        {W->ECode, false},      {W->CBGap, false},       {W->BAdd, false},      {W->BRemove, false},
        {W->BTabRead, false},   {W->BTabWrite, false},   {W->BTabClear, false}, {W->SGTable, false},
        {W->CBAddr, false},     {W->CBBlock, false},     {W->CBTrack, false},
    };
    for (const TStart& c : controls)
        EXPECT_EQ(c.Control->isEnabled(), c.Enabled) << c.Control->objectName().toStdString();

    EXPECT_EQ(W->BPort->text(), "Open");
    EXPECT_EQ(W->CBPort->currentText(), "COM1");
    EXPECT_EQ(W->CBPart->currentIndex(), -1);
    EXPECT_EQ(W->CBPart->currentText(), "");
    EXPECT_EQ(W->CBTable->currentText(), "1");
    EXPECT_EQ(W->CBRange->currentText(), "MKM");
    EXPECT_EQ(W->CBPage->currentText(), "All");
    EXPECT_EQ(W->CBAddr->currentText(), "0x000");
    EXPECT_EQ(W->CBBlock->currentText(), "SEEPROM");
    for (QCheckBox* box : {W->CBBeep, W->CBShutDown, W->CBInput, W->CBTrack})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    for (QLineEdit* edit : {W->EYear, W->EMonth, W->ESerial, W->ETrgCount, W->ETrgMask, W->ETmBeep, W->ETmShutDown,
                            W->EAverage, W->ESigma, W->ECode, W->ETrCode, W->ETrGap})
        EXPECT_TRUE(edit->text().isEmpty()) << edit->objectName().toStdString();
    EXPECT_EQ(W->SGMem->columnWidth(0), 34);
    EXPECT_EQ(W->SGMem->columnWidth(1), 30);
    EXPECT_EQ(W->SGMem->columnWidth(4), 38);
}

TEST_F(CoreWindow, EveryTabPageHasTheSameClientArea)
{
    for (QWidget* page : {W->TabSheet4, W->Archive, W->TabSheet1, W->TabSheet2, W->TabSheet3}) {
        W->PCCore->setCurrentWidget(page);
        EXPECT_EQ(page->size(), QSize(216, 488)) << page->objectName().toStdString();
    }
}

TEST_F(CoreWindow, LogKeepsTenRowsDeletingOneRowPerMessage)
{
    for (int i = 1; i <= 8; ++i)
        W->LogMessage(QStringLiteral("> row %1").arg(i));
    EXPECT_EQ(LogLines().size(), 10);
    EXPECT_EQ(LogLines().first(), "> Trelvo 2.00");

    W->LogMessage(QStringLiteral("> row 9"));
    EXPECT_EQ(LogLines().size(), 10);
    EXPECT_EQ(LogLines().first(), "> (c) Trelvo 2025-2026");
    EXPECT_EQ(StatusText(), "> row 9");

    // A message that wraps onto two rows counts as two and is answered by one deletion.
    const QString wrapped = QStringLiteral("- a message much too long for one row of the event log");
    W->LogMessage(wrapped);
    EXPECT_EQ(LogLines().size(), 10) << "ten paragraphs, eleven rows";
    EXPECT_EQ(LogLines().last(), wrapped);
    EXPECT_EQ(StatusText(), wrapped);

    // From now on every message deletes one row and the memo keeps eleven.
    W->LogMessage(QStringLiteral("> row 10"));
    W->LogMessage(QStringLiteral("> row 11"));
    EXPECT_EQ(LogLines().first(), "> row 3");
    EXPECT_EQ(LogLines().size(), 10);
}

TEST_F(CoreWindow, DeletingTheFirstRowOfAWrappedMessageKeepsItsRest)
{
    const QString wrapped = QStringLiteral("- first words of a message that wraps");
    W->LogMessage(wrapped);
    for (int i = 1; i <= 8; ++i)
        W->LogMessage(QStringLiteral("> row %1").arg(i));
    // Rows now: banner 2, wrapped 2, rows 1..8 -> two deletions took the banner lines.
    ASSERT_EQ(LogLines().first(), wrapped);
    W->LogMessage(QStringLiteral("> row 9"));
    EXPECT_NE(LogLines().first(), wrapped);
    EXPECT_TRUE(wrapped.endsWith(LogLines().first())) << LogLines().first().toStdString();
}

TEST_F(CoreWindow, PortThatDoesNotOpenChangesNothingButTheLog)
{
    setenv("TRELVO_COM2", "/dev/no-such-port", 1);
    Pick(W->CBPort, 1);
    Click(W->BPort);
    unsetenv("TRELVO_COM2");
    EXPECT_EQ(LastLog(), "- Failed to open port: COM2");
    EXPECT_FALSE(W->Port->IsOpen);
    EXPECT_EQ(W->BPort->text(), "Open");
    EXPECT_TRUE(W->CBPort->isEnabled());
    EXPECT_FALSE(W->BSettRead->isEnabled());
    EXPECT_EQ(Sim.Exchanges(), 0);
}

TEST_F(CoreWindow, FailedSessionStartSendsTheRawEndAndClosesThePort)
{
    Sim.SetFault({.Kind = TFault::Silent, .When = TFaultWhen::Always});
    Click(W->BPort);
    EXPECT_EQ(LogLines().mid(2), (QStringList{"+ Port open: COM1", "- OpenSession error"}));
    EXPECT_FALSE(W->Port->IsOpen);
    EXPECT_EQ(W->BPort->text(), "Open");
    EXPECT_TRUE(W->CBPort->isEnabled());
    EXPECT_FALSE(W->CBPart->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return Sim.HostBytes().size() >= 2; }));
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0xAA, 0x55}));
}

TEST_F(CoreWindow, GoodSessionShowsAndLogsTheIdentity)
{
    Identify({0x20, 0x3B, 0x01, 0x2C});
    Connect();
    EXPECT_EQ(LogLines().mid(2), (QStringList{"+ Port open: COM1", "> QZ5520 04120300"}));
    EXPECT_EQ(W->EYear->text(), "04");
    EXPECT_EQ(W->EMonth->text(), "12");
    EXPECT_EQ(W->ESerial->text(), "0300");
    EXPECT_EQ(W->PartCode, 32);
    EXPECT_EQ(W->ProdYear, 4);
    EXPECT_EQ(W->ProdMonth, 12);
    EXPECT_EQ(W->SerialNo, 300);
    EXPECT_FALSE(W->CBPort->isEnabled());
    EXPECT_TRUE(W->BSettRead->isEnabled());
    EXPECT_FALSE(W->BSettWrite->isEnabled()) << "only a good settings read enables Write";
    EXPECT_FALSE(W->ETmBeep->isEnabled());
    EXPECT_TRUE(ToolsEnabled());
    EXPECT_EQ(RangeItems(), (QStringList{"MKM", "MM"}));
    EXPECT_EQ(W->CBRange->currentIndex(), 0);
    EXPECT_FALSE(W->ETrCode->isEnabled()) << "connecting never touches the tracking fields";
}

struct TIdentityCase {
    std::array<std::uint8_t, 4> Identity;
    const char* Year;
    const char* Month;
    const char* Serial;
};

class IdentityDecoding : public CoreWindow, public testing::WithParamInterface<TIdentityCase> {};

TEST_P(IdentityDecoding, PadsYearMonthAndSerial)
{
    Identify(GetParam().Identity);
    Connect();
    EXPECT_EQ(W->EYear->text(), GetParam().Year);
    EXPECT_EQ(W->EMonth->text(), GetParam().Month);
    EXPECT_EQ(W->ESerial->text(), GetParam().Serial);
}

INSTANTIATE_TEST_SUITE_P(Records, IdentityDecoding,
                         testing::Values(TIdentityCase{{32, 255, 0x00, 0x07}, "21", "04", "0007"},
                                         TIdentityCase{{32, 0, 0xFF, 0xFF}, "00", "01", "65535"},
                                         TIdentityCase{{32, 59, 0x27, 0x0F}, "04", "12", "9999"}));

struct TProfileCase {
    int Code;
    int PartIndex;        // chosen in CBPart, -1 for none
    int PartCode;         // after the profile
    bool Tools;           // table selector, range selector and archive tools
    const char* Range0;   // CBRange's items after the profile
    const char* Range1;
    int RangeChoice;
    bool RangeEnabled;
};

class PartProfiles : public CoreWindow, public testing::WithParamInterface<TProfileCase> {};

TEST_P(PartProfiles, DecideToolsAndRangeLabels)
{
    const TProfileCase& c = GetParam();
    Identify({static_cast<std::uint8_t>(c.Code), 0, 0, 1});
    Connect();
    EXPECT_EQ(W->CBPart->currentIndex(), c.PartIndex);
    EXPECT_EQ(W->PartCode, c.PartCode);
    EXPECT_EQ(ToolsEnabled(), c.Tools);
    EXPECT_EQ(RangeItems(), (QStringList{c.Range0, c.Range1}));
    EXPECT_EQ(W->CBRange->currentIndex(), c.RangeChoice);
    EXPECT_EQ(W->CBRange->isEnabled(), c.RangeEnabled);
    EXPECT_TRUE(W->BTabRead->isEnabled()) << "every part type reads and writes its table";
    if (c.PartIndex < 0) {
        EXPECT_EQ(LastLog(), ">  00010001") << "no part text: two blanks after the prompt";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PartProfiles,
                         testing::Values(TProfileCase{0, 0, 0, false, "MKM", "MM", -1, false},
                                         TProfileCase{8, 1, 8, true, "RNG0", "RNG1", 0, true},
                                         TProfileCase{16, 2, 16, false, "MKM", "MM", 0, false},
                                         TProfileCase{24, 3, 24, false, "MKM", "MM", 1, false},
                                         TProfileCase{32, 4, 32, true, "MKM", "MM", 0, true},
                                         TProfileCase{33, 4, 32, true, "MKM", "MM", 0, true},
                                         TProfileCase{40, 5, 40, false, "MKM", "MM", -1, false},
                                         TProfileCase{48, 6, 48, true, "20%", "60%", 0, true},
                                         TProfileCase{56, -1, -8, false, "MKM", "MM", -1, false},
                                         TProfileCase{255, -1, -8, false, "MKM", "MM", -1, false}),
                         [](const auto& info) { return "Code" + std::to_string(info.param.Code); });

TEST_F(CoreWindow, ChoosingAPartRelabelsOnlyItsOwnRange)
{
    Identify({48, 0, 0, 1});
    Connect();
    Pick(W->CBPart, 2);  // "QZ4410 mkm"
    EXPECT_EQ(W->PartCode, 16);
    EXPECT_EQ(RangeItems(), (QStringList{"MKM", "60%"}));
    EXPECT_EQ(W->CBRange->currentIndex(), 0);
    EXPECT_FALSE(W->CBRange->isEnabled());
    EXPECT_FALSE(ToolsEnabled());
    EXPECT_EQ(Sim.Exchanges(), 1) << "choosing a part changes the window, not the instrument";
}

TEST_F(CoreWindow, CloseEndsTheSessionAndStopsInput)
{
    Connect();
    W->PCCore->setCurrentWidget(W->TabSheet1);
    Click(W->CBInput);
    ASSERT_TRUE(W->CBInput->isChecked());
    ASSERT_TRUE(W->Timer->isActive());

    W->PCCore->setCurrentWidget(W->TabSheet4);
    Click(W->BPort);
    EXPECT_FALSE(W->CBInput->isChecked());
    EXPECT_FALSE(W->Timer->isActive());
    EXPECT_FALSE(W->Port->IsOpen);
    EXPECT_EQ(W->BPort->text(), "Open");
    EXPECT_EQ(LastLog(), "+ Port closed: COM1");
    EXPECT_TRUE(W->CBPort->isEnabled());
    EXPECT_FALSE(W->CBInput->isEnabled());
    EXPECT_EQ(W->EYear->text(), "04") << "the last identity stays shown";
    ASSERT_TRUE(WaitFor([&] { return !Sim.HostBytes().empty() && Sim.HostBytes().back() == 0x55; }));

    Connect();  // the port opens again
}

TEST_F(CoreWindow, ClosingTheWindowEndsTheSessionOnlyAfterAGoodTransaction)
{
    Connect();
    Sim.ClearTrace();
    Window.reset();
    ASSERT_TRUE(WaitFor([&] { return !Sim.HostBytes().empty(); }));
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0x55}));
    TCommPort again;
    EXPECT_TRUE(again.Open(Sim.DevicePath(), 19200, 256)) << "the port was closed: " << again.ErrorText();
}

TEST_F(CoreWindow, ClosingTheWindowAfterAFailedTransactionSendsNothing)
{
    Connect();
    Sim.SetFault({.Kind = TFault::Silent, .When = TFaultWhen::Always});
    W->GetID();
    ASSERT_FALSE(W->LinkOk);
    Sim.ClearTrace();
    Window.reset();
    Wait(50);
    EXPECT_TRUE(Sim.HostBytes().empty());
    TCommPort again;
    EXPECT_TRUE(again.Open(Sim.DevicePath(), 19200, 256)) << "the port was closed: " << again.ErrorText();
}

TEST_F(CoreWindow, EnterPressesTheDefaultButtonOfTheControlPage)
{
    PressEnter(W->CBPort);
    EXPECT_TRUE(W->Port->IsOpen);
    EXPECT_EQ(W->BPort->text(), "Close");

    // In the settings box Enter means "Write", which stays disabled until a read: nothing happens.
    const int exchanges = Sim.Exchanges();
    PressEnter(W->ESerial);
    EXPECT_TRUE(W->Port->IsOpen);
    EXPECT_EQ(Sim.Exchanges(), exchanges);
}

TEST_F(CoreWindow, ConversionErrorShowsABoxAndTheWindowCarriesOn)
{
    Connect();
    W->PCCore->setCurrentWidget(W->TabSheet1);
    const TModalSeen box = WithModal([&] { Click(W->BStore); });
    ASSERT_TRUE(box.Shown);
    EXPECT_EQ(box.ClassName, "QMessageBox");
    EXPECT_EQ(box.Title, QCoreApplication::applicationName());
    EXPECT_EQ(box.Text, "'' is not a valid floating point value.");
    EXPECT_EQ(W->PCCore->currentWidget(), W->TabSheet2) << "the handler ended after the page moved";

    W->PCCore->setCurrentWidget(W->TabSheet4);
    Click(W->BPort);
    EXPECT_EQ(LastLog(), "+ Port closed: COM1");
}

}  // namespace
