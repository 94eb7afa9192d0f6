// The calibration table's rules: where a table lies, how much it holds and which values it takes.
#include "TableRules.h"

#include "Formats.h"
#include "InstrumentLink.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// The message of the error that `action` raises, or the empty text when it raises none.
template <typename Error>
QString RaisedMessage(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

TEST(TableRules, PartCodeAndTableIndexChooseTheTable)
{
    const struct {
        int PartCode;
        int TableIndex;
        int Block;
        int Base;
    } cases[] = {
        {32, 0, BlockSeeprom, 0x000}, {32, 2, BlockSeeprom, 0x100}, {48, 7, BlockSeeprom, 0x380},
        {8, 4, BlockEeprom, 0x20},    {0, 0, BlockEeprom, 0x20},    {16, 3, BlockEeprom, 0x20},
        {24, 0, BlockEeprom, 0x20},   {40, 1, BlockEeprom, 0x20},   {-8, 0, BlockEeprom, 0x20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "part code " << c.PartCode << ", table " << c.TableIndex);
        const TTableLocation location = TableLocation(c.PartCode, c.TableIndex);
        EXPECT_EQ(location.Block, c.Block);
        EXPECT_EQ(location.Base, c.Base);
    }
}

TEST(TableRules, ATableHoldsWhatItsPlaceHasRoomFor)
{
    EXPECT_EQ(TableCapacity(BlockSeeprom), 31);
    EXPECT_EQ(TableCapacity(BlockEeprom), 255);
    EXPECT_NO_THROW(CheckTableRoom(BlockSeeprom, 31));
    EXPECT_NO_THROW(CheckTableRoom(BlockEeprom, 255));
    EXPECT_EQ(RaisedMessage<TTableFull>([] { CheckTableRoom(BlockSeeprom, 32); }),
              "A SEEPROM table holds at most 31 entries");
    EXPECT_EQ(RaisedMessage<TTableFull>([] { CheckTableRoom(BlockEeprom, 256); }),
              "The EEPROM table holds at most 255 entries");
}

TEST(TableRules, ValuesAreIntegerTextsFrom0To65535)
{
    const struct {
        const char* Text;
        int Value;
    } accepted[] = {{"0", 0}, {"65535", 65535}, {"007", 7}, {" 12", 12}, {"$FFFF", 65535}, {"0x10", 16}, {"+5", 5}};
    for (const auto& c : accepted)
        EXPECT_EQ(TableValue(QString::fromLatin1(c.Text)), c.Value) << c.Text;

    const struct {
        const char* Text;
        const char* Message;
    } refused[] = {
        {"65536", "'65536' is outside the range 0 to 65535"},
        {"-1", "'-1' is outside the range 0 to 65535"},
        {"$10000", "'$10000' is outside the range 0 to 65535"},
        {"12.5", "'12.5' is not a valid integer value"},
        {"", "'' is not a valid integer value"},
        {"abc", "'abc' is not a valid integer value"},
    };
    for (const auto& c : refused)
        EXPECT_EQ(RaisedMessage<TConversionError>([&] { TableValue(QString::fromLatin1(c.Text)); }), c.Message)
            << c.Text;
}

TEST(TableRules, NoRangeChosenWritesRange0)
{
    EXPECT_EQ(TableRangeByte(0), 0x00);
    EXPECT_EQ(TableRangeByte(1), 0x80);
    EXPECT_EQ(TableRangeByte(-1), 0x00);
}

}  // namespace
