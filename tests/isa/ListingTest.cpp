// Listing lines from program words: golden word -> line tables, the column layout
// the tabs give, and the lines of a whole program.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "SixWords.h"
#include "isa/Listing.h"
#include "isa/WordFields.h"

namespace ixo {
namespace {

struct LfoCase {
    int Position;
    std::uint32_t Word;
    const char* Line;
};

// Shown in test names and failure messages.
std::string Hex(std::uint32_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(word));
    return text;
}

void PrintTo(const LfoCase& c, std::ostream* out) {
    *out << c.Position << ":" << Hex(c.Word);
}

class LfoLineTest : public ::testing::TestWithParam<LfoCase> {};

TEST_P(LfoLineTest, FormatsLine) {
    EXPECT_EQ(FormatLfoLine(GetParam().Word, GetParam().Position), GetParam().Line);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, LfoLineTest,
    ::testing::Values(LfoCase{0, 0x00000000, "LFO0\tSIN\tAMP=0\t\tFREQ=0"},
                      LfoCase{0, 0x00030000, "LFO0\tSIN\tAMP=0\t\tFREQ=6"},
                      LfoCase{0, 0x80038003, "LFO0\tAMP=3\t\tFREQ=7"},
                      LfoCase{1, 0x41F42EE0, "LFO1\tTRI\tAMP=12000\tFREQ=1000"},
                      LfoCase{1, 0xD03203E7, "LFO1\tSAW\tAMP=999\t\tFREQ=100\tXFAD=1/2"},
                      LfoCase{2, 0xE01900C8, "LFO2\tSAW\tAMP=200\t\tFREQ=50\t\tXFAD=1/8"},
                      LfoCase{2, 0xC03183E8, "LFO2\tSAW\tAMP=1000\tFREQ=99\t\tXFAD=1"},
                      LfoCase{3, 0xF7FFFFFF, "LFO3\tSAW\tAMP=32767\tFREQ=4095\tXFAD=1/16"},
                      LfoCase{3, 0xBFFFFFFF, "LFO3\tAMP=32767\tFREQ=8191"}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, LfoLineTest,
    ::testing::Values(
        // Crossfade is shown with SAW only, whatever its bits hold.
        LfoCase{0, 0x30000000, "LFO0\tSIN\tAMP=0\t\tFREQ=0"},
        LfoCase{1, 0x70000000, "LFO1\tTRI\tAMP=0\t\tFREQ=0"},
        LfoCase{2, 0xB0000000, "LFO2\tAMP=0\t\tFREQ=0"},
        // Wave 2 with a long amplitude: one tab, no waveform column.
        LfoCase{3, 0x800003E8, "LFO3\tAMP=1000\tFREQ=0"},
        // SAW at the smallest values, and at Freq 99 / 100 with Amp 999 / 1000.
        LfoCase{0, 0xC0000000, "LFO0\tSAW\tAMP=0\t\tFREQ=0\t\tXFAD=1"},
        LfoCase{0, 0xF03183E7, "LFO0\tSAW\tAMP=999\t\tFREQ=99\t\tXFAD=1/16"},
        LfoCase{0, 0xE03203E8, "LFO0\tSAW\tAMP=1000\tFREQ=100\tXFAD=1/8"},
        // Without SAW the line ends at the frequency digits, short or long.
        LfoCase{1, 0x4031FFFF, "LFO1\tTRI\tAMP=32767\tFREQ=99"},
        // Positions 0 to 3 are the channel number, never taken from the word.
        LfoCase{3, 0x00000000, "LFO3\tSIN\tAMP=0\t\tFREQ=0"}));

struct InstructionCase {
    std::uint32_t Word;
    const char* Line;
};

void PrintTo(const InstructionCase& c, std::ostream* out) {
    *out << Hex(c.Word);
}

class InstructionLineTest : public ::testing::TestWithParam<InstructionCase> {};

TEST_P(InstructionLineTest, FormatsLine) {
    EXPECT_EQ(FormatInstructionLine(GetParam().Word), GetParam().Line);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, InstructionLineTest,
    ::testing::Values(InstructionCase{0x00030000, "NOP"},
                      InstructionCase{0x00070000, "\tRAP\tINL\tK=0\t\t; 0"},
                      InstructionCase{0x00000000, "\tRZP\tINL\tK=0\t\t; 0"},
                      InstructionCase{0x40000064, "\tRZP\t100\tK=64\t\t; 0.503937007874016"},
                      InstructionCase{0xFF400000, "\tWZP\tOUTL\tK=-127\t\t; -1"},
                      InstructionCase{0x01190001, "\tRBPBC\tINR\tK=1\t\t; 0.0078740157480315"},
                      InstructionCase{0x7A410001, "\tWBP\tOUTR\tK=122\t\t; 0.960629921259842"},
                      InstructionCase{0x83000002, "\tRZP\t2\tK=-3\t\t; -0.0236220472440945"},
                      InstructionCase{0x80000005, "\tRZP\t5\tK=0\t\t; 0"},
                      InstructionCase{0x00200000, "CHR0\tRZP\tINL\t+SIN MASKA"},
                      InstructionCase{0x40200000, "CHR0\tRZP\tINL\t+SIN"},
                      InstructionCase{0xD5E207D0, "CHR1\tWCP\t2000\t-COS COMPK LATCH"},
                      InstructionCase{0x2B2BFFFF, "CHR3\tRAPB\t65535\t+SIN COMPA MASKA COMPS"},
                      InstructionCase{0xFFFFFFFF,
                                      "CHR3\tWAPBC\t65535\t-COS COMPK COMPA LATCH COMPS"}));

INSTANTIATE_TEST_SUITE_P(EdgeCases, InstructionLineTest,
                         ::testing::Values(
                             // Only the exact NopWord is a NOP.
                             InstructionCase{0x00030001, "\tRAP\tINR\tK=0\t\t; 0"},
                             // Bit 18, and bit 23 in the coefficient form, change nothing.
                             InstructionCase{0x00000002, "\tRZP\t2\tK=0\t\t; 0"},
                             InstructionCase{0x00800002, "\tRZP\t2\tK=0\t\t; 0"},
                             InstructionCase{0x00840002, "\tRZP\t2\tK=0\t\t; 0"},
                             InstructionCase{0x00240000, "CHR0\tRZP\tINL\t+SIN MASKA"},
                             // Sign with zero magnitude, also with bit 23 set: never -0.
                             InstructionCase{0x80000000, "\tRZP\tINL\tK=0\t\t; 0"},
                             InstructionCase{0x80800000, "\tRZP\tINL\tK=0\t\t; 0"},
                             // The ends of the coefficient range have no decimal separator.
                             InstructionCase{0x7F000000, "\tRZP\tINL\tK=127\t\t; 1"},
                             InstructionCase{0xFF000000, "\tRZP\tINL\tK=-127\t\t; -1"},
                             // Flag C alone, the CP pointer, write to memory.
                             InstructionCase{0x00520002, "\tWCPC\t2\tK=0\t\t; 0"},
                             // Every CHR option on: listed COMPK COMPA MASKA LATCH COMPS.
                             InstructionCase{0xBC200000,
                                             "CHR0\tRZP\tINL\t-SIN COMPK COMPA MASKA LATCH COMPS"},
                             // Each option alone (MASKA off through bit 30 in all but the first).
                             InstructionCase{0x10200000 | 0x40000000, "CHR0\tRZP\tINL\t+SIN COMPK"},
                             InstructionCase{0x08200000 | 0x40000000, "CHR0\tRZP\tINL\t+SIN COMPA"},
                             InstructionCase{0x04200000 | 0x40000000, "CHR0\tRZP\tINL\t+SIN LATCH"},
                             InstructionCase{0x20200000 | 0x40000000, "CHR0\tRZP\tINL\t+SIN COMPS"},
                             // The CHR channel and the cosine come from bits 25-24 and 23.
                             InstructionCase{0x42A00001, "CHR2\tRZP\tINR\t+COS"},
                             InstructionCase{0x42E00001, "CHR2\tWZP\tOUTR\t+COS"}));

struct CoefficientCase {
    int K;
    const char* Text;
};

void PrintTo(const CoefficientCase& c, std::ostream* out) {
    *out << "K=" << c.K;
}

class CoefficientTest : public ::testing::TestWithParam<CoefficientCase> {};

TEST_P(CoefficientTest, FormatsValue) {
    EXPECT_EQ(FormatCoefficient(GetParam().K), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(TellingValues, CoefficientTest,
                         ::testing::Values(CoefficientCase{0, "0"},
                                           CoefficientCase{1, "0.0078740157480315"},
                                           CoefficientCase{2, "0.015748031496063"},
                                           CoefficientCase{-3, "-0.0236220472440945"},
                                           CoefficientCase{64, "0.503937007874016"},
                                           // The double, not the exact fraction, is rounded.
                                           CoefficientCase{122, "0.960629921259842"},
                                           CoefficientCase{127, "1"}, CoefficientCase{-127, "-1"}));

// The C library's "%.15g" of K/127, for every K, is the reference.
TEST(Coefficient, MatchesPrintfForEveryK) {
    for (int k = -127; k <= 127; ++k) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.15g", k / 127.0);
        EXPECT_EQ(FormatCoefficient(k), expected) << "K = " << k;
    }
}

TEST(Coefficient, UsesGivenSeparator) {
    EXPECT_EQ(FormatCoefficient(64, ","), "0,503937007874016");
    EXPECT_EQ(FormatCoefficient(-3, ","), "-0,0236220472440945");
    // A separator of more than one byte (U+066B, Arabic decimal separator).
    EXPECT_EQ(FormatCoefficient(64, "\xD9\xAB"),
              "0\xD9\xAB"
              "503937007874016");
    // Whole numbers have no separator to replace.
    EXPECT_EQ(FormatCoefficient(127, ","), "1");
    EXPECT_EQ(FormatCoefficient(-127, ","), "-1");
    EXPECT_EQ(FormatCoefficient(0, ","), "0");
    EXPECT_EQ(FormatInstructionLine(0x40000064, ","), "\tRZP\t100\tK=64\t\t; 0,503937007874016");
}

// Where each character lands with tab stops every eight columns.
std::string ExpandTabs(const std::string& line) {
    std::string expanded;
    for (char c : line) {
        if (c != '\t') {
            expanded += c;
            continue;
        }
        do expanded += ' ';
        while (expanded.size() % 8 != 0);
    }
    return expanded;
}

// Words with every field at its ends, and many more at random.
std::vector<std::uint32_t> SampleWords() {
    std::vector<std::uint32_t> words = {0x00000000, 0xFFFFFFFF, 0x00030000, 0x80000000,
                                        0x7FFFFFFF, 0x000003E7, 0x000003E8, 0x00031FFF,
                                        0x00320000, 0xC03183E7, 0xC03203E8, 0x0000FFFF};
    std::mt19937 random(12345);
    for (int i = 0; i < 20000; ++i) words.push_back(static_cast<std::uint32_t>(random()));
    return words;
}

TEST(ListingColumns, LfoLinesLineUp) {
    for (std::uint32_t word : SampleWords()) {
        const LfoWord fields = DecodeLfoWord(word);
        const std::string line = ExpandTabs(FormatLfoLine(word, 2));
        SCOPED_TRACE(line);
        EXPECT_EQ(line.find("AMP="), fields.Wave == 2 ? 8u : 16u);
        EXPECT_EQ(line.find("FREQ="), fields.Wave == 2 ? 24u : 32u);
        if (fields.Wave == WaveSaw) {
            EXPECT_EQ(line.find("XFAD="), 48u);
        } else {
            EXPECT_EQ(line.find("XFAD="), std::string::npos);
            EXPECT_NE(line.back(), ' ');
        }
    }
}

TEST(ListingColumns, InstructionLinesLineUp) {
    for (std::uint32_t word : SampleWords()) {
        if (word == NopWord) continue;
        const InstructionWord fields = DecodeInstructionWord(word);
        const std::string line = ExpandTabs(FormatInstructionLine(word));
        SCOPED_TRACE(line);
        EXPECT_TRUE(line[8] == 'R' || line[8] == 'W');
        // Each column ends before the next one starts, which always holds something.
        EXPECT_EQ(line[15], ' ');
        EXPECT_NE(line[16], ' ');
        EXPECT_EQ(line[23], ' ');
        if (fields.ChrForm) {
            EXPECT_TRUE(line[24] == '+' || line[24] == '-');
            EXPECT_EQ(line.find(';'), std::string::npos);
        } else {
            EXPECT_EQ(line.substr(24, 2), "K=");
            EXPECT_EQ(line.find("; "), 40u);
        }
    }
}

TEST(ListingLines, WholeProgram) {
    std::string listing;
    for (const std::string& line : ListingLines(test::SixWords)) listing += line + "\n";
    EXPECT_EQ(listing, test::SixWordListing);
    EXPECT_EQ(ListingLines(test::SixWords, ",")[5], "\tRZP\t100\tK=64\t\t; 0,503937007874016");
}

TEST(ListingLines, SeparatorLineOnlyFromPositionFour) {
    // NopWord everywhere: an LFO line at 0..3, NOP from 4 on.
    std::vector<std::uint32_t> words;
    const std::string lfo = "\tSIN\tAMP=0\t\tFREQ=6";

    EXPECT_TRUE(ListingLines(words).empty());

    words.assign(4, NopWord);
    EXPECT_EQ(ListingLines(words),
              (std::vector<std::string>{"LFO0" + lfo, "LFO1" + lfo, "LFO2" + lfo, "LFO3" + lfo}));

    words.push_back(NopWord);
    const std::vector<std::string> five = ListingLines(words);
    ASSERT_EQ(five.size(), 6u);
    EXPECT_EQ(five[4], ";");
    EXPECT_EQ(five[5], "NOP");
}

TEST(ListingLines, FullProgram) {
    std::vector<std::uint32_t> words(MaxProgramWords);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint32_t>(i) | 0x00200000;  // CHR0 ... with address i
    }
    const std::vector<std::string> lines = ListingLines(words);
    ASSERT_EQ(lines.size(), 129u);
    EXPECT_EQ(lines[4], ";");
    EXPECT_EQ(lines[5], "CHR0\tRZP\t4\t+SIN MASKA");
    EXPECT_EQ(lines[128], "CHR0\tRZP\t127\t+SIN MASKA");
}

}  // namespace
}  // namespace ixo
