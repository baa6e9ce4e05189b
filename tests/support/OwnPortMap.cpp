#include "OwnPortMap.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "ports/PortNames.h"

namespace ixo::test {

namespace {

[[noreturn]] void Stop(const std::string& why) {
    std::fprintf(stderr, "no port map of our own, stopping: %s\n", why.c_str());
    std::abort();
}

}  // namespace

OwnPortMap::OwnPortMap() {
    std::string folder = (std::filesystem::temp_directory_path() / "ixo-ports-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) Stop("cannot create a temporary folder");
    home_ = folder;
    if (const char* earlier = std::getenv("XDG_CONFIG_HOME")) earlierHome_ = earlier;
    ::setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    for (int n = 1; n <= HighestProbedPort; ++n) MapAbsent(n);
}

OwnPortMap::~OwnPortMap() {
    if (earlierHome_) {
        ::setenv("XDG_CONFIG_HOME", earlierHome_->c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
}

std::string OwnPortMap::Entry(int n) const {
    return home_ + "/ixo-loader/ports/com" + std::to_string(n);
}

std::string OwnPortMap::AbsentPath(int n) const {
    return home_ + "/absent-com" + std::to_string(n);
}

void OwnPortMap::MapAbsent(int n) {
    std::string why;
    if (!MapPort(n, AbsentPath(n), &why)) Stop(why);
}

}  // namespace ixo::test
