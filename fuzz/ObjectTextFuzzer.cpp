// Fuzz target: any bytes as the object text of a file, then the listing of whatever
// parsed, then the format/parse round trip of those words. Aborts on any broken
// promise, so that the fuzzer keeps the input.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "isa/Listing.h"
#include "project/ProgramImage.h"

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "object_text_fuzzer: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ixo;

    // As an object file is opened: at most ObjTextSize bytes, zero beyond.
    ProgramImage image;
    std::copy_n(data, std::min<std::size_t>(size, ObjTextSize), image.ObjText.begin());
    ParseObjectText(image);
    Check(image.WordCount >= 0 && image.WordCount <= MaxProgramWords, "WordCount out of range");

    const std::vector<std::string> lines = ListingLines(ProgramWords(image));
    const std::size_t count = static_cast<std::size_t>(image.WordCount);
    Check(lines.size() == (count <= 4 ? count : count + 1), "wrong number of listing lines");
    for (const std::string& line : lines) {
        Check(!line.empty(), "empty listing line");
        for (const char c : line) {
            Check(c == '\t' || (c >= 0x20 && c <= 0x7E), "listing character not printable");
        }
    }

    // Another separator, even of two bytes, changes nothing but the decimal
    // separators, and only coefficients have one.
    const std::string separator = "\xD9\xAB";
    const std::vector<std::string> other = ListingLines(ProgramWords(image), separator);
    Check(other.size() == lines.size(), "separator changed the line count");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string expected;
        for (const char c : lines[i]) {
            if (c == '.')
                expected += separator;
            else
                expected += c;
        }
        Check(other[i] == expected, "separator changed more than the decimal separator");
    }

    // Formatting the parsed words and parsing them again gives the same words.
    ProgramImage saved;
    saved.Words = image.Words;
    saved.WordCount = image.WordCount;
    FormatObjectText(saved);
    Check(ObjectTextLength(saved) == count * ObjectLineLength, "formatted text has wrong length");
    ProgramImage reloaded;
    reloaded.ObjText = saved.ObjText;
    Check(ParseObjectText(reloaded), "formatted text does not parse");
    Check(reloaded.WordCount == image.WordCount, "round trip changed WordCount");
    Check(std::equal(image.Words.begin(), image.Words.begin() + image.WordCount,
                     reloaded.Words.begin()),
          "round trip changed a word");
    return 0;
}
