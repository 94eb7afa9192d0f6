// The instrument's side of the link: a pseudo-terminal, a worker thread and the byte-driven exchange.
#include "Simulator.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace trelvo::sim {

namespace {

using TNanoseconds = std::int64_t;

constexpr TNanoseconds Millisecond = 1'000'000;
// An exchange left half-way is dropped after this pause of the application; its read time-out is 100 ms.
constexpr TNanoseconds AbandonAfter = 50 * Millisecond;
// Sleeping ends this long before a byte is due; the rest is spun, for a precise start of every byte.
constexpr TNanoseconds FinalSpin = 80'000;
constexpr std::size_t TraceLimit = 1u << 20;

TNanoseconds Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<TNanoseconds>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void SleepUntil(TNanoseconds deadline)
{
    if (deadline - Now() > FinalSpin) {
        const TNanoseconds wake = deadline - FinalSpin;
        const timespec at{static_cast<time_t>(wake / 1'000'000'000), static_cast<long>(wake % 1'000'000'000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
        }
    }
    while (Now() < deadline) {
    }
}

std::string SystemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// The 8-bit sum with end-around carry.
std::uint8_t AddToSum(std::uint8_t sum, std::uint8_t byte)
{
    int total = sum + byte;
    if (total > 255)
        total -= 255;
    return static_cast<std::uint8_t>(total);
}

std::uint64_t Mixed(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint16_t Clamped(std::int64_t value)
{
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, 0xFFFF));
}

enum class TKind { Read, Write, Status, Close };
enum class TSource { Identity, Memory, Code, Gap };

struct TCommand {
    TKind Kind = TKind::Close;
    TSource Source = TSource::Identity;
    TBlock Block = TBlock::Ram;
    int Words = 0;
    bool HasAddress = false;
    bool HasChecksum = false;

