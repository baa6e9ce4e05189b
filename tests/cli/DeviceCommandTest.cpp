// The ixo device commands, run as real processes against a simulated device.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "IxoProcess.h"
#include "OwnPortMap.h"
#include "SimPort.h"
#include "SixWords.h"
#include "TempDir.h"
#include "device/Protocol.h"
#include "isa/WordFields.h"

namespace ixo::test {
namespace {

using namespace std::chrono_literals;

// A simulated device on COM2 of a port map that only this test and the ixo it runs
// see.
class IxoDevice : public testing::Test {
protected:
    IxoResult Ixo(std::vector<std::string> args, const IxoStreams& streams = {}) {
        return RunIxo(args, folder_.Path().string(), {}, streams);
    }

    std::string Program(const std::string& name, const std::string& text) {
        const std::string path = folder_.File(name);
        WriteBytes(path, text);
        return path;
    }

    OwnPortMap ports_;
    SimPort com2_{2};
    sim::SimDevice& device_ = com2_.Device;
    TempDir folder_;
};

TEST_F(IxoDevice, WriteThenVerify) {
    const std::string prog = Program("prog.obj", "12345678\r\n9ABCDEF0\r\n");
    IxoResult result = Ixo({"write", "--port", "2", prog});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "Verify OK\n");
    ASSERT_TRUE(device_.WaitForReceived(1408, 10s));
    EXPECT_EQ(device_.Word(1), 0x9ABCDEF0u);
    EXPECT_EQ(device_.Word(2), 0x00030000u);

    result = Ixo({"verify", "-p", "2", prog});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "Verify OK\n");

    // Each difference in both words' listing lines, without the coefficient's comment,
    // the bars one above the other.
    device_.SetWord(0, 0x11111111);
    device_.SetWord(4, 0x40000064);
    device_.SetWord(127, 0);
    result = Ixo({"verify", "-p", "2", prog});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(
        result.Out,
        "Verify fail\n"
        "  0  program 12345678 LFO0 SIN AMP=22136 FREQ=1128  |  device 11111111 LFO0 SIN "
        "AMP=4369 FREQ=546\n"
        "  4  program 00030000 NOP                           |  device 40000064 RZP 100 K=64\n"
        "127  program 00030000 NOP                           |  device 00000000 RZP INL K=0\n");
}

TEST_F(IxoDevice, WriteReadsBackAndReportsADifference) {
    sim::SimFaults faults;
    faults.LostWriteAddress = 5;
    device_.SetFaults(faults);
    device_.SetWord(5, 0x0BADF00D);
    const std::string prog = Program("prog.obj", "12345678\r\n9ABCDEF0\r\n");
    IxoResult result = Ixo({"write", "-p", "2", prog});
    EXPECT_EQ(result.ExitStatus, 1) << result.Err;
    EXPECT_EQ(
        result.Out,
        "Verify fail\n  5  program 00030000 NOP  |  device 0BADF00D CHR3 RBPB 61453 +COS COMPA "
        "MASKA\n");

    // Without the read-back only the write's 1408 bytes go out.
    device_.ClearReceived();
    result = Ixo({"write", "--no-verify", "-p", "2", prog});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "");
    ASSERT_TRUE(device_.WaitForReceived(1408, 10s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(device_.Received().size(), 1408u);
}

TEST_F(IxoDevice, DashIsStandardInputAndOutput) {
    device_.SetWord(0, 0x41F42EE0);
    device_.SetWord(128, 0xABCDEF01);
    IxoResult result = Ixo({"read", "-p", "2", "--output", "-"});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Err, "CW=ABCDEF01\n");
    ASSERT_EQ(result.Out.size(), 1280u);
    EXPECT_EQ(result.Out.substr(0, 20), "41F42EE0\r\n00000000\r\n");

    const std::string saved = Program("saved.obj", result.Out);
    result = Ixo({"verify", "-p", "2", "-"}, {.Input = saved});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "Verify OK\n");
    result = Ixo({"list", "-"}, {.Input = saved});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_TRUE(result.Out.starts_with("LFO0\tTRI\tAMP=12000\tFREQ=1000\n")) << result.Out;

    // Standard input that cannot be read (a folder) is a failure, not an empty program.
    result = Ixo({"list", "-"}, {.Input = folder_.Path().string()});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err, "ixo: Can't open file \"<stdin>\": Is a directory\n");
}

