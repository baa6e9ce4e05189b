#include "sim/SimDevice.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

#include "OwnPortMap.h"
#include "SimLine.h"
#include "TempDir.h"
#include "device/DeviceCommands.h"
#include "device/Protocol.h"
#include "link/Comport.h"
#include "ports/PortNames.h"

namespace ixo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using sim::SimDevice;
using sim::SimFaults;

Bytes WriteBytes(std::uint32_t word, int address) {
    const auto frame = EncodeWriteFrame(word, address);
    return Bytes(frame.begin(), frame.end());
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A distinct word for every address, so that a wrong address shows.
std::uint32_t WordAt(int address) {
    return 0x9E3779B9u * static_cast<std::uint32_t>(address + 1);
}

class SimDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int address = 0; address < DeviceWordCount; ++address) {
            device_.SetWord(address, WordAt(address));
        }
        std::string why;
        ASSERT_TRUE(device_.Start(&why)) << why;
        line_ = std::make_unique<SimLine>(device_.DevicePath());
    }

    // Sends a fetch of a word the device answers in full, and expects exactly the
    // bytes before it and its answer, and nothing after. Because the device answers
    // in order, anything sent by mistake before shows up here.
    void ExpectThenSentinel(const Bytes& expected) {
        device_.SetFaults({});
        line_->Write(FetchOf(1));
        const Bytes want = Join({expected, AnswerOf(WordAt(1))});
        EXPECT_EQ(line_->Read(want.size()), want);
        EXPECT_TRUE(line_->Read(1, 50ms).empty()) << "more bytes than expected";
    }

    SimDevice device_;
    std::unique_ptr<SimLine> line_;
};

TEST_F(SimDeviceTest, WriteFramesStoreWordsThatFetchesReadBack) {
    const std::pair<int, std::uint32_t> cases[] = {
        {0, 0x12345678}, {15, 0xFFFFFFFF}, {16, 0x00030000}, {37, 0x80000001}, {127, 0xDEADBEEF},
    };
    Bytes block;
    for (const auto& [address, word] : cases) block = Join({block, WriteBytes(word, address)});
    line_->Write(block);
    ASSERT_TRUE(device_.WaitForReceived(block.size(), 10s));
    for (const auto& [address, word] : cases) {
        EXPECT_EQ(device_.Word(address), word) << "address " << address;
        line_->Write(FetchOf(address));
        EXPECT_EQ(line_->Read(ReplyLength), AnswerOf(word)) << "address " << address;
    }
    // Untouched neighbours keep their words.
    EXPECT_EQ(device_.Word(1), WordAt(1));
    EXPECT_EQ(device_.Word(126), WordAt(126));
}

TEST_F(SimDeviceTest, CwWordIsFetchedButNeverWrittenByAFrame) {
    device_.SetWord(128, 0xCAFEF00D);
    line_->Write(WriteBytes(0x11111111, 128));
    line_->Write(FetchOf(128));
    EXPECT_EQ(line_->Read(ReplyLength), AnswerOf(0xCAFEF00D));
    EXPECT_EQ(device_.Word(128), 0xCAFEF00Du);
}

TEST_F(SimDeviceTest, OneByteCommandsAndFetchesBeyondTheCwWordAreSilent) {
    Bytes commands = {CmdProgDisable, CmdProgEnable};
    for (int n = 0; n < 16; ++n)
        commands.push_back(static_cast<std::uint8_t>(CmdSelectInternal + n));
    line_->Write(Join({commands, FetchOf(129), FetchOf(255)}));
    ExpectThenSentinel({});
}

