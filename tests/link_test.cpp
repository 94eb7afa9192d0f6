// The link and the command set against the simulated instrument: every byte on the line, the chain
// flag, the retries and the failures.
#include "Pty.h"
#include "SimLink.h"

#include <chrono>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using trelvo::sim::TBlock;
using trelvo::sim::TFault;
using trelvo::sim::TFaultPlan;
using trelvo::sim::TFaultWhen;
using trelvo::sim::TImage;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Bytes the host sent without waiting for an answer may still be on their way to the simulator.
Bytes HostBytesSettled(const trelvo::sim::TSimulator& sim, std::size_t expected)
{
    for (int i = 0; i < 200 && sim.HostBytes().size() < expected; ++i)
        std::this_thread::sleep_for(5ms);
    return sim.HostBytes();
}

struct TWorkedExchange {
    const char* Name;
    std::function<void(TImage&)> Prepare;
    std::function<void(TInstrumentLink&)> Run;
    Bytes Host;
    Bytes Instrument;
};

class WorkedExchanges : public SimLinkTest, public testing::WithParamInterface<TWorkedExchange> {};

TEST_P(WorkedExchanges, AreByteExact)
{
    Edit(GetParam().Prepare);
    Sim.ClearTrace();
    GetParam().Run(Link);
    EXPECT_TRUE(Link.LinkOk);
    EXPECT_EQ(Sim.HostBytes(), GetParam().Host);
    EXPECT_EQ(Sim.InstrumentBytes(), GetParam().Instrument);
}

INSTANTIATE_TEST_SUITE_P(
    CommandSet, WorkedExchanges,
    testing::Values(
        TWorkedExchange{"GetData",
                        [](TImage& m) {
                            m.SetWord(TBlock::Eeprom, 2, 0x050F);
                            m.SetWord(TBlock::Eeprom, 4, 0x031E);
                        },
                        [](TInstrumentLink& l) {
                            l.LinkOk = true;
                            l.GetData();
                        },
                        {0x42, 0x00, 0x02},
                        {0x42, 0x05, 0x0F, 0x03, 0x1E, 0x37}},
        TWorkedExchange{"PutID", [](TImage&) {},
                        [](TInstrumentLink& l) {
                            l.SetWord(0, 0x203D);
                            l.SetWord(1, 0x012C);
                            l.PutID();
                        },
                        {0x81, 0x20, 0x3D, 0x01, 0x2C},
                        {0x81, 0x00, 0x00, 0x8A}},
        TWorkedExchange{"ReadOneWord", [](TImage& m) { m.SetWord(TBlock::Eeprom, 2, 0x1234); },
                        [](TInstrumentLink& l) {
                            l.LinkOk = true;
                            l.ReadMemory(BlockEeprom, 0x0002, 1);
                            EXPECT_EQ(l.Word(0), 0x1234);
                        },
                        {0x41, 0x00, 0x02},
                        {0x41, 0x12, 0x34, 0x48}},
        TWorkedExchange{"OpenSessionHasNoChecksum", [](TImage& m) { m.Identity = {0x20, 0x3B, 0x01, 0x2C}; },
                        [](TInstrumentLink& l) { l.OpenSession(); },
                        {0xAA},
                        {0xAA, 0x20, 0x3B, 0x01, 0x2C}},
        TWorkedExchange{"GetID", [](TImage& m) { m.Identity = {0x20, 0x3B, 0x01, 0x2C}; },
                        [](TInstrumentLink& l) { l.GetID(); },
                        {0x01},
                        {0x01, 0x20, 0x3B, 0x01, 0x2C, 0x88}},
        TWorkedExchange{"WriteTwoWordsToSeeprom", [](TImage&) {},
                        [](TInstrumentLink& l) {
                            l.LinkOk = true;
                            l.SetWord(0, 0x0102);
                            l.SetWord(1, 0x0304);
                            l.WriteMemory(BlockSeeprom, 0x0104, 2);
                        },
                        {0xE2, 0x01, 0x04, 0x01, 0x02, 0x03, 0x04},
                        {0xE2, 0x00, 0x00, 0x0F}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SimLinkTest, GetStatusWithAReadingReady)
{
    Sim.SetReadings({.RatePerSecond = 0});
    Sim.QueueCodes({1000});
    Sim.ClearTrace();
    EXPECT_TRUE(Link.GetStatus());
    EXPECT_TRUE(Link.LinkOk);
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0x07}));
    EXPECT_EQ(Sim.InstrumentBytes(), (Bytes{0x07, 0x01, 0x01}));
    EXPECT_EQ(Link.Reply, 0x01);

    Link.GetCode();
    EXPECT_TRUE(Link.LinkOk);
    EXPECT_EQ(Link.Word(0), 1000);
}

