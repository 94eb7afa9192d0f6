// How close the link comes to its limits, as two ratios measured in one run:
//  (a) one one-word memory read against the simulator, over the floor: the same bytes moved by a bare
//      write/read loop between two ends of a pseudo-terminal;
//  (b) all eight full archive pages read from a simulator paced at 19200 baud, over the wire time of
//      exactly the bytes that crossed the line.
#include "InstrumentLink.h"
#include "Simulator.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <map>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

using trelvo::sim::TBlock;

namespace {

constexpr int PacedBaud = 19200;

void ReadAll(int fd, std::uint8_t* bytes, int count)
{
    while (count > 0) {
        const ssize_t got = read(fd, bytes, static_cast<size_t>(count));
        if (got <= 0)
            throw std::runtime_error("pseudo-terminal closed");
        bytes += got;
        count -= static_cast<int>(got);
    }
}

void WriteAll(int fd, const std::uint8_t* bytes, int count)
{
    if (write(fd, bytes, static_cast<size_t>(count)) != count)
        throw std::runtime_error("pseudo-terminal write failed");
}

// The floor: a peer that answers a one-word read with the same bytes, nothing in between.
void BareLoop(benchmark::State& state)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios settings{};
    tcgetattr(terminal, &settings);
    cfmakeraw(&settings);
    tcsetattr(terminal, TCSANOW, &settings);

    std::thread peer([master] {
        std::uint8_t in[2];
        const std::uint8_t echo = 0x41, answer[3] = {0x12, 0x34, 0x48};
        try {
            for (;;) {
                ReadAll(master, in, 1);
                WriteAll(master, &echo, 1);
                ReadAll(master, in, 2);
                WriteAll(master, answer, 3);
            }
        } catch (const std::runtime_error&) {
        }
    });
    const std::uint8_t command = 0x41, address[2] = {0x00, 0x02};
    std::uint8_t in[3];
    for (auto _ : state) {
        WriteAll(terminal, &command, 1);
        ReadAll(terminal, in, 1);
        WriteAll(terminal, address, 2);
        ReadAll(terminal, in, 3);
    }
    close(terminal);
    close(master);
    peer.join();
}

void ConnectedLink(trelvo::sim::TSimulator& sim, TInstrumentLink& link)
{
    if (!sim.Start())
        throw std::runtime_error("simulator: " + sim.Error());
    link.Port = std::make_unique<TCommPort>();
    if (!link.Port->Open(sim.DevicePath(), 19200, 256))
        throw std::runtime_error("port: " + link.Port->ErrorText());
}

void OneWordRead(benchmark::State& state)
{
    trelvo::sim::TSimulator sim;
    TInstrumentLink link;
    ConnectedLink(sim, link);
    for (auto _ : state) {
        link.LinkOk = true;
        link.ReadMemory(BlockEeprom, 0x0002, 1);
        if (!link.LinkOk)
            state.SkipWithError("the read failed");
    }
}

void AllArchivePages(benchmark::State& state)
{
    trelvo::sim::TOptions options;
    for (int p = 0; p < MemoryMap::Pages; ++p) {
        options.Image.SetWord(TBlock::Seeprom, MemoryMap::Page(p), MemoryMap::PageValuesMax);
        for (int e = 0; e < MemoryMap::PageValuesMax; ++e)
            options.Image.SetWord(TBlock::Seeprom, MemoryMap::PageValue(p, e), static_cast<std::uint16_t>(1000 + e));
    }
    options.Baud = PacedBaud;
    trelvo::sim::TSimulator sim(options);
    TInstrumentLink link;
    ConnectedLink(sim, link);

    double wireSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sim.ClearTrace();
        state.ResumeTiming();
        int values = 0;
        for (int p = 0; p < MemoryMap::Pages; ++p)
            link.GetPage(p, [&](int) { ++values; });
        if (values != MemoryMap::Pages * MemoryMap::PageValuesMax)
            state.SkipWithError("a page read failed");
        state.PauseTiming();
        wireSeconds += static_cast<double>(sim.Trace().size()) * 10.0 / PacedBaud;
        state.ResumeTiming();
    }
    state.counters["wire_s"] = benchmark::Counter(wireSeconds, benchmark::Counter::kAvgIterations);
}

// Keeps each run's mean wall time per iteration, and its counters, so that the ratios can be printed.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            Seconds[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
            for (const auto& [counterName, counter] : run.counters)
                Counters[name + ":" + counterName] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> Seconds;
    std::map<std::string, double> Counters;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::RegisterBenchmark("BareLoop", BareLoop)->MinTime(1.0)->UseRealTime();
    benchmark::RegisterBenchmark("OneWordRead", OneWordRead)->MinTime(1.0)->UseRealTime();
    benchmark::RegisterBenchmark("AllArchivePages", AllArchivePages)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double bare = reporter.Seconds["BareLoop"];
    const double read = reporter.Seconds["OneWordRead"];
    const double pagesSeconds = reporter.Seconds["AllArchivePages"];
    const double wire = reporter.Counters["AllArchivePages:wire_s"];
    if (bare > 0 && read > 0)
        std::printf("(a) one-word read %.1f us / bare loop %.1f us = %.3f (goal <= 1.5)\n", read * 1e6, bare * 1e6, read / bare);
    if (wire > 0)
        std::printf("(b) eight full pages %.4f s / wire time at %d baud %.4f s = %.4f (goal <= 1.02)\n", pagesSeconds,
                    PacedBaud, wire, pagesSeconds / wire);
    return 0;
}
