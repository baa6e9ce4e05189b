// Assembly files in ixo: asm, and list with either kind of file, run as real
// processes on real files.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "IxoProcess.h"
#include "SixWords.h"
#include "TempDir.h"

namespace ixo::test {
namespace {

// The six-word listing with its coefficient out of range.
std::string BadListing() {
    std::string text = SixWordListing;
    text.replace(text.find("K=64"), 4, "K=200");
    return text;
}

// As compilers show an error: its place, the line, a caret under the column.
const std::string BadError =
    ":6:25: error: K=200 is outside -127 to 127\n"
    "    6 |         RZP     100     K=200           ; 0.503937007874016\n"
    "      |                         ^\n";

// The six-word listing as the window saves it.
std::string SavedListing() {
    std::string text;
    for (const char c : SixWordListing) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return text;
}

std::string SameFile(const std::string& output, const std::string& input) {
    return "ixo: Can't write file \"" + output + "\": the same file as the input \"" + input +
           "\"\n";
}

std::string TooLarge(const std::string& kind) {
    return "ixo: Can't open file \"<stdin>\": larger than 1 MiB, too large for " + kind + "\n";
}

const std::string NoSpace = "ixo: can't write standard output: No space left on device\n";

struct FileCase {
    std::vector<std::string> Args;
    std::string Input;  // a file of the folder (or a path) as standard input, or empty
    int ExitStatus;
    std::string Out;
    std::string Err;
    // What files of the folder hold afterwards; nullopt: the file is not there.
    std::map<std::string, std::optional<std::string>> After = {};
    std::string Output = {};  // where standard output goes when not captured
};

TEST(IxoAsm, AssemblesAndListsAssemblyFiles) {
    const std::string usage = "Try 'ixo --help' for more information.\n";
    const FileCase cases[] = {
        {{"asm", "six.asm"}, "", 0, "", "", {{"six.obj", SixWordObject}}},
        {{"asm", "six.asm", "-o", "out"}, "", 0, "", "", {{"out", SixWordObject}}},
        {{"asm", "-"}, "six.asm", 0, SixWordObject, ""},
        {{"asm", "-", "--output", "in.obj"}, "six.asm", 0, "", "", {{"in.obj", SixWordObject}}},
        // Nothing is written when there is an error, and what was there stays.
        {{"asm", "bad.asm"}, "", 1, "", "bad.asm" + BadError, {{"bad.obj", "kept"}}},
        {{"asm", "-"}, "bad.asm", 1, "", "<stdin>" + BadError},
        {{"asm", "bad.asm", "-o", "-"}, "", 1, "", "bad.asm" + BadError},
        // A source named .obj is not overwritten by default.
        {{"asm", "listing.obj"},
         "",
         1,
         "",
         "ixo: listing.obj: the object file would replace it; name one with -o\n",
         {{"listing.obj", SixWordListing}}},
        // No output over the input, however it is named.
        {{"asm", "six.asm", "-o", "six.asm"},
         "",
         1,
         "",
         SameFile("six.asm", "six.asm"),
         {{"six.asm", SixWordListing}}},
        {{"asm", "six.asm", "-o", "./six.asm"},
         "",
         1,
         "",
         SameFile("./six.asm", "six.asm"),
         {{"six.asm", SixWordListing}}},
        {{"asm", "six.asm", "-o", "link.obj"},
         "",
         1,
         "",
         SameFile("link.obj", "six.asm"),
         {{"six.asm", SixWordListing}}},
        {{"asm", "six.asm", "-o", "hard.obj"},
         "",
         1,
         "",
         SameFile("hard.obj", "six.asm"),
         {{"six.asm", SixWordListing}}},
        {{"asm", "-", "-o", "six.asm"},
         "six.asm",
         1,
         "",
         SameFile("six.asm", "<stdin>"),
         {{"six.asm", SixWordListing}}},
        // Endless input is refused at once.
        {{"asm", "-"}, "/dev/zero", 1, "", TooLarge("an assembly file")},
        {{"list", "-"}, "/dev/zero", 1, "", TooLarge("an object file")},
        {{"write", "-"}, "/dev/zero", 1, "", TooLarge("an object file")},
        {{"verify", "-"}, "/dev/zero", 1, "", TooLarge("an object file")},
        // Control characters in an argument are shown escaped, and a message stays one line.
        {{"list", "a\nb\x1b.obj"},
         "",
         1,
         "",
         "ixo: Can't open file \"a\\nb\\x1b.obj\": No such file or directory\n"},
        // Standard output that cannot be written is said once, with its reason.
        {{"list", "six.asm"}, "", 1, "", NoSpace, {}, "/dev/full"},
        {{"asm", "six.asm", "-o", "-"}, "", 1, "", NoSpace, {}, "/dev/full"},
        {{"list", "part.obj"},
         "",
         1,
         "",
         "part.obj:7: missing digit: 7 of 8 digits\n" + NoSpace,
         {},
         "/dev/full"},
        {{"asm", "absent.asm"},
         "",
         1,
         "",
         "ixo: Can't open file \"absent.asm\": No such file or directory\n",
         {{"absent.obj", std::nullopt}}},
        // .asm in any case is assembly, anything else an object file, unless --format says.
        {{"list", "SIX.ASM"}, "", 0, SixWordListing, ""},
        {{"list", "six.obj.txt"}, "", 0, SixWordListing, ""},
        {{"list", "--format", "asm", "listing.obj"}, "", 0, SixWordListing, ""},
        {{"list", "--format=obj", "object.asm"}, "", 0, SixWordListing, ""},
        {{"list", "--format", "asm", "-"}, "six.asm", 0, SixWordListing, ""},
        {{"list", "bad.asm"}, "", 1, "", "bad.asm" + BadError},
        // Object-file errors in the same form, standard input under the same name.
        {{"list", "-"}, "bad.obj", 1, "", "<stdin>:1: 'k' is not a hexadecimal digit\n"},
        {{"list", "prog.s"},
         "",
         1,
         "",
         "prog.s:1: 'L' is not a hexadecimal digit; for an assembly file, use --format asm\n"},
        // -o saves the listing as the window does, whatever the name.
        {{"list", "--format=obj", "object.asm", "-o", "out.txt"},
         "",
         0,
         "",
         "",
         {{"out.txt", SavedListing()}}},
        {{"list", "six.asm", "-o", "-"}, "", 0, SavedListing(), ""},
        {{"list", "six.asm", "-o", "six.asm"},
         "",
         1,
         "",
         SameFile("six.asm", "six.asm"),
         {{"six.asm", SixWordListing}}},
        {{"list", "--format", "lst", "six.asm"},
         "",
         2,
         "",
         "ixo: --format: not a format: 'lst' (asm or obj)\n" + usage},
    };
    for (const FileCase& c : cases) {
        TempDir dir;
        WriteBytes(dir.File("six.asm"), SixWordListing);
        WriteBytes(dir.File("SIX.ASM"), SixWordListing);
        WriteBytes(dir.File("listing.obj"), SixWordListing);
        WriteBytes(dir.File("object.asm"), SixWordObject);
        WriteBytes(dir.File("six.obj.txt"), SixWordObject);
        WriteBytes(dir.File("bad.asm"), BadListing());
        WriteBytes(dir.File("bad.obj"), "kept");
        WriteBytes(dir.File("prog.s"), SixWordListing);
        WriteBytes(dir.File("part.obj"), SixWordObject + "0000000");
        std::filesystem::create_symlink("six.asm", dir.File("link.obj"));
        std::filesystem::create_hard_link(dir.File("six.asm"), dir.File("hard.obj"));
        std::string shown = "ixo";
        for (const std::string& arg : c.Args) shown += " " + arg;
        SCOPED_TRACE(shown);

        const IxoResult result = RunIxo(c.Args, dir.Path().string(), {},
                                        {.Input = c.Input.empty()     ? "/dev/null"
                                                  : c.Input[0] == '/' ? c.Input
                                                                      : dir.File(c.Input),
                                         .Output = c.Output});
        EXPECT_EQ(result.ExitStatus, c.ExitStatus);
        EXPECT_EQ(result.Out, c.Out);
        EXPECT_EQ(result.Err, c.Err);
        for (const auto& [name, content] : c.After) {
            if (content) {
                EXPECT_EQ(ReadBytes(dir.File(name)), *content) << name;
            } else {
                EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
            }
        }
    }
}

// Every object file in the examples and among the test inputs, listed and assembled
// again, gives back its program: the words that list read, malformed files included.
TEST(IxoAsm, ListingsOfExamplesAssembleBackToTheirPrograms) {
    std::vector<std::filesystem::path> objects;
    for (const char* folder : {"examples", "fuzz/corpus"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(IXO_SOURCE_DIR) / folder)) {
            if (entry.path().extension() == ".obj") objects.push_back(entry.path());
        }
    }
    ASSERT_GE(objects.size(), 2u);
    TempDir dir;
    const std::string folder = dir.Path().string();
    for (const std::filesystem::path& object : objects) {
        SCOPED_TRACE(object.string());
        const IxoResult listed = RunIxo({"list", object.string()}, folder);
        ASSERT_NE(listed.ExitStatus, 2) << listed.Err;
        WriteBytes(dir.File("program.asm"), listed.Out);
        const IxoResult assembled = RunIxo({"asm", "program.asm"}, folder);
        ASSERT_EQ(assembled.ExitStatus, 0) << assembled.Err;
        const IxoResult relisted = RunIxo({"list", "program.obj"}, folder);
        EXPECT_EQ(relisted.Out, listed.Out);
        // The examples are well formed: their object text comes back byte for byte.
        if (object.parent_path().filename() == "examples") {
            EXPECT_EQ(ReadBytes(dir.File("program.obj")), ReadBytes(object.string()));
        }
    }
}

}  // namespace
}  // namespace ixo::test
