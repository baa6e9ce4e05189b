#pragma once

#include <string>

#include "cli/Command.h"

// The options and arguments that several commands take, for their Define.

namespace CLI {
class Option;
}

namespace ixo::cli {

// --port and --trace.
void AddDeviceOptions(CLI::App& command, CommandLine& line);

// The program file FILE ("-" for standard input) and --format.
void AddFileArgument(CLI::App& command, CommandLine& line);

// -o, --output OUT, explained by explanation; more checks may be added to it.
CLI::Option* AddOutputOption(CLI::App& command, CommandLine& line, const std::string& explanation);

// --format asm|obj, which says what the program file named file (FILE, OUT) is.
void AddFormatOption(CLI::App& command, CommandLine& line, const std::string& file = "FILE");

}  // namespace ixo::cli
