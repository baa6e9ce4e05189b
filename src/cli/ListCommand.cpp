// ixo list FILE: the assembly listing of a program file on standard output.

#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/Commands.h"
#include "isa/Listing.h"

namespace ixo::cli {

void DefineList(CLI::App& command, CommandLine& line) {
    AddFileArgument(command, line);
}

int RunList(const CommandLine& line) {
    ProgramImage image;
    MaybeFailure failure;
    if (const int status = ReadProgram(line, image, &failure); status != ExitOk) return status;
    // A malformed file still lists the words before its bad line, as the window does.
    for (const std::string& text : ListingLines(image, LocaleDecimalSeparator())) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }
    return failure ? Fail(*failure) : ExitOk;
}

}  // namespace ixo::cli
