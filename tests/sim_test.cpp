// The simulated instrument, driven byte by byte over its pseudo-terminal with plain POSIX calls.
#include "Simulator.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace trelvo::sim;
using TBytes = std::vector<std::uint8_t>;

namespace {

// The application's end of the line: raw mode, one write per call, reads with a time limit.
class TTerminal {
public:
    explicit TTerminal(const std::string& path) : Fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        if (Fd < 0)
            return;
        termios mode{};
        tcgetattr(Fd, &mode);
        cfmakeraw(&mode);
        mode.c_cc[VMIN] = 1;
        mode.c_cc[VTIME] = 0;
        tcsetattr(Fd, TCSANOW, &mode);
    }
    ~TTerminal()
    {
        if (Fd >= 0)
            close(Fd);
    }
    TTerminal(const TTerminal&) = delete;
    TTerminal& operator=(const TTerminal&) = delete;

    int Handle() const { return Fd; }
    void Purge() const { tcflush(Fd, TCIOFLUSH); }
    bool Send(const TBytes& bytes) const
    {
        return bytes.empty() || write(Fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Up to count bytes; stops early when nothing arrives within waitMs.
    TBytes Receive(std::size_t count, int waitMs = 1000) const
    {
        TBytes bytes;
        while (bytes.size() < count) {
            pollfd ready{Fd, POLLIN, 0};
            if (poll(&ready, 1, waitMs) <= 0)
                break;
            std::uint8_t buffer[64];
            const ssize_t n = read(Fd, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }
    // Whatever arrives until the line has been quiet for quietMs.
    TBytes Drain(int quietMs = 120) const { return Receive(SIZE_MAX, quietMs); }

private:
    int Fd;
};

// One step of an exchange: what the application sends, then what the instrument must answer.
struct TStep {
    TBytes Host;
    TBytes Instrument;
};

// Runs the steps like the application does (each step waits for the answer before the next is sent),
// then checks that the instrument sends nothing more.
void Converse(const TTerminal& terminal, const std::vector<TStep>& steps)
{
    terminal.Purge();
    for (const auto& step : steps) {
        ASSERT_TRUE(terminal.Send(step.Host));
        EXPECT_EQ(terminal.Receive(step.Instrument.size()), step.Instrument) << "after sending " << ::testing::PrintToString(step.Host);
    }
    EXPECT_EQ(terminal.Drain(), TBytes{}) << "bytes after the exchange";
}

TImage KnownImage()
{
    TImage image = TImage::Demo();
    image.Identity = {0x20, 0x3B, 0x01, 0x2C};
    image.SetWord(TBlock::Eeprom, 0x0002, 0x050F);
    image.SetWord(TBlock::Eeprom, 0x0004, 0x031E);
    return image;
}

TOptions QuietOptions()
{
    TOptions options;
    options.Image = KnownImage();
    options.Readings.RatePerSecond = 0;
    return options;
}

const std::vector<TStep> GetData = {{{0x42}, {0x42}}, {{0x00, 0x02}, {0x05, 0x0F, 0x03, 0x1E, 0x37}}};
const std::vector<TStep> GetStatusIdle = {{{0x07}, {0x07, 0x00, 0x00}}};

class SimulatorTest : public testing::Test {
protected:
    void SetUp() override { StartWith(QuietOptions()); }

    void StartWith(TOptions options)
    {
        Terminal.reset();
        Sim = std::make_unique<TSimulator>(std::move(options));
        ASSERT_TRUE(Sim->Start()) << Sim->Error();
        Terminal = std::make_unique<TTerminal>(Sim->DevicePath());
        ASSERT_GE(Terminal->Handle(), 0) << Sim->DevicePath();
    }

    std::unique_ptr<TSimulator> Sim;
    std::unique_ptr<TTerminal> Terminal;
};

struct TExchangeCase {
    const char* Name;
    std::function<void(TImage&)> Prepare;
    std::vector<std::uint16_t> Queued;
    std::vector<TStep> Steps;
    std::function<void(const TImage&)> Check;
};

const TExchangeCase ExchangeCases[] = {
    {"GetDataSettings", nullptr, {}, GetData, nullptr},
    {"OpenSessionHasNoChecksum", nullptr, {}, {{{0xAA}, {0xAA, 0x20, 0x3B, 0x01, 0x2C}}}, nullptr},
    {"GetIdWithChecksum", nullptr, {}, {{{0x01}, {0x01, 0x20, 0x3B, 0x01, 0x2C, 0x88}}}, nullptr},
    {"PutIdAcknowledgesEachWord",
     nullptr,
     {},
     {{{0x81}, {0x81, 0x00}}, {{0x20, 0x3D}, {0x00}}, {{0x01, 0x2C}, {0x8A}}},
     [](const TImage& image) { EXPECT_EQ(image.Identity, (std::array<std::uint8_t, 4>{0x20, 0x3D, 0x01, 0x2C})); }},
    {"GetStatusWithReading", nullptr, {1234}, {{{0x07}, {0x07, 0x01, 0x01}}}, nullptr},
    {"GetStatusWithoutReading", nullptr, {}, GetStatusIdle, nullptr},
    {"GetCodeHasNoChecksum", nullptr, {1234}, {{{0x06}, {0x06, 0x04, 0xD2}}}, nullptr},
    {"ReadOneWord",
     [](TImage& image) { image.SetWord(TBlock::Eeprom, 0x0002, 0x1234); },
     {},
     {{{0x41}, {0x41}}, {{0x00, 0x02}, {0x12, 0x34, 0x48}}},
     nullptr},
    {"AddressIsTakenWithinTheBlock",
     [](TImage& image) { image.SetWord(TBlock::Eeprom, 0x0002, 0x1234); },
     {},
     {{{0x41}, {0x41}}, {{0x10, 0x02}, {0x12, 0x34, 0x58}}},
     nullptr},
    {"TwoWordReadWrapsAtTheBlockEnd",
     [](TImage& image) {
         image.SetWord(TBlock::Seeprom, 0x0FFE, 0xAABB);
         image.SetWord(TBlock::Seeprom, 0x0000, 0xCCDD);
     },
     {},
     {{{0x62}, {0x62}}, {{0x0F, 0xFE}, {0xAA, 0xBB, 0xCC, 0xDD, 0x1F}}},
     nullptr},
    {"TwoWordWriteToSeeprom",
     nullptr,
     {},
     {{{0xE2}, {0xE2}}, {{0x04, 0x00}, {0x00}}, {{0x00, 0x7A}, {0x00}}, {{0x01, 0xF4}, {0x74}}},
     [](const TImage& image) {
         EXPECT_EQ(image.Word(TBlock::Seeprom, 0x0400), 0x007A);
         EXPECT_EQ(image.Word(TBlock::Seeprom, 0x0402), 0x01F4);
     }},
    {"OneWordWriteToRam",
     nullptr,
     {},
     {{{0xA1}, {0xA1}}, {{0x00, 0x10}, {0x00}}, {{0xBE, 0xEF}, {0xBE}}},
     [](const TImage& image) { EXPECT_EQ(image.Word(TBlock::Ram, 0x0010), 0xBEEF); }},
    {"CloseSessionIsEchoedOnly", nullptr, {}, {{{0x55}, {0x55}}}, nullptr},
};

class SimulatorExchangeTest : public SimulatorTest, public testing::WithParamInterface<TExchangeCase> {};

TEST_P(SimulatorExchangeTest, AnswersByteForByte)
{
    const auto& exchange = GetParam();
    if (exchange.Prepare) {
        TImage image = Sim->Image();
        exchange.Prepare(image);
        Sim->SetImage(image);
    }
    Sim->QueueCodes(exchange.Queued);
    Converse(*Terminal, exchange.Steps);
    if (exchange.Check)
        exchange.Check(Sim->Image());
    EXPECT_EQ(Sim->Exchanges(), 1);
}

INSTANTIATE_TEST_SUITE_P(Commands, SimulatorExchangeTest, testing::ValuesIn(ExchangeCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SimulatorTest, UnknownCommandBytesGetNoAnswer)
{
    const TBytes commands = {0x01, 0x04, 0x06, 0x07, 0x21, 0x22, 0x41, 0x42, 0x61, 0x62,
                             0x81, 0xA1, 0xA2, 0xC1, 0xC2, 0xE1, 0xE2, 0xAA, 0x55};
    TBytes unknown;
    for (int byte = 0; byte < 256; ++byte)
        if (std::find(commands.begin(), commands.end(), byte) == commands.end())
            unknown.push_back(static_cast<std::uint8_t>(byte));
    ASSERT_TRUE(Terminal->Send(unknown));
    EXPECT_EQ(Terminal->Drain(200), TBytes{});
    EXPECT_EQ(Sim->Exchanges(), 0);
    Converse(*Terminal, GetStatusIdle);
}

TEST_F(SimulatorTest, AbandonedReadLeavesTheInstrumentIdle)
{
    ASSERT_TRUE(Terminal->Send({0x42}));
    ASSERT_EQ(Terminal->Receive(1), TBytes{0x42});
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    // Taken as a new command, not as the high byte of the address.
    Converse(*Terminal, GetStatusIdle);
}

TEST_F(SimulatorTest, AbandonedWriteChangesNothing)
{
    ASSERT_TRUE(Terminal->Send({0x81}));
    ASSERT_EQ(Terminal->Receive(2), (TBytes{0x81, 0x00}));
    ASSERT_TRUE(Terminal->Send({0x00, 0x00}));
    ASSERT_EQ(Terminal->Receive(1), TBytes{0x00});
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    Converse(*Terminal, GetStatusIdle);
    EXPECT_EQ(Sim->Image().Identity, KnownImage().Identity);
}

TEST_F(SimulatorTest, DeviceCanBeClosedAndOpenedAgain)
{
    Converse(*Terminal, GetData);
    Terminal.reset();
    Terminal = std::make_unique<TTerminal>(Sim->DevicePath());
    ASSERT_GE(Terminal->Handle(), 0);
    Converse(*Terminal, GetData);
}

TEST_F(SimulatorTest, VanishedDeviceFailsReadsAndWrites)
{
    Converse(*Terminal, GetStatusIdle);
    const std::string path = Sim->DevicePath();
    Sim->Vanish();
    std::uint8_t byte = 0x07;
    EXPECT_EQ(write(Terminal->Handle(), &byte, 1), -1);
    EXPECT_LE(read(Terminal->Handle(), &byte, 1), 0);
    Terminal.reset();
    const int again = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_LT(again, 0);
    if (again >= 0)
        close(again);
}

TEST_F(SimulatorTest, TraceShowsBothDirectionsInOrder)
{
    Converse(*Terminal, GetData);
    const auto trace = Sim->Trace();
    const std::vector<std::pair<bool, std::uint8_t>> expected = {{true, 0x42},  {false, 0x42}, {true, 0x00},  {true, 0x02},  {false, 0x05},
                                                                 {false, 0x0F}, {false, 0x03}, {false, 0x1E}, {false, 0x37}};
    ASSERT_EQ(trace.size(), expected.size());
    for (std::size_t i = 0; i < trace.size(); ++i) {
        EXPECT_EQ(trace[i].FromHost, expected[i].first) << i;
        EXPECT_EQ(trace[i].Byte, expected[i].second) << i;
        if (i > 0) {
            EXPECT_GE(trace[i].At, trace[i - 1].At) << i;
        }
    }
    EXPECT_EQ(Sim->HostBytes(), (TBytes{0x42, 0x00, 0x02}));
    EXPECT_EQ(Sim->InstrumentBytes(), (TBytes{0x42, 0x05, 0x0F, 0x03, 0x1E, 0x37}));
    Sim->ClearTrace();
    EXPECT_TRUE(Sim->Trace().empty());
}

// Fault injection: the faulty exchange, then a normal one once the line has been quiet.
struct TFaultCase {
    const char* Name;
    TFaultPlan Plan;
    std::vector<TStep> Faulty;
};

const TFaultCase FaultCases[] = {
    {"Silent", {TFault::Silent}, {{{0x07}, {}}}},
    {"NoEcho", {TFault::NoEcho}, {{{0x42}, {}}}},
    {"WrongEcho", {TFault::WrongEcho}, {{{0x42}, {0x43}}}},
    {"WrongChecksum", {TFault::WrongChecksum}, {{{0x42}, {0x42}}, {{0x00, 0x02}, {0x05, 0x0F, 0x03, 0x1E, 0x38}}}},
    {"NonZeroAck", {TFault::NonZeroAck}, {{{0x81}, {0x81, 0x01}}}},
    {"SilentAfterThreeBytes", {TFault::SilentAfter, TFaultWhen::Once, 1, 3}, {{{0x42}, {0x42}}, {{0x00, 0x02}, {0x05, 0x0F}}}},
    {"SilentAfterTheFirstAck", {TFault::SilentAfter, TFaultWhen::Once, 1, 2}, {{{0x81}, {0x81, 0x00}}, {{0x20, 0x3D}, {}}}},
    // A fault waits for the first exchange it can act on.
    {"WrongChecksumSkipsOpenSession",
     {TFault::WrongChecksum},
     {{{0xAA}, {0xAA, 0x20, 0x3B, 0x01, 0x2C}}, {{0x07}, {0x07, 0x00, 0x01}}}},
    {"NonZeroAckSkipsReads", {TFault::NonZeroAck}, {{{0x42}, {0x42}}, {{0x00, 0x02}, {0x05, 0x0F, 0x03, 0x1E, 0x37}}, {{0x81}, {0x81, 0x01}}}},
};

class SimulatorFaultTest : public SimulatorTest, public testing::WithParamInterface<TFaultCase> {};

TEST_P(SimulatorFaultTest, FailsOnceThenAnswersAgain)
{
    Sim->SetFault(GetParam().Plan);
    Converse(*Terminal, GetParam().Faulty);
    Converse(*Terminal, GetData);
    EXPECT_EQ(Sim->Image().Identity, KnownImage().Identity) << "a failed write changed the identity";
}

INSTANTIATE_TEST_SUITE_P(Faults, SimulatorFaultTest, testing::ValuesIn(FaultCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SimulatorTest, FaultScheduleCountsExchanges)
{
    struct TScheduleCase {
        TFaultPlan Plan;
        std::vector<std::uint8_t> Checksums;  // of four GetStatus exchanges in a row
    };
    const TScheduleCase cases[] = {
        {{TFault::WrongChecksum, TFaultWhen::Once}, {0x01, 0x00, 0x00, 0x00}},
        {{TFault::WrongChecksum, TFaultWhen::EveryNth, 2}, {0x00, 0x01, 0x00, 0x01}},
        {{TFault::WrongChecksum, TFaultWhen::Always}, {0x01, 0x01, 0x01, 0x01}},
    };
    for (const auto& schedule : cases) {
        Sim->SetFault(schedule.Plan);
        for (std::uint8_t checksum : schedule.Checksums)
            Converse(*Terminal, {{{0x07}, {0x07, 0x00, checksum}}});
    }
}

TEST_F(SimulatorTest, StatusRetryAfterWrongEchoIsAnsweredAtOnce)
{
    Sim->SetFault({TFault::WrongEcho});
    Terminal->Purge();
    ASSERT_TRUE(Terminal->Send({0x07}));
    ASSERT_EQ(Terminal->Receive(1), TBytes{0x06});
    ASSERT_TRUE(Terminal->Send({0x07}));
    EXPECT_EQ(Terminal->Receive(3), (TBytes{0x07, 0x00, 0x00}));
}

TEST_F(SimulatorTest, QueuedCodesComeFirstAndMakeAReadingReady)
{
    Sim->QueueCodes({100, 200});
    Converse(*Terminal, {{{0x07}, {0x07, 0x01, 0x01}}, {{0x06}, {0x06, 0x00, 100}}});
    Converse(*Terminal, {{{0x07}, {0x07, 0x01, 0x01}}, {{0x06}, {0x06, 0x00, 200}}});
    Converse(*Terminal, GetStatusIdle);
}

// Takes readings as the application does: status until a reading is ready, then code and gap.
std::vector<std::pair<int, int>> TakeReadings(const TTerminal& terminal, int count)
{
    std::vector<std::pair<int, int>> readings;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (static_cast<int>(readings.size()) < count && std::chrono::steady_clock::now() < deadline) {
        terminal.Purge();
        terminal.Send({0x07});
        const TBytes status = terminal.Receive(3);
        if (status.size() != 3 || status[1] == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        terminal.Send({0x06});
        const TBytes code = terminal.Receive(3);
        terminal.Send({0x04});
        const TBytes gap = terminal.Receive(3);
        if (code.size() != 3 || gap.size() != 3)
            break;
        readings.emplace_back(code[1] << 8 | code[2], gap[1] << 8 | gap[2]);
    }
    return readings;
}

TEST_F(SimulatorTest, GeneratedReadingsScatterAroundTheCentre)
{
    TOptions options = QuietOptions();
    options.Readings = {500.0, 3000, 4, 77};
    options.Seed = 7;
    StartWith(options);
    const auto readings = TakeReadings(*Terminal, 30);
    ASSERT_EQ(readings.size(), 30u);
    std::set<int> codes;
    for (const auto& [code, gap] : readings) {
        EXPECT_GE(code, 2996);
        EXPECT_LE(code, 3004);
        EXPECT_GE(gap, 76);
        EXPECT_LE(gap, 78);
        codes.insert(code);
    }
    EXPECT_GT(codes.size(), 1u) << "the codes do not scatter";

    // The same seed gives the same codes, whenever they are taken.
    StartWith(options);
    EXPECT_EQ(TakeReadings(*Terminal, 30), readings);
}

TEST_F(SimulatorTest, GetCodeTakesTheReading)
{
    TOptions options = QuietOptions();
    options.Readings.RatePerSecond = 2;
    StartWith(options);
    ASSERT_EQ(TakeReadings(*Terminal, 1).size(), 1u);
    Converse(*Terminal, GetStatusIdle);
}

TEST_F(SimulatorTest, PacedExchangeTakesItsWireTime)
{
    TOptions options = QuietOptions();
    options.Baud = 2400;
    StartWith(options);
    const auto byteTime = std::chrono::microseconds(10'000'000 / 2400);
    const auto start = std::chrono::steady_clock::now();
    Converse(*Terminal, GetData);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Nine bytes, one after the other on the line.
    EXPECT_GE(elapsed, 9 * byteTime);
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    const auto trace = Sim->Trace();
    ASSERT_EQ(trace.size(), 9u);
    for (std::size_t i = 1; i < trace.size(); ++i) {
        EXPECT_GE(trace[i].At - trace[i - 1].At, byteTime) << i;
    }
}

TEST_F(SimulatorTest, ImageIsSafeToUseWhileExchangesRun)
{
    std::atomic<bool> done = false;
    std::thread meddler([&] {
        while (!done) {
            TImage image = Sim->Image();
            Sim->SetImage(image);
            Sim->SetFault({});
            Sim->QueueCodes({});
            (void)Sim->Trace();
        }
    });
    for (int i = 0; i < 20; ++i)
        Converse(*Terminal, {GetData[0], GetData[1]});
    done = true;
    meddler.join();
}

// The image text format.

TEST(SimulatorImageTest, DemoRoundTripsThroughText)
{
    std::string error;
    const auto demo = TImage::Demo();
    const auto parsed = TImage::FromText(demo.ToText(), error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(*parsed, demo);
}

TEST(SimulatorImageTest, ZeroRowsAreLeftOutAndReadAsZero)
{
    TImage image;
    image.Identity = {1, 2, 3, 4};
    image.At(TBlock::Seeprom, 0x0FFF) = 0x5A;
    const std::string text = image.ToText();
    EXPECT_NE(text.find("0x0FF0: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5A"), std::string::npos) << text;
    EXPECT_EQ(text.find("0x0000:"), std::string::npos) << text;
    std::string error;
    const auto parsed = TImage::FromText(text, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(*parsed, image);
}

TEST(SimulatorImageTest, HandWrittenTextIsAccepted)
{
    std::string error;
    const auto image = TImage::FromText("# an edited image\r\n"
                                        "  IDENTITY 20 3b 1 2c   # part, month, serial\n"
                                        "\n"
                                        "[eeprom]\n"
                                        "0020: 0 1 0 0 0x04 0xB0 01 F4 00 00 00 00 00 00 00 00\n",
                                        error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->Identity, (std::array<std::uint8_t, 4>{0x20, 0x3B, 0x01, 0x2C}));
    EXPECT_EQ(image->Word(TBlock::Eeprom, 0x0020), 0x0001);
    EXPECT_EQ(image->Word(TBlock::Eeprom, 0x0024), 1200);
    EXPECT_EQ(image->Word(TBlock::Eeprom, 0x0026), 500);
}

TEST(SimulatorImageTest, MalformedTextNamesTheLine)
{
    const std::string row = " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n";
    const struct {
        std::string Text;
        std::string Message;
    } cases[] = {
        {"identity 20 3B 01 2C\n\n# blank and comment lines count too\n[RAM]\n0x0000: 00" + row, "line 5: a row needs 16 bytes, found 17"},
        {"identity 20 3B 01\n", "line 1: the identity line needs 4 bytes, found 3"},
        {"identity 20 3B 01 2G\n", "line 1: '2G' is not a hexadecimal byte"},
        {"identity 20 3B 01 2C\nidentity 20 3B 01 2C\n", "line 2: a second identity line"},
        {"identity 20 3B 01 2C\n0x0000:" + row, "line 2: a memory row before the first section header"},
        {"identity 20 3B 01 2C\n[FLASH]\n", "line 2: unknown section '[FLASH]'"},
        {"identity 20 3B 01 2C\n[RAM\n", "line 2: a section header must end with ']'"},
        {"identity 20 3B 01 2C\n[RAM]\n[ram]\n", "line 3: section [RAM] appears twice"},
        {"identity 20 3B 01 2C\n[RAM]\n0x0008:" + row, "line 3: row address '0x0008' must be a multiple of 0x10 below 0x1000"},
        {"identity 20 3B 01 2C\n[RAM]\n0x1000:" + row, "line 3: row address '0x1000' must be a multiple"},
        {"identity 20 3B 01 2C\n[RAM]\nzz:" + row, "line 3: 'zz' is not a hexadecimal address"},
        {"identity 20 3B 01 2C\n[RAM]\n0x0010: 00 01\n", "line 3: a row needs 16 bytes, found 2"},
        {"identity 20 3B 01 2C\n[RAM]\n0x0010: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 100\n", "line 3: '100' is not a hexadecimal byte"},
        {"identity 20 3B 01 2C\n[SEEPROM]\n0x0010:" + row + "\n0x0010:" + row, "line 5: row '0x0010' appears twice in [SEEPROM]"},
        {"identity 20 3B 01 2C\n[RAM]\nhello world\n", "line 3: expected 'identity', a section header or a row"},
        {"[RAM]\n", "no identity line"},
    };
    for (const auto& bad : cases) {
        std::string error;
        EXPECT_FALSE(TImage::FromText(bad.Text, error)) << bad.Text;
        EXPECT_NE(error.find(bad.Message), std::string::npos) << "got: " << error << "\nwanted: " << bad.Message;
    }
}

TEST(SimulatorImageTest, DemoHoldsAPlausibleInstrument)
{
    const TImage demo = TImage::Demo();
    EXPECT_EQ(demo.Identity[0], 32);
    EXPECT_LT(demo.Identity[1], 22 * 12);
    for (int byte = 0; byte < 4; ++byte)
        EXPECT_NE(demo.At(TBlock::Eeprom, 0x0002 + byte), 0) << "settings byte " << byte;

    // Calibration tables: rising pairs that fit their room.
    const auto checkTable = [&](TBlock block, int base, int room) {
        const int count = demo.At(block, base + 1);
        EXPECT_LE(count, room) << base;
        EXPECT_EQ(demo.At(block, base) & 0x7F, 0) << base;
        for (int i = 1; i < count; ++i) {
            EXPECT_GT(demo.Word(block, base + 4 + 4 * i), demo.Word(block, base + 4 * i)) << base << " entry " << i;
            EXPECT_GT(demo.Word(block, base + 6 + 4 * i), demo.Word(block, base + 2 + 4 * i)) << base << " entry " << i;
        }
        return count;
    };
    EXPECT_GT(checkTable(TBlock::Eeprom, 0x0020, 100), 1);
    int seepromTables = 0;
    for (int k = 0; k < 8; ++k)
        seepromTables += checkTable(TBlock::Seeprom, k * 0x80, 31) > 0;
    EXPECT_GE(seepromTables, 2);

    // Archive pages: five or six with measurements, one of them full, the rest empty.
    int filled = 0;
    int full = 0;
    for (int page = 0; page < 8; ++page) {
        const int base = 0x0400 + page * 0x100;
        const int count = demo.At(TBlock::Seeprom, base + 1);
        EXPECT_LE(count, 122) << page;
        filled += count > 0;
        full += count == 122;
        for (int e = 0; e < count; ++e)
            EXPECT_NE(demo.Word(TBlock::Seeprom, base + 0x0C + 2 * e), 0) << page << " value " << e;
    }
    EXPECT_GE(filled, 5);
    EXPECT_LE(filled, 6);
    EXPECT_EQ(full, 1);
}

// The image file.

class SimulatorImageFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        File = Folder.filePath(QStringLiteral("instrument.txt")).toStdString();
    }

    std::string FileText() const
    {
        std::ifstream in(File);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TOptions WithFile() const
    {
        TOptions options = QuietOptions();
        options.ImageFile = File;
        return options;
    }

    QTemporaryDir Folder;
    std::string File;
};

TEST_F(SimulatorImageFileTest, WritesSurviveARestart)
{
    {
        TSimulator sim(WithFile());
        ASSERT_TRUE(sim.Start()) << sim.Error();
        std::string error;
        const auto created = TImage::FromText(FileText(), error);
        ASSERT_TRUE(created) << error;
        EXPECT_EQ(*created, KnownImage());

        TTerminal terminal(sim.DevicePath());
        Converse(terminal, {{{0x81}, {0x81, 0x00}}, {{0x20, 0x3D}, {0x00}}, {{0x01, 0x2C}, {0x8A}}});
        Converse(terminal, {{{0xC1}, {0xC1}}, {{0x00, 0x40}, {0x00}}, {{0xBE, 0xEF}, {0xEE}}});
    }
    EXPECT_NE(access((File + ".tmp").c_str(), F_OK), 0) << "the temporary file is left behind";

    TSimulator sim(WithFile());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    TTerminal terminal(sim.DevicePath());
    Converse(terminal, {{{0x01}, {0x01, 0x20, 0x3D, 0x01, 0x2C, 0x8A}}});
    Converse(terminal, {{{0x41}, {0x41}}, {{0x00, 0x40}, {0xBE, 0xEF, 0xEE}}});
}

TEST_F(SimulatorImageFileTest, SetImageIsSavedAtOnce)
{
    TSimulator sim(WithFile());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    TImage image = sim.Image();
    image.SetWord(TBlock::Ram, 0x0F00, 0x1234);
    sim.SetImage(image);
    std::string error;
    const auto saved = TImage::FromText(FileText(), error);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(*saved, image);
}

TEST_F(SimulatorImageFileTest, MalformedFileStopsTheStart)
{
    std::ofstream(File) << "identity 20 3B 01 2C\n[RAM]\n0x0000: 00\n";
    TSimulator sim(WithFile());
    EXPECT_FALSE(sim.Start());
    EXPECT_NE(sim.Error().find(File), std::string::npos) << sim.Error();
    EXPECT_NE(sim.Error().find("line 3"), std::string::npos) << sim.Error();
}

}  // namespace
