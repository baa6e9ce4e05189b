// The ixo command line: the one parser (CLI11) that reads the commands, built from
// the command table, and what its outcome means.

#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include "cli/HelpFormatter.h"
#include "cli/PortOption.h"
#include "cli/SharedOptions.h"
#include "cli/UsageErrors.h"
#include "core/ShownText.h"
#include "core/Version.h"

namespace ixo::cli {

namespace {

const char* const ExitStatusText =
    "Exit status: 0 success, 1 failure, 2 usage error, 128 + N when signal N\n"
    "(SIGINT, SIGTERM, SIGHUP) stopped the command; it closes the port first.";

// The parse error's message, as ixo words usage errors: on one line, whatever the
// arguments it quotes hold.
std::string UsageText(const std::string& message) {
    return "ixo: " + EscapeControls(message) + "\nTry 'ixo --help' for more information.\n";
}

ParseResult UsageError(const std::string& message) {
    return {.Line = std::nullopt, .Status = ExitUsage, .Text = UsageText(message)};
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

// The parser: ixo's own options and every command of the table, each filling line;
// "ixo help [COMMAND]" fills topic. Gives the help command.
CLI::App* DefineParser(CLI::App& app, CommandLine& line, std::string& topic) {
    app.formatter(MakeHelpFormatter());
    app.set_help_flag("-h,--help", "show this help");
    app.set_version_flag("-V,--version", VersionText("ixo"), "show the version and exit");
    app.footer("'ixo COMMAND --help' or 'ixo help COMMAND' explains one command.\n" +
               std::string(ExitStatusText));
    app.require_subcommand(0, 1);
    // As GNU tools take an option given twice: the last one counts.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // Whatever no command takes stays over, to be named in ixo's words.
    app.allow_extras();
    // The device options may also come before the command.
    AddDeviceOptions(app, line);

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
    return help;
}

// "ixo help" and "ixo help COMMAND".
ParseResult HelpOn(const CLI::App& app, const std::string& topic) {
    if (topic.empty()) {
        return {.Text = app.get_formatter()->make_help(&app, "ixo", CLI::AppFormatMode::Normal)};
    }
    try {
        return {.Text = app.get_subcommand(topic)->help("ixo")};
    } catch (const CLI::Error&) {
        return UsageError("no command named '" + topic + "'" + SuggestCommand(topic, app));
    }
}

// What a command line that parsed asks for: a command, with line filled for it, or
// help, or a usage error the parser let through.
ParseResult Interpret(const CLI::App& app, const CLI::App* help, const std::string& topic,
                      const CommandLine& parsed) {
    if (const std::optional<std::string> leftOver = LeftOver(app)) return UsageError(*leftOver);
    if (app.get_subcommands().empty()) return UsageError("no command given");
    const CLI::App* chosen = app.get_subcommands().front();
    if (chosen == help) return HelpOn(app, topic);

    CommandLine line = parsed;
    line.Command = chosen->get_name();
    const bool usesDevice = chosen->get_option_no_throw("--port") != nullptr;
    // Only device commands take the device options given before the command.
    if ((!line.Port.empty() || line.Trace) && !usesDevice) {
        return UsageError(line.Command + " does not use a device: no --port or --trace");
    }
    // Without --port, IXO_PORT from the environment names the port, if it is set.
    std::string why;
    if (line.Port.empty() && usesDevice && !DefaultPort(why)) return UsageError(why);
    return {.Line = line};
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    std::string topic;
    CLI::App app("Works with IXO effect programs and devices from the command line.", "ixo");
    const CLI::App* help = DefineParser(app, line, topic);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return {.Text = app.help()};
    } catch (const CLI::CallForVersion& version) {
        return {.Text = version.what()};
    } catch (const CLI::ParseError& error) {
        // An argument nothing took explains the rest: "list -x.obj" lacks its FILE
        // because -x.obj is taken for an option.
        return UsageError(LeftOver(app).value_or(ParseErrorText(error, app)));
    }
    return Interpret(app, help, topic, line);
}

}  // namespace ixo::cli
