// The options and arguments that several commands take.

#include "cli/SharedOptions.h"

#include <CLI/CLI.hpp>

#include "cli/PortOption.h"
#include "cli/ProgramFile.h"

namespace ixo::cli {

void AddDeviceOptions(CLI::App& command, CommandLine& line) {
    command
        .add_option_function<std::string>(
            "-p,--port", [&line](const std::string& text) { line.Port = text; },
            "use PORT: a COM number (2), COM2 (any case), or a device path (/dev/ttyUSB0, "
            "/dev/serial/by-id/...); the default is IXO_PORT from the environment, else COM1")
        ->type_name("PORT")
        ->check([](const std::string& text) {
            return ParsePortOption(text) ? std::string() : "not a port: '" + text + "'";
        });
    command.add_flag(
        "--trace", line.Trace,
        "print every byte sent and received, every purge and time-out, with the time, on "
        "standard error");
}

void AddFileArgument(CLI::App& command, CommandLine& line) {
    command
        .add_option("FILE", line.Argument,
                    "the object or assembly file (see --format), - for standard input")
        ->required();
    AddFormatOption(command, line);
}

CLI::Option* AddOutputOption(CLI::App& command, CommandLine& line, const std::string& explanation) {
    return command.add_option("-o,--output", line.Output, explanation)->type_name("OUT");
}

void AddFormatOption(CLI::App& command, CommandLine& line, const std::string& file) {
    command
        .add_option("--format", line.Format,
                    file +
                        " is an assembly file (asm) or an object file (obj); without it, a name "
                        "ending in .asm (any case) is assembly and any other an object file")
        ->type_name("asm|obj")
        ->check([](const std::string& text) {
            return text == AssemblyFormat || text == ObjectFormat
                       ? std::string()
                       : "not a format: '" + text + "' (asm or obj)";
        });
}
}  // namespace ixo::cli
