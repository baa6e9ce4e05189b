#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "core/Process.h"
#include "core/Win32Text.h"

namespace ixo {

void PrepareProcess() {
    SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
    if (wide != nullptr) LocalFree(wide);
    return args;
}

bool ReaderGone() {
    // The C library words these as one error or another; the system's own code tells.
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
}

}  // namespace ixo
