// The ixo-sim program, run as a process with a port map of its own.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "Fifo.h"
#include "OwnPortMap.h"
#include "SimLine.h"
#include "SimPort.h"
#include "TempDir.h"
#include "device/Protocol.h"
#include "isa/WordFields.h"

extern char** environ;

namespace ixo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// One run of ixo-sim, in the test's environment and so on its port map: standard
// output through a pipe, standard error into a file.
class SimProcess {
public:
    SimProcess(const std::vector<std::string>& args, const TempDir& folder)
        : errPath_(folder.File("ixo-sim-stderr")) {
        std::vector<std::string> argText = {IXO_SIM_PATH};
        argText.insert(argText.end(), args.begin(), args.end());

        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // The stop signals in their default state, whatever the test runner set.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, signal);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        std::vector<char*> argv = Pointers(argText);
        const int error = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
        if (error != 0) {
            pid_ = -1;
            ADD_FAILURE() << "cannot start " << argText[0] << ": " << std::strerror(error);
        }
    }

    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }

    // Standard output up to the first line feed (or its end), within limit.
    std::string ReadLine(std::chrono::milliseconds limit = 10s) {
        std::string text;
        const auto deadline = Clock::now() + limit;
        while (text.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd pipe{out_, POLLIN, 0};
            if (::poll(&pipe, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

    // Sends signal (none: 0) and gives the exit status, or -1 when the program did not
    // exit normally within 10 s.
    int Finish(int signal = 0) {
        if (pid_ <= 0) return -1;
        if (signal != 0) ::kill(pid_, signal);
        const auto deadline = Clock::now() + 10s;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) return -1;
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Errors() const { return ReadBytes(errPath_); }
    pid_t Pid() const { return pid_; }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& texts) {
        std::vector<char*> pointers;
        for (std::string& text : texts) pointers.push_back(text.data());
        pointers.push_back(nullptr);
        return pointers;
    }

    std::string errPath_;
    pid_t pid_ = -1;
    int out_ = -1;
};

Bytes Fetch(SimLine& line, int address, std::size_t expect = ReplyLength) {
    line.Write(FetchOf(address));
    return line.Read(expect);
}

class SimProgramTest : public ::testing::Test {
protected:
    std::string MapEntry(int port) const { return ports_.Entry(port); }
    // True when COMn leads where it did before ixo-sim ran.
    bool MappedAsBefore(int port) const {
        return fs::read_symlink(MapEntry(port)) == ports_.AbsentPath(port);
    }

    OwnPortMap ports_;
    TempDir folder_;
};

TEST_F(SimProgramTest, ServesItsPortUntilAStopSignalThenLeavesTheMap) {
    const std::string program = folder_.File("prog.obj");
    WriteBytes(program, "12345678\r\nABCDEF01\r\n");
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        SimProcess sim({"--port", "3", "--load", program, "--cw", "1234abcd"}, folder_);
        const std::string line = sim.ReadLine();
        ASSERT_TRUE(line.starts_with("COM3 /dev/")) << line;
        ASSERT_TRUE(line.ends_with("\n")) << line;
        const std::string device = line.substr(5, line.size() - 6);
        EXPECT_EQ(fs::read_symlink(MapEntry(3)), device);

        SimLine port(MapEntry(3));
        EXPECT_EQ(Fetch(port, 0), AnswerOf(0x12345678));
        EXPECT_EQ(Fetch(port, 1), AnswerOf(0xABCDEF01));
        // Past the program's end the device holds what a program write leaves.
        EXPECT_EQ(Fetch(port, 2), AnswerOf(NopWord));
        EXPECT_EQ(Fetch(port, 127), AnswerOf(NopWord));
        EXPECT_EQ(Fetch(port, 128), AnswerOf(0x1234ABCD));

        EXPECT_EQ(sim.Finish(signal), 0);
        EXPECT_TRUE(MappedAsBefore(3));
    }
}

// A simulator killed outright cannot give its entry back; the next one on the port
// releases the dead one's take-over as it takes the port, and gives back what was
// there before either came, not the dead one's device.
TEST_F(SimProgramTest, KilledSimulatorsEntryIsGivenBackByTheNext) {
    SimProcess killed({"--port", "3"}, folder_);
    ASSERT_TRUE(killed.ReadLine().starts_with("COM3 "));
    EXPECT_EQ(killed.Finish(SIGKILL), -1);
    SimProcess next({"--port", "3"}, folder_);
    const std::string line = next.ReadLine();
    ASSERT_TRUE(line.starts_with("COM3 "));
    // The record of take-overs holds the live one's alone.
    const std::string device = line.substr(5, line.size() - 6);
    EXPECT_EQ(ReadBytes((fs::path(MapEntry(3)).parent_path() / ".com3.taken").string()),
              std::to_string(next.Pid()) + "\t" + device + "\t" + ports_.AbsentPath(3) + "\n");
    EXPECT_EQ(next.Finish(SIGTERM), 0);
    EXPECT_TRUE(MappedAsBefore(3));
}

TEST_F(SimProgramTest, DefaultPortIsComOneAndFaultSwitchesReachTheDevice) {
    SimProcess sim({"--high-nibbles", "--answer-below", "2", "--short", "1", "4"}, folder_);
    ASSERT_TRUE(sim.ReadLine().starts_with("COM1 "));
    SimLine port(MapEntry(1));
    // Address 2 is silent, 1 gets 4 bytes, 0 all 8, each byte with its high nibble.
    Bytes requests;
    for (int address : {2, 1, 0}) {
        const Bytes request = FetchOf(address);
        requests.insert(requests.end(), request.begin(), request.end());
    }
    port.Write(requests);
    EXPECT_EQ(port.Read(12), Bytes(12, 0x30));
    EXPECT_TRUE(port.Read(1, 50ms).empty());
    EXPECT_EQ(sim.Finish(SIGTERM), 0);
}

TEST_F(SimProgramTest, FallBehindSendsOneAnswerTwiceThenTheRestLate) {
    SimProcess sim({"--fall-behind", "1", "2000", "300", "--cw", "C"}, folder_);
    ASSERT_TRUE(sim.ReadLine().starts_with("COM1 "));
    SimLine port(MapEntry(1));
    const Bytes zero = AnswerOf(0);
    EXPECT_EQ(Fetch(port, 1), zero);
    EXPECT_EQ(port.Read(8), zero);  // the copy
    port.Write(FetchOf(128));
    EXPECT_TRUE(port.Read(1, 100ms).empty());  // late
    EXPECT_EQ(port.Read(8), AnswerOf(0xC));
    EXPECT_EQ(sim.Finish(SIGTERM), 0);
}

TEST_F(SimProgramTest, HungUpDeviceGivesBackItsPortAtOnce) {
    SimProcess sim({"--port", "2", "--hang-up-after", "3"}, folder_);
    ASSERT_TRUE(sim.ReadLine().starts_with("COM2 "));
    SimLine port(MapEntry(2));
    EXPECT_TRUE(Fetch(port, 0).empty());
    EXPECT_TRUE(port.WaitForHangUp());
    // Before any stop signal: the pseudo-terminal that has gone may soon be another's.
    const auto deadline = Clock::now() + 10s;
    while (!MappedAsBefore(2) && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(MappedAsBefore(2));
    EXPECT_EQ(sim.Finish(SIGTERM), 0);
    EXPECT_TRUE(MappedAsBefore(2));
}

TEST_F(SimProgramTest, TraceShowsEveryByteWithItsTime) {
    SimProcess sim({"--trace", "--cw", "F", "--pace", "38400"}, folder_);
    ASSERT_TRUE(sim.ReadLine().starts_with("COM1 "));
    {
        SimLine port(MapEntry(1));
        EXPECT_EQ(Fetch(port, 128), AnswerOf(0xF));
    }
    EXPECT_EQ(sim.Finish(SIGTERM), 0);
    const std::string errors = sim.Errors();
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = errors.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(errors.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 11u) << errors;
    const char* expected[] = {"recv 88", "recv 08", "recv 00", "sent 00", "sent 00", "sent 00",
                              "sent 00", "sent 00", "sent 00", "sent 00", "sent 0F"};
    double last = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].ends_with(expected[i])) << lines[i];
        const double time = std::stod(lines[i]);
        EXPECT_GE(time, last) << lines[i];
        last = time;
    }
}

