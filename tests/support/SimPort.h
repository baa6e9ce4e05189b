#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimDevice.h"

namespace ixo::test {

using Bytes = std::vector<std::uint8_t>;

// A simulated device, serving, mapped as COMn of the test's port map (see OwnPortMap).
// It counts the bytes it sends.
class SimPort {
public:
    explicit SimPort(int n, const sim::SimFaults& faults = {});

    sim::SimDevice Device;

    std::string Path() const { return Device.DevicePath(); }
    // True once the device has sent count bytes in all; false after 10 s.
    bool WaitForSent(int count) const;
    // True once the device has sent nothing for quiet; false after 10 s.
    bool WaitForQuiet(std::chrono::milliseconds quiet) const;

private:
    std::atomic<int> sent_{0};
};

// The 3 bytes of a fetch request for address.
Bytes FetchOf(int address);
// The 8 answer bytes of a fetch of word.
Bytes AnswerOf(std::uint32_t word);

}  // namespace ixo::test
