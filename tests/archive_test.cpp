// The "Archive" page through the real window and the simulated instrument.
#include "ProgressWatch.h"
#include "WindowTest.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <csignal>
#include <numeric>
#include <vector>

namespace sim = trelvo::sim;

namespace {

constexpr int HeaderRow = 0;

class ArchiveTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        EmptyAllPages();
        Connect();  // the demonstration part, a QZ5520, offers the archive tools
        ASSERT_TRUE(W->BPageRead->isEnabled());
    }
    void EmptyAllPages()
    {
        Edit([](sim::TImage& image) {
            for (int page = 0; page < MemoryMap::Pages; ++page)
                image.SetWord(sim::TBlock::Seeprom, MemoryMap::Page(page), 0);
        });
    }

    void SetPage(int page, const std::vector<std::uint16_t>& values, int count = -1)
    {
        Edit([&](sim::TImage& image) {
            image.SetWord(sim::TBlock::Seeprom, MemoryMap::Page(page),
                          static_cast<std::uint16_t>(count < 0 ? values.size() : count));
            for (std::size_t e = 0; e < values.size(); ++e)
                image.SetWord(sim::TBlock::Seeprom, MemoryMap::PageValue(page, static_cast<int>(e)), values[e]);
        });
    }

    // The page list's item: 0 "All", k page k - 1.
    void ReadPages(int item)
    {
        Pick(W->CBPage, item);
        Click(W->BPageRead);
    }

    QString Cell(int column, int row) const { return CellText(W->SGPage, column, row); }

    QStringList Row(int row) const
    {
        QStringList cells;
        for (int column = 0; column < 5; ++column)
            cells.append(Cell(column, row));
        return cells;
    }

    // Runs "Export" and answers the save dialog with `path`.
    TModalSeen ExportTo(const QString& path)
    {
        return WithModal([&] { Click(W->BTblExport); },
                         [&](QWidget* dialog) {
                             auto* save = qobject_cast<QFileDialog*>(dialog);
                             ASSERT_NE(save, nullptr);
                             // The shown dialog takes a file chosen from code only while its name edit has no focus.
                             if (QWidget* focus = save->focusWidget())
                                 focus->clearFocus();
                             // Named from the test's folder, as a user types it: the dialog does not
                             // take an absolute path into a folder that does not exist.
                             save->setDirectory(Folder.path());
                             save->selectFile(QDir(Folder.path()).relativeFilePath(path));
                             static_cast<QDialog*>(save)->accept();  // QFileDialog::accept is not public
                             if (save->isVisible())  // the path was not taken: fail, do not hang
                                 save->reject();
                         });
    }

    static QByteArray FileBytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    // Absolute, as the save dialog hands it on.
    QString PathInFolder(const QString& name) const { return QDir(Folder.path()).absoluteFilePath(name); }

    QTemporaryDir Folder;
};

// The six records of page 0 holding the one value 100.
const QByteArray OneValueExport = "\r\nPage:\t0\t\tCount:\t1\t"
                                  "\r\n100\t\t\t\t\t"
                                  "\r\nAvg:\t100\t\tMax:\t100\t"
                                  "\r\nSigma:\t0\t\tMin:\t100\t"
                                  "\r\n\t\t\t\t\t"
                                  "\r\n\t\t\t\t\t";

TEST_F(ArchiveTest, PageItemsReadTheirPage)
{
    SetPage(0, {100});
    SetPage(7, {700});

    Sim.ClearTrace();
    ReadPages(1);
    std::vector<std::uint8_t> sent = Sim.HostBytes();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 3), (std::vector<std::uint8_t>{0x61, 0x04, 0x00}));
    EXPECT_EQ(Row(HeaderRow), (QStringList{"Page:", "0", "", "Count:", "1"}));
    EXPECT_EQ(Cell(0, 1), "100");
    EXPECT_EQ(LastLog(), "+ GetPage successful");

    Click(W->BTblClear);
    Sim.ClearTrace();
    ReadPages(8);
    sent = Sim.HostBytes();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 3), (std::vector<std::uint8_t>{0x61, 0x0B, 0x00}));
    EXPECT_EQ(Row(HeaderRow), (QStringList{"Page:", "7", "", "Count:", "1"}));
    EXPECT_EQ(Cell(0, 1), "700");
}

