// ixo asm FILE: an assembly file assembled into an object file.

#include <CLI/CLI.hpp>

#include "cli/Command.h"
#include "cli/Fail.h"
#include "cli/ProgramFile.h"
#include "cli/SharedOptions.h"
#include "cli/StandardStreams.h"
#include "project/ProjectFiles.h"

namespace ixo::cli {

void DefineAsm(CLI::App& command, CommandLine& line) {
    command.add_option("FILE", line.Argument, "the assembly file, - for standard input")
        ->required();
    AddOutputOption(command, line,
                    "save the object file as OUT (- for standard output); the default is FILE "
                    "with the extension .obj, or standard output for standard input");
}

int RunAsm(const CommandLine& line) {
    std::string output = line.Output;
    if (output.empty() && line.Argument == StandardName) output = StandardName;
    if (output.empty()) {
        output = ReplaceFileExt(line.Argument, ".obj");
        // A source that is itself named .obj is not replaced by its own object text.
        if (output == line.Argument) {
            return Fail(line.Argument + ": the object file would replace it; name one with -o");
        }
    }
    ProgramImage image;
    if (const int status = AssembleFile(line.Argument, image); status != ExitOk) {
        return status;
    }
    const MaybeFailure failure = SaveObject(output, image);
    return failure ? Fail(*failure) : ExitOk;
}

}  // namespace ixo::cli
