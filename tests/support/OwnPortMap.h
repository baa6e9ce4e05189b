#pragma once

#include <optional>
#include <string>

namespace ixo::test {

// A port map of the caller's own for as long as the object lives: XDG_CONFIG_HOME
// points into a fresh temporary folder, and COM1 to COM8 (every port the programs
// probe) lead to paths that do not exist until the caller maps them, for example to
// a simulated device. So nothing run under it opens a port it was not given, such as
// the machine's own /dev/ttyS0; programs started meanwhile inherit the map through
// the environment. The earlier XDG_CONFIG_HOME comes back when the object goes.
//
// Without this map a test could reach the machine's real ports, so a map that cannot
// be made stops the program at once, with the reason.
class OwnPortMap {
public:
    OwnPortMap();
    ~OwnPortMap();
    OwnPortMap(const OwnPortMap&) = delete;
    OwnPortMap& operator=(const OwnPortMap&) = delete;

    // The folder XDG_CONFIG_HOME names while the map lives.
    const std::string& ConfigHome() const { return home_; }
    // The map's entry for COMn.
    std::string Entry(int n) const;
    // The path, which does not exist, that COMn leads to unless mapped elsewhere.
    std::string AbsentPath(int n) const;
    // Points COMn at its absent path (again).
    void MapAbsent(int n);

private:
    std::string home_;
    std::optional<std::string> earlierHome_;
};

}  // namespace ixo::test