TEST_F(ArchiveTest, CountDecidesTheRowsAPageTakes)
{
    struct TCountCase {
        int Count;
        int Rows;  // 0: an empty page
    };
    const TCountCase cases[] = {{1, 5}, {5, 5}, {6, 6}, {122, 29}, {123, 0}, {255, 0}};
    for (const TCountCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.Count);
        Click(W->BTblClear);
        std::vector<std::uint16_t> values(std::min(c.Count, MemoryMap::PageValuesMax));
        std::iota(values.begin(), values.end(), 1000);
        SetPage(2, values, c.Count);
        const int exchanges = Sim.Exchanges();

        ReadPages(3);

        EXPECT_EQ(W->PageRow, c.Rows);
        EXPECT_EQ(LastLog(), "+ GetPage successful");
        if (c.Rows == 0) {
            EXPECT_EQ(Sim.Exchanges() - exchanges, 1);
            EXPECT_EQ(LogLines().at(LogLines().size() - 2), "- Page 2 Empty");
            EXPECT_EQ(Cell(0, HeaderRow), "");
            continue;
        }
        EXPECT_EQ(Sim.Exchanges() - exchanges, 1 + c.Count);
        EXPECT_EQ(Cell(4, HeaderRow), QString::number(c.Count));
        // The last value sits in its place, then the statistics, then one empty row.
        const int last = c.Count - 1;
        EXPECT_EQ(Cell(last % 5, 1 + last / 5), QString::number(1000 + last));
        EXPECT_EQ(Cell(0, c.Rows - 3), "Avg:");
        EXPECT_EQ(Cell(0, c.Rows - 2), "Sigma:");
        EXPECT_EQ(Row(c.Rows - 1), (QStringList{"", "", "", "", ""}));
    }
}

TEST_F(ArchiveTest, AllOverEmptyPagesLogsEachPageAndLeavesTheGridAlone)
{
    ReadPages(0);
    const QStringList log = LogLines();
    ASSERT_GE(log.size(), 9);
    EXPECT_EQ(log.mid(log.size() - 9), (QStringList{"- Page 0 Empty", "- Page 1 Empty", "- Page 2 Empty",
                                                     "- Page 3 Empty", "- Page 4 Empty", "- Page 5 Empty",
                                                     "- Page 6 Empty", "- Page 7 Empty", "+ GetPage successful"}));
    EXPECT_EQ(W->PageRow, 0);
    EXPECT_EQ(Cell(0, 0), "");
}

TEST_F(ArchiveTest, StatisticsOfExamplePages)
{
    struct TStatisticsCase {
        std::vector<std::uint16_t> Values;
        const char* Avg;
        const char* Sigma;
        const char* Max;
        const char* Min;
    };
    std::vector<std::uint16_t> oneToSeven(7);
    std::iota(oneToSeven.begin(), oneToSeven.end(), 1);
    const TStatisticsCase cases[] = {
        {{100}, "100", "0", "100", "100"},
        {oneToSeven, "4", "2", "7", "1"},
        {{1000, 1001, 1002}, "1001", "0.8165", "1002", "1000"},
        {{10, 20, 30, 40, 50}, "30", "14.142", "50", "10"},
        {{0, 0, 0}, "0", "0", "0", "0"},
        // The single-precision running mean ends just below 7.
        {std::vector<std::uint16_t>(122, 7), "7", "7.1526E-6", "7", "7"},
        {{65535, 0}, "32768", "32768", "65535", "0"},
    };
    for (const TStatisticsCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Values.size() << " values, avg " << c.Avg);
        Click(W->BTblClear);
        SetPage(0, c.Values);
        ReadPages(1);
        const int statistics = W->PageRow - 3;
        EXPECT_EQ(Row(statistics), (QStringList{"Avg:", c.Avg, "", "Max:", c.Max}));
        EXPECT_EQ(Row(statistics + 1), (QStringList{"Sigma:", c.Sigma, "", "Min:", c.Min}));
    }
}

// No cell shows a value, and no statistic is computed, that did not come from the instrument.
TEST_F(ArchiveTest, FailedValueReadCutsThePageShort)
{
    std::vector<std::uint16_t> values(40);
    std::iota(values.begin(), values.end(), 500);
    SetPage(0, values);
    const int exchanges = Sim.Exchanges();
    // Exchange 1 reads the header, exchange 18 value 16.
    Sim.SetFault({sim::TFault::Silent, sim::TFaultWhen::EveryNth, 18});

    ReadPages(1);

    EXPECT_EQ(Sim.Exchanges() - exchanges, 18);
    EXPECT_EQ(Row(0), (QStringList{"Page:", "0", "", "Count:", "40"}));
    EXPECT_EQ(Row(3), (QStringList{"510", "511", "512", "513", "514"}));
    EXPECT_EQ(Row(4), (QStringList{"515", "", "", "", ""}));
    EXPECT_EQ(Row(5), (QStringList{"Failed:", "16", "", "", ""}));
    EXPECT_EQ(Row(6), (QStringList{"", "", "", "", ""}));
    EXPECT_EQ(W->PageRow, 7);
    const QStringList log = LogLines();
    EXPECT_EQ(log.mid(log.size() - 2), (QStringList{"- Page 0 failed at value 16", "- GetPage failed"}));
}

// The closing line speaks for the last page only; every page that failed says so itself.
TEST_F(ArchiveTest, AllReportsEachFailedPage)
{
    // Every third header goes unanswered: pages 2 and 5.
    Sim.SetFault({sim::TFault::Silent, sim::TFaultWhen::EveryNth, 3});
    ReadPages(0);
    const QStringList log = LogLines();
    ASSERT_GE(log.size(), 9);
    EXPECT_EQ(log.mid(log.size() - 9), (QStringList{"- Page 0 Empty", "- Page 1 Empty", "- Page 2 failed",
                                                     "- Page 3 Empty", "- Page 4 Empty", "- Page 5 failed",
                                                     "- Page 6 Empty", "- Page 7 Empty", "+ GetPage successful"}));
    EXPECT_EQ(W->PageRow, 0);
}

