// trelvo-sim: a simulated instrument on a pseudo-terminal, for running and testing Trelvo without hardware.
#include "Simulator.h"

#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include <sys/stat.h>

namespace {

using trelvo::sim::TFault;
using trelvo::sim::TFaultWhen;
using trelvo::sim::TImage;
using trelvo::sim::TOptions;
using trelvo::sim::TSimulator;

constexpr int UsageError = 2;

const char* const Help = R"(Usage: trelvo-sim [OPTION]...
Plays a QZ5520 measuring instrument on a pseudo-terminal: prints the terminal's device path as the
first line of standard output, then answers the instrument's command set on it until SIGINT or SIGTERM.
The application may close and open the device again at any time.

Options (a value may also follow an equals sign: --baud=19200):
  --link PATH         make PATH a symbolic link to the device; removed on exit. An existing symbolic
                      link at PATH is replaced; any other file there is an error.
  --image FILE        keep the instrument's identity and memory in FILE: read at start, and every
                      change is written back at once, before the write's checksum byte goes out
                      (FILE.tmp in the same folder, flushed to disk, then renamed over FILE).
                      A FILE that does not exist yet is created from the demonstration image.
  --dump FILE         write the demonstration image to FILE ('-': standard output) and exit.
  --trace FILE        write every byte on the line to FILE, one line each, in order: seconds since
                      start, '>' for a byte from the application or '<' for one from the instrument,
                      and the byte in hexadecimal ("    1.234567 > 42"). FILE is emptied at start.
  --baud N            give every byte its wire time at N baud, 10 bits a byte (50 to 4000000).
                      Without it the instrument answers as fast as it can.
  --rate R            new readings per second (default 4; 0: the status never reports a reading).
  --centre CODE       the codes that GetCode returns scatter around CODE (0 to 65535, default 1200).
  --scatter N         codes lie within CODE - N and CODE + N (0 to 65535, default 6).
  --gap GAP           GetGap answers GAP - 1, GAP or GAP + 1 (0 to 65535, default 500).
  --seed N            the seed that fixes the sequence of codes (0 to 4294967295, default 1).
  --fault KIND        make exchanges fail:
                        silent      the command byte gets no answer at all
                        noecho      the command is taken, but the instrument sends nothing
                        wrongecho   the echo has its lowest bit flipped; nothing follows
                        badsum      the checksum byte is one too high
                        nak         the acknowledgement before the first written word is 0x01
                        cutoff:N    the instrument sends only the first N bytes of its part,
                                    echo included, and nothing more
  --fault-when WHEN   once (the default): the next exchange the fault can act on; every:N: every
                      Nth of them; always: all of them. badsum acts on the exchanges that end with
                      a checksum byte, nak on the writes, cutoff:N on those in which the instrument
                      sends more than N bytes, the others on every exchange.
  --help              show this help and exit.

Image file format: plain text, one item a line; '#' starts a comment, blank lines are ignored.
  identity 20 3B 01 2C     part code, production month count, serial number high and low byte
  [RAM]                    then [EEPROM] and [SEEPROM]: the block the following rows belong to
  0x0020: 00 05 00 00 01 90 00 64 02 EE 00 FA 04 4C 01 90
                           a row: its address (a multiple of 0x10 below 0x1000), a colon and
                           exactly 16 bytes, all in hexadecimal
The identity line is required; rows that are not listed are zero. A malformed file is refused with
the number of the line at fault.

Exit status: 0 after SIGINT or SIGTERM, 1 when the simulator cannot start, 2 for a bad command line.
)";

struct TUsageError {
    std::string Message;
};

template <typename Number>
Number ParseInteger(const std::string& option, const std::string& text, Number lowest, Number highest)
{
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || value < static_cast<long long>(lowest) ||
        value > static_cast<long long>(highest))
        throw TUsageError{option + " needs a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest) + ", not '" +
                          text + "'"};
    return static_cast<Number>(value);
}

double ParseRate(const std::string& option, const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < 0 || value > 1e6)
        throw TUsageError{option + " needs a number of readings per second from 0 to 1000000, not '" + text + "'"};
    return value;
}

void ParseFault(const std::string& text, TOptions& options)
{
    static const std::map<std::string, TFault> kinds = {{"silent", TFault::Silent},       {"noecho", TFault::NoEcho},
                                                         {"wrongecho", TFault::WrongEcho}, {"badsum", TFault::WrongChecksum},
                                                         {"nak", TFault::NonZeroAck}};
    if (const auto kind = kinds.find(text); kind != kinds.end()) {
        options.Fault.Kind = kind->second;
    } else if (text.rfind("cutoff:", 0) == 0) {
        options.Fault.Kind = TFault::SilentAfter;
        options.Fault.Bytes = ParseInteger<int>("--fault cutoff:N", text.substr(7), 0, 255);
    } else {
        throw TUsageError{"unknown fault '" + text + "'; the faults are silent, noecho, wrongecho, badsum, nak and cutoff:N"};
    }
}

