#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Command.h"

namespace ixo::cli {

// How a parse ended: a command to run, or an exit at once with a text to show
// (help or the version on standard output with ExitOk, a usage error on standard
// error with ExitUsage). Nothing is printed by the parse itself.
struct ParseResult {
    std::optional<CommandLine> Line{};
    int Status = ExitOk;
    std::string Text{};
};

// Parses the arguments after the program's name, GNU style: "--port=2", "--port 2",
// "-p2", "-p 2"; options before or after the command; "--" ends the options;
// "ixo help COMMAND" is "ixo COMMAND --help".
ParseResult ParseCommandLine(const std::vector<std::string>& args);

}  // namespace ixo::cli
