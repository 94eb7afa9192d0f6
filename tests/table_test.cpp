// The "Table" page, driven through the widgets against the simulated instrument: the calibration loop from
// the keyboard, "Add", "Remove", selecting rows, reading and writing tables where each part type keeps them,
// and the refusals and failures.
#include "WindowTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

using trelvo::sim::TFault;
using trelvo::sim::TFaultWhen;
using trelvo::sim::TImage;
using SimBlock = trelvo::sim::TBlock;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct TEntry {
    std::uint16_t Code;
    std::uint16_t Gap;
};

class TablePage : public WindowTest {
protected:
    // Opens the session with an instrument that reports `partCode`, and shows the "Table" page.
    void Open(std::uint8_t partCode)
    {
        Edit([&](TImage& image) { image.Identity[0] = partCode; });
        Connect();
        W->PCCore->setCurrentWidget(W->TabSheet2);
    }

    void Add(const QString& code, const QString& gap)
    {
        Type(W->ECode, code);
        Type(W->CBGap, gap);
        Click(W->BAdd);
    }

    // The table as "code/gap" texts, rows 0 to TableCount - 1.
    QStringList Rows() const { return Rows(0, W->TableCount); }
    QStringList Rows(int first, int count) const
    {
        QStringList rows;
        for (int row = first; row < first + count; ++row)
            rows.append(CellText(W->SGTable, 0, row) + u'/' + CellText(W->SGTable, 1, row));
        return rows;
    }

    static void PutTable(TImage& image, SimBlock block, int base, int range, const std::vector<TEntry>& entries)
    {
        image.At(block, base) = static_cast<std::uint8_t>(range << 7);
        image.At(block, base + 1) = static_cast<std::uint8_t>(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            image.SetWord(block, base + 4 + 4 * static_cast<int>(i), entries[i].Code);
            image.SetWord(block, base + 6 + 4 * static_cast<int>(i), entries[i].Gap);
        }
    }

    // The header's two bytes and `count` entries as "code/gap", as the instrument holds them.
    QStringList TableInImage(SimBlock block, int base, int count) const
    {
        const TImage image = Sim.Image();
        QStringList table{QString::number(image.At(block, base), 16) + u'/' + QString::number(image.At(block, base + 1))};
        for (int i = 0; i < count; ++i)
            table.append(QString::number(image.Word(block, base + 4 + 4 * i)) + u'/' +
                         QString::number(image.Word(block, base + 6 + 4 * i)));
        return table;
    }

    // Runs `action`, which must raise the error box with `text`.
    void ExpectRefused(const std::function<void()>& action, const QString& text)
    {
        const TModalSeen seen = WithModal(action);
        EXPECT_TRUE(seen.Shown);
        EXPECT_EQ(seen.Text, text);
    }
};

std::vector<TEntry> Rising(int count)
{
    std::vector<TEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({static_cast<std::uint16_t>(100 + 10 * i), static_cast<std::uint16_t>(1000 + i)});
    return entries;
}

// Enter on the "Point" page stores, and on the "Table" page adds; the text goes to whatever has the focus.
TEST_F(TablePage, TheCalibrationLoopRunsFromTheKeyboard)
{
    Open(32);
    W->PCCore->setCurrentWidget(W->TabSheet1);  // the technician picks the page's tab
    W->CBInput->setFocus();
    QTest::keyClick(W->CBInput, Qt::Key_Space);
    ASSERT_TRUE(W->CBInput->isChecked());

    const struct {
        std::vector<std::uint16_t> Readings;
        const char* Code;
        const char* Gap;
    } points[] = {{{1000, 1002}, "1001", "100"}, {{2000, 2000, 2001}, "2000", "200"}, {{500}, "500", "50"}};
    for (const auto& point : points) {
        SCOPED_TRACE(point.Code);
        Sim.QueueCodes(point.Readings);
        ASSERT_TRUE(WaitFor([&] { return W->PointCount == static_cast<int>(point.Readings.size()); }));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        ASSERT_EQ(W->PCCore->currentWidget(), W->TabSheet2);
        EXPECT_EQ(W->ECode->text(), point.Code);
        ASSERT_TRUE(W->CBGap->hasFocus());
        QTest::keyClicks(QApplication::focusWidget(), point.Gap);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        ASSERT_EQ(W->PCCore->currentWidget(), W->TabSheet1);
        EXPECT_EQ(W->PointCount, 0);
        EXPECT_EQ(W->EAverage->text(), "");
    }
    QTest::keyClick(W->CBInput, Qt::Key_Space);
    EXPECT_FALSE(W->Timer->isActive());
    EXPECT_EQ(Rows(), (QStringList{"500/50", "1001/100", "2000/200"}));

    W->PCCore->setCurrentWidget(W->TabSheet2);
    Pick(W->CBRange, 1);
    W->BTabWrite->setFocus();
    QTest::keyClick(W->BTabWrite, Qt::Key_Space);
    EXPECT_EQ(LastLog(), "+ PutTable successful");
    EXPECT_EQ(TableInImage(SimBlock::Seeprom, 0x000, 3), (QStringList{"80/3", "500/50", "1001/100", "2000/200"}));
}

