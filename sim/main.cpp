// ixo-sim: a simulated IXO device on a pseudo-terminal, entered in the port map as
// COMn, for trying Ixo Loader and ixo without hardware.

#include <pthread.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ExitStatus.h"
#include "core/Failure.h"
#include "core/Version.h"
#include "device/DeviceCommands.h"
#include "link/Trace.h"
#include "ports/PortNames.h"
#include "project/ProjectFiles.h"
#include "sim/SimDevice.h"

namespace {

using ixo::sim::SimDevice;
using ixo::sim::SimFaults;
using ixo::sim::TraceDirection;

using ixo::ExitFailure;
using ixo::ExitOk;
using ixo::ExitUsage;

struct Options {
    int Port = 1;
    std::string LoadFile;
    std::optional<std::uint32_t> Cw;
    bool Trace = false;
    SimFaults Faults;
};

void PrintHelp() {
    std::printf(
        "Usage: ixo-sim [OPTIONS]\n\n"
        "Plays an IXO device on a pseudo-terminal and enters it in the port map as\n"
        "COMn, so that Ixo Loader and ixo can talk to it as to a device on that port.\n"
        "Prints one line, \"COMn DEVICE\", once it serves; serves until interrupted\n"
        "(SIGINT, SIGTERM, SIGHUP or SIGQUIT), then puts the port map entry of COMn\n"
        "back as it was (an earlier entry returns, else the entry is removed). A\n"
        "device that hangs up puts the entry back at once.\n\n"
        "Options:\n"
        "  --port N             appear as COMN (default 1)\n"
        "  --load FILE.obj      hold the program of this object file, the words after\n"
        "                       its end filled with NOP as a program write leaves them\n"
        "  --cw HEX             the CW word (default 0)\n"
        "  --pace BAUD          take and send each byte in the line time of BAUD bit/s\n"
        "  --trace              print every byte received and sent, with the time in\n"
        "                       seconds since the start, on standard error, as\n"
        "                       ixo --trace does\n"
        "Faults:\n"
        "  --silent             never answer\n"
        "  --answer-below A     answer only addresses below A\n"
        "  --short A K          at address A send only K of the 8 answer bytes\n"
        "  --late-byte MS       send the rest of a short answer MS milliseconds later\n"
        "  --high-nibbles       set the high nibbles of answer bytes (0x30 | nibble)\n"
        "  --hang-up-after N    close the line after N bytes received\n"
        "  --repeat-answer US   send every answer a second time, US microseconds later\n"
        "  --fall-behind A US MS\n"
        "                       send the answer to address A twice, the copy US\n"
        "                       microseconds after it, and from then on every answer\n"
        "                       MS milliseconds late: each answer is taken for the\n"
        "                       next request's\n"
        "  -h, --help           show this help\n"
        "  -V, --version        show the version and exit\n\n"
        "Exit status: 0 after a stop signal, 1 the device could not be set up,\n"
        "2 usage error.\n");
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "ixo-sim: %s\nTry 'ixo-sim --help' for more information.\n",
                 message.c_str());
    return ExitUsage;
}

// The whole of text as a number in [low, high], in the given base.
template <typename T>
std::optional<T> ParseNumber(std::string_view text, T low, T high, int base = 10) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
    if (value < low || value > high) return {};
    return value;
}

std::optional<std::uint32_t> ParseHexWord(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    if (text.empty() || text.size() > 8 || text[0] == '-' || text[0] == '+') return {};
    return ParseNumber<std::uint32_t>(text, 0, 0xFFFFFFFF, 16);
}

// Options that take one number, with the range each accepts.
struct NumberOption {
    std::string_view Name;
    long Low;
    long High;
    void (*Set)(Options&, long);
};

