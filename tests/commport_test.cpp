// The serial port over a real pseudo-terminal: configuration, single-byte moves with their time limit,
// the running checksum, exclusivity and a device that goes away.
#include "Commport.h"
#include "Pty.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct TSumCase {
    std::vector<std::uint8_t> Bytes;
    std::uint8_t Sum;
};

class ChecksumRule : public testing::TestWithParam<TSumCase> {};

TEST_P(ChecksumRule, AddsWithEndAroundCarry)
{
    TCommPort port;
    for (std::uint8_t b : GetParam().Bytes)
        port.AddToChecksum(b);
    EXPECT_EQ(port.Checksum, GetParam().Sum);
}

INSTANTIATE_TEST_SUITE_P(Vectors, ChecksumRule,
                         testing::Values(TSumCase{{0x12, 0x34}, 0x46}, TSumCase{{0xF0, 0x20}, 0x11},
                                         TSumCase{{0x80, 0x80}, 0x01}, TSumCase{{0xFF, 0x01}, 0x01},
                                         TSumCase{{0x5A}, 0x5A}, TSumCase{{0xFF, 0xFF, 0xFF}, 0xFF},
                                         TSumCase{{0x00, 0x02, 0x05, 0x0F, 0x03, 0x1E}, 0x37}));

TEST(Checksum, NeverZeroForBytesNotAllZero)
{
    for (int a = 0; a < 256; ++a) {
        for (int b = 1; b < 256; ++b) {
            TCommPort port;
            port.AddToChecksum(static_cast<std::uint8_t>(a));
            port.AddToChecksum(static_cast<std::uint8_t>(b));
            ASSERT_NE(port.Checksum, 0) << a << " + " << b;
        }
    }
}

TEST(Checksum, SkipIsOneShot)
{
    TCommPort port;
    port.SkipChecksum = true;
    port.AddToChecksum(0x10);
    port.AddToChecksum(0x20);
    EXPECT_EQ(port.Checksum, 0x20);
    EXPECT_FALSE(port.SkipChecksum);
}

struct TNameCase {
    const char* Name;
    const char* Environment;  // TRELVO_COM1, or nullptr for unset
    const char* Path;
};

class PortNames : public testing::TestWithParam<TNameCase> {};

TEST_P(PortNames, MapToDevices)
{
    const auto& c = GetParam();
    if (c.Environment)
        setenv("TRELVO_COM1", c.Environment, 1);
    else
        unsetenv("TRELVO_COM1");
    EXPECT_EQ(TCommPort::DevicePath(c.Name), c.Path);
    unsetenv("TRELVO_COM1");
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortNames,
    testing::Values(TNameCase{"COM1", nullptr, "/dev/ttyS0"}, TNameCase{"COM4", nullptr, "/dev/ttyS3"},
                    TNameCase{"COM1", "/dev/ttyUSB0", "/dev/ttyUSB0"}, TNameCase{"COM2", "/dev/ttyUSB0", "/dev/ttyS1"},
                    TNameCase{"COM1", "", "/dev/ttyS0"}, TNameCase{"COM5", nullptr, "COM5"},
                    TNameCase{"/dev/pts/7", nullptr, "/dev/pts/7"}));

class PortOverPty : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Port.Open(Line.Path(), 19200, 256)) << Port.ErrorText(); }

    TPty Line;
    TCommPort Port;
};

TEST_F(PortOverPty, OpensWithTheGivenSettings)
{
    EXPECT_TRUE(Port.IsOpen);
    EXPECT_TRUE(Port.TransferOk);
    EXPECT_EQ(Port.Baud, 19200);
    EXPECT_EQ(Port.QueueSize, 256);
}

TEST_F(PortOverPty, PassesEveryByteValueUnchangedBothWays)
{
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);

    for (std::uint8_t b : all)
        ASSERT_TRUE(Port.WriteByte(b));
    EXPECT_EQ(Line.Read(), all);

    Line.Write(all);
    for (int i = 0; i < 256; ++i) {
        std::uint8_t b = 0;
        ASSERT_TRUE(Port.ReadByte(b)) << i;
        ASSERT_EQ(b, i);
    }
}

TEST_F(PortOverPty, ReadGivesUpAfterItsTimeOutAndKeepsTheDestination)
{
    std::uint8_t destination = 0x5A;
    const auto start = Clock::now();
    EXPECT_FALSE(Port.ReadByte(destination));
    const auto waited = Clock::now() - start;
    EXPECT_EQ(destination, 0x5A);
    EXPECT_FALSE(Port.TransferOk);
    EXPECT_GE(waited, 90ms);
    EXPECT_LT(waited, 2s);
}

TEST_F(PortOverPty, ReadReturnsAByteThatArrivesDuringTheWait)
{
    std::thread sender([&] {
        std::this_thread::sleep_for(30ms);
        Line.Write({0xC3});
    });
    std::uint8_t destination = 0;
    const auto start = Clock::now();
    EXPECT_TRUE(Port.ReadByte(destination));
    const auto waited = Clock::now() - start;
    sender.join();
    EXPECT_EQ(destination, 0xC3);
    EXPECT_LT(waited, 95ms);
}

