// The memory browser through the real window and the simulated instrument.
#include "ProgressWatch.h"
#include "WindowTest.h"

#include <vector>

namespace sim = trelvo::sim;

namespace {

enum TBlockItem { RamItem = 0, EepromItem = 1, SeepromItem = 2 };

class MemBrowserTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Connect();
    }

    // Word i of window w in the block: a value that tells every word apart.
    static std::uint16_t Pattern(int window, int i) { return static_cast<std::uint16_t>(window * 0x1000 + 0x0100 + 3 * i); }

    void FillWindow(sim::TBlock block, int window)
    {
        Edit([&](sim::TImage& image) {
            for (int i = 0; i < MemoryMap::WindowWords; ++i)
                image.SetWord(block, MemoryMap::Window(window) + 2 * i, Pattern(window, i));
        });
    }

    QStringList Row(int row) const
    {
        QStringList cells;
        for (int column = 0; column < 5; ++column)
            cells.append(CellText(W->SGMem, column, row));
        return cells;
    }

    void ExpectRowsPastTheWindowEmpty() const
    {
        for (int row = MemoryMap::WindowWords; row < W->SGMem->rowCount(); ++row)
            ASSERT_EQ(Row(row), (QStringList{"", "", "", "", ""})) << "row " << row;
    }

    // The address of each ReadMemory the host sent, and its command byte.
    std::vector<std::pair<int, int>> ReadsSent() const
    {
        const std::vector<std::uint8_t> sent = Sim.HostBytes();
        std::vector<std::pair<int, int>> reads;
        for (std::size_t i = 0; i + 2 < sent.size(); i += 3)
            reads.emplace_back(sent[i], sent[i + 1] << 8 | sent[i + 2]);
        return reads;
    }
};

TEST_F(MemBrowserTest, WindowOfEepromShowsEveryWordInFiveColumns)
{
    FillWindow(sim::TBlock::Eeprom, 3);
    Edit([](sim::TImage& image) {
        image.SetWord(sim::TBlock::Eeprom, 0x300, 0x1234);
        image.SetWord(sim::TBlock::Eeprom, 0x3FE, 0x00FF);
    });
    const QString status = StatusText();
    Pick(W->CBBlock, EepromItem);
    Sim.ClearTrace();

    Pick(W->CBAddr, 3);

    const auto reads = ReadsSent();
    ASSERT_EQ(reads.size(), 128u);
    EXPECT_EQ(reads.front(), std::make_pair(0x41, 0x300));
    EXPECT_EQ(reads.back(), std::make_pair(0x41, 0x3FE));
    EXPECT_EQ(Row(0), (QStringList{"000", "18", "52", "4660", "1234"}));
    EXPECT_EQ(Row(1), (QStringList{"002", "49", "3", "12547", "3103"}));  // Pattern(3, 1) = 0x3103
    EXPECT_EQ(Row(127), (QStringList{"0FE", "0", "255", "255", "00FF"}));
    ExpectRowsPastTheWindowEmpty();
    // Nothing is logged; the status bar shows again what it showed before.
    EXPECT_EQ(StatusText(), status);
}

TEST_F(MemBrowserTest, LastWindowReadsUpToTheLastWordOfTheBlock)
{
    FillWindow(sim::TBlock::Seeprom, 15);
    Sim.ClearTrace();
    Pick(W->CBAddr, 15);

    const auto reads = ReadsSent();
    ASSERT_EQ(reads.size(), 128u);
    EXPECT_EQ(reads.front(), std::make_pair(0x61, 0xF00));
    EXPECT_EQ(reads.back(), std::make_pair(0x61, 0xFFE));
    const std::uint16_t last = Pattern(15, 127);
    EXPECT_EQ(Row(127), (QStringList{"0FE", QString::number(last >> 8), QString::number(last & 0xFF),
                                     QString::number(last), QString::number(last, 16).toUpper()}));
}

TEST_F(MemBrowserTest, PickingABlockReadsNothingTillAWindowIsPicked)
{
    FillWindow(sim::TBlock::Seeprom, 0);
    FillWindow(sim::TBlock::Ram, 1);
    Pick(W->CBAddr, 0);
    const QStringList seepromRow = Row(5);
    const int exchanges = Sim.Exchanges();

    Pick(W->CBBlock, RamItem);
    EXPECT_EQ(Sim.Exchanges(), exchanges);
    EXPECT_EQ(Row(5), seepromRow);

    Sim.ClearTrace();
    Pick(W->CBAddr, 1);
    const auto reads = ReadsSent();
    ASSERT_EQ(reads.size(), 128u);
    EXPECT_EQ(reads.front(), std::make_pair(0x21, 0x100));
    EXPECT_EQ(Row(5).at(3), QString::number(Pattern(1, 5)));
    ExpectRowsPastTheWindowEmpty();
}

// From the failed read on, a row shows its offset and nothing that did not come from the instrument.
TEST_F(MemBrowserTest, FailedReadEmptiesTheRowsFromTheFailureOn)
{
    struct TFailureCase {
        const char* Name;
        sim::TFaultPlan Fault;
        int GoodRows;
    };
    const TFailureCase cases[] = {
        {"silent instrument", {sim::TFault::Silent, sim::TFaultWhen::Always}, 0},
        {"40th word unanswered", {sim::TFault::Silent, sim::TFaultWhen::EveryNth, 40}, 39},
        {"wrong checksum on the 100th word", {sim::TFault::WrongChecksum, sim::TFaultWhen::EveryNth, 100}, 99},
    };
    FillWindow(sim::TBlock::Seeprom, 2);
    for (const TFailureCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Sim.SetFault({});
        Pick(W->CBAddr, 2);  // every row full first
        const QStringList log = LogLines();
        const QString status = StatusText();

        Sim.SetFault(c.Fault);
        Pick(W->CBAddr, 2);

        for (int row = 0; row < c.GoodRows; ++row)
            ASSERT_EQ(Row(row).at(3), QString::number(Pattern(2, row))) << "row " << row;
        for (int row = c.GoodRows; row < MemoryMap::WindowWords; ++row)
            ASSERT_EQ(Row(row), (QStringList{QString::number(2 * row, 16).toUpper().rightJustified(3, u'0'), "", "", "", ""}))
                << "row " << row;
        ExpectRowsPastTheWindowEmpty();
        EXPECT_EQ(LogLines(), log);
        EXPECT_EQ(StatusText(), status);
    }
}

TEST_F(MemBrowserTest, WindowReadShowsProgressWithoutATimerTickInBetween)
{
    const QString status = StatusText();
    TProgressWatch watch(W->StatusBar);
    Pick(W->CBBlock, EepromItem);
    Pick(W->CBAddr, 3);
    ASSERT_TRUE(WaitFor([&] { return watch.Ticks > 0; }));

    EXPECT_TRUE(watch.Messages.contains("Reading EEPROM 0x300, word 0 of 128"));
    EXPECT_TRUE(watch.Messages.contains("Reading EEPROM 0x300, word 64 of 128"));
    EXPECT_TRUE(watch.Messages.contains("Reading EEPROM 0x300, word 128 of 128"));
    EXPECT_EQ(watch.TicksDuringRead, 0);
    EXPECT_EQ(watch.Messages.last(), status);
}

}  // namespace
