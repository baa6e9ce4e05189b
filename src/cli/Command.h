#pragma once

#include <string>
#include <vector>

#include "core/ExitStatus.h"

namespace CLI {
class App;
}

namespace ixo::cli {

// What the command line asks for, once parsed. "-" as a file is standard input, as
// the output of read standard output.
struct CommandLine {
    std::string Command;           // the command's name
    std::string Port;              // --port as written; empty when not given (COM1)
    bool Trace = false;            // --trace
    bool Verify = true;            // write: false with --no-verify
    std::string Output;            // read, asm: --output
    std::string Format;            // list, write, verify, read: --format, asm or obj
    std::string Argument;          // list, write, verify, asm: FILE; select: NAME
    bool All = false;              // ports: --all
    std::vector<std::string> Map;  // ports: --map N DEVICE
    std::string Unmap;             // ports: --unmap N
};

// One command: its name, a one-line summary for "ixo --help", what "ixo COMMAND
// --help" says of it, the function that adds its options and arguments to its place
// in the parser, and the function that runs it, giving the exit status.
struct Command {
    const char* Name;
    const char* Summary;
    std::string Description;
    void (*Define)(CLI::App& command, CommandLine& line);
    int (*Run)(const CommandLine& line);
};

// The commands, in the order "ixo --help" lists them.
const std::vector<Command>& AllCommands();

// The commands' entries in the table, each command in a file of its own.
void DefineList(CLI::App& command, CommandLine& line);
void DefineAsm(CLI::App& command, CommandLine& line);
void DefinePorts(CLI::App& command, CommandLine& line);
void DefineWrite(CLI::App& command, CommandLine& line);
void DefineRead(CLI::App& command, CommandLine& line);
void DefineVerify(CLI::App& command, CommandLine& line);
void DefineDeviceOnly(CLI::App& command, CommandLine& line);
void DefineSelect(CLI::App& command, CommandLine& line);

int RunList(const CommandLine& line);
int RunAsm(const CommandLine& line);
int RunPorts(const CommandLine& line);
int RunWrite(const CommandLine& line);
int RunRead(const CommandLine& line);
int RunVerify(const CommandLine& line);
int RunEnable(const CommandLine& line);
int RunDisable(const CommandLine& line);
int RunSelect(const CommandLine& line);

}  // namespace ixo::cli
