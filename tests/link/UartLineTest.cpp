// The link and the device commands on a USB adapter whose driver behaves as a UART's:
// its transmitter drains at the line's rate and can stick, its modem lines and the
// exclusive mark are held, and the testbed records what the program asked of it.

#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "AdapterTestbed.h"
#include "SimPort.h"
#include "device/DeviceCommands.h"
#include "device/Protocol.h"
#include "link/Comport.h"

namespace ixo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class UartLine : public AdapterTest {
protected:
    void SetUp() override {
        AdapterTest::SetUp();
        if (HasFatalFailure()) return;
        Bed.Plug(FtdiAdapter());
        Bed.UartMode("ttyUSB0");
        device_ = std::make_unique<sim::SimDevice>(Bed.Master("ttyUSB0"));
        std::string why;
        ASSERT_TRUE(device_->Start(&why)) << why;
        link_.Device = "/dev/ttyUSB0";
        link_.SetBaudRate(38400);
        ASSERT_TRUE(link_.Open()) << link_.OpenError();
    }

    std::unique_ptr<sim::SimDevice> device_;
    ComPort link_;
    TransferBytes buffer_{};
};

TEST_F(UartLine, ASendEndsWhenItsLastByteHasLeftTheLine) {
    Bytes block;
    for (int address = 0; address < 128; ++address) {
        const WriteFrame frame = EncodeWriteFrame(0xC0DE0000u + address, address);
        block.insert(block.end(), frame.begin(), frame.end());
    }
    const struct {
        const char* Name;
        Bytes Sent;
        std::chrono::microseconds LineTime;  // 10 bits a byte at 38400 bit/s
    } cases[] = {
        {"program", block, 366667us},
        {"mode byte", {CmdProgEnable}, 260us},
    };
    Bytes received;
    for (const auto& c : cases) {
        const auto length = static_cast<std::int32_t>(c.Sent.size());
        const auto start = Clock::now();
        EXPECT_EQ(link_.Send(c.Sent.data(), length, true), length) << c.Name;
        EXPECT_GE(Clock::now() - start, c.LineTime) << c.Name;
        received.insert(received.end(), c.Sent.begin(), c.Sent.end());
        EXPECT_TRUE(device_->WaitForReceived(received.size(), 10s)) << c.Name;
    }
    EXPECT_EQ(device_->Received(), received);
    EXPECT_EQ(device_->Word(127), 0xC0DE007Fu);
}

// A transmitter that does not drain fails the send at its limit; what it had not sent
// is dropped, so the next command reaches the device alone.
TEST_F(UartLine, AStuckTransmitterFailsTheSendAndLeavesNothingBehind) {
    device_->SetWord(5, 0x55555555);
    device_->SetWord(9, 0x99999999);
    Bed.Stick("ttyUSB0", true);
    std::uint32_t word = 0;
    const auto start = Clock::now();
    const MaybeFailure failure = ReadDeviceWord(link_, 5, buffer_, word);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(FailureText(*failure), "Can't Write to COM port");
    EXPECT_GE(Clock::now() - start, 15ms);  // 3 bytes of 5 ms each

    Bed.Stick("ttyUSB0", false);
    ASSERT_FALSE(ReadDeviceWord(link_, 9, buffer_, word).has_value());
    EXPECT_EQ(word, 0x99999999u);
    EXPECT_EQ(device_->Received(), FetchOf(9));
}

// A healthy device behind an adapter that passes its answers on late (16 ms: an
// adapter whose latency timer was left as it came) reads and verifies: the wait for
// answers still owed after a read takes late answers for no fault.
TEST_F(UartLine, AnswersLateByTheAdaptersLatencyStillKeepStep) {
    ProgramImage written;
    for (int address = 0; address < DeviceWordCount; ++address) {
        written.Words[address] = 0x0DEF0000u + static_cast<std::uint32_t>(address) * 0x10101u;
    }
    written.WordCount = MaxProgramWords;
    for (const auto latency : {2ms, 16ms}) {
        SCOPED_TRACE(latency.count());
        device_.reset();  // the device now serves behind the adapter's delay
        device_ = std::make_unique<sim::SimDevice>(Bed.Delay("ttyUSB0", latency));
        std::string why;
        ASSERT_TRUE(device_->Start(&why)) << why;
        device_->SetFaults({.PaceBaud = 38400});
        for (int address = 0; address < DeviceWordCount; ++address) {
            device_->SetWord(address, written.Words[address]);
        }
        ProgramImage image;
        const MaybeFailure read = ReadProgram(link_, image, buffer_);
        ASSERT_FALSE(read.has_value()) << FailureText(*read);
        EXPECT_EQ(image.Words, written.Words);
        const MaybeFailure verify = VerifyProgram(link_, written, buffer_);
        EXPECT_FALSE(verify.has_value()) << FailureText(*verify);
    }
}

// What the program asks of the driver: its line, low latency, the exclusive mark while
// it holds the port, and DTR and RTS off from the open on, whatever it sends.
TEST_F(UartLine, TheOpenAsksForTheLineAndHoldsTheModemLinesOff) {
    ASSERT_FALSE(SendCommandByte(link_, CmdProgDisable).has_value());
    std::uint32_t word = 0;
    ASSERT_FALSE(ReadDeviceWord(link_, 1, buffer_, word).has_value());
    UartRecord record = Bed.Record("ttyUSB0");
    EXPECT_EQ(record.Rate, 38400u);
    EXPECT_GE(record.LineSettings, 1);
    EXPECT_TRUE(record.LowLatency);
    EXPECT_TRUE(record.Exclusive);

    link_.Close();
    record = Bed.Record("ttyUSB0");
    EXPECT_FALSE(record.Exclusive);
    // Raised by the driver as the port opened, then lowered, and never raised again.
    EXPECT_EQ(record.ModemLines, (std::vector<int>{TIOCM_DTR | TIOCM_RTS, 0}));
}

}  // namespace
}  // namespace ixo::test
