// The ixo command line parser: every form an option can take, and what is refused.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/CommandLine.h"

namespace ixo::cli {
namespace {

struct ParseCase {
    std::vector<std::string> Args;
    int Status;           // ExitUsage for a usage error, else ExitOk
    std::string Command;  // of a command to run; empty when ixo ends at once
    std::string Port;
    bool Trace;
    std::string Argument;  // or, when ixo ends at once, the start of what it shows
    std::string Output = {};
    bool Verify = true;
};

const ParseCase Cases[] = {
    // The forms of an option with a value, before and after the command.
    {{"read", "--port=2"}, ExitOk, "read", "2", false, ""},
    {{"read", "--port", "2"}, ExitOk, "read", "2", false, ""},
    {{"read", "-p2"}, ExitOk, "read", "2", false, ""},
    {{"read", "-pcom3"}, ExitOk, "read", "com3", false, ""},
    {{"read", "--port=/dev/ttyUSB0"}, ExitOk, "read", "/dev/ttyUSB0", false, ""},
    {{"-p", "2", "read"}, ExitOk, "read", "2", false, ""},
    {{"--port=3", "--trace", "verify", "f.obj"}, ExitOk, "verify", "3", true, "f.obj"},
    {{"verify", "f.obj", "--trace", "-p4"}, ExitOk, "verify", "4", true, "f.obj"},
    {{"read", "-o", "out.obj"}, ExitOk, "read", "", false, "", "out.obj"},
    {{"read", "--output=-"}, ExitOk, "read", "", false, "", "-"},
    {{"write", "--no-verify", "-"}, ExitOk, "write", "", false, "-", "", false},
    {{"select", "-p", "2", "rotary SPEAKER"}, ExitOk, "select", "2", false, "rotary SPEAKER"},
    {{"asm", "-", "-o", "a.obj"}, ExitOk, "asm", "", false, "-", "a.obj"},
    // "--" ends the options: a file name may start with a dash.
    {{"list", "--", "-p.obj"}, ExitOk, "list", "", false, "-p.obj"},
    {{"ports", "--map", "2", "/dev/ttyUSB0"}, ExitOk, "ports", "", false, ""},
    // Help and version end at once, on standard output.
    {{"--help"}, ExitOk, "", "", false, "Usage: ixo [OPTIONS] COMMAND"},
    {{"help"}, ExitOk, "", "", false, "Usage: ixo [OPTIONS] COMMAND"},
    {{"help", "write"}, ExitOk, "", "", false, "Usage: ixo write [OPTIONS] FILE"},
    {{"select", "-h"}, ExitOk, "", "", false, "Usage: ixo select [OPTIONS] NAME"},
    {{"-p", "2", "read", "--help"}, ExitOk, "", "", false, "Usage: ixo read [OPTIONS]"},
    {{"--version"}, ExitOk, "", "", false, "ixo (Ixo Loader) "},
    {{"-V"}, ExitOk, "", "", false, "ixo (Ixo Loader) "},
    // An option given twice counts as given last.
    {{"read", "--port", "1", "-p", "2", "-o", "a", "-o", "b"}, ExitOk, "read", "2", false, "", "b"},
    // Usage errors, in ixo's words, with the nearest name to a mistyped one.
    {{}, ExitUsage, "", "", false, "ixo: no command given\n"},
    {{"frobnicate"}, ExitUsage, "", "", false, "ixo: unknown command 'frobnicate'\n"},
    {{"wrte"}, ExitUsage, "", "", false, "ixo: unknown command 'wrte'; did you mean 'write'?\n"},
    {{"-p", "2", "lsit", "a.obj"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown command 'lsit'; did you mean 'list'?\n"},
    {{"help", "frobnicate"}, ExitUsage, "", "", false, "ixo: no command named 'frobnicate'\n"},
    // A control character in an argument is shown escaped: the message stays one line.
    {{"help", "COM1\n2"}, ExitUsage, "", "", false, "ixo: no command named 'COM1\\n2'\n"},
    {{"read", "-p", "COM\t\r\x7f"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: --port: not a port: 'COM\\t\\r\\x7f'\n"},
    {{"help", "verfy"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: no command named 'verfy'; did you mean 'verify'?\n"},
    {{"read", "--bogus"}, ExitUsage, "", "", false, "ixo: unknown option '--bogus' for read\n"},
    {{"read", "--trce"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown option '--trce' for read; did you mean '--trace'?\n"},
    {{"--prot=2", "read"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown option '--prot' for read; did you mean '--port'?\n"},
    {{"ports", "--al"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown option '--al' for ports; did you mean '--all'?\n"},
    {{"read", "-p"}, ExitUsage, "", "", false, "ixo: --port needs PORT\n"},
    {{"read", "-o"}, ExitUsage, "", "", false, "ixo: --output needs OUT\n"},
    {{"read", "-o", ""}, ExitUsage, "", "", false, "ixo: --output: no file name given\n"},
    {{"read", "-p", "0"}, ExitUsage, "", "", false, "ixo: --port: not a port: '0'\n"},
    {{"read", "-pCOM2x"}, ExitUsage, "", "", false, "ixo: --port: not a port: 'COM2x'\n"},
    {{"read", "extra"}, ExitUsage, "", "", false, "ixo: unexpected argument 'extra' for read\n"},
    {{"read", "write"}, ExitUsage, "", "", false, "ixo: unexpected argument 'write' for read\n"},
    {{"list"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: list needs FILE: the object or assembly file (see --format), - for standard input\n"},
    {{"list", "-x.obj"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown option '-x.obj' for list; a file name that starts with '-' goes after "
     "'--': ixo list -- -x.obj\n"},
    {{"list", "a.obj", "b.obj"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unexpected argument 'b.obj' for list\n"},
    {{"-p", "2", "list", "a.obj"}, ExitUsage, "", "", false, "ixo: list does not use a device"},
    {{"list", "--no-verify", "a.obj"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown option '--no-verify' for list\n"},
    {{"select"}, ExitUsage, "", "", false, "ixo: select needs NAME: the program to run\n"},
    {{"select", "Hall 9"}, ExitUsage, "", "", false, "ixo: NAME: no program named 'Hall 9'\n"},
    {{"select", "flanger"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: NAME: no program named 'flanger'; did you mean 'Flange'?\n"},
    {{"ports", "--map", "1"}, ExitUsage, "", "", false, "ixo: --map needs N DEVICE\n"},
    {{"ports", "--map", "1", "/a", "--map", "2", "/b"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: --map may be given only once\n"},
    {{"ports", "--all", "--map", "1", "/dev/ttyUSB0"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: --all and --map cannot be used together\n"},
    {{"ports", "--unmap", "0"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: --unmap: '0' is not a port number from 1 to 127\n"},
    // Options of other commands are refused, before the command as after it.
    {{"read", "--no-verify"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown option '--no-verify' for read"},
    {{"verify", "--output", "x.obj", "f.obj"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown option '--output' for verify"},
    {{"select", "--all", "Ext"},
     ExitUsage,
     "",
     "",
     false,
     "ixo: unknown option '--all' for select"},
    {{"ports", "-p", "1"}, ExitUsage, "", "", false, "ixo: ports does not take -p\n"},
    {{"--trace", "ports"}, ExitUsage, "", "", false, "ixo: ports does not use a device"},
    {{"-p", "2", "asm", "a.asm"}, ExitUsage, "", "", false, "ixo: asm does not use a device"},
};

TEST(ParseCommandLine, OptionForms) {
    for (const ParseCase& c : Cases) {
        std::string shown = "ixo";
        for (const std::string& arg : c.Args) shown += " " + arg;
        SCOPED_TRACE(shown);
        const ParseResult result = ParseCommandLine(c.Args);
        if (c.Command.empty()) {
            EXPECT_FALSE(result.Line.has_value());
            EXPECT_EQ(result.Status, c.Status);
            EXPECT_TRUE(result.Text.starts_with(c.Argument)) << result.Text;
            if (c.Status == ExitUsage) {
                EXPECT_TRUE(result.Text.ends_with("Try 'ixo --help' for more information.\n"));
            }
            continue;
        }
        ASSERT_TRUE(result.Line.has_value()) << result.Text;
        EXPECT_EQ(result.Line->Command, c.Command);
        EXPECT_EQ(result.Line->Port, c.Port);
        EXPECT_EQ(result.Line->Trace, c.Trace);
        EXPECT_EQ(result.Line->Argument, c.Argument);
        EXPECT_EQ(result.Line->Output, c.Output);
        EXPECT_EQ(result.Line->Verify, c.Verify);
    }
}

TEST(ParseCommandLine, SelectHelpNamesEveryProgram) {
    const std::string help = ParseCommandLine({"help", "select"}).Text;
    for (const char* name : {"\"Ext\"", "\"Hall 1\"", "\"Chorus/Room 2\"", "\"Rotary speaker\""}) {
        EXPECT_NE(help.find(name), std::string::npos) << name << " in\n" << help;
    }
}

// A command's help speaks of its own arguments: read has no FILE, its --format is
// about OUT.
TEST(ParseCommandLine, ReadHelpNamesNoFile) {
    const std::string help = ParseCommandLine({"read", "--help"}).Text;
    EXPECT_EQ(help.find("FILE"), std::string::npos) << help;
    EXPECT_NE(help.find("OUT is an assembly file"), std::string::npos) << help;
}

// The text with every run of blanks and line ends as one blank, as it reads however
// it was wrapped.
std::string Flowed(const std::string& text) {
    std::istringstream words(text);
    std::string flowed, word;
    while (words >> word) flowed += (flowed.empty() ? "" : " ") + word;
    return flowed;
}

// Help is read in an 80-column terminal: no line of any help runs past column 79,
// and "ixo --help" lists each command with its one-line summary, not its whole
// description.
TEST(ParseCommandLine, HelpFitsTheTerminalAndSummarisesEachCommand) {
    const std::string overview = ParseCommandLine({"--help"}).Text;
    std::vector<std::string> helps = {overview};
    for (const Command& command : AllCommands()) {
        EXPECT_NE(Flowed(overview).find(std::string(command.Name) + " " + command.Summary),
                  std::string::npos)
            << command.Name << " in\n"
            << overview;
        EXPECT_EQ(Flowed(overview).find(Flowed(command.Description)), std::string::npos);
        helps.push_back(ParseCommandLine({"help", command.Name}).Text);
    }
    for (const std::string& help : helps) {
        std::istringstream lines(help);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 79u) << line;
        }
    }
}

}  // namespace
}  // namespace ixo::cli
