// The reference point's figures and the choices of "Filter", worked out from the point list's texts.
#include "PointCases.h"
#include "PointStatistics.h"

#include "Formats.h"

#include <gtest/gtest.h>

namespace {

class PointStatistics : public testing::Test {
protected:
    void SetUp() override { SetDecimalSeparatorForTesting(QChar(u'.')); }
    void TearDown() override { SetDecimalSeparatorForTesting(std::nullopt); }
};

QStringList Texts(const std::vector<std::uint16_t>& readings)
{
    QStringList texts;
    for (const std::uint16_t reading : readings)
        texts.append(QString::number(reading));
    return texts;
}

TEST_F(PointStatistics, FiguresAndStoredCodeAreThoseOfThe32BitSteps)
{
    for (const TPointCase& c : PointCases) {
        SCOPED_TRACE(testing::PrintToString(c));
        const TPointFigures figures = PointFigures(Texts(c.Readings));
        EXPECT_EQ(figures.Average.toStdString(), c.Average);
        EXPECT_EQ(figures.Sigma.toStdString(), c.Sigma);
        EXPECT_EQ(RoundedCode(figures.Average).toStdString(), c.Code);
    }
}

TEST_F(PointStatistics, AnEmptyListShowsNothing)
{
    const TPointFigures figures = PointFigures({});
    EXPECT_TRUE(figures.Average.isEmpty());
    EXPECT_TRUE(figures.Sigma.isEmpty());
}

TEST_F(PointStatistics, FiguresUseTheLocaleSeparator)
{
    SetDecimalSeparatorForTesting(QChar(u','));
    const TPointFigures figures = PointFigures({"100", "101", "101"});
    EXPECT_EQ(figures.Average, "100,666664123535");
    EXPECT_EQ(figures.Sigma, "0,4683 %");
    EXPECT_EQ(RoundedCode(figures.Average), "101");
}

TEST_F(PointStatistics, StoringAnEmptyAverageIsAConversionError)
{
    try {
        RoundedCode(QString());
        FAIL() << "an empty average converted";
    } catch (const TConversionError& error) {
        EXPECT_EQ(error.Message(), "'' is not a valid floating point value");
    }
}

TEST_F(PointStatistics, FilterRoundsAreAFifthOfTheListFromSixReadingsOn)
{
    const struct {
        int Count;
        int Rounds;
    } cases[] = {{0, 0}, {5, 0}, {6, 1}, {9, 1}, {10, 2}, {14, 2}, {32, 6}, {34, 6}, {35, 7}};
    for (const auto& c : cases)
        EXPECT_EQ(FilterRounds(c.Count), c.Rounds) << c.Count << " readings";
}

TEST_F(PointStatistics, ExtremesAreTheFirstRowsHoldingThem)
{
    const struct {
        QStringList Cells;
        int Largest;
        int Smallest;
    } cases[] = {
        {{"5", "9", "9", "1", "1", "5"}, 1, 3},
        {{"7", "7", "7", "7", "7", "7"}, 0, 0},  // one reading goes
        {{"0", "0", "0", "0", "0", "0"}, 0, 0},  // no reading above 0: still the first row
        {{"65535", "65535", "65535"}, 0, 0},     // no reading below 65535: still the first row
        {{"0", "65535", "0", "65535"}, 1, 0},
        {{"", "3", "", "8", "2", ""}, 3, 4},     // emptied cells are not readings
        {{"", ""}, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Cells.join(u',').toStdString());
        const TExtremeRows rows = FindExtremes(c.Cells);
        EXPECT_EQ(rows.Largest, c.Largest);
        EXPECT_EQ(rows.Smallest, c.Smallest);
    }
}

}  // namespace