TEST_F(SimDeviceTest, FrameCutShortByACommandByteIsDropped) {
    const Bytes write = WriteBytes(0x0BADF00D, 5);
    // A write frame cut after 4 bytes by a fetch, then the rest of the frame, whose
    // nibble bytes now belong to no frame.
    line_->Write(Join({Bytes(write.begin(), write.begin() + 4), FetchOf(5),
                       Bytes(write.begin() + 4, write.end())}));
    EXPECT_EQ(line_->Read(ReplyLength), AnswerOf(WordAt(5)));
    // A fetch cut short by a write frame: the frame counts, the fetch does not.
    line_->Write(Join({Bytes{CmdFetchWord, 0x00}, WriteBytes(0x0000CAFE, 6)}));
    ExpectThenSentinel({});
    EXPECT_EQ(device_.Word(5), WordAt(5));
    EXPECT_EQ(device_.Word(6), 0x0000CAFEu);
}

TEST_F(SimDeviceTest, FaultsShapeTheAnswers) {
    auto answer = [](int address) { return AnswerOf(WordAt(address)); };
    auto part = [&](int address, int from, int to) {
        const Bytes all = answer(address);
        return Bytes(all.begin() + from, all.begin() + to);
    };
    Bytes high = answer(7);
    for (auto& byte : high) byte |= 0x30;
    struct Case {
        const char* Name;
        SimFaults Faults;
        std::vector<int> Addresses;
        Bytes Expected;
    };
    const Case cases[] = {
        {"silent", {.Silent = true}, {0, 5, 128}, {}},
        {"answer below 3", {.AnswerBelow = 3}, {2, 3, 128, 0}, Join({answer(2), answer(0)})},
        {"answer below 0", {.AnswerBelow = 0}, {0, 1}, {}},
        {"short 5 of 8",
         {.ShortAddress = 5, .ShortCount = 5},
         {5, 6},
         Join({part(5, 0, 5), answer(6)})},
        {"short 0 of 8", {.ShortAddress = 5, .ShortCount = 0}, {5, 6}, answer(6)},
        {"short CW", {.ShortAddress = 128, .ShortCount = 7}, {128}, part(128, 0, 7)},
        {"late rest at once",
         {.ShortAddress = 5, .ShortCount = 3, .LateByteMs = 0},
         {5, 6},
         Join({answer(5), answer(6)})},
        {"high nibbles", {.HighNibbles = true}, {7}, high},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        device_.SetFaults(c.Faults);
        Bytes requests;
        for (int address : c.Addresses) requests = Join({requests, FetchOf(address)});
        device_.ClearReceived();
        line_->Write(requests);
        // Every request byte is taken under the fault before the sentinel lifts it.
        ASSERT_TRUE(device_.WaitForReceived(requests.size(), 10s));
        ExpectThenSentinel(c.Expected);
    }
}

TEST_F(SimDeviceTest, LateBytesFollowAfterTheirDelayAndBeforeLaterAnswers) {
    constexpr int lateMs = 200;
    device_.SetFaults({.ShortAddress = 9, .ShortCount = 5, .LateByteMs = lateMs});
    const Bytes answer = AnswerOf(WordAt(9));
    const auto sent = Clock::now();
    line_->Write(FetchOf(9));
    EXPECT_EQ(line_->Read(5), Bytes(answer.begin(), answer.begin() + 5));
    // The next answer waits behind the late bytes, as on a real line.
    line_->Write(FetchOf(10));
    EXPECT_EQ(line_->Read(3), Bytes(answer.begin() + 5, answer.end()));
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(lateMs));
    EXPECT_EQ(line_->Read(ReplyLength), AnswerOf(WordAt(10)));
}

TEST_F(SimDeviceTest, PacingSpendsLineTimeOnEveryByteAndKeepsThemIntact) {
    constexpr int baud = 600;
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / baud);
    device_.SetFaults({.PaceBaud = baud});
    // Two frames taken at line speed are stored whole.
    line_->Write(Join({WriteBytes(0x01020304, 20), WriteBytes(0xA0B0C0D0, 21)}));
    ASSERT_TRUE(device_.WaitForReceived(2 * WriteFrameLength, 10s));
    EXPECT_EQ(device_.Word(20), 0x01020304u);
    EXPECT_EQ(device_.Word(21), 0xA0B0C0D0u);
    // 3 request bytes in and 8 answer bytes out, one byte time each at least.
    const auto sent = Clock::now();
    line_->Write(FetchOf(21));
    EXPECT_EQ(line_->Read(ReplyLength), AnswerOf(0xA0B0C0D0));
    EXPECT_GE(Clock::now() - sent, 11 * byteTime);
}