struct TAddCase {
    const char* Code;
    const char* Gap;
    QStringList Rows;
    int Selected;
};

class AddingAnEntry : public TablePage, public testing::WithParamInterface<TAddCase> {};

TEST_P(AddingAnEntry, ReplacesByCodeOrGapOrInsertsInOrder)
{
    Open(32);
    Add("10", "100");
    Add("20", "200");
    Add(GetParam().Code, GetParam().Gap);
    EXPECT_EQ(Rows(), GetParam().Rows);
    EXPECT_EQ(W->TableCount, GetParam().Rows.size());
    EXPECT_EQ(W->SGTable->currentRow(), GetParam().Selected);
    EXPECT_EQ(Rows(W->TableCount, 1), QStringList{"/"});
    EXPECT_EQ(W->ECode->text(), GetParam().Code);
    EXPECT_EQ(W->CBGap->currentText(), GetParam().Gap);
}

INSTANTIATE_TEST_SUITE_P(
    TenAndTwenty, AddingAnEntry,
    testing::Values(TAddCase{"15", "150", {"10/100", "15/150", "20/200"}, 1},
                    TAddCase{"20", "250", {"10/100", "20/250"}, 1},
                    TAddCase{"30", "100", {"30/100", "20/200"}, 0},  // a match by gap is replaced where it stands
                    TAddCase{"5", "200", {"5/200", "10/100", "20/200"}, 0},  // a gap after the insertion point
                    TAddCase{"40", "400", {"10/100", "20/200", "40/400"}, 2}));

TEST_F(TablePage, AddingToAnEmptyTableKeepsTheTextsAsTyped)
{
    Open(32);
    Add("007", " 12");
    EXPECT_EQ(Rows(), QStringList{"007/ 12"});
    EXPECT_EQ(W->SGTable->currentRow(), 0);
}

TEST_F(TablePage, AddingInInputModeReturnsToAFreshPointList)
{
    const struct {
        int Readings;
        QStringList Left;
        const char* Average;
    } cases[] = {
        {12, {}, ""},
        {25, {"121", "122", "123", "124", "125"}, "123"},
    };
    Open(32);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Readings);
        W->PCCore->setCurrentWidget(W->TabSheet1);
        Click(W->CBInput);
        for (int row = 0; row < c.Readings; ++row)
            SetCellText(W->SGPoint, 0, row, QString::number(101 + row));
        W->PointCount = c.Readings;
        W->UpdatePointStatistics();

        W->PCCore->setCurrentWidget(W->TabSheet2);
        Type(W->ECode, QString::number(1000 + c.Readings));
        Type(W->CBGap, QString::number(c.Readings));
        PressEnter(W->CBGap);
        EXPECT_EQ(W->PCCore->currentWidget(), W->TabSheet1);
        EXPECT_EQ(W->PointCount, c.Left.size());
        QStringList list;
        for (int row = 0; row < W->PointCount; ++row)
            list.append(CellText(W->SGPoint, 0, row));
        EXPECT_EQ(list, c.Left);
        EXPECT_EQ(CellText(W->SGPoint, 0, W->PointCount), "");
        EXPECT_EQ(W->EAverage->text(), c.Average);
        EXPECT_EQ(W->ESigma->text().isEmpty(), c.Left.isEmpty());
        Click(W->CBInput);
    }
    EXPECT_EQ(Rows(), (QStringList{"1012/12", "1025/25"}));
}

