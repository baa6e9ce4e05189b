#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "isa/WordFields.h"

namespace ixo {

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

// The program's words: Words 0..WordCount-1, WordCount taken as 0..MaxProgramWords.
std::span<const std::uint32_t> ProgramWords(const ProgramImage& image);

enum class ObjectLineKind { Word, End, Bad };

// What makes a line Bad, for telling the user.
enum class BadLineReason {
    None,
    LineFeedWithoutReturn,  // "\n" where "\r\n" belongs: a file saved on Linux, say
    ReturnWithoutLineFeed,
    NoLineEnd,     // the eighth digit is the end of the data
    MissingDigit,  // fewer than eight digits before the line's end
    NotHexDigit,   // Byte is no hexadecimal digit
    ExtraDigit,    // a ninth digit
    NotLineEnd,    // Byte stands where the line should end
};

struct ObjectLine {
    ObjectLineKind Kind;
    std::uint32_t Value = 0;  // meaningful for Word only
    BadLineReason Reason = BadLineReason::None;
    std::uint8_t Byte = 0;  // the offending byte of NotHexDigit and NotLineEnd
    int Digits = 0;         // the digits a MissingDigit line has
};

// Reads one 10-byte line: eight hex digits, CR, LF. A line starting with a zero
// byte or CR ends the text.
ObjectLine ParseObjectLine(std::span<const std::uint8_t, ObjectLineLength> line);

// Turns ObjText into Words and WordCount. True when the text ended normally (an end
// line or 128 words); false when a malformed line stopped it, in which case the
// words before it stay and WordCount counts them. Positions from WordCount on keep
// their previous contents. stop, when given, receives the line that ended the text:
// the bad line with its reason, or End (also after 128 words).
bool ParseObjectText(ProgramImage& image, ObjectLine* stop = nullptr);

// What is wrong with a Bad line, in words ("line feed without carriage return").
std::string BadLineText(const ObjectLine& line);

// Whether an object text may go on after its program has ended: only empty lines
// ("\r\n") and zero bytes may follow. Fed the bytes after the program piece by
// piece, so that a file of any length is checked in constant memory.
class TrailingTextCheck {
public:
    // firstLine: the number, from 1, of the line the program's end is on.
    explicit TrailingTextCheck(int firstLine) : line_(firstLine) {}
    // Takes the next bytes; false once text was found (then Line() is its line).
    bool Take(std::span<const std::uint8_t> bytes);
    // After the last bytes: false when they end in a carriage return alone.
    bool Finish() const { return !pendingReturn_ && !found_; }
    int Line() const { return line_; }

private:
    int line_;
    bool pendingReturn_ = false;
    bool found_ = false;
};

// Turns Words 0..WordCount-1 into ObjText ("%08X\r\n" per word), zero beyond.
void FormatObjectText(ProgramImage& image);

// Makes words (at most MaxProgramWords of them) the program: Words from position 0,
// WordCount, and ObjText as FormatObjectText writes it.
void TakeWords(ProgramImage& image, std::span<const std::uint32_t> words);

// Length of ObjText up to its first zero byte (WordCount*10 after FormatObjectText).
std::size_t ObjectTextLength(const ProgramImage& image);

}  // namespace ixo
