// The ixo command line: the commands, and the one parser (CLI11) that reads them.

#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/Commands.h"
#include "cli/PortOption.h"
#include "cli/UsageErrors.h"
#include "core/ShownText.h"
#include "core/StopSignals.h"
#include "core/Version.h"
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

const char* const ExitStatusText =
    "Exit status: 0 success, 1 failure, 2 usage error, 128 + N when signal N (SIGINT,\n"
    "SIGTERM, SIGHUP) stopped the command; it closes the port first.";

// Breaks text into lines of at most 79 columns at blanks, never inside double
// quotes (a program's name stays whole); lines after the first start with indent
// blanks.
std::string Wrap(const std::string& text, std::size_t indent = 0, std::size_t firstColumn = 0) {
    std::string out;
    std::size_t column = firstColumn;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t wordEnd = pos;
        for (bool quoted = false; wordEnd < text.size() && (quoted || text[wordEnd] != ' ');
             ++wordEnd) {
            if (text[wordEnd] == '"') quoted = !quoted;
        }
        const std::size_t length = wordEnd - pos;
        if (column > indent && column + 1 + length > 79) {
            out += '\n' + std::string(indent, ' ');
            column = indent;
        } else if (!out.empty() || column > indent) {
            out += ' ';
            ++column;
        }
        out.append(text, pos, length);
        column += length;
        pos = wordEnd + 1;
    }
    return out;
}

// Help as GNU tools write it: usage, what the command does, then its arguments,
// options and commands, each with its explanation from column 25.
class HelpFormatter : public CLI::Formatter {
public:
    static constexpr std::size_t Column = 24;

    HelpFormatter() {
        label("OPTIONS", "OPTIONS");
        label("SUBCOMMAND", "COMMAND");
        label("Positionals", "Arguments");
    }

    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        std::string text = make_usage(app, name);
        // A command is needed, though the parser leaves the check to ParseCommandLine.
        if (const std::size_t at = text.find("[COMMAND]"); at != std::string::npos) {
            text.replace(at, 9, "COMMAND");
        }
        if (!app->get_description().empty()) text += "\n" + Wrap(app->get_description()) + "\n";
        text += make_positionals(app);
        text += make_groups(app, mode);
        text += make_subcommands(app, mode);
        if (!app->get_footer().empty()) text += "\n" + app->get_footer() + "\n";
        return text;
    }

    std::string make_option(const CLI::Option* option, bool isPositional) const override {
        std::string names = option->get_name();
        if (!isPositional) {
            names.clear();
            for (const std::string& name : option->get_snames()) names += "-" + name + ", ";
            for (const std::string& name : option->get_lnames()) names += "--" + name + ", ";
            names.resize(names.size() - 2);
            if (option->get_type_size() != 0) names += " " + option->get_type_name();
        }
        return Entry(names, option->get_description());
    }

    std::string make_subcommand(const CLI::App* command) const override {
        std::string summary = command->get_description();
        for (const Command& each : AllCommands()) {
            if (command->get_name() == each.Name) summary = each.Summary;
        }
        return Entry(command->get_name(), summary);
    }

private:
    static std::string Entry(const std::string& left, const std::string& text) {
        std::string entry = "  " + left;
        if (entry.size() + 2 > Column) {
            entry += "\n" + std::string(Column, ' ');
        } else {
            entry.resize(Column, ' ');
        }
        return entry + Wrap(text, Column, Column) + "\n";
    }
};

// The parse error's message, as ixo words usage errors: on one line, whatever the
// arguments it quotes hold.
std::string UsageText(const std::string& message) {
    return "ixo: " + EscapeControls(message) + "\nTry 'ixo --help' for more information.\n";
}

// What is wrong with the first argument that nothing took, if there is one.
std::optional<std::string> LeftOver(const CLI::App& app) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    const CLI::App* command = chosen.empty() ? nullptr : chosen.front();
    std::vector<std::string> extra = app.remaining(true);
    // "--" ends the options; it is no argument of its own.
    std::erase(extra, "--");
    if (extra.empty()) return std::nullopt;
    return LeftOverText(extra.front(), app, command);
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