TEST(SimDevicePacing, AnswerIsNeverSplitByAPauseOfTheServer) {
    SimDevice device;
    device.SetWord(5, 0x12345678);
    // Every write of answer bytes is followed by a pause of the serving thread, four
    // times the gap the link allows between two bytes.
    device.SetTrace([](sim::TraceDirection direction, std::uint8_t) {
        if (direction == sim::TraceDirection::Sent) std::this_thread::sleep_for(20ms);
    });
    device.SetFaults({.PaceBaud = 38400});
    ASSERT_TRUE(device.Start());
    ComPort link;
    link.Device = device.DevicePath();
    link.SetBaudRate(38400);
    ASSERT_TRUE(link.Open()) << link.OpenError();
    TransferBytes buffer{};
    for (int round = 0; round < 3; ++round) {
        std::uint32_t word = 0;
        const MaybeFailure failure = ReadDeviceWord(link, 5, buffer, word);
        EXPECT_FALSE(failure.has_value()) << FailureText(*failure);
        EXPECT_EQ(word, 0x12345678u);
        // The pauses after the answer are over before the next request.
        std::this_thread::sleep_for(300ms);
    }
}

TEST_F(SimDeviceTest, ReceivedRecordsEveryByteInOrder) {
    const Bytes bytes = Join({Bytes{CmdProgEnable, 0x7F, 0x00}, WriteBytes(1, 2), FetchOf(3)});
    line_->Write(bytes);
    ASSERT_TRUE(device_.WaitForReceived(bytes.size(), 10s));
    EXPECT_EQ(device_.Received(), bytes);
    EXPECT_FALSE(device_.WaitForReceived(bytes.size() + 1, 20ms));
    device_.ClearReceived();
    EXPECT_TRUE(device_.Received().empty());
    line_->Write({CmdProgDisable});
    ASSERT_TRUE(device_.WaitForReceived(1, 10s));
    EXPECT_EQ(device_.Received(), Bytes{CmdProgDisable});
}

TEST_F(SimDeviceTest, HangUpCountsBytesFromWhenItIsSet) {
    line_->Write({CmdProgEnable, CmdProgEnable});
    ASSERT_TRUE(device_.WaitForReceived(2, 10s));
    device_.ClearReceived();
    device_.SetFaults({.HangUpAfter = 5});
    // The request within the count is still answered.
    line_->Write(FetchOf(4));
    EXPECT_EQ(line_->Read(ReplyLength), AnswerOf(WordAt(4)));
    line_->Write(WriteBytes(0, 4));
    EXPECT_TRUE(line_->WaitForHangUp());
    EXPECT_EQ(device_.Received().size(), 5u);
    EXPECT_EQ(device_.Word(4), WordAt(4));
    // A device that has hung up does not serve again.
    device_.Stop();
    std::string why;
    EXPECT_FALSE(device_.Start(&why));
    EXPECT_FALSE(why.empty());
}

TEST_F(SimDeviceTest, HangUpAfterNothingIsImmediate) {
    device_.SetFaults({.HangUpAfter = 0});
    EXPECT_TRUE(line_->WaitForHangUp());
    EXPECT_TRUE(device_.Received().empty());
}

