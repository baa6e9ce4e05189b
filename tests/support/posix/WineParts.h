#pragma once

namespace ixo::test {

// Programs for Linux never run under Wine; the cases shared with Windows ask.
inline bool RunningUnderWine() {
    return false;
}

}  // namespace ixo::test
