// ixo ports: which COM ports open, and the port map that says where each one leads.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/Commands.h"
#include "link/PortAccess.h"
#include "link/PortNames.h"
#include "link/PortNumbers.h"
#include "link/PortProbe.h"

namespace ixo::cli {

namespace {

void PrintPortsHelp() {
    std::printf(
        "Usage: ixo ports [--all]\n"
        "       ixo ports --map N DEVICE\n"
        "       ixo ports --unmap N\n\n"
        "Without options, tries COM1 to COM8 as the port dialog does (opens each at\n"
        "9600 bit/s and closes it again) and prints a line for each port that opens:\n"
        "its number, a tab, the device it leads to and, where the system describes\n"
        "the device, a tab and its description. A port in use by another program\n"
        "does not open and is not listed. When nothing is listed, says why on\n"
        "standard error.\n\n"
        "COMn is the entry comn of the port map in\n"
        "${XDG_CONFIG_HOME:-$HOME/.config}/ixo-loader/ports/ when there is one,\n"
        "else /dev/ttyS<n-1>. A USB serial adapter without an entry is given the\n"
        "lowest number that no serial port and no entry uses, and that number is\n"
        "entered in the map under the adapter's /dev/serial/by-id/ name, so that\n"
        "it keeps it.\n\n"
        "  --all           list every serial device found, whether it opens or not:\n"
        "                  COM number (- for none), device, stable name (- for\n"
        "                  none), description and, when it does not open, why\n"
        "  --map N DEVICE  point COMN at DEVICE (for example a USB adapter,\n"
        "                  /dev/ttyUSB0), replacing any earlier entry\n"
        "  --unmap N       remove the entry of COMN, so that it is /dev/ttyS<N-1> again\n\n"
        "Exit status: 0 success, 1 the port map cannot be changed, 2 usage error.\n");
}

bool Flushed() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    std::fprintf(stderr, "ixo ports: can't write standard output: %s\n", std::strerror(errno));
    return false;
}

// The name an adapter is best mapped under: its stable name where it has one.
const std::string& MapName(const SerialPortInfo& port) {
    return port.StableName.empty() ? port.Device : port.StableName;
}

// Says on standard error why a USB adapter found has no number.
void ExplainUnnumbered(const std::vector<NumberedPort>& ports) {
    for (const NumberedPort& port : ports) {
        if (port.Number != 0 || !port.Info.IsUsb) continue;
        std::fprintf(stderr,
                     "ixo ports: %s (%s) has no COM number: %s; give it one with\n"
                     "  ixo ports --map N %s\n",
                     port.Info.Device.c_str(), port.Info.Description.c_str(),
                     port.Why.empty() ? "COM1 to COM8 are all taken" : port.Why.c_str(),
                     MapName(port.Info).c_str());
    }
}

int ListPorts() {
    const std::vector<NumberedPort> found = FindPorts();
    const std::vector<int> open = ProbePorts();
    for (const int port : open) {
        const NumberedPort* known = FindNumbered(found, port);
        std::printf("%d\t%s", port, PortTarget(port).c_str());
        if (known != nullptr && !known->Info.Description.empty()) {
            std::printf("\t%s", known->Info.Description.c_str());
        }
        std::printf("\n");
    }
    ExplainUnnumbered(found);
    if (open.empty()) {
        std::fprintf(stderr, found.empty()
                                 ? "ixo ports: no port from COM1 to COM8 opens, and no serial "
                                   "device was found\n"
                                 : "ixo ports: no port from COM1 to COM8 opens; 'ixo ports --all' "
                                   "says why for each serial device\n");
    }
    return Flushed() ? ExitOk : ExitFailure;
}

int ListAllPorts() {
    const std::vector<NumberedPort> found = FindPorts();
    for (const NumberedPort& port : found) {
        const SerialPortInfo& info = port.Info;
        const std::string number = port.Number != 0 ? std::to_string(port.Number) : "-";
        std::printf("%s\t%s\t%s\t%s", number.c_str(), info.Device.c_str(),
                    info.StableName.empty() ? "-" : info.StableName.c_str(),
                    info.Description.c_str());
        const std::string why = WhyNotOpen(info.Device);
        if (!why.empty()) {
            const std::string hint = PermissionHint(info.Device);
            std::printf("\t%s%s%s", why.c_str(), hint.empty() ? "" : ": ", hint.c_str());
        }
        std::printf("\n");
    }
    ExplainUnnumbered(found);
    if (found.empty()) std::fprintf(stderr, "ixo ports: no serial device was found\n");
    return Flushed() ? ExitOk : ExitFailure;
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
    if (args[0] == "--all") {
        return args.size() == 1 ? ListAllPorts() : UsageError("ports", "--all takes no arguments");
    }

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