TEST(SimDeviceHangUp, InTheMiddleOfABlock) {
    for (int baud : {0, 38400}) {
        SCOPED_TRACE(baud);
        SimDevice device;
        ASSERT_TRUE(device.Start());
        SimLine line(device.DevicePath());
        device.SetFaults({.HangUpAfter = 100, .PaceBaud = baud});
        Bytes block;
        for (int address = 0; address < 128; ++address) {
            block = Join({block, WriteBytes(0x11111111, address)});
        }
        line.Write(block);
        EXPECT_TRUE(line.WaitForHangUp());
        const Bytes received = device.Received();
        EXPECT_EQ(received, Bytes(block.begin(), block.begin() + 100));
        // 9 whole frames before the cut (99 bytes), the tenth is lost with the line.
        EXPECT_EQ(device.Word(8), 0x11111111u);
        EXPECT_EQ(device.Word(9), 0u);
    }
}

TEST_F(SimDeviceTest, PathReopensAsOftenAsTheComputerLikes) {
    line_.reset();
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        SimLine line(device_.DevicePath());
        // The open of the computer's side: exclusive against others.
        ASSERT_EQ(flock(line.Fd(), LOCK_EX | LOCK_NB), 0);
        ASSERT_EQ(ioctl(line.Fd(), TIOCEXCL), 0);
        line.Write(FetchOf(round));
        EXPECT_EQ(line.Read(ReplyLength), AnswerOf(WordAt(round)));
        ASSERT_EQ(ioctl(line.Fd(), TIOCNXCL), 0);
    }
}

// A program killed while it holds the port cannot clear its exclusive mark; the
// device does, so that the next program opens the port.
TEST_F(SimDeviceTest, PathReopensAfterTheProgramThatHeldItWasKilled) {
    line_.reset();
    const std::string path = device_.DevicePath();
    int ready[2] = {-1, -1};
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Takes the port as the link does, then waits to be killed.
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) _exit(1);
        if (write(ready[1], "x", 1) != 1) _exit(2);
        for (;;) pause();
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    ComPort held;
    held.Device = path;
    EXPECT_FALSE(held.Open());  // the child has it
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    ComPort port;
    port.Device = path;
    const auto deadline = Clock::now() + 10s;
    while (!port.Open() && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(port.IsOpen()) << port.OpenError();
    TransferBytes buffer{};
    std::uint32_t word = 0;
    ASSERT_FALSE(ReadDeviceWord(port, 7, buffer, word).has_value());
    EXPECT_EQ(word, WordAt(7));
}

TEST_F(SimDeviceTest, AnotherUserCanOpenThePathOnceItIsReleased) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const std::string path = device_.DevicePath();
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    {
        SimLine exclusive(path);
        ASSERT_EQ(ioctl(exclusive.Fd(), TIOCEXCL), 0);
        ASSERT_EQ(ioctl(exclusive.Fd(), TIOCNXCL), 0);
    }
    line_.reset();
    // The child fetches a word as uid 65534; its exit status says how far it got.
    const Bytes request = FetchOf(3);
    const Bytes expected = AnswerOf(WordAt(3));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0) _exit(11);
        if (write(fd, request.data(), request.size()) != 3) _exit(12);
        std::uint8_t got[ReplyLength];
        std::size_t count = 0;
        while (count < sizeof got) {
            const ssize_t n = read(fd, got + count, sizeof got - count);
            if (n <= 0) _exit(13);
            count += static_cast<std::size_t>(n);
        }
        _exit(std::equal(got, got + ReplyLength, expected.begin()) ? 0 : 14);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(SimDeviceTest, StopAndStartKeepTheMemory) {
    device_.Stop();
    device_.SetWord(50, 0x5050A0A0);
    ASSERT_TRUE(device_.Start());
    line_->Write(FetchOf(50));
    EXPECT_EQ(line_->Read(ReplyLength), AnswerOf(0x5050A0A0));
}

TEST(SimDeviceMemory, StartsAllZeroAndIgnoresAddressesOutsideIt) {
    SimDevice device;
    for (int address = 0; address < DeviceWordCount; ++address) {
        EXPECT_EQ(device.Word(address), 0u) << address;
    }
    device.SetWord(129, 1);
    device.SetWord(-1, 1);
    EXPECT_EQ(device.Word(129), 0u);
    EXPECT_EQ(device.Word(-1), 0u);
}

