#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "sim/DeviceLogic.h"

// How the simulated device imitates a line's time: a paced device takes each byte it
// receives, and sends each byte of an answer, one byte time after the one before.

namespace ixo::sim {

using Clock = std::chrono::steady_clock;

// Line time of one byte, 10 bits (start, 8 data, stop), at baud bit/s.
Clock::duration ByteTime(int baud);

// When a paced device takes each received byte: one byte time after the byte arrived,
// and one byte time after the byte before it was taken. Timing from these deadlines
// rather than from when the thread woke keeps pacing from drifting; timing from when a
// byte was first seen keeps it from ever being faster than the line.
class InputPacing {
public:
    // Notes how many received bytes wait in the line now; fewer than it knew of means
    // that the other side purged what it had sent.
    void Look(std::size_t waiting, Clock::time_point now);
    // When the next byte is to be taken at baud bit/s; empty when no byte is known
    // to wait, or baud is 0 (no pacing).
    std::optional<Clock::time_point> NextTake(int baud) const;
    // The next byte was taken at its time, at.
    void Took(Clock::time_point at);
    // Forgets the bytes known to wait.
    void Forget();

private:
    // Bytes first seen waiting at the same time.
    struct Arrival {
        std::size_t Count;
        Clock::time_point SeenAt;
    };
    std::deque<Arrival> waiting_;
    Clock::time_point lineFree_{};  // when the last byte was taken
};

// The bytes on their way out, each with the time it is due at the other end. They
// leave in order: a byte is never due before the one queued ahead of it. The bytes of
// one run (an answer, or each part of one the faults split) are due together, when
// the last of them would have crossed the line, so that they leave in one write.
class OutputQueue {
public:
    // Queues an answer decided at time decided: the bytes that go out at once from
    // then on (Late after it), the rest RestAfter after those have gone, and a repeat
    // of all that went out RepeatAfter after that; paced at baud bit/s (0: no pacing).
    void Queue(const Answer& answer, Clock::time_point decided, int baud);
    // When the first queued byte is due; empty when none is queued.
    std::optional<Clock::time_point> NextDue() const;
    // Copies the bytes due by now, in order, as many as fit into chunk; gives the count.
    std::size_t CopyDue(Clock::time_point now, std::span<std::uint8_t> chunk) const;
    // Forgets the first count bytes, which have gone out.
    void Drop(std::size_t count);
    void Clear();

private:
    // Queues a run of bytes from start on, never ahead of the bytes already queued.
    void QueueRun(std::span<const std::uint8_t> bytes, Clock::time_point start, int baud);
    // When the last queued byte is due, or at when none is or it is due earlier.
    Clock::time_point GoneBy(Clock::time_point at) const;

    struct Outgoing {
        std::uint8_t Byte;
        Clock::time_point Due;
    };
    std::deque<Outgoing> bytes_;
};

}  // namespace ixo::sim