TEST_F(TablePage, RemoveTakesOutTheSelectedRow)
{
    const struct {
        int Selected;
        QStringList Rows;
        int SelectedAfter;
    } cases[] = {
        {1, {"10/100", "30/300"}, 1},
        {2, {"10/100", "20/200"}, 1},
        {0, {"20/200", "30/300"}, 0},
        {5, {"10/100", "20/200", "30/300"}, 5},  // below the table: nothing happens
    };
    Open(32);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Selected);
        Click(W->BTabClear);
        Add("10", "100");
        Add("20", "200");
        Add("30", "300");
        W->SGTable->setCurrentCell(c.Selected, 0);
        const QString code = W->ECode->text();
        Click(W->BRemove);
        EXPECT_EQ(Rows(), c.Rows);
        EXPECT_EQ(Rows(W->TableCount, 1), QStringList{"/"});
        EXPECT_EQ(W->SGTable->currentRow(), c.SelectedAfter);
        EXPECT_EQ(W->ECode->text(), code) << "the fields keep their texts";
    }

    Click(W->BTabClear);
    Add("10", "100");
    Click(W->BRemove);
    EXPECT_EQ(W->TableCount, 0);
    EXPECT_EQ(Rows(0, 1), QStringList{"/"});
    EXPECT_EQ(W->SGTable->currentRow(), 0);
}

TEST_F(TablePage, SelectingARowFillsTheFields)
{
    Open(32);
    Add("10", "100");
    Add("20", "200");
    const auto clickRow = [&](int row) {
        const QRect cell = W->SGTable->visualRect(W->SGTable->model()->index(row, 1));
        QTest::mouseClick(W->SGTable->viewport(), Qt::LeftButton, {}, cell.center());
    };
    clickRow(0);
    EXPECT_EQ(W->ECode->text(), "10");
    EXPECT_EQ(W->CBGap->currentText(), "100");
    QTest::keyClick(W->SGTable, Qt::Key_Down);
    EXPECT_EQ(W->ECode->text(), "20");
    EXPECT_EQ(W->CBGap->currentText(), "200");
    clickRow(5);
    EXPECT_EQ(W->ECode->text(), "");
    EXPECT_EQ(W->CBGap->currentText(), "");
    EXPECT_EQ(W->CBGap->count(), 0) << "the gap list stays empty";
}

TEST_F(TablePage, ClearEmptiesTheTableOnlyInTheWindow)
{
    Open(32);
    Add("10", "100");
    Add("20", "200");
    Pick(W->CBRange, 1);
    Sim.ClearTrace();
    Click(W->BTabClear);
    EXPECT_EQ(W->TableCount, 0);
    EXPECT_EQ(Rows(0, 2), (QStringList{"/", "/"}));
    EXPECT_EQ(W->ECode->text(), "20");
    EXPECT_EQ(W->CBRange->currentIndex(), 1);
    EXPECT_EQ(W->SGTable->currentRow(), 1);
    EXPECT_TRUE(Sim.HostBytes().empty());
}

struct TTablePlace {
    const char* Name;
    std::uint8_t PartCode;
    int TableIndex;
    SimBlock Block;
    int Base;
};

void PrintTo(const TTablePlace& place, std::ostream* out)
{
    *out << place.Name;
}

class TableInTheInstrument : public TablePage, public testing::WithParamInterface<TTablePlace> {
protected:
    void SetUp() override
    {
        TablePage::SetUp();
        if (HasFatalFailure())
            return;
        Open(GetParam().PartCode);
        if (GetParam().TableIndex > 0)
            Pick(W->CBTable, GetParam().TableIndex);
    }
    int Block() const { return static_cast<int>(GetParam().Block); }
    std::uint8_t High(int address) const { return static_cast<std::uint8_t>(address >> 8); }
    std::uint8_t Low(int address) const { return static_cast<std::uint8_t>(address & 0xFF); }
};

TEST_P(TableInTheInstrument, ReadsHeaderAndEntriesFromItsPlace)
{
    const int base = GetParam().Base;
    Edit([&](TImage& image) { PutTable(image, GetParam().Block, base, 1, {{1200, 500}, {65535, 0}, {7, 300}}); });
    Sim.ClearTrace();
    Click(W->BTabRead);
    EXPECT_EQ(LastLog(), "+ GetTable successful");
    EXPECT_EQ(Rows(), (QStringList{"1200/500", "65535/0", "7/300"}));
    EXPECT_EQ(W->CBRange->currentIndex(), 1);
    const std::uint8_t one = static_cast<std::uint8_t>(Block() * 0x20 + 1);
    const std::uint8_t two = static_cast<std::uint8_t>(Block() * 0x20 + 2);
    EXPECT_EQ(Sim.HostBytes(), (Bytes{one, High(base), Low(base), two, High(base + 4), Low(base + 4), two,
                                      High(base + 8), Low(base + 8), two, High(base + 12), Low(base + 12)}));
}

