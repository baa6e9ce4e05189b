#pragma once

namespace ixo::test {

// The ports a test may use. Windows has no port map: the test's script enters its
// simulated devices as COM ports of a Wine prefix whose other ports are all off
// (scripts/lib-wine.sh), so there is nothing to set up here.
struct TestPorts {};

}  // namespace ixo::test
