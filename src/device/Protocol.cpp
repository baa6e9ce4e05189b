#include "device/Protocol.h"

namespace ixo {

WriteFrame EncodeWriteFrame(std::uint32_t word, int address) {
    WriteFrame frame{};
    frame[0] = CmdWriteWord;
    const auto value = EncodeReplyWord(word);
    for (int i = 0; i < ReplyLength; ++i) frame[1 + i] = value[i];
    frame[9] = static_cast<std::uint8_t>((address >> 4) & 0xF);
    frame[10] = static_cast<std::uint8_t>(address & 0xF);
    return frame;
}

FetchRequest EncodeFetchRequest(int address) {
    return {CmdFetchWord, static_cast<std::uint8_t>((address >> 4) & 0xF),
            static_cast<std::uint8_t>(address & 0xF)};
}

std::uint32_t DecodeReplyWord(std::span<const std::uint8_t, ReplyLength> bytes) {
    std::uint32_t word = 0;
    for (const std::uint8_t byte : bytes) word = (word << 4) | (byte & 0xFu);
    return word;
}

std::array<std::uint8_t, ReplyLength> EncodeReplyWord(std::uint32_t word) {
    std::array<std::uint8_t, ReplyLength> bytes{};
    for (int i = 0; i < ReplyLength; ++i) {
        bytes[i] = static_cast<std::uint8_t>((word >> (28 - 4 * i)) & 0xF);
    }
    return bytes;
}

int DecodeAddress(std::span<const std::uint8_t, AddressLength> bytes) {
    return ((bytes[0] & 0xF) << 4) | (bytes[1] & 0xF);
}

}  // namespace ixo
