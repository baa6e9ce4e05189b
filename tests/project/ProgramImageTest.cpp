#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "project/ProgramImage.h"

namespace ixo {
namespace {

// An image whose object text is the given bytes (as if read from a file).
ProgramImage ImageWithText(const std::string& text) {
    ProgramImage image;
    std::memcpy(image.ObjText.data(), text.data(), std::min(text.size(), image.ObjText.size()));
    return image;
}

std::string Lines(int count, const char* line = "0123ABCD\r\n") {
    std::string text;
    for (int i = 0; i < count; ++i) text += line;
    return text;
}

TEST(ParseObjectLine, ClassifiesLinesAndSaysWhyOneIsBad) {
    struct Case {
        const char* bytes;  // exactly 10 bytes
        ObjectLineKind kind;
        std::uint32_t value;
        const char* why = "";  // of a Bad line
    };
    const Case cases[] = {
        {"00AB12CD\r\n", ObjectLineKind::Word, 0x00AB12CD},
        {"00ab12Cd\r\n", ObjectLineKind::Word, 0x00AB12CD},
        {"FFFFFFFF\r\n", ObjectLineKind::Word, 0xFFFFFFFF},
        // Every digit and letter, in both cases, and the bytes beside them.
        {"01234567\r\n", ObjectLineKind::Word, 0x01234567},
        {"89ABCDEF\r\n", ObjectLineKind::Word, 0x89ABCDEF},
        {"89abcdef\r\n", ObjectLineKind::Word, 0x89ABCDEF},
        {"/1234567\r\n", ObjectLineKind::Bad, 0, "'/' is not a hexadecimal digit"},
        {"123456:8\r\n", ObjectLineKind::Bad, 0, "':' is not a hexadecimal digit"},
        {"123456@8\r\n", ObjectLineKind::Bad, 0, "'@' is not a hexadecimal digit"},
        {"123456`8\r\n", ObjectLineKind::Bad, 0, "'`' is not a hexadecimal digit"},
        {"1234567g\r\n", ObjectLineKind::Bad, 0, "'g' is not a hexadecimal digit"},
        {"\r\n12345678", ObjectLineKind::End, 0},
        {"\r9999999\r\n", ObjectLineKind::End, 0},
        {"0x123456\r\n", ObjectLineKind::Bad, 0, "'x' is not a hexadecimal digit"},
        {" 1234567\r\n", ObjectLineKind::Bad, 0, "' ' is not a hexadecimal digit"},
        {"-1234567\r\n", ObjectLineKind::Bad, 0, "'-' is not a hexadecimal digit"},
        {"1234567G\r\n", ObjectLineKind::Bad, 0, "'G' is not a hexadecimal digit"},
        {"1234\t678\r\n", ObjectLineKind::Bad, 0, "byte 0x09 is not a hexadecimal digit"},
        {"1234567\r\n\0", ObjectLineKind::Bad, 0, "missing digit: 7 of 8 digits"},
        {"123\n\0\0\0\0\0\0", ObjectLineKind::Bad, 0, "missing digit: 3 of 8 digits"},
        {"1\0\0\0\0\0\0\0\0\0", ObjectLineKind::Bad, 0, "missing digit: 1 of 8 digits"},
        {"12345678\n\0", ObjectLineKind::Bad, 0, "line feed without carriage return"},
        {"\n12345678\n", ObjectLineKind::Bad, 0, "line feed without carriage return"},
        {"12345678\0\0", ObjectLineKind::Bad, 0, "no line end after the last word"},
        {"12345678\r\r", ObjectLineKind::Bad, 0, "carriage return without line feed"},
        {"12345678\r\0", ObjectLineKind::Bad, 0, "carriage return without line feed"},
        {"123456789\r", ObjectLineKind::Bad, 0, "more than 8 digits"},
        {"12345678 \r", ObjectLineKind::Bad, 0, "' ' where the line should end"},
    };
    for (const Case& c : cases) {
        const ObjectLine line = ParseObjectLine(std::span<const std::uint8_t, ObjectLineLength>(
            reinterpret_cast<const std::uint8_t*>(c.bytes), ObjectLineLength));
        EXPECT_EQ(line.Kind, c.kind) << c.bytes;
        if (c.kind == ObjectLineKind::Word) {
            EXPECT_EQ(line.Value, c.value) << c.bytes;
        }
        EXPECT_EQ(BadLineText(line), c.why) << c.bytes;
    }
    const std::uint8_t zeroLine[10] = {};
    EXPECT_EQ(ParseObjectLine(zeroLine).Kind, ObjectLineKind::End);
    const std::uint8_t highByte[10] = {'1', '2', 0xC1, '4', '5', '6', '7', '8', '\r', '\n'};
    EXPECT_EQ(ParseObjectLine(highByte).Kind, ObjectLineKind::Bad);
    EXPECT_EQ(BadLineText(ParseObjectLine(highByte)), "byte 0xC1 is not a hexadecimal digit");
}

TEST(ParseObjectText, EndsAtEmptyLineOrEndOfData) {
    ProgramImage empty = ImageWithText("");
    EXPECT_TRUE(ParseObjectText(empty));
    EXPECT_EQ(empty.WordCount, 0);

    ProgramImage firstEmpty = ImageWithText("\r\n" + Lines(3));
    EXPECT_TRUE(ParseObjectText(firstEmpty));
    EXPECT_EQ(firstEmpty.WordCount, 0);

    ProgramImage three = ImageWithText("00000001\r\n00000002\r\n00000003\r\n\r\n00000004\r\n");
    EXPECT_TRUE(ParseObjectText(three));
    ASSERT_EQ(three.WordCount, 3);
    EXPECT_EQ(three.Words[0], 1u);
    EXPECT_EQ(three.Words[2], 3u);
}

TEST(ParseObjectText, StopsAtBadLineKeepingTheWordsBefore) {
    // The last line lacks its CR LF.
    ProgramImage image = ImageWithText("00000001\r\n00000002\r\n00000003");
    EXPECT_FALSE(ParseObjectText(image));
    EXPECT_EQ(image.WordCount, 2);
    EXPECT_EQ(image.Words[1], 2u);

    ProgramImage unixEnds = ImageWithText("00000001\n00000002\n");
    EXPECT_FALSE(ParseObjectText(unixEnds));
    EXPECT_EQ(unixEnds.WordCount, 0);
}

TEST(ParseObjectText, TakesAtMost128Words) {
    ProgramImage image = ImageWithText(Lines(130));
    EXPECT_TRUE(ParseObjectText(image));
    EXPECT_EQ(image.WordCount, MaxProgramWords);
    EXPECT_EQ(image.Words[127], 0x0123ABCDu);
    EXPECT_EQ(image.Words[128], 0u);  // the CW position is not touched

    // A bad line after the 128th is never looked at.
    ProgramImage badAfter = ImageWithText(Lines(128) + "garbage!\r\n");
    EXPECT_TRUE(ParseObjectText(badAfter));
    EXPECT_EQ(badAfter.WordCount, MaxProgramWords);
}

TEST(ParseObjectText, ShorterTextLeavesLaterWordsOfTheEarlierProgram) {
    ProgramImage image = ImageWithText(Lines(10, "AAAAAAAA\r\n"));
    ASSERT_TRUE(ParseObjectText(image));
    image.ObjText.fill(0);
    const std::string five = Lines(5, "BBBBBBBB\r\n");
    std::memcpy(image.ObjText.data(), five.data(), five.size());
    ASSERT_TRUE(ParseObjectText(image));
    EXPECT_EQ(image.WordCount, 5);
    EXPECT_EQ(image.Words[4], 0xBBBBBBBBu);
    EXPECT_EQ(image.Words[5], 0xAAAAAAAAu);
    EXPECT_EQ(image.Words[9], 0xAAAAAAAAu);
    EXPECT_EQ(image.Words[10], 0u);
}

// The listing is made from these words: the CW word a read leaves at 128 and a
// word count out of range must never reach it.
TEST(ProgramWords, FullProgramLeavesOutTheCwWord) {
    ProgramImage image;
    struct Case {
        int WordCount;
        std::size_t Listed;
    };
    const Case cases[] = {{0, 0},    {5, 5}, {MaxProgramWords, 128}, {-1, 0}, {CwPosition + 1, 128},
                          {255, 128}};
    for (const Case& c : cases) {
        image.WordCount = c.WordCount;
        const std::span<const std::uint32_t> words = ProgramWords(image);
        ASSERT_EQ(words.size(), c.Listed) << "WordCount " << c.WordCount;
        // From position 0 on, the image's own words.
        if (c.Listed > 0) {
            EXPECT_EQ(words.data(), image.Words.data());
        }
    }
}

TEST(TrailingTextCheck, AllowsOnlyEmptyLinesAndZeroBytes) {
    struct Case {
        std::vector<std::string> pieces;  // as read, one after another
        bool allowed;
        int line;  // where text was found, counted from the first line 5
    };
    const Case cases[] = {
        {{}, true, 5},
        {{"\r\n\r\n", "\0\0\0"}, true, 7},
        {{"\r", "\n\r", "\n"}, true, 7},  // a line end split between pieces
        {{"\r\n", "00000000\r\n"}, false, 6},
        {{"\r\n\r\n\n"}, false, 7},  // a line feed alone is text
        {{"\r\n\r"}, false, 6},      // so is a carriage return alone at the end
        {{"\r\r\n"}, false, 5},
        {{std::string(3000, '\0') + "x"}, false, 5},
    };
    for (const Case& c : cases) {
        TrailingTextCheck check(5);
        bool going = true;
        for (const std::string& piece : c.pieces) {
            going = check.Take(
                std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
            if (!going) break;
        }
        const std::string shown = c.pieces.empty() ? "" : c.pieces.front();
        EXPECT_EQ(going && check.Finish(), c.allowed) << shown;
        EXPECT_EQ(check.Line(), c.line) << shown;
    }
}

TEST(FormatObjectText, WritesUpperCaseLinesAndRoundTrips) {
    ProgramImage image;
    const std::uint32_t words[] = {0x00ab12cd, 0, 0xFFFFFFFF, 0x00030000};
    image.WordCount = 4;
    std::copy(std::begin(words), std::end(words), image.Words.begin());
    image.ObjText.fill('x');  // stale bytes must not survive

    FormatObjectText(image);
    const std::string expected = "00AB12CD\r\n00000000\r\nFFFFFFFF\r\n00030000\r\n";
    ASSERT_EQ(ObjectTextLength(image), expected.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.ObjText.data()), expected.size()),
              expected);

    ProgramImage parsed;
    parsed.ObjText = image.ObjText;
    EXPECT_TRUE(ParseObjectText(parsed));
    EXPECT_EQ(parsed.WordCount, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(parsed.Words[i], words[i]);

    // A full program fills exactly 1280 bytes; an empty one leaves nothing.
    image.WordCount = MaxProgramWords;
    FormatObjectText(image);
    EXPECT_EQ(ObjectTextLength(image), 1280u);
    image.WordCount = 0;
    FormatObjectText(image);
    EXPECT_EQ(ObjectTextLength(image), 0u);
}

}  // namespace
}  // namespace ixo
