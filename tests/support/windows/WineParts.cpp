#include "WineParts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace ixo::test {

int PortOf(const std::string& part) {
    const char* text = std::getenv("IXO_TEST_PORTS");
    std::istringstream parts(text != nullptr ? text : "");
    for (std::string entry; parts >> entry;) {
        if (entry.starts_with(part + "=")) return std::stoi(entry.substr(part.size() + 1));
    }
    ADD_FAILURE() << "IXO_TEST_PORTS names no port for " << part;
    return 0;
}

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace ixo::test
