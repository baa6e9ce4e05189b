// The assembler as the listing read backwards: the round trip over random and worked
// example words, and every error with its place.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "isa/Assembler.h"
#include "isa/Listing.h"
#include "isa/WordFields.h"

namespace ixo {
namespace {

std::string Join(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

std::string LineOf(std::uint32_t word, int position) {
    return position < LfoWordCount ? FormatLfoLine(word, position) : FormatInstructionLine(word);
}

// A word with the bits no field of its line shows cleared, the way the assembler
// writes it.
std::uint32_t Visible(std::uint32_t word, int position) {
    if (position < LfoWordCount) return (word >> 30) == 3 ? word : word & ~0x30000000u;
    if (word == NopWord) return word;
    std::uint32_t visible = word & ~(1u << 18);
    if ((word & (1u << 21)) == 0) {
        visible &= ~(1u << 23);
        if ((visible & 0x7F000000u) == 0) visible &= ~0x80000000u;
    }
    return visible == NopWord ? visible | (1u << 18) : visible;
}

// Lower case, and spaces of varying count in place of tabs: what an operator might
// type instead of what the listing writes.
std::string Retyped(std::string text, std::mt19937& random) {
    std::string result;
    for (const char c : text) {
        if (c == '\t') {
            result.append(1 + random() % 3, ' ');
        } else {
            result += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
    return result;
}

// The law: a program's listing assembles back to words with the same listing, and to
// the words themselves once their hidden bits are cleared.
void ExpectRoundTrip(const std::vector<std::uint32_t>& words, std::mt19937& random) {
    const std::vector<std::string> lines = ListingLines(words, random() % 2 ? "." : ",");
    const std::string text = Join(lines, random() % 2 ? "\n" : "\r\n");
    const std::string source = random() % 2 ? text : Retyped(text, random);
    const Assembly assembly = AssembleListing(source);
    ASSERT_TRUE(assembly.Ok()) << source << "\n"
                               << assembly.Errors[0].Line << ":" << assembly.Errors[0].Column
                               << ": " << assembly.Errors[0].Message;
    ASSERT_EQ(assembly.Words.size(), words.size());
    ASSERT_EQ(assembly.Lines.size(), assembly.Words.size());
    for (int p = 0; p < static_cast<int>(words.size()); ++p) {
        // Each word comes from the line the listing shows it on.
        EXPECT_EQ(assembly.Lines[static_cast<std::size_t>(p)], ListingLineNumber(p));
        const std::uint32_t word = words[static_cast<std::size_t>(p)];
        const std::uint32_t back = assembly.Words[static_cast<std::size_t>(p)];
        EXPECT_EQ(LineOf(back, p), LineOf(word, p)) << "position " << p;
        EXPECT_EQ(back, Visible(word, p))
            << std::hex << "position " << std::dec << p << " word 0x" << std::hex << word;
    }
}

TEST(AssemblerTest, ListingAssemblesBackToItsWordsAtEveryPosition) {
    std::mt19937 random(19);
    // Uniform words seldom come near NOP: mix in words of a few bits, and NOP's
    // neighbours with random hidden bits.
    const auto randomWord = [&random]() -> std::uint32_t {
        switch (random() % 4) {
            case 0:
                return NopWord | (random() & ((1u << 18) | (1u << 23) | 0x80000000u));
            case 1:
                return (1u << (random() % 32)) | (random() % 2 ? NopWord : 0);
            default:
                return static_cast<std::uint32_t>(random());
        }
    };
    for (int program = 0; program < 400; ++program) {
        std::vector<std::uint32_t> words(program < 129 ? program : random() % 129);
        for (std::uint32_t& word : words) word = randomWord();
        ExpectRoundTrip(words, random);
        if (HasFatalFailure()) return;
    }
}

struct WorkedExample {
    int Position;
    std::uint32_t Word;
    std::uint32_t Assembled;  // the word its line gives back
};

TEST(AssemblerTest, WorkedExamplesAssembleBack) {
    const WorkedExample examples[] = {
        {0, 0x00000000, 0x00000000},
        {0, 0x00030000, 0x00030000},
        {0, 0x80038003, 0x80038003},  // Wave 2: no waveform name
        {1, 0x41F42EE0, 0x41F42EE0},
        {1, 0xD03203E7, 0xD03203E7},
        {2, 0xE01900C8, 0xE01900C8},
        {2, 0xC03183E8, 0xC03183E8},
        {3, 0xF7FFFFFF, 0xF7FFFFFF},
        {3, 0xBFFFFFFF, 0x8FFFFFFF},  // Wave 2 with Xfad 3, not shown
        {0, 0x30000000, 0x00000000},  // SIN with Xfad 3
        {1, 0x70000000, 0x40000000},  // TRI with Xfad 3
        {4, 0x00030000, 0x00030000},
        {4, 0x00070000, 0x00070000},  // RAP INL K=0 keeps bit 18 to stay apart from NOP
        {4, 0x80030000, 0x00070000},
        {4, 0x00000000, 0x00000000},
        {4, 0x40000064, 0x40000064},
        {4, 0xFF400000, 0xFF400000},
        {4, 0x01190001, 0x01190001},
        {4, 0x7A410001, 0x7A410001},
        {4, 0x83000002, 0x83000002},
        {4, 0x80000005, 0x00000005},  // the sign of K=0
        {4, 0x00840002, 0x00000002},  // bits 23 and 18 of the coefficient form
        {4, 0x00200000, 0x00200000},
        {4, 0x40200000, 0x40200000},
        {4, 0xD5E207D0, 0xD5E207D0},
        {4, 0x2B2BFFFF, 0x2B2BFFFF},
        {4, 0xFFFFFFFF, 0xFFFBFFFF},  // bit 18 in the CHR form
    };
    // Each word at its position, the positions before it filled with word 0.
    for (const WorkedExample& example : examples) {
        std::vector<std::uint32_t> words(static_cast<std::size_t>(example.Position) + 1);
        words.back() = example.Word;
        const Assembly assembly = AssembleListing(Join(ListingLines(words), "\n"));
        ASSERT_TRUE(assembly.Ok()) << std::hex << example.Word;
        EXPECT_EQ(assembly.Words.back(), example.Assembled) << std::hex << example.Word;
    }
}

struct ErrorCase {
    std::string Source;
    std::string LastError;  // "LINE:COLUMN: error: MESSAGE", COLUMN in display columns
    std::size_t Count = 1;
};

const std::string Lfos =
    "LFO0 AMP=0 FREQ=0\nLFO1 AMP=0 FREQ=0\nLFO2 AMP=0 FREQ=0\nLFO3 AMP=0 FREQ=0\n";

std::string Repeated(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Every error as ixo and the window show it: the message at its line and display
// column (tab stops every 8), and the caret under that column. One slip, one error.
TEST(AssemblerTest, EachErrorWithItsPlace) {
    const ErrorCase cases[] = {
        {"LFO0 AMP=1 FREQ=1\nLFO2 AMP=1 FREQ=1", "2:1: error: LFO2 where LFO1 was expected"},
        // Lines out of order, twice or missing: one error, at the line that is the slip.
        {"LFO0 AMP=1 FREQ=1\nLFO2 AMP=1 FREQ=1\nLFO1 AMP=1 FREQ=1\nLFO3 AMP=1 FREQ=1\nNOP",
         "2:1: error: LFO2 before LFO1 (the LFO lines go in order, LFO0 to LFO3)"},
        {"LFO0 AMP=1 FREQ=1\nLFO1 AMP=1 FREQ=1\n\nLFO3 AMP=1 FREQ=1\n;\nlfo2 AMP=1 FREQ=1\nNOP",
         "4:1: error: LFO3 before LFO2 (the LFO lines go in order, LFO0 to LFO3)"},
        {"LFO0 AMP=1 FREQ=1\nLFO1 AMP=1 FREQ=1\nLFO1 AMP=1 FREQ=1\nLFO2 AMP=1 FREQ=1\n"
         "LFO3 AMP=1 FREQ=1\nNOP",
         "3:1: error: LFO1 given twice"},
        {"LFO0 AMP=1 FREQ=1\nLFO1 AMP=1 FREQ=1\nLFO3 AMP=1 FREQ=1\nNOP",
         "3:1: error: LFO3 where LFO2 was expected"},
        {"LFO4 AMP=1 FREQ=1", "1:1: error: LFO4 is outside LFO0 to LFO3"},
        {"  lfoX AMP=1 FREQ=1", "1:3: error: unknown label \"lfoX\" (LFO0 to LFO3)"},
        {Lfos + "NOP\nlfo0 AMP=1 FREQ=1", "6:1: error: LFO0 given twice"},
        {"LFO0 AMP=1 FREQ=1\n\n\tRZP 2 K=1", "3:9: error: an instruction where LFO1 was expected"},
        {"LFO0 SIN AMP=32768 FREQ=1", "1:10: error: AMP=32768 is outside 0 to 32767"},
        {"LFO0 FREQ=8192 AMP=0", "1:6: error: FREQ=8192 is outside 0 to 8191"},
        {"LFO0 AMP=1 FREQ=1.5", "1:12: error: \"FREQ=1.5\" is not a number from 0 to 8191"},
        {"LFO0 AMP=0x10 FREQ=1", "1:6: error: AMP=0x10: numbers are decimal, 0x10 is 16"},
        {"LFO0 AMP=1 AMP=2 FREQ=1", "1:12: error: AMP= given twice"},
        {"LFO0 TRI FREQ=1 ; AMP=1", "1:16: error: missing AMP= (0 to 32767)"},
        {"LFO0\tAMP=1", "1:14: error: missing FREQ= (0 to 8191)"},
        {"LFO0 TRI AMP=1 FREQ=1 XFAD=1", "1:23: error: XFAD= only with SAW"},
        {"LFO0 SAW AMP=1 XFAD=1 FREQ=1", "1:16: error: XFAD= comes after AMP= and FREQ="},
        {"LFO0 SAW AMP=1 FREQ=1 XFAD=1/4", "1:23: error: XFAD=1/4 is not 1, 1/2, 1/8 or 1/16"},
        {"LFO0 SQR AMP=1 FREQ=1",
         "1:6: error: unknown field \"SQR\" (SIN, TRI, SAW or no waveform name, then AMP=a and "
         "FREQ=f)"},
        // A byte order mark takes no column.
        {"\xEF\xBB\xBFLFO0 SQR AMP=1 FREQ=1",
         "1:6: error: unknown field \"SQR\" (SIN, TRI, SAW "
         "or no waveform name, then AMP=a and FREQ=f)"},
        {"LFO0 sine AMP=1 FREQ=1", "1:6: error: unknown field \"sine\"; did you mean SIN?"},
        {"LFO0 AMP=1 FRQ=2", "1:12: error: unknown field \"FRQ=2\"; did you mean FREQ=2?"},
        {"LFO0 AMP=1 SAW FREQ=1 XFAD=1/2", "1:12: error: SAW comes before AMP= and FREQ="},
        {"LFO0 SAW AMP=1 FREQ=1 XFAD=1 X", "1:30: error: unexpected \"X\" at the end of the line"},
        {"LFO0 AMP= 5 FREQ=1", "1:9: error: no spaces around ="},
        {"// set-up first\n" + Lfos, "1:1: error: unexpected \"//\": comments start with ;"},
        {Lfos + "MOV\t2\tK=1",
         "5:1: error: unknown operation \"MOV\" (R or W, then ZP, BP, CP or AP, then B, then C)"},
        {Lfos + "\trpz\t2\tK=1", "5:9: error: unknown operation \"rpz\"; did you mean RZP?"},
        {Lfos + "        RXP\t100\tK=1", "5:9: error: unknown pointer \"XP\" (ZP, BP, CP or AP)"},
        {Lfos + "\tRZPCB\t2\tK=1", "5:9: error: unknown flags \"CB\" after RZP (B, then C)"},
        {Lfos + "loop:\tRZP\t2\tK=1",
         "5:1: error: unknown label \"loop:\": only CHR0 to CHR3 stand before the operation"},
        {Lfos + "CHR0 ; RZP",
         "5:5: error: missing operation (R or W, then ZP, BP, CP or AP, then B, then C)"},
        {Lfos + "\tRZP",
         "5:12: error: missing operand (INL, INR, OUTL, OUTR or an address 0 to 65535)"},
        // A field left out mid-line is missing where the next one stands.
        {Lfos + "\tRZP\tK=1",
         "5:17: error: missing operand (INL, INR, OUTL, OUTR or an address 0 to 65535)"},
        {Lfos + "CHR0\tRZP\t-COS",
         "5:17: error: missing operand (INL, INR, OUTL, OUTR or an address 0 to 65535)"},
        {Lfos + "\tOUTL\tK=1",
         "5:9: error: missing operation (R or W, then ZP, BP, CP or AP, then B, then C)"},
        {Lfos + "\tWZP\tinl\tK=1", "5:17: error: INL is an input: use it with R"},
        {Lfos + "\tRZP\tOUTL\tK=1", "5:17: error: OUTL is an output: use it with W"},
        {Lfos + "\tRZP\tX1\tK=1",
         "5:17: error: unknown operand \"X1\" (INL, INR, OUTL, OUTR or an address 0 to 65535)"},
        {Lfos + "\tWZP\toutll\tK=1", "5:17: error: unknown operand \"outll\"; did you mean OUTL?"},
        {Lfos + "\tRZP\t0x100\tK=1",
         "5:17: error: unknown operand \"0x100\": addresses are decimal, 0x100 is 256"},
        {Lfos + "\tRZP\t65536\tK=1", "5:17: error: address 65536 is outside 0 to 65535"},
        {Lfos + "\tRZP\t2", "5:18: error: missing K=k (-127 to 127)"},
        {Lfos + "\tRZP\t2\t+SIN", "5:25: error: \"+SIN\" where K=k was expected"},
        {Lfos + "\tRZP\t2\tK=200", "5:25: error: K=200 is outside -127 to 127"},
        {Lfos + "\tRZP\t2\tk=-128", "5:25: error: K=-128 is outside -127 to 127"},
        {Lfos + "\tRZP\t2\tK=+1", "5:25: error: \"K=+1\" is not a number from -127 to 127"},
        // A coefficient written as its value: the K that stands for it.
        {Lfos + "\tRZP\t2\tK=0.5",
         "5:25: error: K=0.5: K is -127 to 127, worth K/127: 0.5 is K=64"},
        {Lfos + "\tRZP\t2\tk=-0,25",
         "5:25: error: K=-0,25: K is -127 to 127, worth K/127: -0,25 is K=-32"},
        {Lfos + "\tRZP\t2\tK=1.5", "5:25: error: K=1.5: K is -127 to 127, worth K/127"},
        {Lfos + "\tRZP\t2\tK = 64", "5:27: error: no spaces around ="},
        {Lfos + "\tRZP\t2\tK=1\t# gain", "5:33: error: unexpected \"#\": comments start with ;"},
        {Lfos + "\tRZP\t2\tK=1\tK=2", "5:33: error: unexpected \"K=2\" at the end of the line"},
        {Lfos + "NOP 5", "5:5: error: unexpected \"5\" at the end of the line"},
        {Lfos + "CHR4\tRZP\t2\t+SIN", "5:1: error: CHR4 is outside CHR0 to CHR3"},
        {Lfos + "CHR0\tRZP\t2", "5:18: error: missing +SIN, +COS, -SIN or -COS"},
        {Lfos + "CHR0\tRZP\t2\tK=1",
         "5:25: error: unknown modulation \"K=1\" (+SIN, +COS, -SIN or -COS)"},
        {Lfos + "CHR0\tRZP\t2\t+SIM",
         "5:25: error: unknown modulation \"+SIM\"; did you mean +SIN?"},
        {Lfos + "CHR0\tRZP\t2\t+SIN MASKB",
         "5:30: error: unknown option \"MASKB\"; did you mean MASKA?"},
        {Lfos + "CHR0\tRZP\t2\t+SIN COMPK LATCH compk", "5:42: error: COMPK given twice"},
        // A column counts characters, not bytes; errors of a line from left to right.
        {Lfos + "\tRZP\t\xC3\x84\xC3\x84\tK=1\tX",
         "5:33: error: unexpected \"X\" at the end of the line", 2},
        {Lfos + Repeated("NOP\n", 125), "129:1: error: more than 128 words"},
        // Every error of the source, up to 20, then one more saying there are more.
        {Lfos + Repeated("\tRZP\t2\tK=200\n", 2), "6:25: error: K=200 is outside -127 to 127", 2},
        {Lfos + Repeated("\tRZP\t2\tK=200 X\n", 11), "15:25: error: too many errors", 21},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.Source);
        const Assembly assembly = AssembleListing(c.Source);
        ASSERT_FALSE(assembly.Ok());
        EXPECT_TRUE(assembly.Words.empty());
        EXPECT_EQ(assembly.Errors.size(), c.Count);
        const std::vector<std::string> shown =
            Lines(FormatAsmErrors("f.asm", c.Source, assembly.Errors));
        ASSERT_EQ(shown.size(), 3 * assembly.Errors.size());
        EXPECT_EQ(shown[shown.size() - 3], "f.asm:" + c.LastError);
        // The caret stands in the column the message names.
        const std::string column = c.LastError.substr(c.LastError.find(':') + 1);
        const std::string& caret = shown.back();
        EXPECT_EQ(caret.find('^') - caret.find('|') - 1, std::stoul(column)) << caret;
    }
}

// The lines shown under each message: the source line with its tabs expanded, so that
// the caret stands under the column in any fixed-pitch font, in GCC's margin.
TEST(AssemblerTest, ErrorsShowTheirLineWithACaret) {
    const std::string source =
        "\xEF\xBB\xBF" + Lfos + Repeated(";\n", 100) + "\tRZP\t\xC3\x84\tK=1\tX\r\n\tRZP\t2";
    const Assembly assembly = AssembleListing(source);
    EXPECT_EQ(FormatAsmErrors("<stdin>", source, assembly.Errors),
              "<stdin>:105:17: error: unknown operand \"\xC3\x84\" (INL, INR, OUTL, OUTR or an "
              "address 0 to 65535)\n"
              "  105 |         RZP     \xC3\x84       K=1     X\n"
              "      |                 ^\n"
              "<stdin>:105:33: error: unexpected \"X\" at the end of the line\n"
              "  105 |         RZP     \xC3\x84       K=1     X\n"
              "      |                                 ^\n"
              "<stdin>:106:18: error: missing K=k (-127 to 127)\n"
              "  106 |         RZP     2\n"
              "      |                  ^\n");

    // Control characters reach no terminal: escaped in the message, "?" in the line,
    // where each keeps its own column.
    const std::string escape = Lfos + "\tRZP\t\x1B[2J\tK=1";
    EXPECT_EQ(
        FormatAsmErrors("e.asm", escape, AssembleListing(escape).Errors),
        "e.asm:5:17: error: unknown operand \"\\x1b[2J\" (INL, INR, OUTL, OUTR or an address 0 "
        "to 65535)\n"
        "    5 |         RZP     ?[2J    K=1\n"
        "      |                 ^\n");
}

TEST(AssemblerTest, EmptySourceIsEmptyProgram) {
    for (const char* source : {"", "\n", "; nothing\r\n\t \n;", "\xEF\xBB\xBF\r\n"}) {
        const Assembly assembly = AssembleListing(source);
        EXPECT_TRUE(assembly.Ok()) << source;
        EXPECT_TRUE(assembly.Words.empty()) << source;
    }
}

}  // namespace
}  // namespace ixo