    // How many bytes the instrument sends in this exchange, echo included.
    int InstrumentBytes() const
    {
        switch (Kind) {
        case TKind::Read:
            return 1 + 2 * Words + (HasChecksum ? 1 : 0);
        case TKind::Write:
            return 1 + Words + 1;
        case TKind::Status:
            return 3;
        case TKind::Close:
            return 1;
        }
        return 0;
    }
};

std::optional<TCommand> Decode(std::uint8_t byte)
{
    switch (byte) {
    case 0x01:
        return TCommand{TKind::Read, TSource::Identity, TBlock::Ram, 2, false, true};
    case 0x81:
        return TCommand{TKind::Write, TSource::Identity, TBlock::Ram, 2, false, true};
    case 0xAA:
        return TCommand{TKind::Read, TSource::Identity, TBlock::Ram, 2, false, false};
    case 0x04:
        return TCommand{TKind::Read, TSource::Gap, TBlock::Ram, 1, false, false};
    case 0x06:
        return TCommand{TKind::Read, TSource::Code, TBlock::Ram, 1, false, false};
    case 0x07:
        return TCommand{TKind::Status, TSource::Identity, TBlock::Ram, 0, false, true};
    case 0x55:
        return TCommand{TKind::Close, TSource::Identity, TBlock::Ram, 0, false, false};
    default:
        break;
    }
    // Memory access: bit 7 the direction, bits 5 and 6 the block, the low bits the number of words.
    const int block = (byte >> 5) & 0x03;
    const int words = byte & 0x1F;
    if (block == 0 || words < 1 || words > 2)
        return std::nullopt;
    return TCommand{(byte & 0x80) ? TKind::Write : TKind::Read, TSource::Memory, static_cast<TBlock>(block), words, true, true};
}

bool FaultActsOn(const TFaultPlan& plan, const TCommand& command)
{
    switch (plan.Kind) {
    case TFault::None:
        return false;
    case TFault::WrongChecksum:
        return command.HasChecksum;
    case TFault::NonZeroAck:
        return command.Kind == TKind::Write;
    case TFault::SilentAfter:
        return command.InstrumentBytes() > plan.Bytes;
    case TFault::Silent:
    case TFault::NoEcho:
    case TFault::WrongEcho:
        return true;
    }
    return false;
}

bool ReadFile(const std::string& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return false;
    text = content.str();
    return true;
}

std::string Directory(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes path.tmp in the same folder, makes it durable, and renames it over path.
bool WriteAtomically(const std::string& path, const std::string& text, std::string& error)
{
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = SystemError("cannot create " + temporary);
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = SystemError("cannot write " + temporary);
            close(fd);
            unlink(temporary.c_str());
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0) {
        error = SystemError("cannot flush " + temporary);
        close(fd);
        unlink(temporary.c_str());
        return false;
    }
    close(fd);
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = SystemError("cannot rename " + temporary + " to " + path);
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself must survive a crash too.
    const int folder = open(Directory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

}  // namespace

struct TSimulator::TState {
    explicit TState(TOptions options) : Options(std::move(options)) {}

    // Set before the worker starts and read-only while it runs.
    TOptions Options;
    int Master = -1;
    int Terminal = -1;
    int Wake = -1;
    std::FILE* TraceFile = nullptr;
    bool LinkMade = false;
    TNanoseconds Started = 0;
    TNanoseconds ByteTime = 0;
    std::thread Worker;

    mutable std::mutex Mutex;
    // Guarded by Mutex.
    std::string DevicePath;
    std::string Error;
    TImage Image;
    std::uint64_t ImageVersion = 0;
    TFaultPlan Fault;
    int FaultExchanges = 0;
    TReadings Readings;
    std::deque<std::uint16_t> Queue;
    TNanoseconds ReadingsSince = 0;
    std::int64_t ReadingsTaken = 0;
    std::uint64_t CodesGenerated = 0;
    std::uint64_t LastReading = 0;
    std::deque<TTraceEntry> Trace;
    int Exchanges = 0;

    // Serialises saving the image file.
    std::mutex SaveMutex;
    std::uint64_t SavedVersion = 0;

    // The worker's own: the exchange in progress and the line clock.
    enum class TPhase { Idle, Address, Data };
    struct TExchange {
        TPhase Phase = TPhase::Idle;
        TCommand Command;
        int Address = 0;
        int AddressBytes = 0;
        std::array<std::uint8_t, 4> Data{};
        int DataBytes = 0;
        std::uint8_t Sum = 0;
        int Sent = 0;
        int SendLimit = INT_MAX;
        bool WrongSum = false;
        bool NonZeroAck = false;
    } Exchange;
    TNanoseconds LineBusyUntil = 0;
    TNanoseconds LastActivity = 0;
    std::vector<std::uint8_t> Out;
    TNanoseconds StepAt = 0;  // when the byte being answered was heard
    bool ImageChanged = false;

    void Run();
    void Receive(const std::uint8_t* bytes, std::size_t count);
    void Step(std::uint8_t byte);
    void BeginExchange(std::uint8_t byte);
    void Answer();
    void Send(std::uint8_t byte, bool summed);
    void SendChecksum();
    void Commit();
    void SendPaced(std::uint8_t byte, TNanoseconds readyAt);
    void AddTrace(bool fromHost, std::uint8_t byte, TNanoseconds at);
    std::int64_t ReadingsProduced() const;
    bool ReadingReady() const;
    std::uint16_t TakeCode();
    std::uint16_t CurrentGap() const;
    void SaveImage();
    void Close();
};

void TSimulator::TState::Run()
{
    prctl(PR_SET_TIMERSLACK, 1UL);
    std::uint8_t input[256];
    for (;;) {
        pollfd waits[2] = {{Master, POLLIN, 0}, {Wake, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (waits[1].revents)
            break;
        if (!(waits[0].revents & POLLIN)) {
            // No terminal side is open (it cannot happen while our own handle is): wait for Stop without spinning.
            pollfd stop{Wake, POLLIN, 0};
            poll(&stop, 1, 10);
            continue;
        }
        const ssize_t n = read(Master, input, sizeof input);
        if (n > 0)
            Receive(input, static_cast<std::size_t>(n));
    }
}

void TSimulator::TState::Receive(const std::uint8_t* bytes, std::size_t count)
{
    const TNanoseconds readAt = Now();
    for (std::size_t i = 0; i < count; ++i) {
        TNanoseconds heardAt = readAt;
        if (ByteTime) {
            heardAt = std::max(readAt, LineBusyUntil) + ByteTime;
            LineBusyUntil = heardAt;
        }
        if (Exchange.Phase != TPhase::Idle && readAt - LastActivity > AbandonAfter)
            Exchange.Phase = TPhase::Idle;
        LastActivity = readAt;
        {
            std::lock_guard lock(Mutex);
            StepAt = heardAt;
            AddTrace(true, bytes[i], heardAt);
            Step(bytes[i]);
        }
        // A write is on disk before its checksum byte tells the application that it succeeded.
        if (ImageChanged) {
            ImageChanged = false;
            SaveImage();
        }
        if (ByteTime) {
            // The answer to one byte is ready at once and goes out back to back.
            const TNanoseconds readyAt = Now();
            for (std::uint8_t byte : Out)
                SendPaced(byte, readyAt);
            Out.clear();
        }
    }
    if (!Out.empty()) {
        // A full terminal queue drops what does not fit, as an overrun on a real line does.
        [[maybe_unused]] const ssize_t written = write(Master, Out.data(), Out.size());
        Out.clear();
        LastActivity = Now();
    }
    if (TraceFile)
        std::fflush(TraceFile);
}

void TSimulator::TState::SendPaced(std::uint8_t byte, TNanoseconds readyAt)
{
    const TNanoseconds start = std::max(readyAt, LineBusyUntil);
    const TNanoseconds end = start + ByteTime;
    SleepUntil(end);
    [[maybe_unused]] const ssize_t written = write(Master, &byte, 1);
    LineBusyUntil = end;
    LastActivity = Now();
    std::lock_guard lock(Mutex);
    AddTrace(false, byte, end);
}

void TSimulator::TState::Step(std::uint8_t byte)
{
    auto& x = Exchange;
    switch (x.Phase) {
    case TPhase::Idle:
        BeginExchange(byte);
        return;
    case TPhase::Address:
        x.Sum = AddToSum(x.Sum, byte);
        x.Address = (x.Address << 8 | byte) & (BlockSize - 1);
        if (++x.AddressBytes == 2)
            Answer();
        return;
    case TPhase::Data:
        x.Sum = AddToSum(x.Sum, byte);
        x.Data[static_cast<std::size_t>(x.DataBytes++)] = byte;
        if (x.DataBytes % 2 != 0)
            return;
        if (x.DataBytes / 2 < x.Command.Words) {
            Send(0x00, true);
            return;
        }
        Commit();
        SendChecksum();
        x.Phase = TPhase::Idle;
        return;
    }
}

void TSimulator::TState::BeginExchange(std::uint8_t byte)
{
    const auto command = Decode(byte);
    if (!command)
        return;
    ++Exchanges;
    TFault fault = TFault::None;
    if (FaultActsOn(Fault, *command)) {
        ++FaultExchanges;
        const bool due = Fault.When != TFaultWhen::EveryNth || FaultExchanges % std::max(Fault.N, 1) == 0;
        if (due)
            fault = Fault.Kind;
        if (due && Fault.When == TFaultWhen::Once)
            Fault.Kind = TFault::None;
    }
    if (fault == TFault::Silent)
        return;

    auto& x = Exchange;
    x = TExchange{};
    x.Command = *command;
    x.SendLimit = fault == TFault::NoEcho ? 0 : fault == TFault::SilentAfter ? Fault.Bytes : INT_MAX;
    x.WrongSum = fault == TFault::WrongChecksum;
    x.NonZeroAck = fault == TFault::NonZeroAck;
    if (fault == TFault::WrongEcho) {
        Send(byte ^ 0x01, false);
        return;
    }
    Send(byte, false);
    if (command->HasAddress) {
        x.Phase = TPhase::Address;
        return;
    }
    Answer();
}

// What follows the echo and the address: the words read, or the first acknowledgement of a write.
void TSimulator::TState::Answer()
{
    auto& x = Exchange;
    x.Phase = TPhase::Idle;
    switch (x.Command.Kind) {
    case TKind::Close:
        return;
    case TKind::Status:
        Send(ReadingReady() ? 1 : 0, true);
        SendChecksum();
        return;
    case TKind::Write:
        if (x.NonZeroAck) {
            Send(0x01, false);
            return;
        }
        Send(0x00, true);
        x.Phase = TPhase::Data;
        return;
    case TKind::Read:
        break;
    }
    std::array<std::uint8_t, 4> words{};
    switch (x.Command.Source) {
    case TSource::Identity:
        words = Image.Identity;
        break;
    case TSource::Memory:
        for (int i = 0; i < 2 * x.Command.Words; ++i)
            words[static_cast<std::size_t>(i)] = Image.At(x.Command.Block, x.Address + i);
        break;
    case TSource::Code: {
        const std::uint16_t code = TakeCode();
        words = {static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code & 0xFF)};
        break;
    }
    case TSource::Gap: {
        const std::uint16_t gap = CurrentGap();
        words = {static_cast<std::uint8_t>(gap >> 8), static_cast<std::uint8_t>(gap & 0xFF)};
        break;
    }
    }
    for (int i = 0; i < 2 * x.Command.Words; ++i)
        Send(words[static_cast<std::size_t>(i)], true);
    if (x.Command.HasChecksum)
        SendChecksum();
}

void TSimulator::TState::Send(std::uint8_t byte, bool summed)
{
    auto& x = Exchange;
    if (summed)
        x.Sum = AddToSum(x.Sum, byte);
    if (x.Sent++ >= x.SendLimit)
        return;
    Out.push_back(byte);
    if (!ByteTime)
        AddTrace(false, byte, StepAt);
}

void TSimulator::TState::SendChecksum()
{
    Send(static_cast<std::uint8_t>(Exchange.Sum + (Exchange.WrongSum ? 1 : 0)), false);
}

void TSimulator::TState::Commit()
{
    const auto& x = Exchange;
    bool changed = false;
    for (int i = 0; i < 2 * x.Command.Words; ++i) {
        const auto index = static_cast<std::size_t>(i);
        std::uint8_t& cell = x.Command.Source == TSource::Identity ? Image.Identity[index] : Image.At(x.Command.Block, x.Address + i);
        changed = changed || cell != x.Data[index];
        cell = x.Data[index];
    }
    if (changed) {
        ++ImageVersion;
        ImageChanged = true;
    }
}

void TSimulator::TState::AddTrace(bool fromHost, std::uint8_t byte, TNanoseconds at)
{
    const auto micros = std::max<TNanoseconds>(at - Started, 0) / 1000;
    if (Trace.size() >= TraceLimit)
        Trace.pop_front();
    Trace.push_back(TTraceEntry{fromHost, byte, std::chrono::microseconds(micros)});
    if (TraceFile)
        std::fprintf(TraceFile, "%6lld.%06lld %c %02X\n", static_cast<long long>(micros / 1'000'000),
                     static_cast<long long>(micros % 1'000'000), fromHost ? '>' : '<', byte);
}

// Readings appear at a steady rate; the instrument holds only the newest one.
std::int64_t TSimulator::TState::ReadingsProduced() const
{
    if (Readings.RatePerSecond <= 0)
        return 0;
    return static_cast<std::int64_t>(static_cast<double>(StepAt - ReadingsSince) * Readings.RatePerSecond / 1e9);
}

bool TSimulator::TState::ReadingReady() const
{
    return !Queue.empty() || ReadingsProduced() > ReadingsTaken;
}

std::uint16_t TSimulator::TState::TakeCode()
{
    if (!Queue.empty()) {
        const std::uint16_t code = Queue.front();
        Queue.pop_front();
        return code;
    }
    ReadingsTaken = std::max(ReadingsTaken, ReadingsProduced());
    LastReading = CodesGenerated++;
    const std::int64_t spread = 2 * static_cast<std::int64_t>(Readings.CodeScatter) + 1;
    const auto offset = static_cast<std::int64_t>(Mixed(Options.Seed * 0x100000001ull + LastReading) % static_cast<std::uint64_t>(spread));
    return Clamped(Readings.CodeCentre + offset - Readings.CodeScatter);
}

std::uint16_t TSimulator::TState::CurrentGap() const
{
    const auto offset = static_cast<std::int64_t>(Mixed(~(Options.Seed * 0x100000001ull + LastReading)) % 3);
    return Clamped(Readings.Gap + offset - 1);
}

void TSimulator::TState::SaveImage()
{
    if (Options.ImageFile.empty())
        return;
    std::lock_guard saving(SaveMutex);
    TImage image;
    std::uint64_t version = 0;
    {
        std::lock_guard lock(Mutex);
        if (ImageVersion == SavedVersion)
            return;
        image = Image;
        version = ImageVersion;
    }
    std::string error;
    if (!WriteAtomically(Options.ImageFile, image.ToText(), error)) {
        std::fprintf(stderr, "trelvo-sim: the image file is not saved: %s\n", error.c_str());
        std::lock_guard lock(Mutex);
        Error = "the image file is not saved: " + error;
        return;
    }
    SavedVersion = version;
}

void TSimulator::TState::Close()
{
    if (Worker.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(Wake, &one, sizeof one);
        Worker.join();
    }
    for (int* fd : {&Master, &Terminal, &Wake}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    if (TraceFile) {
        std::fclose(TraceFile);
        TraceFile = nullptr;
    }
    if (LinkMade) {
        // Only our own link goes: someone may have pointed the path elsewhere meanwhile.
        char target[PATH_MAX] = {};
        const ssize_t length = readlink(Options.LinkPath.c_str(), target, sizeof target - 1);
        if (length > 0 && DevicePath == std::string(target, static_cast<std::size_t>(length)))
            unlink(Options.LinkPath.c_str());
        LinkMade = false;
    }
}

TSimulator::TSimulator(TOptions options) : State(std::make_unique<TState>(std::move(options)))
{
    State->Image = State->Options.Image;
    State->Readings = State->Options.Readings;
    State->Fault = State->Options.Fault;
}

TSimulator::~TSimulator()
{
    Stop();
}

bool TSimulator::Start()
{
    auto& s = *State;
    const auto fail = [&](const std::string& why) {
        s.Close();
        std::lock_guard lock(s.Mutex);
        s.Error = why;
        return false;
    };
    if (s.Worker.joinable())
        return fail("the simulator is already running");
    {
        std::lock_guard lock(s.Mutex);
        s.Error.clear();
    }

    if (const auto& path = s.Options.ImageFile; !path.empty()) {
        std::string text;
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 && errno == ENOENT) {
            std::string error;
            if (!WriteAtomically(path, Image().ToText(), error))
                return fail("cannot create the image file: " + error);
        } else if (S_ISDIR(info.st_mode)) {
            return fail("the image file " + path + " is a folder");
        } else if (!ReadFile(path, text)) {
            return fail(SystemError("cannot read the image file " + path));
        } else {
            std::string error;
            const auto image = TImage::FromText(text, error);
            if (!image)
                return fail("the image file " + path + " is not valid: " + error);
            std::lock_guard lock(s.Mutex);
            s.Image = *image;
        }
    }
    if (s.Options.Baud < 0)
        return fail("the baud rate must be positive");

    s.Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s.Master < 0)
        return fail(SystemError("cannot open a pseudo-terminal"));
    char name[256] = {};
    if (grantpt(s.Master) != 0 || unlockpt(s.Master) != 0 || ptsname_r(s.Master, name, sizeof name) != 0)
        return fail(SystemError("cannot set up the pseudo-terminal"));
    s.Terminal = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s.Terminal < 0)
        return fail(SystemError(std::string("cannot open ") + name));
    // Every byte value passes unchanged in both directions: no echo, no line editing, no translation.
    for (int fd : {s.Terminal, s.Master}) {
        termios mode{};
        if (tcgetattr(fd, &mode) != 0)
            return fail(SystemError("cannot read the terminal mode"));
        cfmakeraw(&mode);
        mode.c_cflag |= CLOCAL | CREAD;
        mode.c_cc[VMIN] = 1;
        mode.c_cc[VTIME] = 0;
        cfsetispeed(&mode, B19200);
        cfsetospeed(&mode, B19200);
        if (tcsetattr(fd, TCSANOW, &mode) != 0)
            return fail(SystemError("cannot set the terminal mode"));
    }
    if (fcntl(s.Master, F_SETFL, fcntl(s.Master, F_GETFL) | O_NONBLOCK) != 0)
        return fail(SystemError("cannot set up the pseudo-terminal"));
    s.Wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s.Wake < 0)
        return fail(SystemError("cannot create an event"));
    {
        std::lock_guard lock(s.Mutex);
        s.DevicePath = name;
    }

