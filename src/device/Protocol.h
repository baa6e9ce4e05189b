#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace ixo {

// Command bytes. Every command byte has its top bit set; every byte after it, in
// either direction, carries one nibble in its low four bits.
inline constexpr std::uint8_t CmdWriteWord = 0x80;
inline constexpr std::uint8_t CmdFetchWord = 0x88;
inline constexpr std::uint8_t CmdProgDisable = 0x89;
inline constexpr std::uint8_t CmdProgEnable = 0x8A;
inline constexpr std::uint8_t CmdSelectInternal = 0x90;  // + n for built-in program n, 0..15

inline constexpr int WriteFrameLength = 11;   // command, 8 value nibbles, 2 address nibbles
inline constexpr int FetchRequestLength = 3;  // command, 2 address nibbles
inline constexpr int ReplyLength = 8;         // 8 value nibbles
inline constexpr int AddressLength = 2;       // 2 address nibbles
inline constexpr int ProgramBlockLength = 128 * WriteFrameLength;  // 1408
// Addresses 0..127 hold the program, 128 the CW word.
inline constexpr int DeviceWordCount = 129;

using WriteFrame = std::array<std::uint8_t, WriteFrameLength>;
using FetchRequest = std::array<std::uint8_t, FetchRequestLength>;

// CmdWriteWord: the value, most significant nibble first, then the address, high
// nibble first.
WriteFrame EncodeWriteFrame(std::uint32_t word, int address);

// CmdFetchWord with the address, high nibble first.
FetchRequest EncodeFetchRequest(int address);

// The word carried by 8 nibble bytes, most significant first; high nibbles ignored.
std::uint32_t DecodeReplyWord(std::span<const std::uint8_t, ReplyLength> bytes);

// The 8 nibble bytes of a word, most significant first (what the device answers).
std::array<std::uint8_t, ReplyLength> EncodeReplyWord(std::uint32_t word);

// The address carried by 2 nibble bytes, high nibble first; high nibbles ignored.
int DecodeAddress(std::span<const std::uint8_t, AddressLength> bytes);

}  // namespace ixo
