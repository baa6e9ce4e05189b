// Where the port map is kept: always the user's own folder, never one under the
// current folder, which may be anybody's.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "OtherUser.h"
#include "ports/PortNames.h"

namespace ixo::test {
namespace {

TEST(PortMapFolder, IsTheUsersOwnWhateverTheEnvironment) {
    const passwd* me = ::getpwuid(::geteuid());
    ASSERT_NE(me, nullptr);
    const std::string ownHome = me->pw_dir;
    const uid_t homeless = 54321;
    const bool canBeHomeless = ::geteuid() == 0 && ::getpwuid(homeless) == nullptr;

    struct Case {
        const char* xdgConfigHome;  // null: unset
        const char* home;
        std::optional<uid_t> user;
        std::string folder;
    };
    const Case cases[] = {
        {"/cfg", "/h", {}, "/cfg/ixo-loader/ports"},
        {nullptr, "/h", {}, "/h/.config/ixo-loader/ports"},
        {nullptr, nullptr, {}, ownHome + "/.config/ixo-loader/ports"},
        {".", ".", {}, ownHome + "/.config/ixo-loader/ports"},
        {nullptr, nullptr, homeless, ""},
    };
    for (const Case& c : cases) {
        if (c.user && !canBeHomeless) continue;
        SCOPED_TRACE(std::string(c.xdgConfigHome ? c.xdgConfigHome : "(unset)") + " " +
                     (c.home ? c.home : "(unset)"));
        const int status = WaitStatusOfChild(
            [&] {
                for (const auto& [name, value] :
                     {std::pair{"XDG_CONFIG_HOME", c.xdgConfigHome}, {"HOME", c.home}}) {
                    value ? ::setenv(name, value, 1) : ::unsetenv(name);
                }
                if (PortMapFolder() != c.folder) return 1;
                // The entry the simulator takes over, never one in the current folder.
                if (PortMapEntry(4) != (c.folder.empty() ? "" : c.folder + "/com4")) return 3;
                // No map at all: the system's own port, and nothing can be mapped.
                if (c.folder.empty() && (PortDevicePath(4) != "/dev/ttyS3" || MapPort(4, "/x")))
                    return 2;
                return 0;
            },
            c.user);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

}  // namespace
}  // namespace ixo::test