TEST_F(SimLinkTest, AddressesGoOutHighByteFirst)
{
    for (const auto& [address, high, low] : {std::tuple{0x0002, 0x00, 0x02}, {0x040C, 0x04, 0x0C}, {0x0FFE, 0x0F, 0xFE}}) {
        Sim.ClearTrace();
        Link.LinkOk = true;
        Link.ReadMemory(BlockSeeprom, address, 1);
        EXPECT_TRUE(Link.LinkOk);
        EXPECT_EQ(Sim.HostBytes(), (Bytes{0x61, static_cast<std::uint8_t>(high), static_cast<std::uint8_t>(low)}));
    }
}

// The chain's first failure silences the rest of it, whatever the fault.
class ChainFailure : public SimLinkTest, public testing::WithParamInterface<TFaultPlan> {};

TEST_P(ChainFailure, StopsAllLaterTraffic)
{
    Edit([](TImage& m) {
        m.SetWord(TBlock::Eeprom, 0x20, 0x0005);
        for (int i = 0; i < 5; ++i)
            m.SetWord(TBlock::Eeprom, 0x24 + 4 * i, static_cast<std::uint16_t>(100 * i));
    });
    TFaultPlan plan = GetParam();
    plan.When = TFaultWhen::EveryNth;
    plan.N = 3;  // the second entry
    Sim.SetFault(plan);
    Sim.ClearTrace();

    TTableHeader header;
    int entries = 0;
    Link.GetTable(BlockEeprom, 0x20, 255, header, [&](int) { ++entries; });
    EXPECT_FALSE(Link.LinkOk);
    EXPECT_EQ(header.Count, 5);
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(Sim.Exchanges(), 3);
    const Bytes host = Sim.HostBytes();
    ASSERT_GE(host.size(), 7u);
    EXPECT_EQ(host[6], 0x42) << "the failed exchange's command is the last command sent";
    EXPECT_LE(host.size(), 9u) << "nothing goes out after the failed exchange";
}

INSTANTIATE_TEST_SUITE_P(Faults, ChainFailure,
                         testing::Values(TFaultPlan{TFault::Silent}, TFaultPlan{TFault::NoEcho},
                                         TFaultPlan{TFault::WrongEcho}, TFaultPlan{TFault::WrongChecksum},
                                         TFaultPlan{.Kind = TFault::SilentAfter, .Bytes = 2}));

TEST_F(SimLinkTest, NonZeroAcknowledgementSendsNothingOfTheWord)
{
    Sim.SetFault({TFault::NonZeroAck});
    Sim.ClearTrace();
    Link.SetWord(0, 0x203D);
    Link.SetWord(1, 0x012C);
    Link.PutID();
    EXPECT_FALSE(Link.LinkOk);
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0x81}));
    EXPECT_EQ(Sim.Image().Identity, (TImage::Demo().Identity));
}

TEST_F(SimLinkTest, PutTableStopsAtTheFirstRefusedEntry)
{
    Sim.SetFault({.Kind = TFault::NonZeroAck, .When = TFaultWhen::EveryNth, .N = 3});
    Sim.ClearTrace();
    Link.SetWord(0, 0x0003);
    int prepared = 0;
    Link.PutTable(BlockSeeprom, 0x100, 3, [&](int i) {
        ++prepared;
        Link.SetWord(0, static_cast<std::uint16_t>(10 * (i + 1)));
        Link.SetWord(1, static_cast<std::uint16_t>(100 * (i + 1)));
    });
    EXPECT_FALSE(Link.LinkOk);
    EXPECT_EQ(prepared, 3);
    EXPECT_EQ(Sim.Exchanges(), 3);
    const TImage image = Sim.Image();
    EXPECT_EQ(image.Word(TBlock::Seeprom, 0x100), 0x0003);
    EXPECT_EQ(image.Word(TBlock::Seeprom, 0x104), 10);
    EXPECT_EQ(image.Word(TBlock::Seeprom, 0x106), 100);
    EXPECT_NE(image.Word(TBlock::Seeprom, 0x108), 20);
}

