#include "link/Comport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "LinkFixture.h"
#include "OtherUser.h"
#include "OwnPortMap.h"
#include "SimPort.h"
#include "TempDir.h"
#include "device/Protocol.h"
#include "ports/PortNames.h"

namespace ixo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(::testing::Test::HasFailure());
        port_.PortNumber = 1;
        port_.SetBaudRate(38400);
        ASSERT_TRUE(port_.Open()) << port_.OpenError();
    }

    OwnPortMap map_;
    SimPort sim_{1};
    ComPort port_;
};

TEST_F(ComPortTest, OpenWhenOpenKeepsTheLineAndCloseWhenClosedIsHarmless) {
    // A second Open must not look at PortNumber again (COM2 leads nowhere).
    port_.PortNumber = 2;
    EXPECT_TRUE(port_.Open());
    EXPECT_TRUE(port_.IsOpen());
    const Bytes request = FetchOf(7);
    sim_.Device.SetWord(7, 0x01234567);
    ASSERT_EQ(port_.Send(request.data(), 3, true), 3);
    std::uint8_t answer[8] = {};
    ASSERT_EQ(port_.Receive(answer, 8), 8);
    EXPECT_EQ(Bytes(answer, answer + 8), AnswerOf(0x01234567));

    EXPECT_TRUE(port_.Close());
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_TRUE(port_.Close());
    EXPECT_FALSE(port_.IsOpen());
    // A closed link has no device: transfers fail at once.
    EXPECT_EQ(port_.Send(request.data(), 3, true), 0);
    EXPECT_EQ(port_.Receive(answer, 8), 0);
    EXPECT_FALSE(port_.Purge(1));
}

TEST_F(ComPortTest, OpenSetsEveryListedRateAndARawEightBitLine) {
    for (const std::int32_t rate :
         {110, 150, 300, 600, 1200, 2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200}) {
        port_.Close();
        port_.SetBaudRate(rate);
        ASSERT_TRUE(port_.Open()) << rate << ": " << port_.OpenError();
        TtyWatch watch(sim_.Path());
        EXPECT_EQ(watch.Speed(), static_cast<unsigned>(rate));
        termios line{};
        ASSERT_EQ(tcgetattr(watch.Fd(), &line), 0);
        EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t{CS8}) << rate;
        EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD}) << rate;
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u) << rate;
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u) << rate;
        EXPECT_EQ(line.c_oflag & OPOST, 0u) << rate;
    }
}

// A relative map entry leads from the map folder, wherever the program runs.
TEST(ComPortOpen, ARelativeMapEntryLeadsFromTheMapFolder) {
    OwnPortMap map;
    SimPort sim(1);
    const std::string beside = PortMapFolder() + "/sim-tty";
    ASSERT_EQ(::symlink(sim.Path().c_str(), beside.c_str()), 0);
    ASSERT_TRUE(MapPort(2, "sim-tty"));
    EXPECT_EQ(PortTarget(2), beside);
    ComPort port;
    port.PortNumber = 2;
    EXPECT_TRUE(port.Open()) << port.OpenError();
}

TEST(ComPortOpen, FailureSaysWhichDeviceAndWhy) {
    OwnPortMap map;
    // Entries that lead to no terminal are no serial port, whoever holds them.
    const std::string notATty = map.ConfigHome() + "/plain-file";
    WriteBytes(notATty, "");
    ASSERT_TRUE(MapPort(3, notATty));
    const std::string fifo = map.ConfigHome() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(MapPort(4, fifo));
    ASSERT_TRUE(MapPort(5, "/dev/null"));
    ASSERT_TRUE(MapPort(6, map.ConfigHome()));
    const struct {
        int Port;
        std::string Error;
    } cases[] = {
        {2, map.AbsentPath(2) + ": No such file or directory"},
        {3, notATty + ": not a serial port"},
        {4, fifo + ": not a serial port"},
        {5, "/dev/null: not a serial port"},
        {6, map.ConfigHome() + ": not a serial port"},
        {0, "COM0: no such port"},
        {-5, "COM-5: no such port"},
    };
    for (const auto& c : cases) {
        ComPort port;
        port.PortNumber = static_cast<std::int8_t>(c.Port);
        EXPECT_FALSE(port.Open()) << c.Port;
        EXPECT_FALSE(port.IsOpen()) << c.Port;
        EXPECT_EQ(port.OpenError(), c.Error);
    }
}