constexpr NumberOption NumberOptions[] = {
    // Ports as the link numbers them.
    {"--port", 1, 127, [](Options& o, long n) { o.Port = static_cast<int>(n); }},
    // Up to one past the CW word, which answers every address.
    {"--answer-below", 0, 129,
     [](Options& o, long n) { o.Faults.AnswerBelow = static_cast<int>(n); }},
    {"--late-byte", 0, 600000,
     [](Options& o, long n) { o.Faults.LateByteMs = static_cast<int>(n); }},
    {"--pace", 1, 4000000, [](Options& o, long n) { o.Faults.PaceBaud = static_cast<int>(n); }},
    {"--hang-up-after", 0, std::numeric_limits<long>::max(),
     [](Options& o, long n) { o.Faults.HangUpAfter = n; }},
    {"--repeat-answer", 0, 600000000,
     [](Options& o, long n) { o.Faults.RepeatAfterUs = static_cast<int>(n); }},
};

// Options that take no value.
struct FlagOption {
    std::string_view Name;
    void (*Set)(Options&);
};

constexpr FlagOption FlagOptions[] = {
    {"--trace", [](Options& o) { o.Trace = true; }},
    {"--silent", [](Options& o) { o.Faults.Silent = true; }},
    {"--high-nibbles", [](Options& o) { o.Faults.HighNibbles = true; }},
};

// An option as it stands in the arguments, the ones after it, and the usage errors
// about it.
struct OptionArgs {
    const std::vector<std::string_view>& Args;
    std::size_t At;

    std::string_view Arg() const { return Args[At]; }
    // The k-th argument after the option, when there is one.
    std::optional<std::string_view> After(std::size_t k) const {
        if (At + k >= Args.size()) return {};
        return Args[At + k];
    }
    int Missing(const char* what) const {
        return UsageError("option '" + std::string(Arg()) + "' needs " + what);
    }
    int Bad(std::string_view text) const {
        return UsageError("invalid value '" + std::string(text) + "' for option '" +
                          std::string(Arg()) + "'");
    }
};

// Each reads the values of its option into options; the exit status after a usage error.
std::optional<int> ReadNumber(const NumberOption& number, const OptionArgs& at, Options& options) {
    const auto text = at.After(1);
    if (!text) return at.Missing("a number");
    const auto n = ParseNumber(*text, number.Low, number.High);
    if (!n) return at.Bad(*text);
    number.Set(options, *n);
    return {};
}

std::optional<int> ReadLoad(const OptionArgs& at, Options& options) {
    const auto file = at.After(1);
    if (!file || file->empty()) return at.Missing("a file");
    options.LoadFile = std::string(*file);
    return {};
}

std::optional<int> ReadCw(const OptionArgs& at, Options& options) {
    const auto text = at.After(1);
    if (!text) return at.Missing("a hexadecimal word");
    options.Cw = ParseHexWord(*text);
    if (!options.Cw) return at.Bad(*text);
    return {};
}

std::optional<int> ReadShort(const OptionArgs& at, Options& options) {
    const auto address = at.After(1);
    const auto count = at.After(2);
    if (!address || !count) return at.Missing("an address and a byte count");
    const auto a = ParseNumber(*address, 0, 128);
    const auto k = ParseNumber(*count, 0, 8);
    if (!a) return at.Bad(*address);
    if (!k) return at.Bad(*count);
    options.Faults.ShortAddress = *a;
    options.Faults.ShortCount = *k;
    return {};
}

std::optional<int> ReadFallBehind(const OptionArgs& at, Options& options) {
    const auto address = at.After(1);
    const auto copy = at.After(2);
    const auto late = at.After(3);
    if (!address || !copy || !late) {
        return at.Missing("an address, a copy's delay in us and a lateness in ms");
    }
    const auto a = ParseNumber(*address, 0, 128);
    const auto us = ParseNumber(*copy, 0, 600000000);
    const auto ms = ParseNumber(*late, 0, 600000);
    if (!a) return at.Bad(*address);
    if (!us) return at.Bad(*copy);
    if (!ms) return at.Bad(*late);
    options.Faults.BehindAddress = *a;
    options.Faults.BehindCopyUs = *us;
    options.Faults.BehindLateMs = *ms;
    return {};
}

// Options that take values other than one number, with how many arguments they take.
struct ValueOption {
    std::string_view Name;
    std::size_t Count;
    std::optional<int> (*Read)(const OptionArgs&, Options&);
};

constexpr ValueOption ValueOptions[] = {
    {"--load", 1, ReadLoad},
    {"--cw", 1, ReadCw},
    {"--short", 2, ReadShort},
    {"--fall-behind", 3, ReadFallBehind},
};