void ParseFaultWhen(const std::string& text, TOptions& options)
{
    if (text == "once") {
        options.Fault.When = TFaultWhen::Once;
    } else if (text == "always") {
        options.Fault.When = TFaultWhen::Always;
    } else if (text.rfind("every:", 0) == 0) {
        options.Fault.When = TFaultWhen::EveryNth;
        options.Fault.N = ParseInteger<int>("--fault-when every:N", text.substr(6), 1, 1'000'000'000);
    } else {
        throw TUsageError{"unknown --fault-when '" + text + "'; it is once, every:N or always"};
    }
}

struct TCommandLine {
    TOptions Options;
    std::string Dump;
    bool Help = false;
};

TCommandLine ParseCommandLine(int argc, char** argv)
{
    TCommandLine line;
    auto& o = line.Options;
    const std::map<std::string, std::function<void(const std::string&, const std::string&)>> valued = {
        {"--link", [&](auto&, auto& v) { o.LinkPath = v; }},
        {"--image", [&](auto&, auto& v) { o.ImageFile = v; }},
        {"--dump", [&](auto&, auto& v) { line.Dump = v; }},
        {"--trace", [&](auto&, auto& v) { o.TraceFile = v; }},
        {"--baud", [&](auto& n, auto& v) { o.Baud = ParseInteger<int>(n, v, 50, 4'000'000); }},
        {"--rate", [&](auto& n, auto& v) { o.Readings.RatePerSecond = ParseRate(n, v); }},
        {"--centre", [&](auto& n, auto& v) { o.Readings.CodeCentre = ParseInteger<std::uint16_t>(n, v, 0, 0xFFFF); }},
        {"--scatter", [&](auto& n, auto& v) { o.Readings.CodeScatter = ParseInteger<std::uint16_t>(n, v, 0, 0xFFFF); }},
        {"--gap", [&](auto& n, auto& v) { o.Readings.Gap = ParseInteger<std::uint16_t>(n, v, 0, 0xFFFF); }},
        {"--seed", [&](auto& n, auto& v) { o.Seed = ParseInteger<std::uint32_t>(n, v, 0, 0xFFFFFFFF); }},
        {"--fault", [&](auto&, auto& v) { ParseFault(v, o); }},
        {"--fault-when", [&](auto&, auto& v) { ParseFaultWhen(v, o); }},
    };
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (name == "--help" && !hasValue) {
            line.Help = true;
            continue;
        }
        const auto option = valued.find(name);
        if (option == valued.end())
            throw TUsageError{name.rfind("-", 0) == 0 ? "unknown option '" + name + "'" : "unexpected argument '" + name + "'"};
        if (!hasValue) {
            if (i + 1 >= argc)
                throw TUsageError{name + " needs a value"};
            value = argv[++i];
        }
        if (value.empty())
            throw TUsageError{name + " needs a value"};
        option->second(name, value);
    }
    return line;
}

int Dump(const std::string& path)
{
    const std::string text = TImage::Demo().ToText();
    std::FILE* file = path == "-" ? stdout : std::fopen(path.c_str(), "w");
    if (!file) {
        std::perror(("trelvo-sim: cannot create " + path).c_str());
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = (file == stdout ? std::fflush(file) : std::fclose(file)) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "trelvo-sim: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    TCommandLine line;
    try {
        line = ParseCommandLine(argc, argv);
    } catch (const TUsageError& error) {
        std::fprintf(stderr, "trelvo-sim: %s\nTry 'trelvo-sim --help' for the options.\n", error.Message.c_str());
        return UsageError;
    }
    if (line.Help) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (!line.Dump.empty())
        return Dump(line.Dump);

    // The signals are taken by sigwait below; blocked before the worker starts, so it inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    struct stat info {};
    const bool creatingImage = !line.Options.ImageFile.empty() && stat(line.Options.ImageFile.c_str(), &info) != 0;
    TSimulator simulator(line.Options);
    if (!simulator.Start()) {
        std::fprintf(stderr, "trelvo-sim: %s\n", simulator.Error().c_str());
        return 1;
    }
    if (creatingImage)
        std::fprintf(stderr, "trelvo-sim: created %s from the demonstration image\n", line.Options.ImageFile.c_str());
    std::printf("%s\n", simulator.DevicePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    simulator.Stop();
    return 0;
}
