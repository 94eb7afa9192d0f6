// The trelvo-sim program as a user runs it: command line, device path on standard output, signals.
#include "Simulator.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

using TBytes = std::vector<std::uint8_t>;

namespace {

// The test program lives in <build>/tests, the simulator in <build>/sim.
std::string SimulatorProgram()
{
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "sim" / "trelvo-sim").string();
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

// One run of trelvo-sim with its standard output and error caught.
class TSimulatorProcess {
public:
    explicit TSimulatorProcess(const std::vector<std::string>& arguments)
    {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        const std::string program = SimulatorProgram();
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&Pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        Out = out[0];
        Err = err[0];
    }
    ~TSimulatorProcess()
    {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
        for (int fd : {Out, Err})
            if (fd >= 0)
                close(fd);
    }

    bool Started() const { return Pid > 0; }

    // The first line of standard output, waiting at most a few seconds for it.
    std::string FirstLine()
    {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd ready{Out, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0)
                continue;
            char c = 0;
            if (read(Out, &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        return line;
    }

    // Sends the signal (none: lets the program end by itself) and returns the exit status, -1 for anything else.
    int Finish(int signal = 0)
    {
        if (signal)
            kill(Pid, signal);
        StandardOutput = ReadAll(Out);
        StandardError = ReadAll(Err);
        int status = 0;
        waitpid(Pid, &status, 0);
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string StandardOutput;
    std::string StandardError;

private:
    pid_t Pid = -1;
    int Out = -1;
    int Err = -1;
};

// A trace line "SECONDS.MICROSECONDS D XX" as "DXX"; empty when the line has another form.
std::string TraceItem(const std::string& line)
{
    const auto dot = line.find('.');
    if (dot == std::string::npos || dot == 0 || line.size() != dot + 12 || line[dot + 7] != ' ' || line[dot + 9] != ' ')
        return {};
    const std::string seconds = line.substr(0, dot);
    const auto firstDigit = seconds.find_first_not_of(' ');
    if (firstDigit == std::string::npos || seconds.find_first_not_of("0123456789", firstDigit) != std::string::npos ||
        line.substr(dot + 1, 6).find_first_not_of("0123456789") != std::string::npos)
        return {};
    const char direction = line[dot + 8];
    const std::string byte = line.substr(dot + 10);
    if ((direction != '<' && direction != '>') || byte.find_first_not_of("0123456789ABCDEF") != std::string::npos)
        return {};
    return direction + byte;
}

// The application's side of one exchange: each step's bytes, then the answer.
TBytes Exchange(const std::string& device, const std::vector<std::pair<TBytes, std::size_t>>& steps)
{
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    termios mode{};
    tcgetattr(fd, &mode);
    cfmakeraw(&mode);
    tcsetattr(fd, TCSANOW, &mode);
    TBytes answer;
    for (const auto& [send, expected] : steps) {
        if (write(fd, send.data(), send.size()) != static_cast<ssize_t>(send.size()))
            break;
        for (std::size_t got = 0; got < expected; ++got) {
            pollfd ready{fd, POLLIN, 0};
            std::uint8_t byte = 0;
            if (poll(&ready, 1, 1000) <= 0 || read(fd, &byte, 1) != 1)
                break;
            answer.push_back(byte);
        }
    }
    close(fd);
    return answer;
}

class SimulatorProgramTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Temporary.isValid()); }

    std::string ReadText(const std::string& path) const
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    QTemporaryDir Temporary;
    const std::string Folder = Temporary.path().toStdString();
};

TEST_F(SimulatorProgramTest, AnswersOnItsDeviceUntilTerminated)
{
    const std::string link = Folder + "/device";
    const std::string trace = Folder + "/trace.txt";
    const std::string image = Folder + "/image.txt";
    TSimulatorProcess sim({"--link", link, "--trace", trace, "--image=" + image});
    ASSERT_TRUE(sim.Started()) << SimulatorProgram();
    const std::string device = sim.FirstLine();
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);

    EXPECT_EQ(Exchange(link, {{{0x42}, 1}, {{0x00, 0x02}, 5}}), (TBytes{0x42, 0x05, 0x0F, 0x03, 0x1E, 0x37}));

    EXPECT_EQ(sim.Finish(SIGTERM), 0) << sim.StandardError;
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link outlives the program";
    EXPECT_NE(sim.StandardError.find("created " + image), std::string::npos) << sim.StandardError;
    std::string error;
    const auto saved = trelvo::sim::TImage::FromText(ReadText(image), error);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(*saved, trelvo::sim::TImage::Demo());