TEST_P(TableInTheInstrument, WritesHeaderThenEntriesInRowOrderAndReadsThemBack)
{
    const int base = GetParam().Base;
    Add("$10", "16");
    Add("007", "70");
    Add("300", "3000");
    Pick(W->CBRange, 1);
    Sim.ClearTrace();
    const QStringList log = LogLines();
    Click(W->BTabWrite);
    EXPECT_EQ(LogLines(), log + QStringList{"+ PutTable successful"});
    EXPECT_EQ(TableInImage(GetParam().Block, base, 3), (QStringList{"80/3", "7/70", "16/16", "300/3000"}));
    const std::uint8_t one = static_cast<std::uint8_t>(0x80 + Block() * 0x20 + 1);
    const std::uint8_t two = static_cast<std::uint8_t>(0x80 + Block() * 0x20 + 2);
    EXPECT_EQ(Sim.HostBytes(),
              (Bytes{one, High(base), Low(base), 0x80, 3,                                   //
                     two, High(base + 4), Low(base + 4), 0, 7, 0, 70,                       //
                     two, High(base + 8), Low(base + 8), 0, 16, 0, 16,                      //
                     two, High(base + 12), Low(base + 12), 0x01, 0x2C, 0x0B, 0xB8}));

    Click(W->BTabClear);
    Pick(W->CBRange, 0);
    Click(W->BTabRead);
    EXPECT_EQ(Rows(), (QStringList{"7/70", "16/16", "300/3000"})) << "plain decimal texts come back";
    EXPECT_EQ(W->CBRange->currentIndex(), 1);
}

TEST_P(TableInTheInstrument, AnEmptyTableIsTheHeaderAlone)
{
    const int base = GetParam().Base;
    Edit([&](TImage& image) { PutTable(image, GetParam().Block, base, 1, {}); });
    int exchanges = Sim.Exchanges();
    Click(W->BTabRead);
    EXPECT_EQ(LastLog(), "+ GetTable successful");
    EXPECT_EQ(W->TableCount, 0);
    EXPECT_EQ(W->CBRange->currentIndex(), 1);
    EXPECT_EQ(Sim.Exchanges(), exchanges + 1);

    Pick(W->CBRange, 0);
    Sim.ClearTrace();
    Click(W->BTabWrite);
    EXPECT_EQ(LastLog(), "+ PutTable successful");
    const std::uint8_t one = static_cast<std::uint8_t>(0x80 + Block() * 0x20 + 1);
    EXPECT_EQ(Sim.HostBytes(), (Bytes{one, High(base), Low(base), 0x00, 0x00}));
}

INSTANTIATE_TEST_SUITE_P(
    PartTypes, TableInTheInstrument,
    testing::Values(TTablePlace{"generic part, table 5 ignored", 8, 4, SimBlock::Eeprom, 0x20},
                    TTablePlace{"QZ4410 mm", 24, 0, SimBlock::Eeprom, 0x20},
                    TTablePlace{"QZ5520 table 3", 32, 2, SimBlock::Seeprom, 0x100},
                    TTablePlace{"VR83KE table 8", 48, 7, SimBlock::Seeprom, 0x380}),
    [](const testing::TestParamInfo<TTablePlace>& info) {
        std::string name;
        for (const char* c = info.param.Name; *c; ++c)
            if (std::isalnum(static_cast<unsigned char>(*c)))
                name += *c;
        return name;
    });

TEST_F(TablePage, APartWithoutRangesWritesRange0)
{
    Open(0);
    ASSERT_EQ(W->CBRange->currentIndex(), -1);
    Add("10", "100");
    Click(W->BTabWrite);
    EXPECT_EQ(LastLog(), "+ PutTable successful");
    EXPECT_EQ(TableInImage(SimBlock::Eeprom, 0x20, 1), (QStringList{"0/1", "10/100"}));
}