TEST_F(ComPortTest, ABlockOfWriteFramesArrivesWhole) {
    Bytes block;
    for (int address = 0; address < 128; ++address) {
        const WriteFrame frame =
            EncodeWriteFrame(0xA5000000u + static_cast<unsigned>(address), address);
        block.insert(block.end(), frame.begin(), frame.end());
    }
    ASSERT_EQ(block.size(), 1408u);
    EXPECT_EQ(port_.Send(block.data(), 1408, true), 1408);
    ASSERT_TRUE(sim_.Device.WaitForReceived(1408, 10s));
    EXPECT_EQ(sim_.Device.Received(), block);
    EXPECT_EQ(sim_.Device.Word(127), 0xA500007Fu);
}

TEST_F(ComPortTest, ReceiveGivesWhatArrivedByTheTimeLimits) {
    const struct {
        const char* Name;
        sim::SimFaults Faults;
        std::int32_t Count;
    } cases[] = {
        {"full answer", {}, 8},
        {"5 of 8, then silence", {.ShortAddress = 4, .ShortCount = 5}, 5},
        {"silence", {.Silent = true}, 0},
    };
    sim_.Device.SetWord(4, 0x89ABCDEF);
    for (const auto& c : cases) {
        sim_.Device.SetFaults(c.Faults);
        ASSERT_TRUE(port_.Purge(1));
        const Bytes request = FetchOf(4);
        ASSERT_EQ(port_.Send(request.data(), 3, true), 3);
        std::uint8_t answer[8] = {};
        const auto start = Clock::now();
        EXPECT_EQ(port_.Receive(answer, 8), c.Count) << c.Name;
        const Bytes want = AnswerOf(0x89ABCDEF);
        EXPECT_EQ(Bytes(answer, answer + c.Count), Bytes(want.begin(), want.begin() + c.Count))
            << c.Name;
        if (c.Count == 0) {
            // The first byte is waited for ByteTime + FirstByteTimeout = 355 ms.
            EXPECT_GE(MsSince(start), 355) << c.Name;
        }
    }
}

// At 110 bit/s a byte may take 1818 ms, longer than the line's 1000 ms for a first
// byte; a silence after some bytes must still end after that time, not go on.
TEST_F(ComPortTest, ASlowLineStillEndsAfterTheByteTime) {
    port_.Close();
    port_.SetBaudRate(110);
    ASSERT_TRUE(port_.Open()) << port_.OpenError();
    sim_.Device.SetFaults({.ShortAddress = 2, .ShortCount = 5});
    const Bytes request = FetchOf(2);
    ASSERT_EQ(port_.Send(request.data(), 3, true), 3);
    std::uint8_t answer[8] = {};
    const auto start = Clock::now();
    EXPECT_EQ(port_.Receive(answer, 8), 5);
    EXPECT_GE(MsSince(start), 1818);
    EXPECT_LT(MsSince(start), 20000);
}