TEST_F(SimProgramTest, UsageErrorsAndHelp) {
    struct Case {
        std::vector<std::string> Args;
        int Status;
    };
    const Case cases[] = {
        {{"--help"}, 0},
        {{"--version"}, 0},
        {{"--port", "0"}, 2},
        {{"--port", "1x"}, 2},
        {{"--port"}, 2},
        {{"--cw", "xyz"}, 2},
        {{"--cw", "123456789"}, 2},
        {{"--cw", "-1"}, 2},
        {{"--short", "5"}, 2},
        {{"--short", "129", "4"}, 2},
        {{"--short", "5", "9"}, 2},
        {{"--pace", "0"}, 2},
        {{"--hang-up-after", "-1"}, 2},
        {{"--late-byte", "ten"}, 2},
        {{"--fall-behind", "5", "100"}, 2},
        {{"--fall-behind", "129", "0", "20"}, 2},
        {{"--load"}, 2},
        {{"--load", ""}, 2},
        {{"COM1"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.Args));
        SimProcess sim(c.Args, folder_);
        const std::string out = sim.ReadLine();
        EXPECT_EQ(sim.Finish(), c.Status);
        if (c.Status == 0) {
            EXPECT_TRUE(out.starts_with("Usage: ixo-sim") ||
                        out.starts_with("ixo-sim (Ixo Loader) "))
                << out;
        } else {
            EXPECT_TRUE(out.empty()) << out;
            EXPECT_NE(sim.Errors().find("Try 'ixo-sim --help'"), std::string::npos);
        }
        EXPECT_TRUE(MappedAsBefore(1));
    }
}

TEST_F(SimProgramTest, ProgramThatCannotBeLoadedEndsWithItsFailure) {
    const std::string missing = folder_.File("missing.obj");
    const std::string malformed = folder_.File("bad.obj");
    WriteBytes(malformed, "12345678\r\n1234567G\r\n");
    // A FIFO with no writer is refused at once, not waited on.
    const FifoWithoutWriter fifo(folder_.File("pipe.obj"));
    const std::pair<std::string, std::string> cases[] = {
        {missing, "ixo-sim: Can't open file \"" + missing + "\": No such file or directory\n"},
        {fifo.Path(), "ixo-sim: Can't open file \"" + fifo.Path() + "\": not a regular file\n"},
        {malformed, "ixo-sim: Bad line 2 in object file \"" + malformed +
                        "\": 'G' is not a hexadecimal digit\n"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        SimProcess sim({"--load", file}, folder_);
        EXPECT_TRUE(sim.ReadLine().empty());
        EXPECT_EQ(sim.Finish(), 1);
        EXPECT_EQ(sim.Errors(), message);
        EXPECT_TRUE(MappedAsBefore(1));
    }
    EXPECT_FALSE(fifo.ReaderWaited());
}

}  // namespace
}  // namespace ixo::test
