// The ixo device commands: write, read, verify, enable, disable and select. Each
// opens COM N at 38400 bit/s as the window's link does, does one thing, and closes.

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/PortOption.h"
#include "device/DeviceCommands.h"
#include "link/Comport.h"
#include "link/PortNames.h"
#include "link/StopSignals.h"
#include "project/ProjectFiles.h"

namespace ixo::cli {

namespace {

constexpr std::int32_t WorkingBaudRate = 38400;

// What every device command takes besides its own arguments.
struct DeviceOptions {
    PortChoice Port;
    bool Trace = false;
    std::string Output;                   // read only
    std::vector<std::string> Positional;  // file or program name
};

const char* const CommonOptionsHelp =
    "Options:\n"
    "  -p, --port PORT    use PORT: a COM number (2), COM2 (any case), or a device\n"
    "                     path (/dev/ttyUSB0, /dev/serial/by-id/...); the default\n"
    "                     is IXO_PORT from the environment, else COM1\n"
    "      --trace        print every byte sent and received, with a time stamp,\n"
    "                     on standard error\n"
    "  -h, --help         show this help\n";

// Parses args; on a usage error prints it and gives nullopt with *status set.
std::optional<DeviceOptions> ParseOptions(const std::string& command,
                                          const std::vector<std::string>& args, bool takesOutput,
                                          int& status) {
    DeviceOptions options;
    std::string why;
    const std::optional<PortChoice> defaultPort = DefaultPort(why);
    if (!defaultPort) {
        status = UsageError(command, why);
        return std::nullopt;
    }
    options.Port = *defaultPort;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--port" || arg == "-p") {
            if (!hasValue) {
                status = UsageError(command, arg + " needs a port");
                return std::nullopt;
            }
            const std::optional<PortChoice> port = ParsePortOption(args[++i]);
            if (!port) {
                status = UsageError(command, "not a port: '" + args[i] + "'");
                return std::nullopt;
            }
            options.Port = *port;
        } else if (arg == "--trace") {
            options.Trace = true;
        } else if (takesOutput && (arg == "--output" || arg == "-o")) {
            if (!hasValue) {
                status = UsageError(command, arg + " needs a file name");
                return std::nullopt;
            }
            options.Output = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            status = UsageError(command, "unknown option '" + arg + "'");
            return std::nullopt;
        } else {
            options.Positional.push_back(arg);
        }
    }
    return options;
}

void PrintFailure(const Failure& failure) {
    // After a stop signal the command ends because of it; main says so.
    if (StopSignal() != 0) return;
    const std::string detail = FailureDetail(failure);
    if (detail.empty()) {
        std::fprintf(stderr, "%s\n", FailureText(failure).c_str());
    } else {
        std::fprintf(stderr, "%s: %s\n", FailureText(failure).c_str(), detail.c_str());
    }
}