TEST_F(IxoDevice, FileIsCheckedBeforeThePort) {
    // COM1, the default, leads nowhere: the file's fault is the one reported.
    const std::string missing = folder_.File("mistyped.obj");
    for (const char* command : {"write", "verify"}) {
        const IxoResult result = Ixo({command, missing});
        EXPECT_EQ(result.ExitStatus, 1);
        EXPECT_EQ(result.Err,
                  "ixo: Can't open file \"" + missing + "\": No such file or directory\n");
    }
}

TEST_F(IxoDevice, LostStandardOutputIsAFailure) {
    const IxoResult result = Ixo({"read", "-p", "2"}, {.Output = "/dev/full"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err, "ixo: can't write standard output: No space left on device\n");
}

TEST_F(IxoDevice, ReadPrintsCwAndSavesTheProgram) {
    for (int address = 0; address < 129; ++address) device_.SetWord(address, address * 3);
    device_.SetWord(128, 0x00ABCDEF);
    const std::string out = folder_.File("read.obj");
    const IxoResult result = Ixo({"read", "--port", "2", "--output", out});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "CW=00ABCDEF\n");
    const std::string saved = ReadBytes(out);
    ASSERT_EQ(saved.size(), 1280u);
    EXPECT_EQ(saved.substr(0, 20), "00000000\r\n00000003\r\n");
    EXPECT_EQ(saved.substr(1270), "0000017D\r\n");
}

TEST_F(IxoDevice, AssemblyFilesAreWrittenVerifiedAndSaved) {
    // Written from an assembly file, then verified against it from standard input.
    IxoResult result = Ixo({"write", "-p", "2", Program("six.asm", SixWordListing)});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "Verify OK\n");
    for (std::size_t address = 0; address < SixWords.size(); ++address) {
        EXPECT_EQ(device_.Word(static_cast<int>(address)), SixWords[address]) << address;
    }
    result = Ixo({"verify", "-p", "2", "--format", "asm", "-"}, {.Input = folder_.File("six.asm")});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "Verify OK\n");

    // Read back as a listing, which assembles to the object file a read saves.
    device_.SetWord(5, 0x00070000);
    device_.SetWord(100, 0xFFFFFFFF);
    result = Ixo({"read", "-p", "2", "-o", "read.ASM"});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    const std::string listing = ReadBytes(folder_.File("read.ASM"));
    EXPECT_TRUE(
        listing.starts_with("LFO0\tSIN\tAMP=0\t\tFREQ=0\r\nLFO1\tTRI\tAMP=12000\tFREQ=1000\r\n"))
        << listing;
    EXPECT_NE(listing.find("\r\n\tRAP\tINL\tK=0\t\t; 0\r\n"), std::string::npos) << listing;
    result = Ixo({"read", "-p", "2", "-o", "-", "--format", "asm"});
    EXPECT_EQ(result.Out, listing);
    ASSERT_EQ(Ixo({"read", "-p", "2", "-o", "read.obj"}).ExitStatus, 0);
    ASSERT_EQ(Ixo({"asm", "read.ASM", "-o", "back.obj"}).ExitStatus, 0);
    // Bit 18 of a CHR-form word is not in its line.
    std::string expected = ReadBytes(folder_.File("read.obj"));
    expected.replace(1000, 8, "FFFBFFFF");
    EXPECT_EQ(ReadBytes(folder_.File("back.obj")), expected);
}