// A first byte is waited for ByteTime + FirstByteTimeout, but never longer than the
// line's 1000 ms: an answer that starts well after that is not received.
TEST_F(ComPortTest, AFirstByteIsWaitedForAtMostOneSecond) {
    const struct {
        const char* Name;
        std::int32_t Rate;
        std::int32_t FirstByteTimeout;
        int AnswerAfterMs;
    } cases[] = {
        {"110 bit/s: 1818 + 350 ms", 110, 350, 1600},
        {"38400 bit/s, 10 s allowed", 38400, 10000, 3000},
    };
    int sent = 0;
    for (const auto& c : cases) {
        port_.Close();
        port_.SetBaudRate(c.Rate);
        port_.FirstByteTimeout = c.FirstByteTimeout;
        ASSERT_TRUE(port_.Open()) << port_.OpenError();
        sim_.Device.SetFaults({.ShortAddress = 6, .ShortCount = 0, .LateByteMs = c.AnswerAfterMs});
        const Bytes request = FetchOf(6);
        ASSERT_EQ(port_.Send(request.data(), 3, true), 3);
        std::uint8_t answer[8] = {};
        EXPECT_EQ(port_.Receive(answer, 8), 0) << c.Name;
        // The late answer must not reach the next case.
        ASSERT_TRUE(sim_.WaitForSent(sent += 8));
        ASSERT_TRUE(port_.Purge(1));
    }
}

// Received bytes that a timed-out read leaves behind must be gone afterwards. With
// the line in canonical mode the bytes wait in the input queue unseen by poll, so the
// read times out although they are there; switched back to raw, they can be read
// unless something discarded them. (A pseudo-terminal passes written bytes to the
// other side at once, so the discarded output cannot be seen in the same way.)
TEST_F(ComPortTest, ATimedOutReceiveDiscardsTheInput) {
    for (const bool timedOutReceive : {false, true}) {
        sim_.Device.SetWord(9, 0x11111111);  // bytes 0x01: no line end, no signal
        TtyWatch watch(sim_.Path());
        termios raw{};
        ASSERT_EQ(tcgetattr(watch.Fd(), &raw), 0);
        termios canonical = raw;
        canonical.c_lflag |= ICANON;
        ASSERT_EQ(tcsetattr(watch.Fd(), TCSANOW, &canonical), 0);

        const int sentBefore = timedOutReceive ? 8 : 0;
        const Bytes request = FetchOf(9);
        ASSERT_EQ(port_.Send(request.data(), 3, true), 3);
        ASSERT_TRUE(sim_.WaitForSent(sentBefore + 8));
        std::this_thread::sleep_for(50ms);
        if (timedOutReceive) {
            std::uint8_t answer[8] = {};
            EXPECT_EQ(port_.Receive(answer, 8), 0);
        }
        ASSERT_EQ(tcsetattr(watch.Fd(), TCSANOW, &raw), 0);
        std::uint8_t left[16] = {};
        const ssize_t got = ::read(watch.Fd(), left, sizeof left);
        if (timedOutReceive) {
            // A raw line with VMIN 0 reads 0 bytes, not an error, when there are none.
            EXPECT_LE(got, 0) << "bytes left behind by a timed-out read";
        } else {
            EXPECT_EQ(got, 8) << "the bytes did not wait in the input queue";
        }
    }
}

TEST_F(ComPortTest, PurgeOneDiscardsInputAndOtherValuesKeepIt) {
    const struct {
        int Which;
        std::int32_t Received;
    } cases[] = {{1, 0}, {2, 8}, {0, 8}};
    sim_.Device.SetWord(3, 0x76543210);
    TtyWatch watch(sim_.Path());
    for (const auto& c : cases) {
        const Bytes request = FetchOf(3);
        ASSERT_EQ(port_.Send(request.data(), 3, true), 3);
        ASSERT_TRUE(watch.WaitReadable());
        EXPECT_TRUE(port_.Purge(c.Which));
        std::uint8_t answer[8] = {};
        EXPECT_EQ(port_.Receive(answer, 8), c.Received) << "Purge(" << c.Which << ")";
    }
}

