// ixo's failures, said on standard error.

#include "cli/Fail.h"

#include <cstdio>

#include "cli/StandardStreams.h"
#include "core/ExitStatus.h"
#include "core/ShownText.h"
#include "core/StopSignals.h"

namespace ixo::cli {

int Fail(const std::string& message) {
    FlushStandardOutput();
    // One line, whatever the file names or other arguments it quotes hold.
    std::fprintf(stderr, "ixo: %s\n", EscapeControls(message).c_str());
    return ExitFailure;
}

int Fail(const Failure& failure) {
    // After a stop signal the command ends because of it; main says so.
    if (ixo::StopSignal() != 0) return ExitFailure;
    // What is wrong in an object file is placed as compilers place an error: file,
    // line, why.
    if (failure.Kind == FailureKind::TextLeftOut || failure.Kind == FailureKind::BadObjectLine) {
        const std::string place = failure.Path + ":" + std::to_string(failure.Line) + ": ";
        FlushStandardOutput();
        std::fprintf(stderr, "%s\n", EscapeControls(place + failure.Why).c_str());
        return ExitFailure;
    }
    return Fail(FailureMessage(failure));
}

}  // namespace ixo::cli
