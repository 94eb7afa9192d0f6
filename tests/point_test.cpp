// The "Point" page and the poll timer, driven through the widgets against the simulated instrument:
// readings collect into the list, the figures, "Filter", "Clear", "Store", tracking mode and the failures.
#include "PointCases.h"
#include "WindowTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>

using trelvo::sim::TFault;
using trelvo::sim::TFaultPlan;
using trelvo::sim::TFaultWhen;
using Bytes = std::vector<std::uint8_t>;

namespace {

class PointPage : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        Connect();
        W->PCCore->setCurrentWidget(W->TabSheet1);
    }

    // The instrument offers `codes` one per tick; waits until the list holds them all.
    void Arrive(const std::vector<std::uint16_t>& codes)
    {
        const int expected = W->PointCount + static_cast<int>(codes.size());
        Sim.QueueCodes(codes);
        ASSERT_TRUE(WaitFor([&] { return W->PointCount == expected; }, 5000 + 400 * static_cast<int>(codes.size())))
            << "the list holds " << W->PointCount << " of " << expected << " readings";
    }

    // A list that arrived earlier, put straight into the grid, with its figures.
    void Preload(const std::vector<std::uint16_t>& codes)
    {
        for (std::size_t row = 0; row < codes.size(); ++row)
            SetCellText(W->SGPoint, 0, static_cast<int>(row), QString::number(codes[row]));
        W->PointCount = static_cast<int>(codes.size());
        W->UpdatePointStatistics();
    }

    QStringList Rows(int first, int count) const
    {
        QStringList texts;
        for (int row = first; row < first + count; ++row)
            texts.append(CellText(W->SGPoint, 0, row));
        return texts;
    }
    QStringList List() const { return Rows(0, W->PointCount); }
};

QStringList Texts(const std::vector<std::uint16_t>& codes)
{
    QStringList texts;
    for (const std::uint16_t code : codes)
        texts.append(QString::number(code));
    return texts;
}

QStringList Repeated(const QString& text, int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts.append(text);
    return texts;
}

std::vector<std::uint16_t> Ascending(int from, int to)
{
    std::vector<std::uint16_t> codes;
    for (int code = from; code <= to; ++code)
        codes.push_back(static_cast<std::uint16_t>(code));
    return codes;
}

class PointFiguresShown : public PointPage, public testing::WithParamInterface<TPointCase> {};

TEST_P(PointFiguresShown, AsReadingsArriveAndStoreHandsOnTheRoundedMean)
{
    Click(W->CBInput);
    Arrive(GetParam().Readings);
    EXPECT_EQ(List(), Texts(GetParam().Readings));
    EXPECT_EQ(W->EAverage->text().toStdString(), GetParam().Average);
    EXPECT_EQ(W->ESigma->text().toStdString(), GetParam().Sigma);

    PressEnter(W->SGPoint);
    EXPECT_EQ(W->PCCore->currentWidget(), W->TabSheet2);
    EXPECT_EQ(W->ECode->text().toStdString(), GetParam().Code);
    EXPECT_TRUE(W->CBGap->hasFocus());
}

INSTANTIATE_TEST_SUITE_P(Readings, PointFiguresShown, testing::ValuesIn(PointCases));

TEST_F(PointPage, StoreWithAnEmptyListMovesThePageAndReportsTheConversion)
{
    W->ECode->setText("77");
    const TModalSeen seen = WithModal([&] { PressEnter(W->SGPoint); });
    EXPECT_TRUE(seen.Shown);
    EXPECT_EQ(seen.Title, QCoreApplication::applicationName());
    EXPECT_EQ(seen.Text, "'' is not a valid floating point value.");
    EXPECT_EQ(W->PCCore->currentWidget(), W->TabSheet2);
    EXPECT_EQ(W->ECode->text(), "77");
    EXPECT_FALSE(W->CBGap->hasFocus());
}

struct TFilterCase {
    const char* Name;
    std::vector<std::uint16_t> Readings;
    QStringList Left;
    const char* Average;
};

