#pragma once

#include "OwnPortMap.h"

namespace ixo::test {

// The ports a test may use: a port map of its own, whose every entry leads nowhere
// until the test maps it.
using TestPorts = OwnPortMap;

}  // namespace ixo::test
