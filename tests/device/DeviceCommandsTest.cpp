#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "OwnPortMap.h"
#include "SimPort.h"
#include "device/DeviceCommands.h"
#include "isa/WordFields.h"
#include "link/Comport.h"

namespace ixo {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

// A simulated device on COM1 of a port map of the test's own, and a working link
// to it at 38400 bit/s, as the window and ixo open it.
class DeviceCommands : public testing::Test {
protected:
    void SetUp() override {
        link_.PortNumber = 1;
        link_.SetBaudRate(38400);
        ASSERT_TRUE(link_.Open()) << link_.OpenError();
    }

    void LoadDevice(std::uint32_t (*wordAt)(int)) {
        for (int address = 0; address < DeviceWordCount; ++address) {
            device_.SetWord(address, wordAt(address));
        }
    }

    static ProgramImage ImageOf(int count, std::uint32_t (*wordAt)(int)) {
        ProgramImage image;
        for (int i = 0; i < count; ++i) image.Words[i] = wordAt(i);
        image.WordCount = count;
        return image;
    }

    test::OwnPortMap ports_;
    test::SimPort com1_{1};
    sim::SimDevice& device_ = com1_.Device;
    ComPort link_;
    TransferBytes buffer_{};
};

std::uint32_t Pattern(int address) {
    return 0x9E3779B9u * static_cast<std::uint32_t>(address + 1);
}

TEST_F(DeviceCommands, WriteSendsTheWholeProgramWithFiller) {
    ProgramImage image = ImageOf(5, Pattern);
    ASSERT_FALSE(WriteProgram(link_, image, buffer_).has_value());
    ASSERT_TRUE(device_.WaitForReceived(ProgramBlockLength, 10s));

    const Bytes received = device_.Received();
    ASSERT_EQ(received.size(), 1408u);
    // Frame 5 is the first filler: 80, NOP as nibbles, address 0 5.
    EXPECT_EQ(Bytes(received.begin() + 55, received.begin() + 66),
              (Bytes{0x80, 0, 0, 0, 3, 0, 0, 0, 0, 0, 5}));
    // The last frame addresses 127.
    EXPECT_EQ(received[1397], 0x80);
    EXPECT_EQ(received[1406], 7);
    EXPECT_EQ(received[1407], 0xF);
    for (int address = 0; address < MaxProgramWords; ++address) {
        EXPECT_EQ(device_.Word(address), address < 5 ? Pattern(address) : NopWord) << address;
    }
    // The image now holds the filler too, but still counts five words.
    EXPECT_EQ(image.WordCount, 5);
    EXPECT_EQ(image.Words[5], NopWord);
    EXPECT_EQ(image.Words[127], NopWord);
    EXPECT_EQ(image.Words[128], 0u);
}

TEST_F(DeviceCommands, WriteOfAFullProgramChangesNoWord) {
    ProgramImage image = ImageOf(MaxProgramWords, Pattern);
    const ProgramImage before = image;
    ASSERT_FALSE(WriteProgram(link_, image, buffer_).has_value());
    EXPECT_EQ(image.Words, before.Words);
    ASSERT_TRUE(device_.WaitForReceived(ProgramBlockLength, 10s));
    EXPECT_EQ(device_.Word(127), Pattern(127));
}

TEST_F(DeviceCommands, WriteEndsOnceTheDeviceCanAnswer) {
    // A device that takes bytes at the line's pace, behind a pty that reports them
    // sent at once: the word read right after the write must not queue behind it.
    // At 9600 bit/s the block takes 1467 ms, longer than any wait for an answer (1 s
    // at most), so an answer asked for too early never comes in time, however loaded
    // the machine; generous limits between bytes keep a slow device in time.
    link_.Close();
    link_.SetBaudRate(9600);
    link_.ByteTimeFactor = 100;
    link_.FirstByteTimeout = 1000;
    ASSERT_TRUE(link_.Open()) << link_.OpenError();
    device_.SetFaults({.PaceBaud = 9600});
    ProgramImage image = ImageOf(3, Pattern);
    ASSERT_FALSE(WriteProgram(link_, image, buffer_).has_value());
    std::uint32_t word = 0;
    ASSERT_FALSE(ReadDeviceWord(link_, 2, buffer_, word).has_value());
    EXPECT_EQ(word, Pattern(2));
}

TEST_F(DeviceCommands, WriteToADeviceThatHangsUpIsASendFailureThatSaysSo) {
    // Gone before the write (after one mode byte), and in the middle of the block, which
    // a pseudo-terminal has taken whole: the link is still open on our side.
    struct Case {
        long HangUpAfter;
        int PaceBaud;
    };
    for (const Case c : {Case{1, 0}, Case{100, 38400}}) {
        SCOPED_TRACE(c.HangUpAfter);
        test::SimPort com2(2, {.HangUpAfter = c.HangUpAfter, .PaceBaud = c.PaceBaud});
        ComPort link;
        link.PortNumber = 2;
        link.SetBaudRate(38400);
        ASSERT_TRUE(link.Open()) << link.OpenError();
        if (c.HangUpAfter == 1) {
            // Whether this byte's own send already sees the hang-up is a race.
            (void)SendCommandByte(link, CmdProgEnable);
            ASSERT_TRUE(com2.Device.WaitForReceived(1, 10s));
            std::this_thread::sleep_for(200ms);
        }
        ProgramImage image = ImageOf(MaxProgramWords, Pattern);
        const MaybeFailure failure = WriteProgram(link, image, buffer_);
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(FailureText(*failure), "Can't Write to COM port");
        EXPECT_EQ(FailureDetail(*failure), "the device went away (the line hung up)");
    }
}

TEST_F(DeviceCommands, WriteRefusesAnEmptyImageAndAClosedLink) {
    ProgramImage empty;
    MaybeFailure failure = WriteProgram(link_, empty, buffer_);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(FailureText(*failure), "Empty Project");

    link_.Close();
    ProgramImage image = ImageOf(3, Pattern);
    failure = WriteProgram(link_, image, buffer_);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(FailureText(*failure), "COM port not opened");
    EXPECT_EQ(image.Words[3], 0u);  // nothing filled
    EXPECT_TRUE(device_.Received().empty());
}

TEST_F(DeviceCommands, ReadTakesAll129WordsIgnoringHighNibbles) {
    LoadDevice(Pattern);
    sim::SimFaults faults;
    faults.HighNibbles = true;
    device_.SetFaults(faults);

    ProgramImage image;
    ASSERT_FALSE(ReadProgram(link_, image, buffer_).has_value());
    EXPECT_EQ(image.WordCount, 128);
    for (int address = 0; address < DeviceWordCount; ++address) {
        EXPECT_EQ(image.Words[address], Pattern(address)) << address;
    }
    // One 3-byte request per address, in ascending order, then address 0 once more to
    // see that the answers kept step, and nothing else.
    const Bytes received = device_.Received();
    ASSERT_EQ(received.size(), std::size_t{ReadBackRequests} * 3);
    EXPECT_EQ(Bytes(received.begin(), received.begin() + 3), (Bytes{0x88, 0, 0}));
    EXPECT_EQ(Bytes(received.begin() + 45, received.begin() + 51),
              (Bytes{0x88, 0, 0xF, 0x88, 1, 0}));
    EXPECT_EQ(Bytes(received.end() - 6, received.end()), (Bytes{0x88, 8, 0, 0x88, 0, 0}));
}

TEST_F(DeviceCommands, FailedReadLeavesTheImageAsItWas) {
    LoadDevice(Pattern);
    ProgramImage image = ImageOf(10, [](int) { return 0x12345678u; });
    image.Words[128] = 0xCAFE;
    const ProgramImage before = image;

    struct Case {
        sim::SimFaults Faults;
        int Address;
    };
    sim::SimFaults silent;
    silent.Silent = true;
    sim::SimFaults noCw;
    noCw.AnswerBelow = 128;
    for (const Case& c : {Case{silent, 0}, Case{noCw, 128}}) {
        device_.SetFaults(c.Faults);
        const MaybeFailure failure = ReadProgram(link_, image, buffer_);
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(FailureText(*failure),
                  "No response from device at address " + std::to_string(c.Address));
        EXPECT_EQ(image.WordCount, before.WordCount);
        EXPECT_EQ(image.Words, before.Words);
    }
}

// A device whose answers do not keep step with the requests never gives a read or a
// verify that succeeds: the words taken may belong to other addresses.
TEST_F(DeviceCommands, AnswersOutOfStepFailTheReadAndTheVerify) {
    ProgramImage written = ImageOf(MaxProgramWords, Pattern);
    struct Case {
        const char* What;
        sim::SimFaults Faults;
        int FirstAddress = 0;  // after which the failure may be found
        std::uint32_t (*WordAt)(int) = Pattern;
    };
    const Case cases[] = {
        // Every answer twice: a copy that comes after the next request is taken for its
        // answer, and the real answer then follows it.
        {"every answer twice", {.RepeatAfterUs = 500}},
        {"every answer twice, 3 ms apart", {.RepeatAfterUs = 3000}},
        {"one answer twice at once", {.RepeatAfterUs = 0, .RepeatAddress = 40}, 40},
        {"the last answer twice", {.RepeatAfterUs = 1000, .RepeatAddress = 128}, 128},
        // Bytes slower than the line, within the 5 ms a byte may take: each copy comes
        // after the purge, and the device falls ever further behind.
        {"paced at 2400 bit/s, every answer twice", {.PaceBaud = 2400, .RepeatAfterUs = 100}},
        {"paced at 4800 bit/s, every answer twice", {.PaceBaud = 4800, .RepeatAfterUs = 500}},
        {"paced at 9600 bit/s, every answer twice", {.PaceBaud = 9600, .RepeatAfterUs = 300}},
        // One exchange behind for good: one answer twice, then every answer late.
        {"one behind from address 40",
         {.BehindAddress = 40, .BehindCopyUs = 2000, .BehindLateMs = 20},
         40},
        {"one behind from address 127, answers paced",
         {.PaceBaud = 38400, .BehindAddress = 127, .BehindCopyUs = 1000, .BehindLateMs = 20},
         127},
        // Behind only at the very end, its owed answer later than any gap of the read:
        // the word of address 0 asked for again tells.
        {"the last answer twice, then late",
         {.BehindAddress = 128, .BehindCopyUs = 1000, .BehindLateMs = 50},
         128},
        // Every word alike: only the answer still owed at the end tells.
        {"one behind from address 127, every word alike",
         {.PaceBaud = 38400, .BehindAddress = 127, .BehindCopyUs = 1000, .BehindLateMs = 20},
         127,
         [](int) { return NopWord; }},
    };
    for (const Case& c : cases) {
        LoadDevice(c.WordAt);
        written = ImageOf(MaxProgramWords, c.WordAt);
        for (const bool verify : {false, true}) {
            SCOPED_TRACE(std::string(c.What) + (verify ? ", verify" : ", read"));
            device_.SetFaults(c.Faults);
            ProgramImage image = ImageOf(10, [](int) { return 0x12345678u; });
            const ProgramImage before = image;
            const MaybeFailure failure = verify ? VerifyProgram(link_, written, buffer_)
                                                : ReadProgram(link_, image, buffer_);
            ASSERT_TRUE(failure.has_value());
            const std::string text = FailureText(*failure);
            if (failure->Kind == FailureKind::SentMoreThanAsked) {
                EXPECT_EQ(text, "Device sent more than was asked, after address " +
                                    std::to_string(failure->Address));
                EXPECT_GE(failure->Address, c.FirstAddress);
            } else {
                EXPECT_EQ(text, "Device answers out of step with the requests, after address 128");
            }
            EXPECT_EQ(image.Words, before.Words);
            EXPECT_EQ(image.WordCount, before.WordCount);
            // The answers still on their way come and go before the next case.
            device_.SetFaults({});
            ASSERT_TRUE(com1_.WaitForQuiet(100ms));
            link_.Purge(1);
        }
    }
    // The same device without the fault reads and verifies.
    LoadDevice(Pattern);
    written = ImageOf(MaxProgramWords, Pattern);
    EXPECT_FALSE(VerifyProgram(link_, written, buffer_).has_value());
}

TEST_F(DeviceCommands, ShortAnswerIsMissingAndItsLateByteIsDiscarded) {
    LoadDevice(Pattern);
    sim::SimFaults faults;
    faults.ShortAddress = 7;
    faults.ShortCount = 7;
    faults.LateByteMs = 50;
    device_.SetFaults(faults);

    std::uint32_t word = 0;
    const MaybeFailure failure = ReadDeviceWord(link_, 7, buffer_, word);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Kind, FailureKind::NoResponse);
    EXPECT_EQ(failure->Address, 7);

