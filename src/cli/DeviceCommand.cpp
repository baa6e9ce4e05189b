// The ixo device commands: write, read, verify, enable, disable and select. Each
// checks its file first, then opens a DeviceConnection on its port as the window's
// link is opened, does one thing, and closes.

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
#include "operations/DeviceConnection.h"

namespace ixo::cli {

namespace {

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

// Opens the connection on the chosen port; reports and gives false when it won't.
bool OpenLink(DeviceConnection& connection, const CommandLine& line) {
    // Both checked by the parser already.
    std::string why;
    const PortChoice port =
        (line.Port.empty() ? DefaultPort(why) : ParsePortOption(line.Port)).value_or(PortChoice{});
    if (line.Trace) connection.Link().Trace = TracePrinter();
    const MaybeFailure failure = connection.Open(port);
    if (failure) Fail(*failure);
    return !failure;
}

int Finish(const MaybeFailure& failure) {
    return failure ? Fail(*failure) : ExitOk;
}

// Opens the connection, runs body on it, closes it.
template <typename Body>
int WithLink(const CommandLine& line, Body body) {
    DeviceConnection connection;
    if (!OpenLink(connection, line)) return ExitFailure;
    const int status = body(connection);
    connection.Close();
    return status;
}

// Compares the device with the program: "Verify OK", or "Verify fail" and each
// address that differs, with both words.
int VerifyAndReport(DeviceConnection& device, ProgramImage& image) {
    const MaybeFailure failure = VerifyProgram(device.Link(), image, device.TransferBuffer);
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
    return WithLink(line, [&](DeviceConnection& device) { return body(device, image); });
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
    return WithProgram(line, [&](DeviceConnection& device, ProgramImage& image) {
        const MaybeFailure failure = WriteProgram(device.Link(), image, device.TransferBuffer);
        const int status = failure       ? Fail(*failure)
                           : line.Verify ? VerifyAndReport(device, image)
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
    return WithLink(line, [&](DeviceConnection& device) {
        ProgramImage image;
        if (const MaybeFailure failure = ReadProgram(device.Link(), image, device.TransferBuffer)) {
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

namespace {

// Sends one of the one-byte commands.
int SendCommand(const CommandLine& line, std::uint8_t command) {
    return WithLink(line, [command](DeviceConnection& device) {
        return Finish(SendCommandByte(device.Link(), command));
    });
}

}  // namespace

int RunEnable(const CommandLine& line) {
    return SendCommand(line, CmdProgEnable);
}

int RunDisable(const CommandLine& line) {
    return SendCommand(line, CmdProgDisable);
}

int RunSelect(const CommandLine& line) {
    return SendCommand(line, ProgramChoiceCommand(*FindProgramChoice(line.Argument)));
}

}  // namespace ixo::cli
