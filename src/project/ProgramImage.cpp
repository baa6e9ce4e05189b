#include "project/ProgramImage.h"

#include <algorithm>
#include <cstdio>

namespace ixo {

namespace {

// The value of one hexadecimal digit, or -1 for any other byte.
int HexDigit(std::uint8_t byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    return -1;
}

}  // namespace

ObjectLine ParseObjectLine(std::span<const std::uint8_t, ObjectLineLength> line) {
    if (line[0] == 0 || line[0] == '\r') return {ObjectLineKind::End};
    std::uint32_t value = 0;
    for (int i = 0; i < 8; ++i) {
        const int digit = HexDigit(line[i]);
        if (digit < 0) return {ObjectLineKind::Bad};
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    if (line[8] != '\r' || line[9] != '\n') return {ObjectLineKind::Bad};
    return {ObjectLineKind::Word, value};
}

bool ParseObjectText(ProgramImage& image) {
    image.WordCount = 0;
    while (image.WordCount < MaxProgramWords) {
        const ObjectLine line = ParseObjectLine(std::span(image.ObjText)
                                                    .subspan(image.WordCount * ObjectLineLength)
                                                    .first<ObjectLineLength>());
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

}  // namespace ixo
