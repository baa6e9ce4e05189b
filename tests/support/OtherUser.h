#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>

namespace ixo::test {

// The user that tests act as to be another user than the test (root): nobody.
inline constexpr uid_t OtherUserId = 65534;

// Runs check in a child process as user and group 65534 (nobody); true when it
// returned true. Needs root, which may read and write anything itself.
bool AsOtherUser(const std::function<bool()>& check);

// Runs body in a forked child, as user and group `as` when given (which needs
// root), and gives the child's wait status; body's result is its exit status. A
// child that has not ended after 30 s is killed, and fails the test.
int WaitStatusOfChild(const std::function<int()>& body, std::optional<uid_t> as = {});

}  // namespace ixo::test