class SimDevicePortMap : public ::testing::Test {
protected:
    OwnPortMap ports_;
};

TEST_F(SimDevicePortMap, EntryLivesAsLongAsTheDevice) {
    const std::string entry = ports_.Entry(9);  // a port with no earlier entry
    {
        SimDevice device;
        std::string why;
        ASSERT_TRUE(device.MapAsPort(9, &why)) << why;
        EXPECT_EQ(std::filesystem::read_symlink(entry), device.DevicePath());
        EXPECT_EQ(PortDevicePath(9), entry);
        EXPECT_FALSE(device.MapAsPort(0, &why));
        EXPECT_FALSE(why.empty());
    }
    EXPECT_FALSE(std::filesystem::is_symlink(entry));
}

TEST_F(SimDevicePortMap, EarlierEntriesComeBack) {
    const std::string entry = ports_.Entry(1);
    ASSERT_TRUE(MapPort(1, "/dev/ttyUSB0"));
    {
        SimDevice first;
        ASSERT_TRUE(first.MapAsPort(1));
        ASSERT_TRUE(first.MapAsPort(1));
        {
            SimDevice second;
            ASSERT_TRUE(second.MapAsPort(1));
            EXPECT_EQ(std::filesystem::read_symlink(entry), second.DevicePath());
        }
        EXPECT_EQ(std::filesystem::read_symlink(entry), first.DevicePath());
    }
    EXPECT_EQ(std::filesystem::read_symlink(entry), "/dev/ttyUSB0");
}

// Two simulators on one port, gone in either order, leave the entry exactly as it
// was before the first came: never a device that no simulator serves.
TEST_F(SimDevicePortMap, TwoOnOnePortGiveBackExactlyWhatWasThere) {
    // COM9 has no entry; COM4 and COM5 lead to an adapter.
    const std::pair<int, const char*> ports[] = {{9, ""}, {4, "/dev/ttyUSB0"}, {5, "../adapter"}};
    for (const auto& [n, before] : ports) {
        for (const bool startOrder : {true, false}) {
            SCOPED_TRACE(std::to_string(n) + (startOrder ? " start order" : " reverse"));
            if (*before != '\0') {
                ASSERT_TRUE(MapPort(n, before));
            }
            const std::string entry = ports_.Entry(n);
            auto first = std::make_unique<SimDevice>();
            auto second = std::make_unique<SimDevice>();
            ASSERT_TRUE(first->MapAsPort(n));
            ASSERT_TRUE(second->MapAsPort(n));
            (startOrder ? first : second).reset();
            EXPECT_EQ(std::filesystem::read_symlink(entry),
                      (startOrder ? second : first)->DevicePath());
            (startOrder ? second : first).reset();
            if (*before == '\0') {
                EXPECT_FALSE(std::filesystem::is_symlink(entry));
            } else {
                EXPECT_EQ(std::filesystem::read_symlink(entry), before);
            }
        }
    }
}

TEST_F(SimDevicePortMap, EntryThatIsNoLinkStays) {
    const std::string entry = ports_.Entry(9);
    test::WriteBytes(entry, "the user's");
    {
        SimDevice device;
        std::string why;
        EXPECT_FALSE(device.MapAsPort(9, &why));
        EXPECT_NE(why.find(entry), std::string::npos) << why;
    }
    EXPECT_EQ(ReadBytes(entry), "the user's");
}

TEST_F(SimDevicePortMap, EntryPointedElsewhereIsLeftAlone) {
    const std::string entry = ports_.Entry(2);
    {
        SimDevice device;
        ASSERT_TRUE(device.MapAsPort(2));
        ASSERT_TRUE(MapPort(2, "/dev/ttyUSB7"));
    }
    EXPECT_EQ(std::filesystem::read_symlink(entry), "/dev/ttyUSB7");
}

}  // namespace
}  // namespace ixo::test
