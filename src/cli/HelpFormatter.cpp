// ixo's help texts, laid out as GNU tools lay out theirs.

#include "cli/HelpFormatter.h"

#include <CLI/CLI.hpp>

#include "cli/Command.h"

namespace ixo::cli {

namespace {

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

}  // namespace

std::shared_ptr<CLI::Formatter> MakeHelpFormatter() {
    return std::make_shared<HelpFormatter>();
}

}  // namespace ixo::cli