TEST_F(ArchiveTest, ClearThenExportFindsNothingToExport)
{
    SetPage(0, {1, 2, 3});
    ReadPages(1);
    ASSERT_EQ(W->PageRow, 5);
    Click(W->BTblClear);
    EXPECT_EQ(W->PageRow, 0);
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(Row(row), (QStringList{"", "", "", "", ""})) << "row " << row;

    const TModalSeen seen = WithModal([&] { Click(W->BTblExport); });
    EXPECT_FALSE(seen.Shown);
    EXPECT_EQ(LastLog(), "- Page Table Empty");
}

TEST_F(ArchiveTest, ExportWritesEveryRowByteForByte)
{
    SetPage(0, {100});
    ReadPages(1);
    const QString path = PathInFolder(QStringLiteral("archive.txt"));
    WriteFile(path, QByteArray(500, 'x'));
    const QStringList log = LogLines();

    // A cancelled dialog writes nothing.
    EXPECT_TRUE(WithModal([&] { Click(W->BTblExport); }).Shown);
    EXPECT_EQ(FileBytes(path), QByteArray(500, 'x'));

    const TModalSeen seen = ExportTo(path);
    EXPECT_EQ(seen.ClassName, "QFileDialog");
    EXPECT_EQ(FileBytes(path), OneValueExport);
    EXPECT_EQ(LogLines(), log);
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files), QStringList{"archive.txt"});
}

TEST_F(ArchiveTest, ExportIntoAMissingFolderSaysWhy)
{
    SetPage(0, {100});
    ReadPages(1);
    const QString path = PathInFolder(QStringLiteral("missing/archive.txt"));

    ExportTo(path);

    const QString failure = QStringLiteral("- Export failed: ") + path + QStringLiteral(": ");
    EXPECT_TRUE(LastLog().startsWith(failure)) << LastLog().toStdString();
    EXPECT_GT(LastLog().size(), failure.size());
    EXPECT_EQ(StatusText(), LastLog());
    EXPECT_FALSE(QFile::exists(path));
}

// A write that fails half-way (here the file size limit) leaves the old file whole and no stray file beside it.
TEST_F(ArchiveTest, ExportThatCannotBeWrittenKeepsTheOldFile)
{
    SetPage(0, {100});
    ReadPages(1);
    const QString path = PathInFolder(QStringLiteral("archive.txt"));
    const QByteArray old = "the export of yesterday";
    WriteFile(path, old);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ExportTo(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(LastLog().startsWith(QStringLiteral("- Export failed: ") + path + QStringLiteral(": ")))
        << LastLog().toStdString();
    EXPECT_EQ(FileBytes(path), old);
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files), QStringList{"archive.txt"});
}

// The longest read: 984 exchanges, 232 rows, past the grid's first 100.
TEST_F(ArchiveTest, AllOverFullPagesShowsProgressAndExportsEveryRow)
{
    for (int page = 0; page < MemoryMap::Pages; ++page) {
        std::vector<std::uint16_t> values(MemoryMap::PageValuesMax);
        std::iota(values.begin(), values.end(), static_cast<std::uint16_t>(1000 * page));
        SetPage(page, values);
    }

    TProgressWatch watch(W->StatusBar);
    ReadPages(0);
    ASSERT_TRUE(WaitFor([&] { return watch.Ticks > 0; }));

    EXPECT_EQ(W->PageRow, 232);
    EXPECT_GE(W->SGPage->rowCount(), 231);  // every row written, the last statistics row 230 included
    EXPECT_EQ(Row(7 * 29), (QStringList{"Page:", "7", "", "Count:", "122"}));
    EXPECT_EQ(Cell(1, 7 * 29 + 25), "7121");
    EXPECT_EQ(Cell(0, 7 * 29 + 26), "Avg:");
    EXPECT_EQ(LastLog(), "+ GetPage successful");

    EXPECT_TRUE(watch.Messages.contains("Reading page 0"));
    EXPECT_TRUE(watch.Messages.contains("Reading page 3, value 40"));
    EXPECT_TRUE(watch.Messages.contains("Reading page 7, value 120"));
    EXPECT_EQ(watch.TicksDuringRead, 0);
    EXPECT_EQ(StatusText(), "+ GetPage successful");

    const QString path = PathInFolder(QStringLiteral("all.txt"));
    ExportTo(path);
    const QByteArray bytes = FileBytes(path);
    const QList<QByteArray> records = bytes.split('\n');
    EXPECT_EQ(records.size(), 233 + 1);  // what comes before the first CR LF is empty
    EXPECT_EQ(records.at(0), "\r");
    EXPECT_EQ(records.at(1 + 7 * 29), "Page:\t7\t\tCount:\t122\t\r");
    EXPECT_EQ(records.last(), "\t\t\t\t\t");
}

}  // namespace
