#include "project/ProgramImage.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

namespace ixo {

namespace {

// The value of one hexadecimal digit, or -1 for any other byte.
int HexDigit(std::uint8_t byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    return -1;
}

ObjectLine Bad(BadLineReason reason, std::uint8_t byte = 0, int digits = 0) {
    return {.Kind = ObjectLineKind::Bad, .Reason = reason, .Byte = byte, .Digits = digits};
}

// Why the line does not end after its eight digits.
ObjectLine BadLineEnd(std::uint8_t first) {
    if (first == '\n') return Bad(BadLineReason::LineFeedWithoutReturn);
    if (first == 0) return Bad(BadLineReason::NoLineEnd);
    if (first == '\r') return Bad(BadLineReason::ReturnWithoutLineFeed);
    if (HexDigit(first) >= 0) return Bad(BadLineReason::ExtraDigit);
    return Bad(BadLineReason::NotLineEnd, first);
}

// A byte as it reads in a message: itself in quotes when printable, else its code.
std::string Quoted(std::uint8_t byte) {
    if (byte >= 0x20 && byte < 0x7F) return std::string("'") + static_cast<char>(byte) + "'";
    char text[16];
    std::snprintf(text, sizeof text, "byte 0x%02X", byte);
    return text;
}

}  // namespace

ObjectLine ParseObjectLine(std::span<const std::uint8_t, ObjectLineLength> line) {
    if (line[0] == 0 || line[0] == '\r') return {ObjectLineKind::End};
    std::uint32_t value = 0;
    for (int i = 0; i < 8; ++i) {
        const int digit = HexDigit(line[i]);
        if (digit < 0) {
            // A line end or the end of the data among the digits: the line is short.
            if (i == 0 && line[i] == '\n') return Bad(BadLineReason::LineFeedWithoutReturn);
            if (line[i] == '\r' || line[i] == '\n' || line[i] == 0) {
                return Bad(BadLineReason::MissingDigit, 0, i);
            }
            return Bad(BadLineReason::NotHexDigit, line[i]);
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    if (line[8] != '\r' || line[9] != '\n') return BadLineEnd(line[8]);
    return {ObjectLineKind::Word, value};
}

std::string BadLineText(const ObjectLine& line) {
    switch (line.Reason) {
        case BadLineReason::None:
            break;
        case BadLineReason::LineFeedWithoutReturn:
            return "line feed without carriage return";
        case BadLineReason::ReturnWithoutLineFeed:
            return "carriage return without line feed";
        case BadLineReason::NoLineEnd:
            return "no line end after the last word";
        case BadLineReason::MissingDigit:
            return "missing digit: " + std::to_string(line.Digits) + " of 8 digits";
        case BadLineReason::NotHexDigit:
            return Quoted(line.Byte) + " is not a hexadecimal digit";
        case BadLineReason::ExtraDigit:
            return "more than 8 digits";
        case BadLineReason::NotLineEnd:
            return Quoted(line.Byte) + " where the line should end";
    }
    return {};
}

bool TrailingTextCheck::Take(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        if (found_) return false;
        if (pendingReturn_) {
            pendingReturn_ = false;
            if (byte != '\n') {
                found_ = true;
                return false;
            }
            // Counted up to the highest line number a failure can name.
            if (line_ < std::numeric_limits<int>::max()) ++line_;
        } else if (byte == '\r') {
            pendingReturn_ = true;
        } else if (byte != 0) {
            found_ = true;
            return false;
        }
    }
    return !found_;
}

bool ParseObjectText(ProgramImage& image, ObjectLine* stop) {
    ObjectLine end{ObjectLineKind::End};
    if (stop == nullptr) stop = &end;
    image.WordCount = 0;
    while (image.WordCount < MaxProgramWords) {
        const ObjectLine line = ParseObjectLine(std::span(image.ObjText)
                                                    .subspan(image.WordCount * ObjectLineLength)
                                                    .first<ObjectLineLength>());
        if (line.Kind != ObjectLineKind::Word) *stop = line;
        switch (line.Kind) {
            case ObjectLineKind::Word:
                image.Words[image.WordCount++] = line.Value;
                break;
            case ObjectLineKind::End:
                return true;
            case ObjectLineKind::Bad:
                return false;
        }
    }
    *stop = {ObjectLineKind::End};
    return true;
}

void FormatObjectText(ProgramImage& image) {
    image.ObjText.fill(0);
    for (int i = 0; i < image.WordCount; ++i) {
        char line[ObjectLineLength + 1];
        std::snprintf(line, sizeof line, "%08X\r\n", static_cast<unsigned>(image.Words[i]));
        std::copy_n(line, ObjectLineLength, image.ObjText.begin() + i * ObjectLineLength);
    }
}

void TakeWords(ProgramImage& image, std::span<const std::uint32_t> words) {
    const std::size_t count = std::min(words.size(), static_cast<std::size_t>(MaxProgramWords));
    std::copy_n(words.begin(), count, image.Words.begin());
    image.WordCount = static_cast<std::int32_t>(count);
    FormatObjectText(image);
}

std::size_t ObjectTextLength(const ProgramImage& image) {
    return static_cast<std::size_t>(std::find(image.ObjText.begin(), image.ObjText.end(), 0) -
                                    image.ObjText.begin());
}

std::span<const std::uint32_t> ProgramWords(const ProgramImage& image) {
    const int count = std::clamp(image.WordCount, 0, MaxProgramWords);
    return std::span(image.Words).first(static_cast<std::size_t>(count));
}

}  // namespace ixo
