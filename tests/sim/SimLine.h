#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "SimPort.h"

namespace ixo::test {

// The computer's end of a simulated device's line, opened raw with plain POSIX calls.
class SimLine {
public:
    explicit SimLine(const std::string& path);
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    int Fd() const { return fd_; }
    // Writes all bytes; fails the test if they do not go out.
    void Write(const Bytes& bytes);
    // Reads until count bytes have arrived or limit has passed; gives what arrived.
    Bytes Read(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // True when the other side has hung up within limit.
    bool WaitForHangUp(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    int fd_ = -1;
};

}  // namespace ixo::test
