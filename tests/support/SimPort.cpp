#include "SimPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/Protocol.h"

namespace ixo::test {

SimPort::SimPort(int n, const sim::SimFaults& faults) {
    Device.SetFaults(faults);
    Device.SetTrace([this](sim::TraceDirection direction, std::uint8_t) {
        if (direction == sim::TraceDirection::Sent) ++sent_;
    });
    std::string why;
    EXPECT_TRUE(Device.Start(&why)) << why;
    EXPECT_TRUE(Device.MapAsPort(n, &why)) << why;
}

bool SimPort::WaitForSent(int count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sent_ < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool SimPort::WaitForQuiet(std::chrono::milliseconds quiet) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const int before = sent_;
        std::this_thread::sleep_for(quiet);
        if (sent_ == before) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
    }
}

Bytes FetchOf(int address) {
    const auto request = EncodeFetchRequest(address);
    return Bytes(request.begin(), request.end());
}

Bytes AnswerOf(std::uint32_t word) {
    const auto answer = EncodeReplyWord(word);
    return Bytes(answer.begin(), answer.end());
}

}  // namespace ixo::test