TEST_F(PortOverPty, ChecksumByteIsKeptOutOfTheSumEvenWhenItTimesOut)
{
    Line.Write({0x12, 0x77});
    std::uint8_t b = 0;
    ASSERT_TRUE(Port.ReadByte(b));
    ASSERT_TRUE(Port.ReadChecksumByte(b));
    EXPECT_EQ(b, 0x77);
    EXPECT_EQ(Port.Checksum, 0x12);

    EXPECT_FALSE(Port.ReadChecksumByte(b));
    EXPECT_EQ(Port.Checksum, 0x12);
    const std::uint8_t next = 0x34;
    ASSERT_TRUE(Port.WriteByte(next));
    EXPECT_EQ(Port.Checksum, 0x46);
}

TEST_F(PortOverPty, BeginExchangeDiscardsWhatArrivedBefore)
{
    Line.Write({0x01, 0x02, 0x03});
    std::this_thread::sleep_for(10ms);
    Port.AddToChecksum(0x40);
    Port.BeginExchange();
    EXPECT_EQ(Port.Checksum, 0);
    EXPECT_TRUE(Port.TransferOk);
    std::uint8_t b = 0;
    EXPECT_FALSE(Port.ReadByte(b));

    Line.Write({0x09});
    EXPECT_TRUE(Port.ReadByte(b));
    EXPECT_EQ(b, 0x09);
}

TEST_F(PortOverPty, SecondOpenOfTheSameDeviceFails)
{
    TCommPort second;
    EXPECT_FALSE(second.Open(Line.Path(), 19200, 256));
    EXPECT_FALSE(second.IsOpen);
    EXPECT_FALSE(second.ErrorText().empty());

    Port.Close();
    EXPECT_TRUE(second.Open(Line.Path(), 19200, 256)) << second.ErrorText();
}

TEST_F(PortOverPty, OpenFromAnotherProcessFailsWhileHeld)
{
    const auto openInChild = [&] {
        const pid_t child = fork();
        if (child == 0) {
            TCommPort port;
            _exit(port.Open(Line.Path(), 19200, 256) ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_FALSE(openInChild());
    Port.Close();
    EXPECT_TRUE(openInChild());
}

TEST_F(PortOverPty, ReopeningAnOpenPortClosesItFirst)
{
    ASSERT_TRUE(Port.Open(Line.Path(), 19200, 256)) << Port.ErrorText();
    EXPECT_TRUE(Port.IsOpen);
    Line.Write({0x42});
    std::uint8_t b = 0;
    EXPECT_TRUE(Port.ReadByte(b));
    EXPECT_EQ(b, 0x42);
}

TEST_F(PortOverPty, VanishedDeviceFailsPromptly)
{
    Line.Hangup();
    std::uint8_t b = 0;
    const auto start = Clock::now();
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(Port.WriteByte(b));
        EXPECT_FALSE(Port.ReadByte(b));
    }
    EXPECT_LT(Clock::now() - start, 3s);
    Port.Close();
    EXPECT_FALSE(Port.IsOpen);
}

TEST(ClosedPort, MovesNothing)
{
    TCommPort port;
    std::uint8_t b = 7;
    EXPECT_FALSE(port.ReadByte(b));
    EXPECT_FALSE(port.ReadChecksumByte(b));
    EXPECT_FALSE(port.WriteByte(b));
    EXPECT_EQ(b, 7);
    port.BeginExchange();
    port.Close();
    EXPECT_FALSE(port.IsOpen);
}

TEST(OpenFailures, LeaveThePortClosed)
{
    TCommPort port;
    EXPECT_FALSE(port.Open("/dev/no-such-port", 19200, 256));
    EXPECT_FALSE(port.IsOpen);
    EXPECT_FALSE(port.Open("/dev/null", 19200, 256));  // not a serial device
    EXPECT_FALSE(port.IsOpen);
    TPty line;
    EXPECT_FALSE(port.Open(line.Path(), 12345, 256));
    EXPECT_FALSE(port.IsOpen);
}

// A lock file left by a process that is gone does not keep the port; one of a live process does.
TEST(LockFiles, StaleLockIsTakenOverLiveLockIsRespected)
{
    if (access("/var/lock", W_OK) != 0)
        GTEST_SKIP() << "no writable /var/lock here";
    TPty line;
    std::string name = line.Path().substr(5);
    for (char& c : name)
        c = c == '/' ? '_' : c;
    const std::string lockFile = "/var/lock/LCK.." + name;

    const auto writeLock = [&](int pid) {
        FILE* file = std::fopen(lockFile.c_str(), "w");
        std::fprintf(file, "%10d\n", pid);
        std::fclose(file);
    };
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);

    TCommPort port;
    writeLock(gone);
    EXPECT_TRUE(port.Open(line.Path(), 19200, 256)) << port.ErrorText();
    port.Close();
    EXPECT_NE(access(lockFile.c_str(), F_OK), 0) << "Close removes the lock";

    writeLock(1);
    EXPECT_FALSE(port.Open(line.Path(), 19200, 256));
    unlink(lockFile.c_str());
}

}  // namespace
