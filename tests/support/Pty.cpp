#include "Pty.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

TPty::TPty()
{
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    SlavePath = ptsname(Master);
    KeepOpen = open(SlavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    tcgetattr(KeepOpen, &settings);
    cfmakeraw(&settings);
    tcsetattr(KeepOpen, TCSANOW, &settings);
}

TPty::~TPty()
{
    Hangup();
}

void TPty::Write(const std::vector<std::uint8_t>& bytes)
{
    if (!bytes.empty() && write(Master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write to the pseudo-terminal");
}

std::vector<std::uint8_t> TPty::Read(int waitMs)
{
    std::vector<std::uint8_t> bytes;
    pollfd pending{Master, POLLIN, 0};
    while (poll(&pending, 1, waitMs) == 1 && (pending.revents & POLLIN)) {
        std::uint8_t buffer[256];
        const ssize_t count = read(Master, buffer, sizeof buffer);
        if (count <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + count);
    }
    return bytes;
}

void TPty::Hangup()
{
    if (KeepOpen >= 0)
        close(KeepOpen);
    if (Master >= 0)
        close(Master);
    KeepOpen = Master = -1;
}