    // Let the late byte arrive; the next exchange must not take it for its answer.
    std::this_thread::sleep_for(500ms);
    ASSERT_FALSE(ReadDeviceWord(link_, 8, buffer_, word).has_value());
    EXPECT_EQ(word, Pattern(8));
}

TEST_F(DeviceCommands, HangUpDuringAReadStopsIt) {
    LoadDevice(Pattern);
    sim::SimFaults faults;
    faults.HangUpAfter = 3 * 20 + 2;  // gone in the middle of the request for address 20
    device_.SetFaults(faults);

    ProgramImage image;
    const MaybeFailure failure = ReadProgram(link_, image, buffer_);
    ASSERT_TRUE(failure.has_value());
    // Whether the request still went out before the line went down is a race; either
    // way the read stops at address 20.
    if (failure->Kind == FailureKind::NoResponse) {
        EXPECT_EQ(failure->Address, 20);
    } else {
        EXPECT_EQ(failure->Kind, FailureKind::CantWriteToPort);
    }
    EXPECT_EQ(device_.Received().size(), 62u);
    EXPECT_EQ(image.WordCount, 0);
}

TEST_F(DeviceCommands, VerifyComparesTheProgramAsWritten) {
    // A 10-word program written and verified from the same image: the device holds
    // NOP after the program, and so does the program as written.
    ProgramImage image = ImageOf(10, Pattern);
    ProgramImage written = image;
    ASSERT_FALSE(WriteProgram(link_, written, buffer_).has_value());
    ASSERT_TRUE(device_.WaitForReceived(ProgramBlockLength, 10s));
    device_.SetWord(128, 0xFFFFFFFF);  // the CW word is never compared

    EXPECT_FALSE(VerifyProgram(link_, image, buffer_).has_value());
    EXPECT_EQ(image.Words[10], 0u);  // verify does not fill the image
    EXPECT_EQ(image.ReadBackWords[128], 0xFFFFFFFFu);

    device_.SetWord(3, 0xABCD);
    device_.SetWord(100, 0);
    const MaybeFailure failure = VerifyProgram(link_, image, buffer_);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(FailureText(*failure), "Verify fail");
    EXPECT_EQ(failure->Address, 3);
    EXPECT_EQ(failure->ProgramWord, Pattern(3));
    EXPECT_EQ(failure->DeviceWord, 0xABCDu);
    const auto differences =
        CompareWithDevice(image, std::span(image.ReadBackWords).first<MaxProgramWords>());
    ASSERT_EQ(differences.size(), 2u);
    EXPECT_EQ(differences[1].Address, 100);
    EXPECT_EQ(differences[1].Program, NopWord);
    EXPECT_EQ(differences[1].Device, 0u);
}