// The option of options named name, if there is one.
template <typename Option, std::size_t N>
const Option* FindOption(const Option (&options)[N], std::string_view name) {
    for (const Option& option : options) {
        if (option.Name == name) return &option;
    }
    return nullptr;
}

// Parses the arguments. Gives the exit status when the program is to end at once.
std::optional<int> ParseOptions(const std::vector<std::string_view>& args, Options& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const OptionArgs at{args, i};
        std::optional<int> status;
        if (const NumberOption* number = FindOption(NumberOptions, arg)) {
            status = ReadNumber(*number, at, options);
            i += 1;
        } else if (const ValueOption* value = FindOption(ValueOptions, arg)) {
            status = value->Read(at, options);
            i += value->Count;
        } else if (const FlagOption* flag = FindOption(FlagOptions, arg)) {
            flag->Set(options);
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return ExitOk;
        } else if (arg == "--version" || arg == "-V") {
            std::fputs(ixo::VersionText("ixo-sim").c_str(), stdout);
            return ExitOk;
        } else {
            return UsageError("unknown argument '" + std::string(arg) + "'");
        }
        if (status) return status;
    }
    return {};
}

// Fills the device's program words as a program write would leave them.
std::optional<int> LoadProgram(const std::string& path, SimDevice& device) {
    ixo::ProgramImage image;
    if (const ixo::MaybeFailure failure = ixo::LoadObjectFile(path, image)) {
        std::fprintf(stderr, "ixo-sim: %s\n", ixo::FailureMessage(*failure).c_str());
        return ExitFailure;
    }
    const auto words = ixo::ProgramAsWritten(image);
    for (int address = 0; address < ixo::MaxProgramWords; ++address) {
        device.SetWord(address, words[static_cast<std::size_t>(address)]);
    }
    return {};
}

// Time stamps of the trace count from here.
std::chrono::steady_clock::time_point TraceStart;

void TraceByte(TraceDirection direction, std::uint8_t byte) {
    const std::chrono::duration<double> since = std::chrono::steady_clock::now() - TraceStart;
    const auto event =
        direction == TraceDirection::Received ? ixo::TraceEvent::Received : ixo::TraceEvent::Sent;
    std::fprintf(stderr, "%s\n", ixo::TraceLine(since.count(), event, &byte, 1).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (const auto status = ParseOptions(args, options)) return *status;

    // Loaded while the stop signals still end the program, so that it can be stopped
    // whatever the file turns out to be. The device serves on no thread yet.
    SimDevice device;
    if (!options.LoadFile.empty()) {
        if (const auto status = LoadProgram(options.LoadFile, device)) return *status;
    }

    // The stop signals are taken by sigwait below; blocked here, before the serving
    // thread exists, so that it inherits the mask and never takes them itself. A
    // closed terminal (SIGHUP) and Ctrl+\ (SIGQUIT) stop it as cleanly, leaving no
    // stale port map entry. SIGINT, SIGHUP and SIGQUIT are left alone when ignored
    // from the start (a background job, nohup), as the starter meant.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    for (int signal : {SIGINT, SIGHUP, SIGQUIT}) {
        struct sigaction action {};
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
            sigaddset(&stopSignals, signal);
        }
    }
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A reader that went away must not end the program before it cleans up.
    std::signal(SIGPIPE, SIG_IGN);

    if (options.Cw) device.SetWord(ixo::DeviceWordCount - 1, *options.Cw);
    // Nobody here asks what it received; kept, it would grow with every exchange.
    device.KeepReceived(false);
    device.SetFaults(options.Faults);
    if (options.Trace) {
        TraceStart = std::chrono::steady_clock::now();
        device.SetTrace(TraceByte);
    }
    std::string why;
    if (!device.Start(&why) || !device.MapAsPort(options.Port, &why)) {
        std::fprintf(stderr, "ixo-sim: %s\n", why.c_str());
        return ExitFailure;
    }
    std::printf("%s %s\n", ixo::PortName(options.Port).c_str(), device.DevicePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    device.Stop();
    return ExitOk;  // the device's destructor restores the port map entry
}
