// TCommPort: the only access to the serial line.
//
// Opens a port by name, configures it for the instrument link (raw 8N1, no flow control, every byte
// value passed unchanged), moves single bytes with fixed time limits, and keeps the running checksum
// of one exchange. It knows nothing of what the bytes mean beyond the checksum rule.
//
// Every operation that can fail says so in its result; none throws.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

class TCommPort {
public:
    // A read gives up when no byte has come for this long.
    static constexpr int ReadTimeoutMs = 100;

    TCommPort() = default;
    ~TCommPort();
    TCommPort(const TCommPort&) = delete;
    TCommPort& operator=(const TCommPort&) = delete;

    // "COM1" to "COM4" name the device in TRELVO_COM1 ... TRELVO_COM4, or /dev/ttyS0 ... /dev/ttyS3 when
    // that is not set; any other name is a device path and is used as it stands.
    static std::string DevicePath(const std::string& name);

    // Opens the port for this process alone; an open port is closed first. On failure the port is
    // closed and ErrorText() says why.
    bool Open(const std::string& name, std::int32_t baud, std::int32_t queueSize);
    void Close();

    bool ReadByte(std::uint8_t& destination);
    bool ReadChecksumByte(std::uint8_t& destination);
    bool WriteByte(const std::uint8_t& source);

    // Starts an exchange: the checksum from zero, and every byte still queued in either direction discarded.
    void BeginExchange();

    // The 8-bit sum with end-around carry (ones'-complement addition); SkipChecksum skips one byte.
    void AddToChecksum(std::uint8_t b);

    const std::string& ErrorText() const { return Error; }

    std::int32_t Baud = 0;
    std::int32_t QueueSize = 0;
    bool IsOpen = false;
    bool TransferOk = false;
    bool SkipChecksum = false;
    std::uint8_t Checksum = 0;

private:
    bool Fail(const std::string& what);
    bool Refuse();  // a byte operation on a closed port
    bool Moved(ssize_t count, std::uint8_t byte);
    bool TakeLockFile(const std::string& devicePath);
    void ReleaseLockFile();

    int Handle = -1;
    std::string LockFile;  // the UUCP lock this port holds, if any
    std::string Error;
};
