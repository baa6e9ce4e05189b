// ixo list FILE: the assembly listing of a program file on standard output, or saved
// as a listing file with -o.

#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/Command.h"
#include "cli/Fail.h"
#include "cli/ProgramFile.h"
#include "cli/SharedOptions.h"
#include "isa/Listing.h"
#include "project/ProjectFiles.h"

namespace ixo::cli {

void DefineList(CLI::App& command, CommandLine& line) {
    AddFileArgument(command, line);
    AddOutputOption(command, line,
                    "save the listing as OUT instead, each line ended by CR LF as the window "
                    "saves a listing (- for standard output)");
}

int RunList(const CommandLine& line) {
    ProgramImage image;
    MaybeFailure failure;
    if (const int status = ReadProgramFile(line, image, &failure); status != ExitOk) return status;
    // A malformed file still lists the words it gave, as the window does.
    if (!line.Output.empty()) {
        if (const MaybeFailure saved = SaveProgram(line.Output, AssemblyFormat, image)) {
            return Fail(*saved);
        }
        return failure ? Fail(*failure) : ExitOk;
    }
    for (const std::string& text : ListingLines(ProgramWords(image), LocaleDecimalSeparator())) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }
    return failure ? Fail(*failure) : ExitOk;
}

}  // namespace ixo::cli
