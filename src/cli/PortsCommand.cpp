// ixo ports: which COM ports open, and the port map that says where each one leads.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/Commands.h"
#include "link/PortNames.h"
#include "link/PortProbe.h"

namespace ixo::cli {

namespace {

void PrintPortsHelp() {
    std::printf(
        "Usage: ixo ports\n"
        "       ixo ports --map N DEVICE\n"
        "       ixo ports --unmap N\n\n"
        "Without options, tries COM1 to COM8 as the port dialog does (opens each at\n"
        "9600 bit/s and closes it again) and prints a line for each port that opens:\n"
        "its number, a tab, and the device it leads to. A port in use by another\n"
        "program does not open and is not listed.\n\n"
        "COMn is the entry comn of the port map in\n"
        "${XDG_CONFIG_HOME:-$HOME/.config}/ixo-loader/ports/ when there is one,\n"
        "else /dev/ttyS<n-1>.\n\n"
        "  --map N DEVICE  point COMN at DEVICE (for example a USB adapter,\n"
        "                  /dev/ttyUSB0), replacing any earlier entry\n"
        "  --unmap N       remove the entry of COMN, so that it is /dev/ttyS<N-1> again\n\n"
        "Exit status: 0 success, 1 the port map cannot be changed, 2 usage error.\n");
}

int ListPorts() {
    for (const int port : ProbePorts()) {
        std::printf("%d\t%s\n", port, PortTarget(port).c_str());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ixo ports: can't write standard output: %s\n", std::strerror(errno));
        return ExitFailure;
    }
    return ExitOk;
}

int Failed(const std::string& why) {
    std::fprintf(stderr, "ixo ports: %s\n", why.c_str());
    return ExitFailure;
}

}  // namespace

int RunPorts(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        PrintPortsHelp();
        return ExitOk;
    }
    if (args.empty()) return ListPorts();

    const std::string& option = args[0];
    const std::size_t wanted = option == "--map" ? 3 : option == "--unmap" ? 2 : 0;
    if (wanted == 0) {
        return UsageError(
            "ports",
            (option[0] == '-' ? "unknown option '" : "unexpected argument '") + option + "'");
    }
    if (args.size() != wanted) {
        return UsageError("ports", option == "--map" ? "--map takes a port number and a device"
                                                     : "--unmap takes a port number");
    }
    int port = 0;
    if (!ParsePortNumber(args[1], port)) {
        return UsageError("ports", "'" + args[1] + "' is not a port number from 1 to " +
                                       std::to_string(HighestPort));
    }
    std::string why;
    if (option == "--unmap") return UnmapPort(port, &why) ? ExitOk : Failed(why);

    if (args[2].empty()) return UsageError("ports", "no device given");
    // The entry is a symbolic link in the map folder: a relative device would be
    // taken relative to that folder, not to where the command was given.
    std::error_code error;
    const std::filesystem::path device = std::filesystem::absolute(args[2], error);
    if (error) return Failed(args[2] + ": " + error.message());
    return MapPort(port, device.string(), &why) ? ExitOk : Failed(why);
}

}  // namespace ixo::cli