TEST_F(IxoDevice, AssemblyErrorsSendNothing) {
    std::string bad = SixWordListing;
    bad.replace(bad.find("RZP"), 3, "RXP");
    const std::string path = Program("bad.asm", bad);
    for (const char* command : {"write", "verify"}) {
        device_.ClearReceived();
        const IxoResult result = Ixo({command, "-p", "2", path});
        EXPECT_EQ(result.ExitStatus, 1);
        EXPECT_EQ(result.Out, "");
        EXPECT_TRUE(result.Err.starts_with(
            path + ":6:9: error: unknown pointer \"XP\" (ZP, BP, CP or AP)\n"))
            << result.Err;
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(device_.Received().empty());
}

TEST_F(IxoDevice, ReadRefusesAnOutputItCannotSaveBeforeTouchingThePort) {
    namespace fs = std::filesystem;
    const std::string file = Program("six.obj", "00000000\r\n");
    fs::create_directory(folder_.File("locked"));
    fs::permissions(folder_.File("locked"), fs::perms(0555));
    fs::permissions(folder_.Path(), fs::perms(0755));
    struct Case {
        std::string Output;
        std::string Reason;
        int Uid = -1;
    };
    std::vector<Case> cases = {
        {folder_.Path().string(), "Is a directory"},
        {folder_.File("absent/read.obj"), "No such file or directory"},
        {file + "/read.obj", "Not a directory"},
    };
    // Root may write anywhere: a folder closed to writing is tried as another user.
    if (::geteuid() == 0)
        cases.push_back({folder_.File("locked/read.obj"), "Permission denied", 65534});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Output);
        const IxoResult result = FinishIxo(
            StartIxo({"read", "-p", "2", "-o", c.Output}, folder_.Path().string(), {}, c.Uid),
            folder_.Path().string());
        EXPECT_EQ(result.ExitStatus, 1);
        EXPECT_EQ(result.Out, "");
        EXPECT_EQ(result.Err, "ixo: Can't write file \"" + c.Output + "\": " + c.Reason + "\n");
    }
    const IxoResult unnamed = Ixo({"read", "-p", "2", "-o", ""});
    EXPECT_EQ(unnamed.ExitStatus, 2);
    EXPECT_TRUE(unnamed.Err.starts_with("ixo: --output: no file name given\n")) << unnamed.Err;
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(device_.Received().empty());
}

TEST_F(IxoDevice, ModeCommandsSendTheirByte) {
    ASSERT_TRUE(device_.MapAsPort(127));  // the highest port number ixo takes
    struct Case {
        std::vector<std::string> Args;
        std::uint8_t Byte;
    };
    const Case cases[] = {
        {{"enable", "-p", "2"}, 0x8A},           {{"disable", "-p", "2"}, 0x89},
        {{"select", "-p", "2", "Hall 1"}, 0x90}, {{"select", "-p", "2", "rotary SPEAKER"}, 0x9F},
        {{"select", "-p", "2", "0"}, 0x8A},      {{"select", "-p", "2", "11"}, 0x9A},
        {{"enable", "-p", "127"}, 0x8A},
    };
    for (const Case& c : cases) {
        device_.ClearReceived();
        const IxoResult result = Ixo(c.Args);
        EXPECT_EQ(result.ExitStatus, 0) << c.Args[0] << ": " << result.Err;
        ASSERT_TRUE(device_.WaitForReceived(1, 10s)) << c.Args.back();
        EXPECT_EQ(device_.Received(), Bytes{c.Byte}) << c.Args.back();
    }
}

