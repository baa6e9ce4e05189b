#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "device/Protocol.h"
#include "sim/SimFaults.h"

// What the simulated device decides, time and line apart: its memory, the frames it
// gathers and the answers it gives.

namespace ixo::sim {

// The device's words: 0..127 the program, 128 the CW word. Shared between the serving
// thread and the threads that set and look at words.
class DeviceMemory {
public:
    // Addresses outside 0..128 are ignored; Get gives 0 for them.
    void Set(int address, std::uint32_t word);
    std::uint32_t Get(int address) const;

private:
    mutable std::mutex mutex_;
    std::array<std::uint32_t, DeviceWordCount> words_{};
};

// The answer to one fetch as the faults shape it: Bytes[0, Now) go out at once (or
// Late after the fetch), the rest after RestAfter, or never when RestAfter is empty.
// With RepeatAfter, all that went out goes out once more that long after.
struct Answer {
    std::array<std::uint8_t, ReplyLength> Bytes{};
    std::chrono::microseconds Late{0};
    int Now = ReplyLength;
    std::optional<std::chrono::microseconds> RestAfter{};
    std::optional<std::chrono::microseconds> RepeatAfter{};
};

// The device's side of the protocol, one received byte at a time. It gathers frames,
// stores the words of write frames and answers fetches; the one-byte commands need no
// answer. A command byte starts a new frame and drops one it cuts short; a nibble byte
// outside a frame is dropped.
class DeviceLogic {
public:
    explicit DeviceLogic(DeviceMemory& memory) : memory_(memory) {}

    // Acts on byte; gives the answer it calls for, if any.
    std::optional<Answer> Take(std::uint8_t byte, const SimFaults& faults);
    // Forgets a frame half gathered (the line has gone), and catches up.
    void Reset();
    // New faults: a device that fell behind is in step again.
    void CatchUp() { behind_ = false; }

private:
    std::optional<Answer> AnswerFetch(int address, const SimFaults& faults);

    DeviceMemory& memory_;
    int command_ = -1;  // command byte of the frame being gathered, -1 when none
    std::vector<std::uint8_t> nibbles_;
    bool behind_ = false;  // has sent the answer to BehindAddress twice
};

}  // namespace ixo::sim