TEST_F(PointPage, FilterRemovesAFifthFromEachEndInRounds)
{
    const TFilterCase cases[] = {
        {"five readings stay", {10, 20, 30, 40, 50}, {"10", "20", "30", "40", "50"}, "30"},
        {"six lose one of each end", {3, 1, 4, 1, 5, 9}, {"3", "4", "1", "5"}, "3.25"},
        {"ten run two rounds", Ascending(1, 10), Texts(Ascending(3, 8)), "5.5"},
        {"thirty-two run six rounds", Ascending(1, 32), Texts(Ascending(7, 26)), "16.5"},
        {"first rows of the ties go", {5, 9, 9, 1, 1, 5}, {"5", "9", "1", "5"}, "5"},
        {"equal readings lose one", {7, 7, 7, 7, 7, 7}, Repeated("7", 5), "7"},
        {"all 0 lose one", {0, 0, 0, 0, 0, 0}, Repeated("0", 5), "0"},
        {"all 65535 lose one", {65535, 65535, 65535, 65535, 65535, 65535}, Repeated("65535", 5), "65535"},
    };
    for (const TFilterCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const int count = static_cast<int>(c.Readings.size());
        Click(W->BClear);
        Preload(c.Readings);
        SetCellText(W->SGPoint, 0, count, "999");  // left from an earlier list

        Click(W->BFilter);
        EXPECT_EQ(W->PointCount, c.Left.size());
        EXPECT_EQ(List(), c.Left);
        EXPECT_EQ(Rows(W->PointCount, count - W->PointCount), Repeated(QString(), count - W->PointCount));
        EXPECT_EQ(CellText(W->SGPoint, 0, count), "999");
        EXPECT_EQ(W->EAverage->text(), c.Average);
        SetCellText(W->SGPoint, 0, count, QString());
    }
}

TEST_F(PointPage, ClearEmptiesTheListAndTheFigures)
{
    Preload({1000, 1002, 1004});
    SetCellText(W->SGPoint, 0, 3, "999");
    Click(W->BClear);
    EXPECT_EQ(W->PointCount, 0);
    EXPECT_EQ(Rows(0, 3), Repeated(QString(), 3));
    EXPECT_EQ(CellText(W->SGPoint, 0, 3), "999");
    EXPECT_EQ(W->EAverage->text(), "");
    EXPECT_EQ(W->ESigma->text(), "");
}

TEST_F(PointPage, InputModeStartsAFreshListInTheFirstTwentyRows)
{
    std::vector<std::uint16_t> old = Ascending(101, 125);
    Preload(old);
    Click(W->CBInput);
    EXPECT_TRUE(W->Timer->isActive());
    EXPECT_TRUE(W->PointMode);
    EXPECT_EQ(W->PointCount, 0);
    EXPECT_EQ(Rows(0, 20), Repeated(QString(), 20));
    EXPECT_EQ(Rows(20, 5), Texts(Ascending(121, 125)));
    EXPECT_EQ(W->EAverage->text(), "113");
    EXPECT_EQ(W->ESigma->text(), "6.382 %");

    Arrive({2000});
    EXPECT_EQ(CellText(W->SGPoint, 0, 0), "2000");
    EXPECT_EQ(W->EAverage->text(), "2000");
    EXPECT_EQ(W->ESigma->text(), "0 %");
    EXPECT_EQ(Rows(20, 5), Texts(Ascending(121, 125)));
}

TEST_F(PointPage, ReadingsPastTheVisibleRowsAreKeptAndCounted)
{
    Click(W->CBInput);
    Preload(std::vector<std::uint16_t>(32, 100));
    Arrive({133});
    EXPECT_EQ(W->PointCount, 33);
    EXPECT_EQ(CellText(W->SGPoint, 0, 32), "133");
    EXPECT_GE(W->SGPoint->rowCount(), 33) << "the 33rd reading can be scrolled to";
    EXPECT_EQ(W->EAverage->text(), "101");  // (32 x 100 + 133) / 33

    Click(W->BFilter);  // 6 rounds: the 133 and the first 100, then one 100 a round
    EXPECT_EQ(W->PointCount, 26);
    EXPECT_EQ(List(), Repeated("100", 26));
}

TEST_F(PointPage, TheModesExcludeEachOtherAndTheListOutlivesThem)
{
    Click(W->CBInput);
    Arrive({500, 502});

    Click(W->CBTrack);
    EXPECT_FALSE(W->CBInput->isChecked());
    EXPECT_TRUE(W->Timer->isActive());
    EXPECT_FALSE(W->PointMode);
    EXPECT_TRUE(W->ETrCode->isEnabled());
    EXPECT_TRUE(W->ETrGap->isEnabled());
    EXPECT_EQ(List(), (QStringList{"500", "502"}));
    EXPECT_EQ(W->EAverage->text(), "501");

    Click(W->CBTrack);
    EXPECT_FALSE(W->Timer->isActive());
    EXPECT_FALSE(W->ETrCode->isEnabled());
    EXPECT_FALSE(W->ETrGap->isEnabled());

    Click(W->CBTrack);
    Click(W->CBInput);
    EXPECT_FALSE(W->CBTrack->isChecked());
    EXPECT_FALSE(W->ETrCode->isEnabled());
    EXPECT_TRUE(W->Timer->isActive()) << "the timer starts after tracking mode stopped it";
    EXPECT_TRUE(W->PointMode);

    Click(W->CBInput);
    EXPECT_FALSE(W->Timer->isActive());
    EXPECT_EQ(W->EAverage->text(), "501") << "turning input mode off keeps the figures";
}

