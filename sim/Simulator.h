// The instrument's side of the serial link, played on a pseudo-terminal.
//
// TSimulator opens a pseudo-terminal pair, keeps its own handle on the terminal
// side (so the application may close and reopen the device), and answers the
// instrument's command set byte for byte from a thread of its own. It is what
// trelvo-sim runs, and what the tests drive in-process.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trelvo::sim {

constexpr int BlockSize = 4096;

// Block numbers as the memory-access commands carry them.
enum class TBlock : int { Ram = 1, Eeprom = 2, Seeprom = 3 };

// Everything the instrument remembers: its identity record and its three memory blocks.
struct TImage {
    std::array<std::uint8_t, 4> Identity{};
    std::array<std::array<std::uint8_t, BlockSize>, 3> Blocks{};  // index = block number - 1

    std::uint8_t& At(TBlock block, int address);
    std::uint8_t At(TBlock block, int address) const;
    std::uint16_t Word(TBlock block, int address) const;  // high byte first
    void SetWord(TBlock block, int address, std::uint16_t value);

    // A QZ5520 with settings, calibration tables and a few archive pages, for demonstrations.
    static TImage Demo();

    // Plain text a person can read and edit: the identity, then each block as a hex dump with addresses.
    std::string ToText() const;
    // Parses ToText's format; on failure returns nothing and says why (with the line number) in error.
    // Rows that are not listed are zero; the identity line is required.
    static std::optional<TImage> FromText(const std::string& text, std::string& error);

    bool operator==(const TImage&) const = default;
};

enum class TFault {
    None,
    Silent,         // the command byte gets no answer at all; the instrument stays idle
    NoEcho,         // the command is taken but not echoed; the exchange runs on without a byte sent
    WrongEcho,      // the echo is the command byte with its lowest bit flipped; the exchange ends there
    WrongChecksum,  // the checksum byte is one more than it should be
    NonZeroAck,     // the acknowledgement before the first written word is 0x01; the exchange ends there
    SilentAfter,    // the instrument sends only the first Bytes bytes of its part, echo included
};

// A fault counts only the exchanges it can act on: WrongChecksum those with a checksum byte, NonZeroAck
// the writes, SilentAfter those in which the instrument sends more than Bytes bytes, the others every one.
enum class TFaultWhen {
    Once,      // the next such exchange only
    EveryNth,  // such exchanges N, 2N, 3N, ... counted from when the plan is set
    Always,
};

struct TFaultPlan {
    TFault Kind = TFault::None;
    TFaultWhen When = TFaultWhen::Once;
    int N = 1;      // for EveryNth
    int Bytes = 0;  // for SilentAfter
};

// Live readings: GetStatus answers non-zero while a new reading is ready; GetCode takes it.
// Generated codes follow one sequence fixed by the seed, whenever they are taken.
struct TReadings {
    double RatePerSecond = 4.0;  // new readings per second; 0: only queued codes are ever ready
    std::uint16_t CodeCentre = 1200;
    std::uint16_t CodeScatter = 6;  // codes lie within CodeCentre +- CodeScatter
    std::uint16_t Gap = 500;        // GetGap answers this, +- 1
};

struct TTraceEntry {
    bool FromHost = false;  // true: the application sent it; false: the instrument did
    std::uint8_t Byte = 0;
    std::chrono::microseconds At{};  // since the simulator started; with a baud rate, when the byte's last bit is on the line
};

struct TOptions {
    TImage Image = TImage::Demo();
    std::string ImageFile;  // when set, loaded at start (created from Image when missing); every change is written back at once, atomically
    std::string LinkPath;   // when set, a symbolic link to the device, removed on Stop
    std::string TraceFile;  // when set, emptied at start, then every byte is appended to it as a line
    int Baud = 0;           // when set, every byte takes its wire time at this rate, 10 bits a byte
    TReadings Readings;
    TFaultPlan Fault;
    std::uint32_t Seed = 1;  // for the scatter of the live readings
};

class TSimulator {
public:
    explicit TSimulator(TOptions options = {});
    ~TSimulator();  // stops
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // Opens the pseudo-terminal and starts answering. False, with Error() saying why, when it cannot.
    // Start, Stop and Vanish belong to the thread that owns the simulator; everything else is thread-safe.
    bool Start();
    void Stop();
    // Why Start failed, or the last image file that could not be saved.
    std::string Error() const;

    // The terminal side's path, for instance /dev/pts/3: what the application opens.
    std::string DevicePath() const;

    // Closes the simulator's own terminal handle and the master: the device vanishes and answers nothing more.
    void Vanish();

    // Thread-safe access to what the instrument holds. Changes made here are saved like the instrument's own.
    TImage Image() const;
    void SetImage(const TImage& image);

    void SetFault(const TFaultPlan& plan);
    void SetReadings(const TReadings& readings);
    // Codes served by GetCode before any generated ones; a reading is ready while one is queued.
    void QueueCodes(const std::vector<std::uint16_t>& codes);

    // The most recent million bytes at most.
    std::vector<TTraceEntry> Trace() const;
    void ClearTrace();
    // The bytes one side sent, in order, from the trace.
    std::vector<std::uint8_t> HostBytes() const;
    std::vector<std::uint8_t> InstrumentBytes() const;

    // Number of command bytes of the command set that arrived while the instrument was idle (exchanges begun,
    // answered or not) since start.
    int Exchanges() const;

private:
    struct TState;
    std::unique_ptr<TState> State;
};

}  // namespace trelvo::sim