bool ParsePortNumber(const std::string& text, int& port) {
    if (text.empty() || text.size() > 3) return false;
    port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= HighestPort;
}

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

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    CLI::App app("Works with IXO effect programs and devices from the command line.", "ixo");
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "show this help");
    app.set_version_flag("-V,--version", VersionText("ixo"), "show the version and exit");
    app.footer("'ixo COMMAND --help' or 'ixo help COMMAND' explains one command.\n" +
               std::string(ExitStatusText));
    app.require_subcommand(0, 1);
    // As GNU tools take an option given twice: the last one counts.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // Whatever no command takes stays over, to be named in ixo's words below.
    app.allow_extras();
    // The device options may also come before the command.
    AddDeviceOptions(app, line);

    std::string topic;
    CLI::App* help = app.add_subcommand("help", "explain a command, or list them");
    help->group("Commands");
    help->add_option("COMMAND", topic, "the command to explain");
    for (const Command& command : AllCommands()) {
        CLI::App* sub = app.add_subcommand(command.Name, command.Description);
        sub->group("Commands");
        sub->footer(ExitStatusText);
        sub->set_help_flag("-h,--help", "show this help");
        command.Define(*sub, line);
    }

    ParseResult result;
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.Text = app.help();
        return result;
    } catch (const CLI::CallForVersion& version) {
        result.Text = version.what();
        return result;
    } catch (const CLI::ParseError& error) {
        // An argument nothing took explains the rest: "list -x.obj" lacks its FILE
        // because -x.obj is taken for an option.
        result.Status = ExitUsage;
        result.Text = UsageText(LeftOver(app).value_or(ParseErrorText(error, app)));
        return result;
    }

    if (const std::optional<std::string> leftOver = LeftOver(app)) {
        result.Status = ExitUsage;
        result.Text = UsageText(*leftOver);
        return result;
    }
    if (app.get_subcommands().empty()) {
        result.Status = ExitUsage;
        result.Text = UsageText("no command given");
        return result;
    }
    CLI::App* chosen = app.get_subcommands().front();
    if (chosen == help) {
        if (topic.empty()) {
            result.Text = app.get_formatter()->make_help(&app, "ixo", CLI::AppFormatMode::Normal);
            return result;
        }
        try {
            result.Text = app.get_subcommand(topic)->help("ixo");
        } catch (const CLI::Error&) {
            result.Status = ExitUsage;
            result.Text =
                UsageText("no command named '" + topic + "'" + SuggestCommand(topic, app));
        }
        return result;
    }
    line.Command = chosen->get_name();
    // Only device commands take the device options given before the command.
    if ((!line.Port.empty() || line.Trace) && chosen->get_option_no_throw("--port") == nullptr) {
        result.Status = ExitUsage;
        result.Text = UsageText(line.Command + " does not use a device: no --port or --trace");
        return result;
    }
    // Without --port, IXO_PORT from the environment names the port, if it is set.
    std::string why;
    if (line.Port.empty() && chosen->get_option_no_throw("--port") != nullptr &&
        !DefaultPort(why)) {
        result.Status = ExitUsage;
        result.Text = UsageText(why);
        return result;
    }
    result.Line = line;
    return result;
}

int Fail(const std::string& message) {
    FlushStandardOutput();
    // One line, whatever the file names or other arguments it quotes hold.
    std::fprintf(stderr, "ixo: %s\n", EscapeControls(message).c_str());
    return ExitFailure;
}

int Fail(const Failure& failure) {
    // After a stop signal the command ends because of it; main says so.
    if (ixo::StopSignal() != 0) return ExitFailure;
    // What is wrong in an object file is placed as compilers place an error: file,
    // line, why.
    if (failure.Kind == FailureKind::TextLeftOut || failure.Kind == FailureKind::BadObjectLine) {
        const std::string place = failure.Path + ":" + std::to_string(failure.Line) + ": ";
        FlushStandardOutput();
        std::fprintf(stderr, "%s\n", EscapeControls(place + failure.Why).c_str());
        return ExitFailure;
    }
    const std::string detail = FailureDetail(failure);
    return Fail(detail.empty() ? FailureText(failure) : FailureText(failure) + ": " + detail);
}

}  // namespace ixo::cli