TEST_F(PointPage, NothingNewMeansNoReadingAndNoMessage)
{
    const QStringList before = LogLines();
    Click(W->CBInput);
    const int exchanges = Sim.Exchanges();
    ASSERT_TRUE(WaitFor([&] { return Sim.Exchanges() >= exchanges + 3; }));
    EXPECT_EQ(W->PointCount, 0);
    EXPECT_EQ(LogLines(), before);
}

TEST_F(PointPage, AFailedCodeReadIsReportedAndTheModeStaysOn)
{
    Sim.QueueCodes({1500});
    Sim.SetFault({.Kind = TFault::Silent, .When = TFaultWhen::EveryNth, .N = 2});  // the first GetCode
    Click(W->CBInput);
    ASSERT_TRUE(WaitFor([&] { return LastLog() == "- GetData Failed"; }));
    Sim.SetFault({});
    EXPECT_EQ(W->PointCount, 0);
    EXPECT_TRUE(W->CBInput->isChecked());
    EXPECT_TRUE(W->Timer->isActive());

    ASSERT_TRUE(WaitFor([&] { return W->PointCount == 1; })) << "the next tick takes the reading";
    EXPECT_EQ(CellText(W->SGPoint, 0, 0), "1500");
}

TEST_F(PointPage, TrackingShowsTheCodeAndTheGap)
{
    Sim.SetReadings({.RatePerSecond = 0, .Gap = 777});
    Sim.QueueCodes({4321});
    Click(W->CBTrack);
    ASSERT_TRUE(WaitFor([&] { return W->ETrCode->text() == "4321"; }));
    const int gap = W->ETrGap->text().toInt();
    EXPECT_TRUE(gap >= 776 && gap <= 778) << W->ETrGap->text().toStdString();
    EXPECT_EQ(W->PointCount, 0);

    Click(W->CBTrack);
    EXPECT_FALSE(W->ETrCode->isEnabled());
    EXPECT_EQ(W->ETrCode->text(), "4321") << "the texts stay";
}

TEST_F(PointPage, AGoodCodeFollowedByAFailedGapShowsTheNewCodeAndTheOldGap)
{
    Sim.SetReadings({.RatePerSecond = 0, .Gap = 300});
    Sim.QueueCodes({1111});
    Click(W->CBTrack);
    ASSERT_TRUE(WaitFor([&] { return W->ETrCode->text() == "1111"; }));
    Click(W->CBTrack);
    const QString oldGap = W->ETrGap->text();

    Sim.SetReadings({.RatePerSecond = 0, .Gap = 900});
    Sim.QueueCodes({2222});
    Sim.SetFault({.Kind = TFault::Silent, .When = TFaultWhen::EveryNth, .N = 3});  // status, code, then the gap
    Click(W->CBTrack);
    ASSERT_TRUE(WaitFor([&] { return LastLog() == "- GetData Failed"; }));
    Sim.SetFault({});
    EXPECT_EQ(W->ETrCode->text(), "2222");
    EXPECT_EQ(W->ETrGap->text(), oldGap);
    EXPECT_TRUE(W->CBTrack->isChecked());
}

TEST_F(PointPage, AStatusCommandUnansweredTwiceTurnsBothModesOff)
{
    for (QCheckBox* mode : {W->CBInput, W->CBTrack}) {
        SCOPED_TRACE(mode->objectName().toStdString());
        Click(W->BClear);
        Preload({40, 41});
        Sim.SetFault({.Kind = TFault::Silent, .When = TFaultWhen::Always});
        Click(mode);
        const QStringList list = List();
        Sim.ClearTrace();
        ASSERT_TRUE(WaitFor([&] { return !mode->isChecked(); }));
        Sim.SetFault({});
        EXPECT_EQ(LastLog(), "- GetStatus Failed");
        EXPECT_FALSE(W->CBInput->isChecked());
        EXPECT_FALSE(W->CBTrack->isChecked());
        EXPECT_FALSE(W->Timer->isActive());
        EXPECT_FALSE(W->ETrCode->isEnabled());
        EXPECT_EQ(List(), list);
        EXPECT_EQ(Sim.HostBytes(), (Bytes{0x07, 0x07})) << "one retry, then nothing more";
    }
    EXPECT_FALSE(W->ETrGap->isEnabled()) << "tracking mode's fields go off with it";
}

}  // namespace