TEST(LinkPrimitives, DoNothingWhileTheChainHasFailedButSendCommandStillPurges)
{
    TPty line;
    TInstrumentLink link;
    link.Port = std::make_unique<TCommPort>();
    ASSERT_TRUE(link.Port->Open(line.Path(), 19200, 256));
    line.Write({0x42, 0x42});
    std::this_thread::sleep_for(10ms);

    link.LinkOk = false;
    link.Port->Checksum = 0x33;
    EXPECT_FALSE(link.SendCommand(0x42));
    EXPECT_EQ(link.Port->Checksum, 0);
    EXPECT_FALSE(link.SendAddress(0x0102));
    EXPECT_FALSE(link.ReadWords(2));
    EXPECT_FALSE(link.WriteWords(2));
    EXPECT_FALSE(link.VerifyChecksum());
    EXPECT_TRUE(line.Read().empty());

    link.LinkOk = true;
    std::uint8_t b = 0;
    EXPECT_FALSE(link.Port->ReadByte(b)) << "the stale bytes were discarded";
}

TEST_F(SimLinkTest, WrongEchoFailsTheCommand)
{
    Sim.SetFault({TFault::WrongEcho});
    Link.LinkOk = true;
    EXPECT_FALSE(Link.SendCommand(0x41));
    EXPECT_EQ(Link.Reply, 0x40);
}

TEST_F(SimLinkTest, GetStatusRetriesItsCommandOnce)
{
    Sim.SetFault({TFault::Silent});
    Sim.ClearTrace();
    EXPECT_TRUE(Link.GetStatus());
    EXPECT_TRUE(Link.LinkOk);
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0x07, 0x07}));

    Sim.SetFault({.Kind = TFault::Silent, .When = TFaultWhen::Always});
    Sim.ClearTrace();
    EXPECT_FALSE(Link.GetStatus());
    EXPECT_EQ(Sim.HostBytes(), (Bytes{0x07, 0x07}));
}

struct TStatusOutcome {
    const char* Name;
    TFaultPlan Fault;
    std::uint8_t Reply;
    bool LinkOk;
};

class GetStatusOutcomes : public SimLinkTest, public testing::WithParamInterface<TStatusOutcome> {};

