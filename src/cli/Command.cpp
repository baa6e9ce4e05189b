// The command table: each command's name, summary, description and functions.

#include "cli/Command.h"

#include "device/DeviceCommands.h"

namespace ixo::cli {

namespace {

std::string SelectDescription() {
    std::string text = "Makes the device run a program: NAME is one of";
    const auto& choices = ProgramChoices();
    for (std::size_t i = 0; i < choices.size(); ++i) {
        text += i == 0 ? " \"" : i + 1 == choices.size() ? " or \"" : ", \"";
        text += choices[i];
        text += '"';
        if (i == 0) text += " (the loaded program)";
    }
    text +=
        " (any case), or its index 0 to " + std::to_string(choices.size() - 1) + " in that list.";
    return text;
}

}  // namespace

const std::vector<Command>& AllCommands() {
    static const std::vector<Command> commands = {
        {"list", "print the assembly listing of an object file",
         "Prints the assembly listing of the object file FILE on standard output: the four LFO "
         "set-up words, a line \";\", then the instructions, one line per word, columns "
         "separated by tabs. FILE is used as given; no extension is added or replaced. "
         "Coefficients are written with the decimal separator of the current locale. With -o, "
         "the listing is saved as a file instead, as the window's Save listing does. A file "
         "with a malformed line: the words before it are listed, the line is reported on "
         "standard error as FILE:LINE: why, and the exit status is 1.",
         DefineList, RunList},
        {"asm", "assemble an assembly file into an object file",
         "Assembles the assembly file FILE, a listing as list prints it and the window saves "
         "it, edited or typed, into the object file OUT. Each error is reported on standard "
         "error as compilers report them, FILE:LINE:COLUMN: error: MESSAGE (<stdin> for standard "
         "input; COLUMN counts tab stops every 8 columns), then the line with a caret under the "
         "column; and then nothing is written.",
         DefineAsm, RunAsm},
        {"ports", "list the COM ports that open; map a port to a device",
         "Without options, tries COM1 to COM8 as the port dialog does (opens each at 9600 "
         "bit/s and closes it again) and prints a line for each port that opens: its number, "
         "a tab, the device it leads to and, where the system describes the device, a tab and "
         "its description. A port in use by another program does not open and is not listed. "
         "When nothing is listed, says why on standard error. COMn is the entry comn of the "
         "port map in ${XDG_CONFIG_HOME:-$HOME/.config}/ixo-loader/ports/ when there is one, "
         "else /dev/ttyS<n-1>. A USB serial adapter without an entry is given the lowest "
         "number that no serial port and no entry uses, and that number is entered in the "
         "map under the adapter's /dev/serial/by-id/ name, so that it keeps it.",
         DefinePorts, RunPorts},
        {"write", "write the program of an object file into the device",
         "Writes the program of the object file FILE into the device; the words after the "
         "program up to address 127 are filled with NOP. Then reads the device back and "
         "compares, as verify does, unless --no-verify is given.",
         DefineWrite, RunWrite},
        {"read", "read the device's program and CW word",
         "Reads the device's 128 program words and its CW word, and prints CW=XXXXXXXX.",
         DefineRead, RunRead},
        {"verify", "compare the device with the program of an object file",
         "Compares the device with the program of the object file FILE as a write sends it "
         "(the program, then NOP up to address 127). Prints \"Verify OK\", or \"Verify fail\" "
         "and, for each differing address, the program's and the device's word.",
         DefineVerify, RunVerify},
        {"enable", "enable programming (the device runs the loaded program)",
         "Enables programming: the device runs the loaded program.", DefineDeviceOnly, RunEnable},
        {"disable", "disable programming", "Disables programming.", DefineDeviceOnly, RunDisable},
        {"select", "choose the program the device runs", SelectDescription(), DefineSelect,
         RunSelect},
    };
    return commands;
}

}  // namespace ixo::cli
