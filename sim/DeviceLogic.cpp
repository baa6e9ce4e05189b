#include "sim/DeviceLogic.h"

#include <algorithm>
#include <span>

namespace ixo::sim {

namespace {

// The address of the CW word, the last one the device keeps.
constexpr int CwAddress = DeviceWordCount - 1;

}  // namespace

void DeviceMemory::Set(int address, std::uint32_t word) {
    if (address < 0 || address > CwAddress) return;
    std::lock_guard lock(mutex_);
    words_[static_cast<std::size_t>(address)] = word;
}

std::uint32_t DeviceMemory::Get(int address) const {
    if (address < 0 || address > CwAddress) return 0;
    std::lock_guard lock(mutex_);
    return words_[static_cast<std::size_t>(address)];
}

std::optional<Answer> DeviceLogic::Take(std::uint8_t byte, const SimFaults& faults) {
    if ((byte & 0x80) != 0) {
        nibbles_.clear();
        command_ = (byte == CmdWriteWord || byte == CmdFetchWord) ? byte : -1;
        return std::nullopt;
    }
    if (command_ < 0) return std::nullopt;
    nibbles_.push_back(byte);
    const std::span<const std::uint8_t> frame(nibbles_);
    if (command_ == CmdWriteWord && frame.size() == ReplyLength + AddressLength) {
        command_ = -1;
        const int address = DecodeAddress(frame.subspan<ReplyLength, AddressLength>());
        // The CW word is the device's own; a write frame never changes it.
        if (address < CwAddress && address != faults.LostWriteAddress) {
            memory_.Set(address, DecodeReplyWord(frame.first<ReplyLength>()));
        }
    } else if (command_ == CmdFetchWord && frame.size() == AddressLength) {
        command_ = -1;
        return AnswerFetch(DecodeAddress(frame.first<AddressLength>()), faults);
    }
    return std::nullopt;
}

void DeviceLogic::Reset() {
    command_ = -1;
    nibbles_.clear();
    CatchUp();
}

std::optional<Answer> DeviceLogic::AnswerFetch(int address, const SimFaults& faults) {
    if (faults.Silent || address > CwAddress) return std::nullopt;
    if (faults.AnswerBelow >= 0 && address >= faults.AnswerBelow) return std::nullopt;
    Answer answer{.Bytes = EncodeReplyWord(memory_.Get(address))};
    if (faults.HighNibbles) {
        for (std::uint8_t& byte : answer.Bytes) byte = static_cast<std::uint8_t>(0x30 | byte);
    }
    if (address == faults.ShortAddress) {
        answer.Now = std::clamp(faults.ShortCount, 0, ReplyLength);
        if (answer.Now < ReplyLength && faults.LateByteMs >= 0) {
            answer.RestAfter = std::chrono::milliseconds(faults.LateByteMs);
        }
    }
    if (faults.RepeatAfterUs >= 0 &&
        (faults.RepeatAddress < 0 || faults.RepeatAddress == address)) {
        answer.RepeatAfter = std::chrono::microseconds(faults.RepeatAfterUs);
    }
    // Falling behind: the copy is taken for the next answer, and the late answers keep
    // each one request behind.
    if (behind_ && faults.BehindLateMs >= 0) {
        answer.Late = std::chrono::milliseconds(faults.BehindLateMs);
    }
    if (address == faults.BehindAddress) {
        answer.RepeatAfter = std::chrono::microseconds(faults.BehindCopyUs);
        behind_ = true;
    }
    return answer;
}

}  // namespace ixo::sim
