#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace ixo::cli {

// What the parser refused, in ixo's words (the message after "ixo: "). app is the
// whole command line; the command given, if any, is found in it.
std::string ParseErrorText(const CLI::ParseError& error, const CLI::App& app);

// What is wrong with an argument that nothing took: an unknown command or option,
// with the nearest one it may have meant, or an argument too many. command is the
// command it followed, or null before any.
std::string LeftOverText(const std::string& argument, const CLI::App& app, const CLI::App* command);

// "; did you mean 'Hall 1'?" with the name of names that typed most likely meant, or
// empty.
std::string SuggestName(std::string_view typed, const std::vector<std::string>& names);

// "; did you mean 'write'?" with the command of app nearest to typed, or empty.
std::string SuggestCommand(std::string_view typed, const CLI::App& app);

}  // namespace ixo::cli