TEST_F(TablePage, AFullSeepromTableTakesReplacementsButNoNewEntry)
{
    Open(32);
    Edit([&](TImage& image) { PutTable(image, SimBlock::Seeprom, 0x380, 0, Rising(31)); });
    Pick(W->CBTable, 7);
    Click(W->BTabRead);
    ASSERT_EQ(W->TableCount, 31);
    const QStringList full = Rows();

    ExpectRefused([&] { Add("5", "5"); }, "A SEEPROM table holds at most 31 entries.");
    EXPECT_EQ(Rows(), full);
    EXPECT_EQ(Rows(31, 1), QStringList{"/"});

    Add("110", "999");
    EXPECT_EQ(W->TableCount, 31);
    EXPECT_EQ(Rows(1, 1), QStringList{"110/999"});
}

TEST_F(TablePage, WriteRefusesATableThatDoesNotFitBeforeSendingAnything)
{
    Open(32);
    Pick(W->CBPart, 1);  // the generic part's EEPROM table has room for 32
    for (int i = 0; i < 32; ++i)
        Add(QString::number(i), QString::number(1000 + i));
    ASSERT_EQ(W->TableCount, 32);
    Pick(W->CBPart, 4);  // back to QZ5520: a SEEPROM slot
    const TImage before = Sim.Image();
    const QStringList log = LogLines();
    Sim.ClearTrace();
    ExpectRefused([&] { Click(W->BTabWrite); }, "A SEEPROM table holds at most 31 entries.");
    EXPECT_TRUE(Sim.HostBytes().empty());
    EXPECT_TRUE(Sim.Image() == before);
    EXPECT_EQ(LogLines(), log);
}

TEST_F(TablePage, ASeepromHeaderClaimingMoreThanTheSlotHoldsIsReadUpToTheSlotsEnd)
{
    Open(32);
    Edit([&](TImage& image) {
        PutTable(image, SimBlock::Seeprom, 0x000, 0, Rising(31));
        image.At(SimBlock::Seeprom, 0x001) = 40;
        PutTable(image, SimBlock::Seeprom, 0x080, 0, {{7, 7}});
    });
    const int exchanges = Sim.Exchanges();
    Click(W->BTabRead);
    EXPECT_EQ(W->TableCount, 31);
    EXPECT_EQ(Sim.Exchanges(), exchanges + 32);
    EXPECT_EQ(Rows(30, 2), (QStringList{"400/1030", "/"}));
}

TEST_F(TablePage, TheEepromTableHoldsWhatItsCountByteHolds)
{
    Open(8);
    Edit([&](TImage& image) { PutTable(image, SimBlock::Eeprom, 0x20, 0, Rising(255)); });
    Click(W->BTabRead);
    ASSERT_EQ(W->TableCount, 255);
    EXPECT_EQ(Rows(254, 1), QStringList{"2640/1254"});
    ExpectRefused([&] { Add("5", "5"); }, "The EEPROM table holds at most 255 entries.");
    EXPECT_EQ(W->TableCount, 255);

    Edit([&](TImage& image) { PutTable(image, SimBlock::Eeprom, 0x20, 0, {}); });
    Click(W->BTabWrite);
    EXPECT_EQ(LastLog(), "+ PutTable successful");
    EXPECT_EQ(TableInImage(SimBlock::Eeprom, 0x20, 0), QStringList{"0/255"});
    EXPECT_EQ(Sim.Image().Word(SimBlock::Eeprom, 0x20 + 4 + 4 * 254), 2640);
}

TEST_F(TablePage, AddRefusesTextsThatAreNoTableValuesBeforeAnythingMoves)
{
    const struct {
        bool Empty;
        const char* Code;
        const char* Gap;
        const char* Message;
    } cases[] = {
        {false, "abc", "150", "'abc' is not a valid integer value."},
        {false, "15", "", "'' is not a valid integer value."},
        {false, "10", "x", "'x' is not a valid integer value."},  // the code matches row 0, the gap is still checked
        {false, "70000", "150", "'70000' is outside the range 0 to 65535."},
        {false, "15", "-5", "'-5' is outside the range 0 to 65535."},
        {true, "1.5", "3", "'1.5' is not a valid integer value."},
        {true, "3", "65536", "'65536' is outside the range 0 to 65535."},
    };
    Open(32);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Message);
        Click(W->BTabClear);
        if (!c.Empty) {
            Add("10", "100");
            Add("20", "200");
        }
        // Input mode on with one reading: a refused "Add" must not start a fresh list.
        W->PCCore->setCurrentWidget(W->TabSheet1);
        Click(W->CBInput);
        SetCellText(W->SGPoint, 0, 0, "1200");
        W->PointCount = 1;
        W->PCCore->setCurrentWidget(W->TabSheet2);

        const QStringList rows = Rows();
        ExpectRefused([&] { Add(c.Code, c.Gap); }, c.Message);
        EXPECT_EQ(Rows(), rows);
        EXPECT_EQ(Rows(W->TableCount, 1), QStringList{"/"});
        EXPECT_EQ(W->PCCore->currentWidget(), W->TabSheet2);
        EXPECT_EQ(W->PointCount, 1) << "the point list stays";
        Click(W->CBInput);
    }
}

