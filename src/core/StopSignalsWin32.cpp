// Stop signals on Windows: Ctrl+C and closing the console end the process, and the
// system closes its handles, the COM port's included, so nothing is left held.

#include "core/StopSignals.h"

namespace ixo {

void CatchStopSignals() {}

int StopSignal() {
    return 0;
}

bool StoppedByClosedPipe() {
    return false;
}

int StopSignalFd() {
    return -1;
}

RemoveOnStop::RemoveOnStop() = default;
RemoveOnStop::~RemoveOnStop() = default;
void RemoveOnStop::Remove(const std::string&) {}
void RemoveOnStop::Forget() {}

}  // namespace ixo
