#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ixo {

inline constexpr int MaxProgramWords = 128;
inline constexpr int ObjectLineLength = 10;
inline constexpr int ObjTextSize = 4096;
// Position of the CW word, the 129th word read from the device.
inline constexpr int CwPosition = 128;

// The one effect program the tool works on: fixed-size storage, all zero at start.
struct ProgramImage {
    // The object text: raw bytes of an object file as read, or the text made from
    // the words just before a save. Line i is bytes 10*i to 10*i+9; unused bytes are 0.
    std::array<std::uint8_t, ObjTextSize> ObjText{};
    // 0..WordCount-1: the program; WordCount..127: filler or an earlier program's
    // words; 128: the CW word after a device read. 129..255 are never used.
    std::array<std::uint32_t, 256> Words{};
    // Number of program words, 0..128; 0 means the image is empty.
    std::int32_t WordCount = 0;
    // Words read back from the device by a verify, positions 0..128.
    std::array<std::uint32_t, 256> ReadBackWords{};

    bool IsEmpty() const { return WordCount == 0; }
};

enum class ObjectLineKind { Word, End, Bad };

struct ObjectLine {
    ObjectLineKind Kind;
    std::uint32_t Value = 0;  // meaningful for Word only
};

// Reads one 10-byte line: eight hex digits, CR, LF. A line starting with a zero
// byte or CR ends the text.
ObjectLine ParseObjectLine(std::span<const std::uint8_t, ObjectLineLength> line);

// Turns ObjText into Words and WordCount. True when the text ended normally (an end
// line or 128 words); false when a malformed line stopped it, in which case the
// words before it stay and WordCount counts them. Positions from WordCount on keep
// their previous contents.
bool ParseObjectText(ProgramImage& image);

// Turns Words 0..WordCount-1 into ObjText ("%08X\r\n" per word), zero beyond.
void FormatObjectText(ProgramImage& image);

// Makes words (at most MaxProgramWords of them) the program: Words from position 0,
// WordCount, and ObjText as FormatObjectText writes it.
void TakeWords(ProgramImage& image, std::span<const std::uint32_t> words);

// Length of ObjText up to its first zero byte (WordCount*10 after FormatObjectText).
std::size_t ObjectTextLength(const ProgramImage& image);

}  // namespace ixo