TEST_F(DeviceCommands, ModeCommandsSendOneByteEach) {
    for (std::uint8_t command :
         {CmdProgDisable, CmdProgEnable, ProgramChoiceCommand(1), ProgramChoiceCommand(16)}) {
        device_.ClearReceived();
        ASSERT_FALSE(SendCommandByte(link_, command).has_value());
        ASSERT_TRUE(device_.WaitForReceived(1, 10s));
        std::this_thread::sleep_for(50ms);  // nothing else may follow
        EXPECT_EQ(device_.Received(), Bytes{command});
    }
    link_.Close();
    const MaybeFailure failure = SendCommandByte(link_, CmdProgEnable);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Kind, FailureKind::PortNotOpened);
}

TEST(ProgramChoices, NamesIndicesAndCommandBytes) {
    EXPECT_EQ(ProgramChoices()[0], "Ext");
    EXPECT_EQ(ProgramChoices()[16], "Rotary speaker");
    EXPECT_EQ(ProgramChoiceCommand(0), 0x8A);
    EXPECT_EQ(ProgramChoiceCommand(1), 0x90);
    EXPECT_EQ(ProgramChoiceCommand(16), 0x9F);

    EXPECT_EQ(FindProgramChoice("ext"), 0);
    EXPECT_EQ(FindProgramChoice("HALL 1"), 1);
    EXPECT_EQ(FindProgramChoice("chorus/room 2"), 14);
    EXPECT_EQ(FindProgramChoice("16"), 16);
    EXPECT_EQ(FindProgramChoice("0"), 0);
    for (const char* bad : {"17", "-1", "Hall", "Hall 1 ", "", "1x"}) {
        EXPECT_FALSE(FindProgramChoice(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace ixo
