#include "Commport.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool BaudToSpeed(std::int32_t baud, speed_t& speed)
{
    static constexpr struct {
        std::int32_t Baud;
        speed_t Speed;
    } rates[] = {
        {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
        {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
        {230400, B230400},
    };
    for (const auto& rate : rates) {
        if (rate.Baud == baud) {
            speed = rate.Speed;
            return true;
        }
    }
    return false;
}

// The lock other serial programs look for: LCK..ttyS0 for /dev/ttyS0, LCK..pts_3 for /dev/pts/3.
std::string LockFileFor(const std::string& devicePath)
{
    const char* dir = "/var/lock";
    if (access(dir, W_OK) != 0)
        return {};
    std::string name = devicePath.rfind("/dev/", 0) == 0 ? devicePath.substr(5) : devicePath.substr(devicePath.rfind('/') + 1);
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    return std::string(dir) + "/LCK.." + name;
}

// The process that a lock file names, or 0 when the file cannot be read or names none.
pid_t LockOwner(const std::string& lockFile)
{
    FILE* file = std::fopen(lockFile.c_str(), "r");
    if (!file)
        return 0;
    long pid = 0;
    const int fields = std::fscanf(file, "%ld", &pid);
    std::fclose(file);
    return fields == 1 && pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// A system call, again when a signal interrupted it.
template <typename Call>
ssize_t Retrying(Call call)
{
    ssize_t result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace

TCommPort::~TCommPort()
{
    if (IsOpen)
        Close();
}

std::string TCommPort::DevicePath(const std::string& name)
{
    if (name.size() == 4 && name.rfind("COM", 0) == 0 && name[3] >= '1' && name[3] <= '4') {
        const std::string variable = "TRELVO_" + name;
        if (const char* path = std::getenv(variable.c_str()); path && *path)
            return path;
        return std::string("/dev/ttyS") + static_cast<char>(name[3] - 1);
    }
    return name;
}

bool TCommPort::Fail(const std::string& what)
{
    Error = what;
    return false;
}

bool TCommPort::TakeLockFile(const std::string& devicePath)
{
    const std::string lockFile = LockFileFor(devicePath);
    if (lockFile.empty())
        return true;
    // One retry: a stale lock (its process gone) is removed, and the lock taken afresh.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = open(lockFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
            const bool written = write(fd, text, static_cast<size_t>(length)) == length;
            close(fd);
            if (!written) {
                unlink(lockFile.c_str());
                return Fail("cannot write the lock file " + lockFile);
            }
            LockFile = lockFile;
            return true;
        }
        if (errno != EEXIST)
            return true;  // a lock directory we cannot use protects nothing; the device lock still does
        const pid_t owner = LockOwner(lockFile);
        if (owner == getpid() || (owner > 0 && (kill(owner, 0) == 0 || errno != ESRCH)))
            return Fail(devicePath + " is in use by process " + std::to_string(owner));
        unlink(lockFile.c_str());
    }
    return Fail(devicePath + " is locked by " + lockFile);
}

void TCommPort::ReleaseLockFile()
{
    if (!LockFile.empty()) {
        unlink(LockFile.c_str());
        LockFile.clear();
    }
}

bool TCommPort::Open(const std::string& name, std::int32_t baud, std::int32_t queueSize)
{
    if (IsOpen)
        Close();
    Error.clear();

    std::string path = DevicePath(name);
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }
    speed_t speed;
    if (!BaudToSpeed(baud, speed))
        return Fail(std::to_string(baud) + " baud is not a rate this port supports");
    if (!TakeLockFile(path))
        return false;

    // Non-blocking, so that the open does not wait for a carrier that may never come.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const std::string reason = std::strerror(errno);
        ReleaseLockFile();
        return Fail(path + ": " + reason);
    }
    auto failOpen = [&](const std::string& what) {
        close(fd);
        ReleaseLockFile();
        return Fail(path + ": " + what);
    };
    // TIOCEXCL keeps out other openers but not root; the lock on the device keeps out every program that asks.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return failOpen("in use by another program");
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return failOpen("not a serial device");
    if (ioctl(fd, TIOCEXCL) != 0)
        return failOpen(std::string("cannot take the port exclusively: ") + std::strerror(errno));

    cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    // A read returns as soon as one byte is there, or with none after a tenth of a second.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = ReadTimeoutMs / 100;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return failOpen(std::string("cannot configure the port: ") + std::strerror(errno));
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return failOpen(std::string("cannot make the port blocking: ") + std::strerror(errno));
    tcflush(fd, TCIOFLUSH);

    Handle = fd;
    Baud = baud;
    QueueSize = queueSize;
    IsOpen = true;
    TransferOk = true;
    return true;
}

void TCommPort::Close()
{
    if (Handle >= 0) {
        ioctl(Handle, TIOCNXCL);
        close(Handle);  // also releases the device lock
        Handle = -1;
    }
    ReleaseLockFile();
    IsOpen = false;
}

bool TCommPort::ReadByte(std::uint8_t& destination)
{
    if (!IsOpen)
        return Refuse();
    const ssize_t count = Retrying([&] { return read(Handle, &destination, 1); });
    return Moved(count, destination);
}

bool TCommPort::ReadChecksumByte(std::uint8_t& destination)
{
    SkipChecksum = true;
    return ReadByte(destination);
}

bool TCommPort::WriteByte(const std::uint8_t& source)
{
    if (!IsOpen)
        return Refuse();
    const ssize_t count = Retrying([&] { return write(Handle, &source, 1); });
    return Moved(count, source);
}

bool TCommPort::Refuse()
{
    SkipChecksum = false;
    TransferOk = false;
    return false;
}

bool TCommPort::Moved(ssize_t count, std::uint8_t byte)
{
    // Summed after every attempt, so that a skip never outlives one byte; a byte that did not come sums
    // what the destination already held.
    AddToChecksum(byte);
    if (count == 1)
        return true;
    TransferOk = false;
    return false;
}

void TCommPort::BeginExchange()
{
    Checksum = 0;
    if (IsOpen)
        tcflush(Handle, TCIOFLUSH);
    TransferOk = true;
}

void TCommPort::AddToChecksum(std::uint8_t b)
{
    if (!SkipChecksum) {
        const unsigned sum = Checksum + b;
        Checksum = static_cast<std::uint8_t>(sum > 255 ? sum - 255 : sum);
    }
    SkipChecksum = false;
}