// With limits of minutes, a transfer that noticed the hang-up only at its limit
// would run into the test's own time-out.
TEST_F(ComPortTest, AHangUpDuringAReceiveFailsAtOnce) {
    port_.ByteTimeFactor = 100000;  // about 52 s for each byte after the first
    sim_.Device.SetFaults({.ShortAddress = 0, .ShortCount = 5});
    std::thread unplug([this] {
        if (sim_.WaitForSent(5)) std::this_thread::sleep_for(200ms);
        sim_.Device.SetFaults({.HangUpAfter = 0});
    });
    const Bytes request = FetchOf(0);
    ASSERT_EQ(port_.Send(request.data(), 3, true), 3);
    std::uint8_t answer[8] = {};
    const auto start = Clock::now();
    // A time-out would give the 5 bytes that came; the hang-up is a failure.
    EXPECT_EQ(port_.Receive(answer, 8), 0);
    EXPECT_LT(MsSince(start), 20000);
    unplug.join();
}

// A pseudo-terminal takes about 20 KB before a write has to wait, and reports its
// transmitter empty at once, so the block is made larger than that to be still going
// out when the device hangs up.
TEST_F(ComPortTest, AHangUpDuringASendFailsAtOnce) {
    port_.Close();
    port_.SetBaudRate(110);  // 1818 ms a byte: limits of days
    ASSERT_TRUE(port_.Open()) << port_.OpenError();
    TtyWatch watch(sim_.Path());
    sim_.Device.SetFaults({.HangUpAfter = 1000});
    const Bytes block(256 * 1024, 0x05);
    auto start = Clock::now();
    EXPECT_EQ(port_.Send(block.data(), static_cast<std::int32_t>(block.size()), true), 0);
    EXPECT_LT(MsSince(start), 20000);

    // And a send after the hang-up fails at once as well.
    ASSERT_TRUE(watch.WaitHangUp());
    start = Clock::now();
    EXPECT_EQ(port_.Send(block.data(), 1408, true), 0);
    EXPECT_LT(MsSince(start), 20000);
}

TEST_F(ComPortTest, APortInUseDoesNotOpenAgain) {
    const std::string busy = sim_.Path() + ": Device or resource busy";
    ComPort second;
    second.PortNumber = 1;
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.OpenError(), busy);
    port_.Close();
    EXPECT_TRUE(second.Open()) << second.OpenError();
    second.Close();

    // Other programs claim a port in one of two ways; either keeps this one out.
    for (const bool byLock : {true, false}) {
        TtyWatch other(sim_.Path());
        ASSERT_EQ(byLock ? ::flock(other.Fd(), LOCK_EX | LOCK_NB) : ::ioctl(other.Fd(), TIOCEXCL),
                  0);
        EXPECT_FALSE(port_.Open()) << (byLock ? "lock" : "exclusive mark");
        EXPECT_EQ(port_.OpenError(), busy);
        if (!byLock) ::ioctl(other.Fd(), TIOCNXCL);
    }
}

TEST_F(ComPortTest, AnotherUserCannotOpenAPortInUse) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    // Let user 65534 reach the tty and the port map.
    ASSERT_EQ(::chmod(sim_.Path().c_str(), 0666), 0);
    const std::filesystem::path home = map_.ConfigHome();
    for (auto folder = home / "ixo-loader" / "ports"; folder != home.parent_path();
         folder = folder.parent_path()) {
        ASSERT_EQ(::chmod(folder.c_str(), 0755), 0) << folder;
    }
    const std::string path = sim_.Path();
    const auto opens = [path] {
        ComPort port;
        port.PortNumber = 1;
        return port.Open();
    };
    // A program that does not ask for the lock is kept out as well.
    const auto plainOpenIsBusy = [path] {
        return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) < 0 && errno == EBUSY;
    };
    // Whose it is, /proc hides from that user; the failure says so.
    const auto saysHolderIsHidden = [path] {
        ComPort port;
        port.PortNumber = 1;
        return !port.Open() &&
               port.OpenError() ==
                   path + ": Device or resource busy (by a process that this user cannot see)";
    };
    EXPECT_TRUE(AsOtherUser(saysHolderIsHidden));
    EXPECT_TRUE(AsOtherUser(plainOpenIsBusy));
    port_.Close();
    EXPECT_TRUE(AsOtherUser(opens)) << "the port stays barred after Close";
}

}  // namespace
}  // namespace ixo::test
