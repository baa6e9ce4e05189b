#pragma once

#include <functional>

namespace ixo::test {

// Runs check in a child process as user and group 65534 (nobody); true when it
// returned true. Needs root, which may read and write anything itself.
bool AsOtherUser(const std::function<bool()>& check);

}  // namespace ixo::test