TEST_F(TablePage, WriteChecksEveryRowBeforeTheHeaderGoesOut)
{
    Open(32);
    Add("10", "100");
    Add("20", "200");
    Add("30", "300");
    SetCellText(W->SGTable, 1, 2, "70000");  // no "Add" lets such a text in
    const TImage before = Sim.Image();
    const QStringList log = LogLines();
    Sim.ClearTrace();
    ExpectRefused([&] { Click(W->BTabWrite); }, "'70000' is outside the range 0 to 65535.");
    EXPECT_TRUE(Sim.HostBytes().empty());
    EXPECT_TRUE(Sim.Image() == before);
    EXPECT_EQ(LogLines(), log);
}

TEST_F(TablePage, AReadFailingMidwayKeepsOnlyTheEntriesThatArrived)
{
    Open(32);
    Pick(W->CBTable, 2);
    Edit([&](TImage& image) { PutTable(image, SimBlock::Seeprom, 0x100, 1, Rising(5)); });
    Sim.SetFault({.Kind = TFault::Silent, .When = TFaultWhen::EveryNth, .N = 3});  // the second entry
    Sim.ClearTrace();
    const int exchanges = Sim.Exchanges();
    Click(W->BTabRead);
    Sim.SetFault({});
    EXPECT_EQ(LastLog(), "- GetTable failed");
    EXPECT_EQ(W->TableCount, 1);
    EXPECT_EQ(Rows(0, 5), (QStringList{"100/1000", "/", "/", "/", "/"}));
    EXPECT_EQ(W->CBRange->currentIndex(), 1);
    EXPECT_EQ(Sim.Exchanges(), exchanges + 3);
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0x61, 0x01, 0x00, 0x62, 0x01, 0x04, 0x62})) << "nothing after the failure";
}

TEST_F(TablePage, AReadWhoseHeaderFailsLeavesTheRangeAndAnEmptyTable)
{
    Open(32);
    Add("10", "100");
    Pick(W->CBRange, 1);
    Sim.SetFault({.Kind = TFault::WrongChecksum, .When = TFaultWhen::Once});
    Sim.ClearTrace();
    Click(W->BTabRead);
    EXPECT_EQ(LastLog(), "- GetTable failed");
    EXPECT_EQ(W->TableCount, 0);
    EXPECT_EQ(Rows(0, 1), QStringList{"/"});
    EXPECT_EQ(W->CBRange->currentIndex(), 1);
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0x61, 0x00, 0x00}));
}

TEST_F(TablePage, AWriteFailingMidwaySendsNothingMoreAndLogsOnce)
{
    Open(32);
    Pick(W->CBTable, 2);
    for (const auto& [code, gap] : {std::pair{"10", "100"}, {"20", "200"}, {"30", "300"}, {"40", "400"}})
        Add(code, gap);
    Sim.SetFault({.Kind = TFault::NonZeroAck, .When = TFaultWhen::EveryNth, .N = 3});  // the second entry
    Sim.ClearTrace();
    const QStringList log = LogLines();
    Click(W->BTabWrite);
    Sim.SetFault({});
    EXPECT_EQ(LogLines(), log + QStringList{"- PutTable failed"});
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0xE1, 0x01, 0x00, 0x00, 0x04, 0xE2, 0x01, 0x04, 0x00, 0x0A, 0x00, 0x64, 0xE2,
                                      0x01, 0x08}));
    EXPECT_EQ(TableInImage(SimBlock::Seeprom, 0x100, 1).first(), "0/4");
}

}  // namespace
