#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Failure.h"
#include "project/ProgramImage.h"

namespace CLI {
class App;
}

namespace ixo::cli {

// Exit statuses of the ixo command.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

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
// in the parser, and the function that runs it.
struct Command {
    const char* Name;
    const char* Summary;
    std::string Description;
    void (*Define)(CLI::App& command, CommandLine& line);
    int (*Run)(const CommandLine& line);
};

// The commands, in the order "ixo --help" lists them.
const std::vector<Command>& AllCommands();

// How a parse ended: a command to run, or an exit at once with a text to show
// (help or the version on standard output with ExitOk, a usage error on standard
// error with ExitUsage). Nothing is printed by the parse itself.
struct ParseResult {
    std::optional<CommandLine> Line;
    int Status = ExitOk;
    std::string Text;
};

// Parses the arguments after the program's name, GNU style: "--port=2", "--port 2",
// "-p2", "-p 2"; options before or after the command; "--" ends the options;
// "ixo help COMMAND" is "ixo COMMAND --help".
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The --format values.
inline constexpr const char* AssemblyFormat = "asm";
inline constexpr const char* ObjectFormat = "obj";

// For the device commands' Define: --port and --trace.
void AddDeviceOptions(CLI::App& command, CommandLine& line);

// For the commands' Define: the program file FILE ("-" for standard input) and
// --format.
void AddFileArgument(CLI::App& command, CommandLine& line);

// For the commands' Define: --format asm|obj, which says what the program file
// named file (FILE, OUT) is.
void AddFormatOption(CLI::App& command, CommandLine& line, const std::string& file = "FILE");

// Whether the program file path is an assembly file: --format (format) when given,
// else a name ending in ".asm" in any case.
bool IsAssemblyFile(const std::string& path, const std::string& format);

// Reads the program file FILE into image: an object file as ReadObject does, or an
// assembly file assembled. ExitOk, or ExitFailure once the reason is on standard
// error: a file that cannot be read, or the errors of an assembly file as
// FormatAsmErrors prints them, named by ShownName. A malformed object file
// leaves the words before its bad line in image; with malformed given, its failure
// is put there for the caller to report, and the result is ExitOk.
int ReadProgram(const CommandLine& line, ProgramImage& image, MaybeFailure* malformed = nullptr);

// Saves the program of image as path ("-" standard output): its listing, lines
// ended by CR LF, when IsAssemblyFile(path, format), else its object text; standard
// output as WriteStandardOutput writes it. Refused
// as CheckNotRead refuses; every program file a command writes goes through here or
// SaveObject.
MaybeFailure SaveProgram(const std::string& path, const std::string& format,
                         const ProgramImage& image);

// The decimal separator of the user's locale, which main() has set.
std::string_view LocaleDecimalSeparator();

// A program file's name in messages: path, or "<stdin>" for "-", as compilers name
// standard input.
std::string ShownName(const std::string& path);

// Reads the object file path, or standard input for "-", into image, as
// LoadObjectFile does. The file is noted as read, for CheckNotRead.
MaybeFailure ReadObject(const std::string& path, ProgramImage& image);

// Saves the object text of image as the file path, or writes it to standard output
// for "-" (WriteStandardOutput). Refused as CheckNotRead refuses.
MaybeFailure SaveObject(const std::string& path, const ProgramImage& image);

// Reads the assembly file path, or standard input for "-", whole into text, and
// notes the file as read.
MaybeFailure ReadAssembly(const std::string& path, std::string& text);

// Whether writing path ("-" standard output) would go over a file that a program was
// read from in this run (ReadObject, ReadAssembly), however named: another spelling,
// a symbolic or a hard link. CantWriteFile naming both when it would.
MaybeFailure CheckNotRead(const std::string& path);

// Whether SaveObject could save as path, looked at before there is anything to
// save: CantWriteFile, with the reason, for a file already read (CheckNotRead), a
// folder, a folder that does not exist or may not be written, and the like.
MaybeFailure CheckSaveObject(const std::string& path);

// Standard output, whose failure is said once, at the end, by FinishStandardOutput:
// WriteStandardOutput writes bytes to it, FlushStandardOutput sends what is
// buffered; each false when that failed.
bool WriteStandardOutput(std::string_view bytes);
bool FlushStandardOutput();

// The exit status of a run that ended with status, once what went to standard output
// has arrived: a failure to write it is said, with the first reason, and is a
// failure; a reader that went away (SIGPIPE, or the write failing so) gives SIGPIPE's
// status, 141, quietly.
int FinishStandardOutput(int status);

// Port numbers are signed 8-bit in the link, so no higher port can be opened.
inline constexpr int HighestPort = 127;

// N of COMN: decimal digits only, 1 to HighestPort.
bool ParsePortNumber(const std::string& text, int& port);

// Prints "ixo: message" on standard error, after what went to standard output so
// far; returns ExitFailure.
int Fail(const std::string& message);

// Prints the failure's text, and its detail where there is one, after "ixo: " on
// standard error; returns ExitFailure.
int Fail(const Failure& failure);

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
