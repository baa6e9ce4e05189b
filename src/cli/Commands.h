#pragma once

#include <string>
#include <vector>

namespace ixo::cli {

// Exit statuses of the ixo command.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// One sub-command: its name, a one-line summary for "ixo --help", and the function
// that runs it with the arguments after its name.
struct Command {
    const char* Name;
    const char* Summary;
    int (*Run)(const std::vector<std::string>& args);
};

// The sub-commands, in the order "ixo --help" lists them.
const std::vector<Command>& AllCommands();

// Prints "ixo: message" and a pointer to the help on standard error; returns ExitUsage.
int UsageError(const std::string& command, const std::string& message);

// True when args ask for help ("--help" or "-h" anywhere).
bool WantsHelp(const std::vector<std::string>& args);

// Port numbers are signed 8-bit in the link, so no higher port can be opened.
inline constexpr int HighestPort = 127;

// N of COMN: decimal digits only, 1 to HighestPort.
bool ParsePortNumber(const std::string& text, int& port);

int RunList(const std::vector<std::string>& args);
int RunPorts(const std::vector<std::string>& args);
int RunWrite(const std::vector<std::string>& args);
int RunRead(const std::vector<std::string>& args);
int RunVerify(const std::vector<std::string>& args);
int RunEnable(const std::vector<std::string>& args);
int RunDisable(const std::vector<std::string>& args);
int RunSelect(const std::vector<std::string>& args);

}  // namespace ixo::cli