TEST_P(GetStatusOutcomes, LeaveReplyAndLinkOkAsTheInstrumentAnswered)
{
    Sim.SetReadings({.RatePerSecond = 0});
    Sim.QueueCodes({1000});
    Sim.SetFault(GetParam().Fault);
    EXPECT_TRUE(Link.GetStatus());
    EXPECT_EQ(Link.Reply, GetParam().Reply);
    EXPECT_EQ(Link.LinkOk, GetParam().LinkOk);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GetStatusOutcomes,
    testing::Values(TStatusOutcome{"StatusAndMatchingChecksum", {}, 0x01, true},
                    TStatusOutcome{"NoChecksumByte", {.Kind = TFault::SilentAfter, .Bytes = 2}, 0x01, true},
                    TStatusOutcome{"DifferentChecksumByte", {TFault::WrongChecksum}, 0x02, false},
                    TStatusOutcome{"NoStatusByte", {.Kind = TFault::SilentAfter, .Bytes = 1}, 0x07, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SimLinkTest, StatusZeroWithoutChecksumSucceeds)
{
    Sim.SetReadings({.RatePerSecond = 0});
    Sim.SetFault({.Kind = TFault::SilentAfter, .Bytes = 2});
    EXPECT_TRUE(Link.GetStatus());
    EXPECT_TRUE(Link.LinkOk);
    EXPECT_EQ(Link.Reply, 0);
}

// A checksum byte that never comes is compared as the echo still in Reply.
TEST_F(SimLinkTest, MissingChecksumIsComparedWithTheStaleReply)
{
    for (const auto& [word, passes] : {std::pair{0x0041, true}, {0x0042, false}}) {
        Edit([word = word](TImage& m) { m.SetWord(TBlock::Eeprom, 0x0000, static_cast<std::uint16_t>(word)); });
        Sim.SetFault({.Kind = TFault::SilentAfter, .Bytes = 3});
        Link.LinkOk = true;
        Link.ReadMemory(BlockEeprom, 0x0000, 1);
        EXPECT_EQ(Link.Reply, 0x41);
        EXPECT_EQ(Link.LinkOk, passes) << word;
    }
}

TEST_F(SimLinkTest, EmptyTablesAreOneExchange)
{
    Edit([](TImage& m) { m.SetWord(TBlock::Seeprom, 0x180, 0x8000); });
    TTableHeader header;
    Link.GetTable(BlockSeeprom, 0x180, 31, header, [](int) { ADD_FAILURE() << "no entry to read"; });
    EXPECT_TRUE(Link.LinkOk);
    EXPECT_EQ(header.Range, 1);
    EXPECT_EQ(header.Count, 0);
    EXPECT_EQ(Sim.Exchanges(), 1);

    Link.SetWord(0, 0x0000);
    Link.PutTable(BlockSeeprom, 0x180, 0, [](int) { ADD_FAILURE() << "no entry to write"; });
    EXPECT_TRUE(Link.LinkOk);
    EXPECT_EQ(Sim.Exchanges(), 2);
}

TEST_F(SimLinkTest, TableReadIsCappedToTheRoomGiven)
{
    Edit([](TImage& m) { m.SetWord(TBlock::Seeprom, 0x000, 0x0028); });
    TTableHeader header;
    int entries = 0;
    Link.GetTable(BlockSeeprom, 0x000, 31, header, [&](int) { ++entries; });
    EXPECT_EQ(header.Count, 40);
    EXPECT_EQ(entries, 31);
    EXPECT_EQ(Sim.Exchanges(), 32);
}

TEST_F(SimLinkTest, PageCountsDecideHowManyValuesAreRead)
{
    for (const auto& [count, exchanges] : {std::pair{0, 1}, {122, 123}, {123, 1}, {255, 1}, {5, 6}}) {
        Edit([count = count](TImage& m) {
            m.SetWord(TBlock::Seeprom, 0x0700, static_cast<std::uint16_t>(count));
            for (int e = 0; e < 122; ++e)
                m.SetWord(TBlock::Seeprom, 0x070C + 2 * e, static_cast<std::uint16_t>(e + 1));
        });
        const int before = Sim.Exchanges();
        Sim.ClearTrace();
        std::vector<std::uint16_t> values;
        EXPECT_EQ(Link.GetPage(3, [&](int) { values.push_back(Link.Word(0)); }), count);
        EXPECT_TRUE(Link.LinkOk);
        EXPECT_EQ(Sim.Exchanges() - before, exchanges) << count;
        if (count == 122) {
            EXPECT_EQ(values.back(), 122);
            const Bytes host = Sim.HostBytes();
            EXPECT_EQ((Bytes{host.end() - 3, host.end()}), (Bytes{0x61, 0x07, 0xFE}));
        }
    }
}

TEST_F(SimLinkTest, LastMemoryWindowReadsUpToTheEndOfTheBlock)
{
    Sim.ClearTrace();
    std::vector<int> words;
    Link.ReadWindow(BlockRam, 15, [&](int i) { words.push_back(i); });
    EXPECT_TRUE(Link.LinkOk);
    EXPECT_EQ(words.size(), 128u);
    const Bytes host = Sim.HostBytes();
    ASSERT_EQ(host.size(), 128u * 3);
    EXPECT_EQ((Bytes{host.begin(), host.begin() + 3}), (Bytes{0x21, 0x0F, 0x00}));
    EXPECT_EQ((Bytes{host.end() - 3, host.end()}), (Bytes{0x21, 0x0F, 0xFE}));
}

TEST_F(SimLinkTest, SessionEndForms)
{
    Sim.ClearTrace();
    Link.LinkOk = false;
    Link.CloseSession(TCloseForm::Echoed);
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(Sim.HostBytes().empty()) << "after a failed transaction the echoed form sends nothing";

    Link.LinkOk = true;
    Link.CloseSession(TCloseForm::Echoed);
    EXPECT_EQ(HostBytesSettled(Sim, 1), (Bytes{0x55}));

    Sim.ClearTrace();
    Link.LinkOk = false;
    Link.CloseSession(TCloseForm::Raw);
    EXPECT_EQ(HostBytesSettled(Sim, 1), (Bytes{0x55}));
}

TEST_F(SimLinkTest, DeviceVanishingMidChainFailsPromptly)
{
    Sim.Vanish();
    const auto start = std::chrono::steady_clock::now();
    int values = 0;
    Link.GetPage(0, [&](int) { ++values; });
    Link.ReadWindow(BlockEeprom, 0, [&](int) { ++values; });
    EXPECT_FALSE(Link.LinkOk);
    EXPECT_EQ(values, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
