// The link on Windows, against simulated devices that the Linux side has started and
// entered as COM ports (tests/windows/link-under-wine.sh). IXO_TEST_PORTS says which
// port plays which part, for example "answering=3 silent=4 absent=7".

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "WineParts.h"
#include "device/Protocol.h"
#include "link/Comport.h"
#include "ports/PortDiscovery.h"

namespace ixo::test {
namespace {

using Clock = std::chrono::steady_clock;

// The CW word every answering simulated device holds.
constexpr std::uint32_t DeviceCw = 0x5A6B7C8D;

#define SKIP_UNDER_WINE(why) \
    if (RunningUnderWine()) GTEST_SKIP() << "needs a real Windows machine: " why

std::int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Opens the port of part at rate bit/s.
void OpenPart(ComPort& link, const std::string& part, std::int32_t rate = 38400) {
    link.PortNumber = static_cast<std::int8_t>(PortOf(part));
    link.SetBaudRate(rate);
    ASSERT_TRUE(link.Open()) << part << ": " << link.OpenError();
}

// Wine ends the wait for the transmitter to empty from a helper thread it starts for
// it, which on a loaded machine can take longer than a 3-byte send's 15 ms (Windows
// ends it as the last byte leaves). Sends that are not under test get this factor.
constexpr std::int32_t RoomyByteTimeFactor = 200;

// Sends bytes with the time limits widened for Wine; the limits of receives stay.
std::int32_t SendRoomily(ComPort& link, const std::uint8_t* bytes, std::int32_t length) {
    const std::int32_t factor = link.ByteTimeFactor;
    link.ByteTimeFactor = RoomyByteTimeFactor;
    const std::int32_t sent = link.Send(bytes, length, true);
    link.ByteTimeFactor = factor;
    return sent;
}

// One fetch of the CW word as the device commands make it: purge, request, answer.
std::int32_t FetchCw(ComPort& link, std::uint8_t* answer) {
    const FetchRequest request = EncodeFetchRequest(128);
    link.Purge(1);
    if (SendRoomily(link, request.data(), FetchRequestLength) != FetchRequestLength) return -1;
    return link.Receive(answer, ReplyLength);
}

TEST(ComPortWin32, FetchesAWordOnLowAndHighPortNumbers) {
    // COM10 and above open only in the device namespace form.
    for (const char* part : {"answering", "high"}) {
        ComPort link;
        OpenPart(link, part);
        std::uint8_t answer[ReplyLength] = {};
        ASSERT_EQ(FetchCw(link, answer), ReplyLength) << part;
        EXPECT_EQ(DecodeReplyWord(answer), DeviceCw) << part;
    }
}

TEST(ComPortWin32, SendsAWholeProgramBlock) {
    ComPort link;
    OpenPart(link, "answering");
    std::vector<std::uint8_t> block;
    for (int address = 0; address < 128; ++address) {
        const WriteFrame frame = EncodeWriteFrame(0x00030000, address);
        block.insert(block.end(), frame.begin(), frame.end());
    }
    EXPECT_EQ(SendRoomily(link, block.data(), ProgramBlockLength), ProgramBlockLength);
    // The device took the whole block: it still answers in step afterwards.
    std::uint8_t answer[ReplyLength] = {};
    ASSERT_EQ(FetchCw(link, answer), ReplyLength);
    EXPECT_EQ(DecodeReplyWord(answer), DeviceCw);
}

TEST(ComPortWin32, SilentAndShortAnswersEndByTheirTimeLimits) {
    const struct {
        const char* Part;
        std::int32_t Count;    // what Receive returns
        std::int64_t AtLeast;  // ms: the first byte's limit, when nothing comes
    } cases[] = {
        {"silent", 0, 355 - 5},
        {"short", 5, 0},
    };
    for (const auto& c : cases) {
        ComPort link;
        OpenPart(link, c.Part);
        std::uint8_t answer[ReplyLength] = {};
        const auto start = Clock::now();
        EXPECT_EQ(FetchCw(link, answer), c.Count) << c.Part;
        const std::int64_t took = MsSince(start);
        EXPECT_GE(took, c.AtLeast) << c.Part;
        EXPECT_LT(took, 5000) << c.Part;
        // The abort left nothing behind: the next exchange starts clean.
        EXPECT_EQ(link.Receive(answer, 1), 0) << c.Part;
    }
}

TEST(ComPortWin32, AHungUpDeviceFailsTheTransferAtOnce) {
    ComPort link;
    OpenPart(link, "hangup");
    std::uint8_t answer[ReplyLength] = {};
    const auto start = Clock::now();
    EXPECT_EQ(FetchCw(link, answer), 0);
    // Well before the 355 ms that silence would take.
    EXPECT_LT(MsSince(start), 300);
}

TEST(ComPortWin32, AnAbsentPortDoesNotOpen) {
    ComPort link;
    link.PortNumber = static_cast<std::int8_t>(PortOf("absent"));
    EXPECT_FALSE(link.Open());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.OpenError().rfind("\\\\.\\COM" + std::to_string(PortOf("absent")) + ": ", 0), 0u)
        << link.OpenError();
}

TEST(ComPortWin32, APortInUseDoesNotOpenAgain) {
    ComPort first;
    OpenPart(first, "answering");
    ComPort second;
    second.PortNumber = first.PortNumber;
    const bool opened = second.Open();
    SKIP_UNDER_WINE("Wine does not enforce share mode 0 on a pseudo-terminal");
    EXPECT_FALSE(opened);
}

TEST(ComPortWin32, Opens28800BitPerSecond) {
    ComPort link;
    link.PortNumber = static_cast<std::int8_t>(PortOf("answering"));
    link.SetBaudRate(28800);
    const bool opened = link.Open();
    if (!opened && RunningUnderWine()) {
        // The line is refused rather than run at another rate.
        EXPECT_NE(link.OpenError().find("reads back 38400"), std::string::npos) << link.OpenError();
    }
    SKIP_UNDER_WINE("Wine sets 28800 bit/s as 38400");
    EXPECT_TRUE(opened) << link.OpenError();
}

TEST(ComPortWin32, SendWaitsForTheTransmitterToEmpty) {
    ComPort link;
    OpenPart(link, "answering", 9600);
    const std::vector<std::uint8_t> nops(96, CmdProgDisable);
    const auto start = Clock::now();
    ASSERT_EQ(link.Send(nops.data(), 96, true), 96);
    const std::int64_t took = MsSince(start);
    SKIP_UNDER_WINE(
        "Wine ends the EV_TXEMPTY wait at once, and a pseudo-terminal has no "
        "line time");
    // 96 bytes of 10 bits at 9600 bit/s take 100 ms on the line.
    EXPECT_GE(took, 95);
}

TEST(PortDiscoveryWin32, ListsComPortsInOrderByTheirSystemNames) {
    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts();
    int previous = 0;
    for (const SerialPortInfo& port : ports) {
        EXPECT_GT(port.SystemComNumber, previous) << port.Device;
        EXPECT_EQ(port.Device, "\\\\.\\COM" + std::to_string(port.SystemComNumber));
        EXPECT_TRUE(port.StableName.empty()) << port.Device;
        previous = port.SystemComNumber;
    }
    if (ports.empty()) {
        SKIP_UNDER_WINE("Wine's device list has no devices in the Ports class");
    }
}

}  // namespace
}  // namespace ixo::test
