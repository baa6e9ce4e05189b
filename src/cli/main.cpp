// ixo: the command-line companion of Ixo Loader, for scripts and production use.

#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "link/StopSignals.h"

namespace ixo::cli {

const std::vector<Command>& AllCommands() {
    static const std::vector<Command> commands = {
        {"list", "print the assembly listing of an object file", RunList},
        {"ports", "list the COM ports that open; map a port to a device", RunPorts},
        {"write", "write the program of an object file into the device", RunWrite},
        {"read", "read the device's program and CW word", RunRead},
        {"verify", "compare the device with the program of an object file", RunVerify},
        {"enable", "enable programming (the device runs the loaded program)", RunEnable},
        {"disable", "disable programming", RunDisable},
        {"select", "choose the program the device runs", RunSelect},
    };
    return commands;
}

int UsageError(const std::string& command, const std::string& message) {
    const std::string name = command.empty() ? "ixo" : "ixo " + command;
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", name.c_str(),
                 message.c_str(), name.c_str());
    return ExitUsage;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") return true;
    }
    return false;
}

bool ParsePortNumber(const std::string& text, int& port) {
    if (text.empty() || text.size() > 3) return false;
    port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= HighestPort;
}

namespace {

void PrintHelp() {
    std::printf(
        "Usage: ixo COMMAND [ARGUMENTS]\n\n"
        "Works with IXO effect programs and devices from the command line.\n\n"
        "Commands:\n");
    for (const Command& command : AllCommands()) {
        std::printf("  %-10s %s\n", command.Name, command.Summary);
    }
    std::printf(
        "\nThe device commands use the port given by --port: a COM number (2), COM2\n"
        "(any case), or a device path (/dev/ttyUSB0). Without --port, IXO_PORT from\n"
        "the environment gives it, in the same forms; without either, COM1.\n"
        "\n'ixo COMMAND --help' explains one command.\n");
}

}  // namespace

}  // namespace ixo::cli

int main(int argc, char** argv) {
    using namespace ixo::cli;
    // Numbers are written with the user's decimal separator.
    std::setlocale(LC_ALL, "");
    // A file size limit must make a write fail, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    // Interrupted, a command ends its waits, closes its port (so that no exclusive
    // mark stays on it) and exits with 128 + the signal's number, as the shell would
    // show an ending by that signal.
    ixo::CatchStopSignals();

    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return UsageError("", "no command given");
    if (args[0] == "--help" || args[0] == "-h") {
        PrintHelp();
        return ExitOk;
    }
    for (const Command& command : AllCommands()) {
        if (args[0] == command.Name) {
            const int status = command.Run(std::vector<std::string>(args.begin() + 1, args.end()));
            if (const int signal = ixo::StopSignal()) {
                std::fprintf(stderr, "ixo %s: stopped by signal %d\n", command.Name, signal);
                return 128 + signal;
            }
            return status;
        }
    }
    return UsageError("", "unknown command '" + args[0] + "'");
}