    if (const auto& link = s.Options.LinkPath; !link.empty()) {
        struct stat info {};
        if (lstat(link.c_str(), &info) == 0) {
            if (!S_ISLNK(info.st_mode))
                return fail(link + " exists and is not a symbolic link");
            unlink(link.c_str());
        }
        if (symlink(name, link.c_str()) != 0)
            return fail(SystemError("cannot make the link " + link));
        s.LinkMade = true;
    }
    if (!s.Options.TraceFile.empty()) {
        s.TraceFile = std::fopen(s.Options.TraceFile.c_str(), "w");
        if (!s.TraceFile)
            return fail(SystemError("cannot create the trace file " + s.Options.TraceFile));
    }

    s.Started = Now();
    // Rounded up: the line is never faster than the real one.
    s.ByteTime = s.Options.Baud > 0 ? (10'000'000'000LL + s.Options.Baud - 1) / s.Options.Baud : 0;
    s.LineBusyUntil = s.Started;
    s.LastActivity = s.Started;
    s.Exchange = {};
    {
        std::lock_guard lock(s.Mutex);
        s.ReadingsSince = s.Started;
        s.ReadingsTaken = 0;
    }
    s.Worker = std::thread([&s] { s.Run(); });
    return true;
}

void TSimulator::Stop()
{
    State->Close();
}

void TSimulator::Vanish()
{
    State->Close();
}

std::string TSimulator::Error() const
{
    std::lock_guard lock(State->Mutex);
    return State->Error;
}

std::string TSimulator::DevicePath() const
{
    std::lock_guard lock(State->Mutex);
    return State->DevicePath;
}

TImage TSimulator::Image() const
{
    std::lock_guard lock(State->Mutex);
    return State->Image;
}

void TSimulator::SetImage(const TImage& image)
{
    {
        std::lock_guard lock(State->Mutex);
        State->Image = image;
        ++State->ImageVersion;
    }
    State->SaveImage();
}

void TSimulator::SetFault(const TFaultPlan& plan)
{
    std::lock_guard lock(State->Mutex);
    State->Fault = plan;
    State->FaultExchanges = 0;
}

void TSimulator::SetReadings(const TReadings& readings)
{
    std::lock_guard lock(State->Mutex);
    State->Readings = readings;
    State->ReadingsSince = Now();
    State->ReadingsTaken = 0;
}

void TSimulator::QueueCodes(const std::vector<std::uint16_t>& codes)
{
    std::lock_guard lock(State->Mutex);
    State->Queue.insert(State->Queue.end(), codes.begin(), codes.end());
}

std::vector<TTraceEntry> TSimulator::Trace() const
{
    std::lock_guard lock(State->Mutex);
    return {State->Trace.begin(), State->Trace.end()};
}

void TSimulator::ClearTrace()
{
    std::lock_guard lock(State->Mutex);
    State->Trace.clear();
}

std::vector<std::uint8_t> TSimulator::HostBytes() const
{
    std::vector<std::uint8_t> bytes;
    for (const auto& entry : Trace())
        if (entry.FromHost)
            bytes.push_back(entry.Byte);
    return bytes;
}

std::vector<std::uint8_t> TSimulator::InstrumentBytes() const
{
    std::vector<std::uint8_t> bytes;
    for (const auto& entry : Trace())
        if (!entry.FromHost)
            bytes.push_back(entry.Byte);
    return bytes;
}

int TSimulator::Exchanges() const
{
    std::lock_guard lock(State->Mutex);
    return State->Exchanges;
}

}  // namespace trelvo::sim
