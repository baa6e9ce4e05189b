// ixo ports: which COM ports open, and the port map that says where each one leads.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/Command.h"
#include "cli/Fail.h"
#include "cli/PortOption.h"
#include "cli/StandardStreams.h"
#include "link/PortProbe.h"
#include "operations/DeviceConnection.h"
#include "ports/PortAccess.h"
#include "ports/PortNames.h"
#include "ports/PortNumbers.h"

namespace ixo::cli {

namespace {

// The name an adapter is best mapped under: its stable name where it has one.
const std::string& MapName(const SerialPortInfo& port) {
    return port.StableName.empty() ? port.Device : port.StableName;
}

// Says on standard error why a USB adapter found has no number.
void ExplainUnnumbered(const std::vector<NumberedPort>& ports) {
    for (const NumberedPort& port : ports) {
        if (port.Number != 0 || !port.Info.IsUsb) continue;
        FlushStandardOutput();
        std::fprintf(stderr,
                     "ixo: %s (%s) has no COM number: %s; give it one with\n"
                     "  ixo ports --map N %s\n",
                     port.Info.Device.c_str(), port.Info.Description.c_str(),
                     port.Why.empty() ? "COM1 to COM8 are all taken" : port.Why.c_str(),
                     MapName(port.Info).c_str());
    }
}

int ListPorts() {
    const std::vector<NumberedPort> found = FindPorts();
    const std::vector<DescribedPort> open = OpenPorts(found);
    for (const DescribedPort& port : open) {
        std::printf("%d\t%s", port.Number, port.Target.c_str());
        if (!port.Description.empty()) std::printf("\t%s", port.Description.c_str());
        std::printf("\n");
    }
    ExplainUnnumbered(found);
    if (open.empty()) {
        Fail(std::string(NoPortOpens) +
             (found.empty() ? ", and no serial device was found"
                            : "; 'ixo ports --all' says why for each serial device"));
    }
    return ExitOk;
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
    // Map entries that lead to no device found above: a simulated device, a device
    // not plugged in, a path that was mistyped.
    const std::vector<int> mapped = MappedPorts();
    for (const int port : mapped) {
        if (FindNumbered(found, port) != nullptr) continue;
        std::string why;
        const std::string device = ResolvePort(port, &why);
        if (!device.empty()) why = WhyNotOpen(device);
        // The reason, without the path it follows, which the line shows already.
        if (const std::string prefix = PortTarget(port) + ": "; why.starts_with(prefix)) {
            why.erase(0, prefix.size());
        }
        std::printf("%d\t%s\t-\tport map entry%s%s\n", port, PortTarget(port).c_str(),
                    why.empty() ? "" : "\t", why.c_str());
    }
    ExplainUnnumbered(found);
    if (found.empty() && mapped.empty()) Fail("no serial device was found");
    return ExitOk;
}

// The port number of --map or --unmap, checked by the parser already.
int PortOf(const std::string& text) {
    int port = 0;
    ParsePortNumber(text, port);
    return port;
}

std::string CheckPort(const std::string& text) {
    int port = 0;
    if (ParsePortNumber(text, port)) return {};
    return "'" + text + "' is not a port number from 1 to " + std::to_string(HighestPort);
}

}  // namespace

void DefinePorts(CLI::App& command, CommandLine& line) {
    CLI::Option* all = command.add_flag(
        "--all", line.All,
        "list every serial device found, whether it opens or not: COM number (- for none), "
        "device, stable name (- for none), description and, when it does not open, why; then "
        "each port map entry that leads to none of them, with where it leads");
    CLI::Option* map =
        command
            .add_option("--map", line.Map,
                        "point COMN at DEVICE (for example a USB adapter, "
                        "/dev/ttyUSB0), replacing any earlier entry")
            ->type_name("N DEVICE")
            ->expected(2)
            // One port at a time, always with its device.
            ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
            ->excludes(all)
            ->check(CLI::Validator(CheckPort, "").application_index(0))
            ->check(CLI::Validator(
                        [](const std::string& device) {
                            return device.empty() ? std::string("no device given") : "";
                        },
                        "")
                        .application_index(1));
    command
        .add_option("--unmap", line.Unmap,
                    "remove the entry of COMN, so that it is /dev/ttyS<N-1> again")
        ->type_name("N")
        ->check(CheckPort)
        ->excludes(map)
        ->excludes(all);
}

int RunPorts(const CommandLine& line) {
    std::string why;
    if (!line.Unmap.empty()) {
        return UnmapPort(PortOf(line.Unmap), &why) ? ExitOk : Fail(why);
    }
    if (line.All) return ListAllPorts();
    if (line.Map.empty()) return ListPorts();

    // The entry is a symbolic link in the map folder: a relative device would be
    // taken relative to that folder, not to where the command was given.
    std::error_code error;
    const std::filesystem::path device = std::filesystem::absolute(line.Map[1], error);
    if (error) return Fail(line.Map[1] + ": " + error.message());
    if (!MapPort(PortOf(line.Map[0]), device.string(), &why)) return Fail(why);
    // Allowed, for an adapter that is not plugged in now, but worth a word: the path
    // may be mistyped.
    if (!std::filesystem::exists(device, error)) {
        std::fprintf(stderr, "ixo: %s does not exist yet; %s leads to it once it does\n",
                     device.string().c_str(), PortName(PortOf(line.Map[0])).c_str());
    }
    return ExitOk;
}

}  // namespace ixo::cli
