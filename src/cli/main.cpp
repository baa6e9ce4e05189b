// ixo: the command-line companion of Ixo Loader, for scripts and production use.

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Fail.h"
#include "cli/StandardStreams.h"
#include "core/ExitStatus.h"
#include "core/Process.h"
#include "core/StopSignals.h"

namespace {

using namespace ixo::cli;

int RunCommand(const CommandLine& line) {
    for (const Command& command : AllCommands()) {
        if (line.Command != command.Name) continue;
        const int status = command.Run(line);
        if (const int signal = ixo::StopSignal()) {
            if (!ixo::StoppedByClosedPipe()) {
                std::fprintf(stderr, "ixo: %s stopped by signal %d\n", command.Name, signal);
            }
            return 128 + signal;
        }
        return status;
    }
    return Fail("no command '" + line.Command + "'");
}

}  // namespace

int main(int argc, char** argv) {
    // Numbers are written with the user's decimal separator.
    std::setlocale(LC_ALL, "");
    ixo::PrepareProcess();
    // Interrupted or killed (SIGQUIT, a closed pipe...), a command ends its waits,
    // closes its port (so that no exclusive mark stays on it) and exits with 128 + the
    // signal's number, as the shell would show an ending by that signal.
    ixo::CatchStopSignals();

    const ParseResult parsed = ParseCommandLine(ixo::ProgramArguments(argc, argv));
    if (!parsed.Line) {
        std::fputs(parsed.Text.c_str(), parsed.Status == ixo::ExitOk ? stdout : stderr);
        return FinishStandardOutput(parsed.Status);
    }
    return FinishStandardOutput(RunCommand(*parsed.Line));
}
