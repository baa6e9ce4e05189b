// ixo: the command-line companion of Ixo Loader, for scripts and production use.

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "core/Process.h"
#include "link/StopSignals.h"

namespace {

using namespace ixo::cli;

// The status of a program that SIGPIPE (13) ended, as a shell shows it.
constexpr int ClosedPipeStatus = 128 + 13;

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

// What went to standard output must have arrived: a full disk is a failure, never a
// silent loss, and a closed pipe ends the program with SIGPIPE's status.
int CheckStandardOutput(int status) {
    errno = 0;
    const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
    // A reader that went away wants nothing more, not even why.
    if (ixo::StoppedByClosedPipe() || (!written && ixo::ReaderGone())) return ClosedPipeStatus;
    if (written) return status;
    const int error = errno != 0 ? errno : EIO;
    std::fprintf(stderr, "ixo: can't write standard output: %s\n", std::strerror(error));
    return status == ExitOk ? ExitFailure : status;
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
        std::fputs(parsed.Text.c_str(), parsed.Status == ExitOk ? stdout : stderr);
        return CheckStandardOutput(parsed.Status);
    }
    return CheckStandardOutput(RunCommand(*parsed.Line));
}
