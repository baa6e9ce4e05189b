// The ixo device commands: write, read, verify, enable, disable and select. Each
// checks its file first, then opens COM N at 38400 bit/s as the window's link does,
// does one thing, and closes.

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <span>

#include "cli/Command.h"
#include "cli/Fail.h"
#include "cli/PortOption.h"
#include "cli/ProgramFile.h"
#include "cli/SharedOptions.h"
#include "cli/StandardStreams.h"
#include "cli/UsageErrors.h"
#include "core/StopSignals.h"
#include "device/DeviceCommands.h"
#include "device/Differences.h"
#include "link/Comport.h"
#include "link/PortProbe.h"

namespace ixo::cli {

namespace {

constexpr std::int32_t WorkingBaudRate = 38400;

// Prints each event of the link on standard error, timed from the link's opening.
class TracePrinter {
public:
    void operator()(TraceEvent event, const std::uint8_t* bytes, std::size_t count) const {
        const std::chrono::duration<double> since = std::chrono::steady_clock::now() - start_;
        std::fprintf(stderr, "%s\n", TraceLine(since.count(), event, bytes, count).c_str());
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Opens the working link on the chosen port; reports and gives false when it won't.
bool OpenLink(ComPort& link, const CommandLine& line) {
    // Both checked by the parser already.
    std::string why;
    const PortChoice port =
        (line.Port.empty() ? DefaultPort(why) : ParsePortOption(line.Port)).value_or(PortChoice{});
    link.PortNumber = static_cast<std::int8_t>(port.Number);
    link.Device = port.Device;
    link.SetBaudRate(WorkingBaudRate);
    if (line.Trace) link.Trace = TracePrinter();
    if (link.Open()) return true;
    // A port chosen by number is named as the window's status bar names it, with what
    // lets the user in where permission is lacking.
    Fail(PortNotOpened(port.Device.empty() ? PortTrouble(port.Number, link.OpenError())
                                           : link.OpenError()));
    return false;
}

int Finish(const MaybeFailure& failure) {
    return failure ? Fail(*failure) : ExitOk;
}

TransferBytes transferBuffer;

// Opens the link, runs body on it, closes it.
template <typename Body>
int WithLink(const CommandLine& line, Body body) {
    ComPort link;
    if (!OpenLink(link, line)) return ExitFailure;
    const int status = body(link);
    link.Close();
    return status;
}

// Compares the device with the program: "Verify OK", or "Verify fail" and each
// address that differs, with both words.
int VerifyAndReport(ComPort& link, ProgramImage& image) {
    const MaybeFailure failure = VerifyProgram(link, image, transferBuffer);
    if (!failure) {
        std::printf("Verify OK\n");
        return ExitOk;
    }
    if (failure->Kind != FailureKind::VerifyFail) return Fail(*failure);
    std::printf("%s\n", FailureText(*failure).c_str());
    const auto differences =
        CompareWithDevice(image, std::span(image.ReadBackWords).first<MaxProgramWords>());
    for (const std::string& line : DifferenceLines(differences)) std::printf("%s\n", line.c_str());
    return ExitFailure;
}

// A file command: the program is loaded before the port is touched, so that a
// mistyped file name never reaches the device.
template <typename Body>
int WithProgram(const CommandLine& line, Body body) {
    // A malformed object file is refused: only part of it would reach the device.
    ProgramImage image;
    if (const int status = ReadProgramFile(line, image); status != ExitOk) return status;
    if (image.IsEmpty()) {
        return Fail(FailureText(EmptyProject()) + ": " + ShownName(line.Argument) +
                    " holds no program words");
    }
    return WithLink(line, [&](ComPort& link) { return body(link, image); });
}

}  // namespace

void DefineDeviceOnly(CLI::App& command, CommandLine& line) {
    AddDeviceOptions(command, line);
}

void DefineWrite(CLI::App& command, CommandLine& line) {
    AddFileArgument(command, line);
    AddDeviceOptions(command, line);
    command.add_flag("!--no-verify", line.Verify, "only write; do not read back and compare");
}

void DefineRead(CLI::App& command, CommandLine& line) {
    AddDeviceOptions(command, line);
    AddOutputOption(command, line,
                    "also save the 128 program words as the object file OUT, or their listing "
                    "when OUT ends in .asm (any case) (- for standard output, the CW line then "
                    "goes to standard error)")
        ->check([](const std::string& path) {
            return path.empty() ? std::string("no file name given") : std::string();
        });
    AddFormatOption(command, line, "OUT");
}

void DefineVerify(CLI::App& command, CommandLine& line) {
    AddFileArgument(command, line);
    AddDeviceOptions(command, line);
}

void DefineSelect(CLI::App& command, CommandLine& line) {
    command.add_option("NAME", line.Argument, "the program to run")
        ->required()
        ->check([](const std::string& name) {
            if (FindProgramChoice(name)) return std::string();
            const auto& choices = ProgramChoices();
            return "no program named '" + name + "'" +
                   SuggestName(name, std::vector<std::string>(choices.begin(), choices.end()));
        });
    AddDeviceOptions(command, line);
}

int RunWrite(const CommandLine& line) {
    return WithProgram(line, [&](ComPort& link, ProgramImage& image) {
        const MaybeFailure failure = WriteProgram(link, image, transferBuffer);
        const int status = failure       ? Fail(*failure)
                           : line.Verify ? VerifyAndReport(link, image)
                                         : ExitOk;
        // Stopped before the device's words were read back, nobody knows how much of
        // the block it took: some words may be new and the rest old.
        if (StopSignal() != 0) Fail("the device may hold part of the program");
        return status;
    });
}

int RunVerify(const CommandLine& line) {
    return WithProgram(line, VerifyAndReport);
}

int RunRead(const CommandLine& line) {
    // A save that cannot succeed is known before the device is read.
    if (!line.Output.empty()) {
        if (const MaybeFailure failure = CheckSaveObject(line.Output)) return Fail(*failure);
    }
    return WithLink(line, [&](ComPort& link) {
        ProgramImage image;
        if (const MaybeFailure failure = ReadProgram(link, image, transferBuffer)) {
            return Fail(*failure);
        }
        // With the program on standard output, the CW word goes beside it.
        std::fprintf(line.Output == "-" ? stderr : stdout, "CW=%08X\n",
                     static_cast<unsigned>(image.Words[CwPosition]));
        if (line.Output.empty()) return ExitOk;
        FormatObjectText(image);
        return Finish(SaveProgram(line.Output, line.Format, image));
    });
}

int RunEnable(const CommandLine& line) {
    return WithLink(line,
                    [](ComPort& link) { return Finish(SendCommandByte(link, CmdProgEnable)); });
}

int RunDisable(const CommandLine& line) {
    return WithLink(line,
                    [](ComPort& link) { return Finish(SendCommandByte(link, CmdProgDisable)); });
}

int RunSelect(const CommandLine& line) {
    const std::uint8_t command = ProgramChoiceCommand(*FindProgramChoice(line.Argument));
    return WithLink(line,
                    [command](ComPort& link) { return Finish(SendCommandByte(link, command)); });
}

}  // namespace ixo::cli