TEST_F(IxoDevice, FailuresAreReportedWithStatusOne) {
    // COM1 is the default port, and it points nowhere.
    IxoResult result = Ixo({"enable"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err, "ixo: COM port not opened: COM1: " + ports_.AbsentPath(1) +
                              ": No such file or directory\n");

    sim::SimFaults silent;
    silent.Silent = true;
    device_.SetFaults(silent);
    result = Ixo({"read", "-p", "2"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(result.Err, "ixo: No response from device at address 0\n");
    device_.SetFaults({});

    // A file that cannot be written is named with the system's reason.
    const std::string unwritable = folder_.File("no-folder/read.obj");
    result = Ixo({"read", "-p", "2", "-o", unwritable});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err,
              "ixo: Can't write file \"" + unwritable + "\": No such file or directory\n");

    // A malformed program, one that goes on after its end, or none at all, is not sent.
    device_.ClearReceived();
    std::string overlong;
    for (int i = 0; i < 129; ++i) overlong += "12345678\r\n";
    const std::string bad[][2] = {
        {Program("bad.obj", "12345678\r\nXYZ\r\n"),
         folder_.File("bad.obj") + ":2: 'X' is not a hexadecimal digit"},
        {Program("long.obj", overlong), folder_.File("long.obj") + ":129: more than 128 words"},
        {Program("after.obj", "12345678\r\n\r\n12345678\r\n"),
         folder_.File("after.obj") + ":3: text after the program, which ends at line 2"},
        {Program("empty.obj", ""),
         "ixo: Empty Project: " + folder_.File("empty.obj") + " holds no program words"},
    };
    for (const auto& [file, said] : bad) {
        for (const char* command : {"write", "verify"}) {
            result = Ixo({command, "-p", "2", file});
            EXPECT_EQ(result.ExitStatus, 1);
            EXPECT_EQ(result.Err, said + "\n");
        }
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(device_.Received().empty());
}

TEST_F(IxoDevice, AnswersOutOfStepAreAFailureAndNothingIsShownOrSaved) {
    const std::uint32_t words[] = {0x12345678, 0x9ABCDEF0, 0x0F1E2D3C};
    for (int address = 0; address < DeviceWordCount; ++address) {
        device_.SetWord(address, address < 3 ? words[address] : NopWord);
    }
    device_.SetWord(DeviceWordCount - 1, 0);
    const std::string out = folder_.File("read.obj");
    const std::string prog = Program("prog.obj", "12345678\r\n9ABCDEF0\r\n0F1E2D3C\r\n");
    ASSERT_EQ(Ixo({"verify", "-p", "2", prog}).Out, "Verify OK\n");
    const sim::SimFaults faults[] = {
        {.RepeatAfterUs = 1000},
        {.PaceBaud = 4800, .RepeatAfterUs = 500},
        {.BehindAddress = 1, .BehindCopyUs = 2000, .BehindLateMs = 20},
    };
    const std::vector<std::vector<std::string>> calls = {{"read", "-p", "2"},
                                                         {"read", "-p", "2", "-o", out},
                                                         {"read", "-p", "2", "-o", "-"},
                                                         {"verify", "-p", "2", prog}};
    for (const sim::SimFaults& fault : faults) {
        for (const auto& call : calls) {
            SCOPED_TRACE(std::to_string(fault.PaceBaud) + " bit/s, " + call.back());
            device_.SetFaults(fault);
            const IxoResult result = Ixo(call);
            EXPECT_EQ(result.ExitStatus, 1);
            EXPECT_EQ(result.Out, "");
            EXPECT_TRUE(
                result.Err.starts_with("ixo: Device sent more than was asked, after address ") ||
                result.Err ==
                    "ixo: Device answers out of step with the requests, after address 128\n")
                << result.Err;
            EXPECT_FALSE(std::filesystem::exists(out));
            // What is still on its way goes before the next run.
            device_.SetFaults({});
            ASSERT_TRUE(com2_.WaitForQuiet(100ms));
        }
    }
}

TEST_F(IxoDevice, InterruptedWriteSaysTheDeviceMayHoldPartOfTheProgram) {
    device_.SetFaults({.PaceBaud = 9600});  // the device takes the block in 1.5 s
    const std::string prog = Program("prog.obj", "12345678\r\n");
    const int pid = StartIxo({"write", "-p", "2", prog}, folder_.Path().string());
    ASSERT_TRUE(device_.WaitForReceived(100, 10s));
    ::kill(pid, SIGINT);
    const IxoResult result = FinishIxo(pid, folder_.Path().string());
    EXPECT_EQ(result.ExitStatus, 128 + SIGINT) << result.Err;
    EXPECT_EQ(result.Err,
              "ixo: the device may hold part of the program\nixo: write stopped by signal 2\n");
}

TEST_F(IxoDevice, UsageErrorsSendNothing) {
    const std::vector<std::vector<std::string>> calls = {
        {"select", "-p", "2", "Hall 9"}, {"select", "-p", "2"},   {"write", "-p", "2"},
        {"read", "-p", "2", "extra"},    {"enable", "--port"},    {"enable", "-p", "x"},
        {"disable", "--bogus"},          {"enable", "-p", "128"}, {"enable", "-p", "0"},
    };
    for (const auto& call : calls) {
        const IxoResult result = Ixo(call);
        EXPECT_EQ(result.ExitStatus, 2) << call[0] << " " << call.back();
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(device_.Received().empty());
    EXPECT_EQ(Ixo({"verify", "--help"}).ExitStatus, 0);
}

TEST_F(IxoDevice, TraceShowsTheBytes) {
    device_.SetWord(128, 0x00030000);
    const IxoResult result = Ixo({"read", "-p", "2", "--trace"});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_NE(result.Err.find(" sent 88 00 00\n"), std::string::npos) << result.Err;
    EXPECT_NE(result.Err.find(" sent 88 08 00\n"), std::string::npos);
    EXPECT_NE(result.Err.find(" recv "), std::string::npos);
    EXPECT_NE(result.Err.find(" purge input\n"), std::string::npos);

    sim::SimFaults silent;
    silent.Silent = true;
    device_.SetFaults(silent);
    const IxoResult unanswered = Ixo({"read", "-p", "2", "--trace"});
    EXPECT_EQ(unanswered.ExitStatus, 1);
    EXPECT_NE(unanswered.Err.find(" timeout\n"), std::string::npos) << unanswered.Err;
}

}  // namespace
}  // namespace ixo::test
