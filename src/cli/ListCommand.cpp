// ixo list FILE: the assembly listing of an object file on standard output.

#include <CLI/CLI.hpp>

#include <clocale>
#include <cstdio>
#include <string_view>

#include "cli/Commands.h"
#include "isa/Listing.h"
#include "project/ProjectFiles.h"

namespace ixo::cli {

namespace {

// The separator the user's locale writes numbers with; main() has set the locale.
std::string_view LocaleDecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr ||
        *conventions->decimal_point == '\0') {
        return ".";
    }
    return conventions->decimal_point;
}

}  // namespace

void DefineList(CLI::App& command, CommandLine& line) {
    AddFileArgument(command, line);
}

int RunList(const CommandLine& line) {
    ProgramImage image;
    const MaybeFailure failure = ReadObject(line.Argument, image);
    if (failure && !LoadedInPart(*failure)) return Fail(*failure);
    // A malformed file still lists the words it gave, as the window does.
    for (const std::string& text : ListingLines(image, LocaleDecimalSeparator())) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }
    return failure ? Fail(*failure) : ExitOk;
}

}  // namespace ixo::cli
