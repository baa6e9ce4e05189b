#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "TempDir.h"
#include "sim/SimDevice.h"

namespace ixo::test {

// A port map of the test's own: XDG_CONFIG_HOME points into a temporary folder, and
// COM1 to COM8 point at paths that do not exist, so that no port the test has not
// mapped (the machine's own /dev/ttyS0, for one) is ever opened.
class OwnPortMap {
public:
    OwnPortMap();
    const TempDir& Folder() const { return folder_; }
    // Points COMn at a path that does not exist.
    void MapAbsent(int n);

private:
    TempDir folder_;
};

// A simulated device, serving, mapped as COM<port>. It counts the bytes it sends.
class SimPort {
public:
    explicit SimPort(int port);
    sim::SimDevice& Device() { return device_; }
    std::string Path() const { return device_.DevicePath(); }
    // True once the device has sent count bytes in all; false after 10 s.
    bool WaitForSent(int count) const;

private:
    sim::SimDevice device_;
    std::atomic<int> sent_{0};
};

// A second descriptor of a tty, to look at the line beside the link under test.
// Root opens a tty through another's exclusive mark, and nothing here takes the lock.
class TtyWatch {
public:
    explicit TtyWatch(const std::string& path);
    ~TtyWatch();
    TtyWatch(const TtyWatch&) = delete;
    TtyWatch& operator=(const TtyWatch&) = delete;

    int Fd() const { return fd_; }
    // True once received bytes wait to be read (without reading them); false after limit.
    bool WaitReadable(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // True once the other side has hung up; false after limit.
    bool WaitHangUp(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // The line's output rate in bit/s.
    unsigned Speed() const;

private:
    int fd_ = -1;
};

}  // namespace ixo::test
