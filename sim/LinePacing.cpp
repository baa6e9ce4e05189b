#include "sim/LinePacing.h"

#include <algorithm>

namespace ixo::sim {

Clock::duration ByteTime(int baud) {
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

void InputPacing::Look(std::size_t waiting, Clock::time_point now) {
    std::size_t known = 0;
    for (const Arrival& arrival : waiting_) known += arrival.Count;
    if (waiting > known) {
        waiting_.push_back({waiting - known, now});
    } else if (waiting < known) {
        waiting_.clear();
        if (waiting > 0) waiting_.push_back({waiting, now});
    }
}

std::optional<Clock::time_point> InputPacing::NextTake(int baud) const {
    if (baud <= 0 || waiting_.empty()) return std::nullopt;
    return std::max(lineFree_, waiting_.front().SeenAt) + ByteTime(baud);
}

void InputPacing::Took(Clock::time_point at) {
    lineFree_ = at;
    if (!waiting_.empty() && --waiting_.front().Count == 0) waiting_.pop_front();
}

void InputPacing::Forget() {
    waiting_.clear();
}

void OutputQueue::Queue(const Answer& answer, Clock::time_point decided, int baud) {
    const Clock::time_point at = decided + answer.Late;
    const std::span<const std::uint8_t> bytes(answer.Bytes);
    const std::size_t now = static_cast<std::size_t>(answer.Now);
    QueueRun(bytes.first(now), at, baud);
    const std::size_t sent = answer.RestAfter ? bytes.size() : now;
    if (answer.RestAfter) QueueRun(bytes.subspan(now), GoneBy(at) + *answer.RestAfter, baud);
    if (answer.RepeatAfter) QueueRun(bytes.first(sent), GoneBy(at) + *answer.RepeatAfter, baud);
}

Clock::time_point OutputQueue::GoneBy(Clock::time_point at) const {
    return bytes_.empty() ? at : std::max(at, bytes_.back().Due);
}

void OutputQueue::QueueRun(std::span<const std::uint8_t> bytes, Clock::time_point start, int baud) {
    Clock::time_point due = GoneBy(start);
    if (baud > 0) due += ByteTime(baud) * static_cast<long>(bytes.size());
    for (const std::uint8_t byte : bytes) bytes_.push_back({byte, due});
}

std::optional<Clock::time_point> OutputQueue::NextDue() const {
    if (bytes_.empty()) return std::nullopt;
    return bytes_.front().Due;
}

std::size_t OutputQueue::CopyDue(Clock::time_point now, std::span<std::uint8_t> chunk) const {
    std::size_t count = 0;
    while (count < bytes_.size() && count < chunk.size() && bytes_[count].Due <= now) {
        chunk[count] = bytes_[count].Byte;
        ++count;
    }
    return count;
}

void OutputQueue::Drop(std::size_t count) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
}

void OutputQueue::Clear() {
    bytes_.clear();
}

}  // namespace ixo::sim
