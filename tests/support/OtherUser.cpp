#include "OtherUser.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace ixo::test {

bool AsOtherUser(const std::function<bool()>& check) {
    const int status = WaitStatusOfChild([&] { return check() ? 0 : 1; }, OtherUserId);
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int WaitStatusOfChild(const std::function<int()>& body, std::optional<uid_t> as) {
    const pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed";
        return -1;
    }
    if (child == 0) {
        if (as && (::setgid(*as) != 0 || ::setuid(*as) != 0)) ::_exit(125);
        ::_exit(body());
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ADD_FAILURE() << "the child did not end in time";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
}

}  // namespace ixo::test
