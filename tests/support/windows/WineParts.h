#pragma once

#include <string>

namespace ixo::test {

// The COM port number that plays part in IXO_TEST_PORTS, which the test's script
// sets, for example "answering=3 silent=4 absent=7"; fails the test when there is none.
int PortOf(const std::string& part);

// True when the program runs under Wine rather than on Windows.
bool RunningUnderWine();

}  // namespace ixo::test
