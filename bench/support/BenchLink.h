#pragma once

#include <cstdint>
#include <string>

#include "OwnPortMap.h"
#include "link/Comport.h"
#include "sim/SimDevice.h"

namespace ixo::bench {

// The line speed the window and ixo use.
inline constexpr std::int32_t WorkingRate = 38400;

// A simulated device on COM1 of a port map of its own, and a working link open on it
// at WorkingRate.
class BenchLink {
public:
    explicit BenchLink(const sim::SimFaults& faults);
    ~BenchLink();
    BenchLink(const BenchLink&) = delete;
    BenchLink& operator=(const BenchLink&) = delete;

    // Empty when the device serves and the link is open; else what went wrong.
    std::string Why() const;
    sim::SimDevice& Device() { return device_; }
    ComPort& Link() { return link_; }

private:
    test::OwnPortMap ports_;
    std::string why_;
    sim::SimDevice device_;
    ComPort link_;
};

}  // namespace ixo::bench
