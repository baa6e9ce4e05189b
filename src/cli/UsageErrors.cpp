// The words for usage errors: ixo's own, whatever the parser would have said.

#include "cli/UsageErrors.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "core/NearestName.h"

namespace ixo::cli {

namespace {

// The names of an app's options, long ones with "--", short ones with "-".
std::vector<std::string> OptionNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
        for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
    return names;
}

std::vector<std::string> CommandNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands({})) names.push_back(command->get_name());
    return names;
}

std::string DidYouMean(const std::string& nearest) {
    return nearest.empty() ? "" : "; did you mean '" + nearest + "'?";
}

// The command given on the command line, or null.
const CLI::App* ChosenCommand(const CLI::App& app) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    return chosen.empty() ? nullptr : chosen.front();
}

const CLI::Option* FindOption(const CLI::App& app, const std::string& name) {
    if (const CLI::App* command = ChosenCommand(app)) {
        if (const CLI::Option* option = command->get_option_no_throw(name)) return option;
    }
    return app.get_option_no_throw(name);
}

// The parser's message starts with the option's name and a colon.
std::string NameBeforeColon(const std::string& message) {
    return message.substr(0, message.find(':'));
}

}  // namespace

std::string SuggestName(std::string_view typed, const std::vector<std::string>& names) {
    return DidYouMean(NearestName(typed, names));
}

std::string SuggestCommand(std::string_view typed, const CLI::App& app) {
    return SuggestName(typed, CommandNames(app));
}

std::string LeftOverText(const std::string& argument, const CLI::App& app,
                         const CLI::App* command) {
    const std::string where = command != nullptr ? " for " + command->get_name() : "";
    if (argument.size() > 1 && argument[0] == '-') {
        const std::string name = argument.substr(0, argument.find('='));
        std::vector<std::string> names = OptionNames(app);
        if (command != nullptr) {
            const std::vector<std::string> own = OptionNames(*command);
            names.insert(names.end(), own.begin(), own.end());
        }
        // An option of ixo's that this command does not take, given after it.
        if (command != nullptr && std::find(names.begin(), names.end(), name) != names.end()) {
            return command->get_name() + " does not take " + name;
        }
        std::string text = "unknown option '" + name + "'" + where;
        const std::string nearest = NearestName(name, names);
        if (!nearest.empty()) return text + DidYouMean(nearest);
        // A file's name that starts with a dash: say how to give it.
        if (command != nullptr && command->get_option_no_throw("FILE") != nullptr &&
            argument[1] != '-') {
            text += "; a file name that starts with '-' goes after '--': ixo " +
                    command->get_name() + " -- " + argument;
        }
        return text;
    }
    if (command == nullptr) {
        return "unknown command '" + argument + "'" + SuggestCommand(argument, app);
    }
    return "unexpected argument '" + argument + "'" + where;
}

std::string ParseErrorText(const CLI::ParseError& error, const CLI::App& app) {
    const std::string message = error.what();
    const std::string kind = error.get_name();
    const CLI::App* command = ChosenCommand(app);
    if (kind == "RequiredError" && command != nullptr) {
        for (const CLI::Option* option : command->get_options()) {
            if (option->get_positional() && option->get_required() && option->count() == 0) {
                return command->get_name() + " needs " + option->get_name() + ": " +
                       option->get_description();
            }
        }
    }
    if (kind == "ArgumentMismatch") {
        const std::string name = NameBeforeColon(message);
        if (const CLI::Option* option = FindOption(app, name)) {
            if (option->count() > static_cast<std::size_t>(option->get_expected_max())) {
                return name + " may be given only once";
            }
            return name + " needs " + option->get_type_name();
        }
    }
    if (kind == "ExcludesError") {
        const std::size_t at = message.find(" excludes ");
        if (at != std::string::npos) {
            return message.substr(0, at) + " and " + message.substr(at + 10) +
                   " cannot be used together";
        }
    }
    return message;
}

}  // namespace ixo::cli