    std::istringstream lines(ReadText(trace));
    std::string line;
    std::string seen;
    while (std::getline(lines, line)) {
        const std::string item = TraceItem(line);
        ASSERT_FALSE(item.empty()) << line;
        seen += item + " ";
    }
    EXPECT_EQ(seen, ">42 <42 >00 >02 <05 <0F <03 <1E <37 ");
}

TEST_F(SimulatorProgramTest, OptionsReachTheInstrument)
{
    TSimulatorProcess sim({"--rate", "1000", "--centre", "3000", "--scatter", "0", "--gap", "77", "--fault", "badsum", "--fault-when",
                           "every:2", "--baud", "115200", "--seed=9"});
    const std::string device = sim.FirstLine();
    if (device.empty()) {
        sim.Finish(SIGTERM);
        FAIL() << "no device path; " << sim.StandardError;
    }
    // A reading is ready within a millisecond; the second GetStatus gets the bad checksum.
    usleep(20'000);
    EXPECT_EQ(Exchange(device, {{{0x07}, 3}}), (TBytes{0x07, 0x01, 0x01}));
    EXPECT_EQ(Exchange(device, {{{0x07}, 3}}), (TBytes{0x07, 0x01, 0x02}));
    EXPECT_EQ(Exchange(device, {{{0x06}, 3}}), (TBytes{0x06, 0x0B, 0xB8}));
    const TBytes gap = Exchange(device, {{{0x04}, 3}});
    ASSERT_EQ(gap.size(), 3u);
    EXPECT_EQ(gap[1], 0);
    EXPECT_GE(gap[2], 76);
    EXPECT_LE(gap[2], 78);
    EXPECT_EQ(sim.Finish(SIGINT), 0) << sim.StandardError;
}

TEST_F(SimulatorProgramTest, HelpNamesEveryOption)
{
    TSimulatorProcess sim({"--help"});
    EXPECT_EQ(sim.Finish(), 0);
    for (const char* option : {"--link", "--image", "--dump", "--trace", "--baud", "--rate", "--centre", "--scatter", "--gap", "--seed",
                               "--fault", "--fault-when", "--help", "cutoff:N", "every:N"})
        EXPECT_NE(sim.StandardOutput.find(option), std::string::npos) << option;
}

TEST_F(SimulatorProgramTest, BadCommandLinesAreRefused)
{
    const struct {
        std::vector<std::string> Arguments;
        std::string Message;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"extra"}, "unexpected argument 'extra'"},
        {{"--baud"}, "--baud needs a value"},
        {{"--baud", "fast"}, "--baud needs a whole number from 50 to 4000000, not 'fast'"},
        {{"--baud", "10"}, "--baud needs a whole number"},
        {{"--rate", "-1"}, "--rate needs a number"},
        {{"--centre", "70000"}, "--centre needs a whole number from 0 to 65535"},
        {{"--fault", "loud"}, "unknown fault 'loud'"},
        {{"--fault", "cutoff:x"}, "cutoff:N needs a whole number"},
        {{"--fault-when", "every:0"}, "every:N needs a whole number from 1"},
        {{"--fault-when", "sometimes"}, "unknown --fault-when 'sometimes'"},
        {{"--image="}, "--image needs a value"},
    };
    for (const auto& bad : cases) {
        TSimulatorProcess sim(bad.Arguments);
        EXPECT_EQ(sim.Finish(), 2) << bad.Message;
        EXPECT_NE(sim.StandardError.find(bad.Message), std::string::npos) << sim.StandardError;
        EXPECT_TRUE(sim.StandardOutput.empty()) << sim.StandardOutput;
    }
}

TEST_F(SimulatorProgramTest, DumpWritesTheDemoImage)
{
    const std::string file = Folder + "/demo.txt";
    TSimulatorProcess sim({"--dump", file});
    EXPECT_EQ(sim.Finish(), 0) << sim.StandardError;
    std::string error;
    const auto image = trelvo::sim::TImage::FromText(ReadText(file), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(*image, trelvo::sim::TImage::Demo());
}

TEST_F(SimulatorProgramTest, MalformedImageFileIsReported)
{
    const std::string file = Folder + "/broken.txt";
    std::ofstream(file) << "identity 20 3B 01\n";
    TSimulatorProcess sim({"--image", file});
    EXPECT_EQ(sim.Finish(), 1);
    EXPECT_NE(sim.StandardError.find(file + " is not valid: line 1:"), std::string::npos) << sim.StandardError;
    EXPECT_TRUE(sim.StandardOutput.empty()) << sim.StandardOutput;
}

}  // namespace