// Prints one transfer of the trace: seconds since the link opened, direction, bytes.
class TracePrinter {
public:
    void operator()(ComPort::TraceDirection direction, const std::uint8_t* bytes,
                    std::size_t count) const {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::fprintf(stderr, "%10.6f %s", seconds,
                     direction == ComPort::TraceDirection::Sent ? "sent" : "recv");
        for (std::size_t i = 0; i < count; ++i) std::fprintf(stderr, " %02X", bytes[i]);
        std::fputc('\n', stderr);
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Opens the working link on the chosen port; reports and gives false when it won't.
bool OpenLink(ComPort& link, const DeviceOptions& options) {
    link.PortNumber = static_cast<std::int8_t>(options.Port.Number);
    link.Device = options.Port.Device;
    link.SetBaudRate(WorkingBaudRate);
    if (options.Trace) link.Trace = TracePrinter();
    if (link.Open()) return true;
    PrintFailure(PortNotOpened(link.OpenError()));
    return false;
}

// Loads the object file a command sends or compares. A malformed file is refused:
// only part of it would reach the device.
bool LoadProgram(const std::string& path, ProgramImage& image) {
    if (const MaybeFailure failure = LoadObjectFile(path, image)) {
        PrintFailure(*failure);
        return false;
    }
    if (image.IsEmpty()) {
        PrintFailure(EmptyProject());
        return false;
    }
    return true;
}

int Finish(const MaybeFailure& failure) {
    if (!failure) return ExitOk;
    PrintFailure(*failure);
    return ExitFailure;
}

// The frame shared by every device command: help, options, argument count, link.
struct Invocation {
    const char* Name;
    const char* Arguments;  // shown after the name in the usage line
    const char* Purpose;
    std::size_t Positional;  // how many arguments besides the options
    bool TakesOutput;
};

int Run(const Invocation& call, const std::vector<std::string>& args,
        int (*body)(ComPort&, const DeviceOptions&)) {
    if (WantsHelp(args)) {
        std::printf("Usage: ixo %s [OPTIONS]%s\n\n%s\n\n%s", call.Name, call.Arguments,
                    call.Purpose, CommonOptionsHelp);
        if (call.TakesOutput) {
            std::printf(
                "  -o, --output OUT   also save the 128 program words as the object file\n"
                "                     OUT\n");
        }
        std::printf(
            "\nExit status: 0 success, 1 failure, 2 usage error, 128 + N when signal N\n"
            "(SIGINT, SIGTERM, SIGHUP) stopped the command; it closes the port first.\n");
        return ExitOk;
    }
    int status = ExitUsage;
    const auto options = ParseOptions(call.Name, args, call.TakesOutput, status);
    if (!options) return status;
    if (options->Positional.size() != call.Positional) {
        return UsageError(call.Name, call.Positional == 0 ? "takes no arguments"
                                                          : std::string("needs") + call.Arguments);
    }
    ComPort link;
    if (!OpenLink(link, *options)) return ExitFailure;
    const int result = body(link, *options);
    link.Close();
    return result;
}

TransferBytes transferBuffer;

}  // namespace

int RunWrite(const std::vector<std::string>& args) {
    static const Invocation call{
        "write", " FILE",
        "Writes the program of the object file FILE into the device; the words after\n"
        "the program up to address 127 are filled with NOP.",
        1, false};
    return Run(call, args, [](ComPort& link, const DeviceOptions& options) {
        ProgramImage image;
        if (!LoadProgram(options.Positional[0], image)) return ExitFailure;
        return Finish(WriteProgram(link, image, transferBuffer));
    });
}

int RunRead(const std::vector<std::string>& args) {
    static const Invocation call{
        "read", "", "Reads the device's 128 program words and its CW word, and prints CW=XXXXXXXX.",
        0, true};
    return Run(call, args, [](ComPort& link, const DeviceOptions& options) {
        ProgramImage image;
        if (const MaybeFailure failure = ReadProgram(link, image, transferBuffer)) {
            return Finish(failure);
        }
        std::printf("CW=%08X\n", static_cast<unsigned>(image.Words[CwPosition]));
        if (options.Output.empty()) return ExitOk;
        FormatObjectText(image);
        return Finish(SaveObjectFile(options.Output, image));
    });
}

int RunVerify(const std::vector<std::string>& args) {
    static const Invocation call{
        "verify", " FILE",
        "Compares the device with the program of the object file FILE as a write sends\n"
        "it (the program, then NOP up to address 127). Prints \"Verify OK\", or\n"
        "\"Verify fail\" and, for each differing address, the program's and the\n"
        "device's word.",
        1, false};
    return Run(call, args, [](ComPort& link, const DeviceOptions& options) {
        ProgramImage image;
        if (!LoadProgram(options.Positional[0], image)) return ExitFailure;
        const MaybeFailure failure = VerifyProgram(link, image, transferBuffer);
        if (!failure) {
            std::printf("Verify OK\n");
            return ExitOk;
        }
        if (failure->Kind != FailureKind::VerifyFail) return Finish(failure);
        std::printf("%s\n", FailureText(*failure).c_str());
        for (const WordDifference& difference :
             CompareWithDevice(image, std::span(image.ReadBackWords).first<MaxProgramWords>())) {
            std::printf("%3d program %08X device %08X\n", difference.Address,
                        static_cast<unsigned>(difference.Program),
                        static_cast<unsigned>(difference.Device));
        }
        return ExitFailure;
    });
}

int RunEnable(const std::vector<std::string>& args) {
    static const Invocation call{
        "enable", "", "Enables programming: the device runs the loaded program.", 0, false};
    return Run(call, args, [](ComPort& link, const DeviceOptions&) {
        return Finish(SendCommandByte(link, CmdProgEnable));
    });
}

int RunDisable(const std::vector<std::string>& args) {
    static const Invocation call{"disable", "", "Disables programming.", 0, false};
    return Run(call, args, [](ComPort& link, const DeviceOptions&) {
        return Finish(SendCommandByte(link, CmdProgDisable));
    });
}

int RunSelect(const std::vector<std::string>& args) {
    static const Invocation call{
        "select", " NAME",
        "Makes the device run a program: NAME is one of \"Ext\" (the loaded program),\n"
        "\"Hall 1\", \"Hall 2\", \"Room 1\", \"Room 2\", \"Room 3\", \"Plate 1\", \"Plate 2\",\n"
        "\"Plate 3\", \"Chorus\", \"Flange\", \"Delay 1\", \"Delay 2\", \"Chorus/Room 1\",\n"
        "\"Chorus/Room 2\", \"Voice cancel\", \"Rotary speaker\" (any case), or its index\n"
        "0 to 16 in that list.",
        1, false};
    // The name is checked before the port is opened.
    if (!WantsHelp(args)) {
        int status = ExitUsage;
        const auto options = ParseOptions(call.Name, args, false, status);
        if (!options) return status;
        if (options->Positional.size() == 1 && !FindProgramChoice(options->Positional[0])) {
            return UsageError(call.Name, "no program named '" + options->Positional[0] + "'");
        }
    }
    return Run(call, args, [](ComPort& link, const DeviceOptions& options) {
        const int choice = *FindProgramChoice(options.Positional[0]);
        return Finish(SendCommandByte(link, ProgramChoiceCommand(choice)));
    });
}

}  // namespace ixo::cli
