// Object and listing files on Windows: bytes exactly as given, replaced in one step,
// with UTF-8 paths that reach the system as UTF-16.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TempDir.h"
#include "project/ProjectFiles.h"

namespace ixo::test {
namespace {

namespace fs = std::filesystem;

// UTF-8 text from a u8 literal.
std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

ProgramImage ImageOf(const std::string& objectText) {
    ProgramImage image;
    std::copy(objectText.begin(), objectText.end(), image.ObjText.begin());
    EXPECT_TRUE(ParseObjectText(image));
    return image;
}

std::vector<std::wstring> NamesIn(const fs::path& folder) {
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().wstring());
    }
    return names;
}

TEST(WindowsFiles, LineEndsAreWrittenOnceAsCrLf) {
    TempDir dir;
    const std::string asmPath = dir.File("prog.asm");
    ASSERT_FALSE(SaveListingFile(asmPath, {"LFO0\tSIN", "", "NOP"}));
    EXPECT_EQ(ReadBytes(asmPath), "LFO0\tSIN\r\n\r\nNOP\r\n");

    const std::string text = "0000ABCD\r\n00030000\r\n";
    const std::string objPath = dir.File("prog.obj");
    ASSERT_FALSE(SaveObjectFile(objPath, ImageOf(text)));
    EXPECT_EQ(ReadBytes(objPath), text) << "no 0D 0D 0A, no byte added or lost";
}

TEST(WindowsFiles, SavingTwiceReplacesTheFileAndLeavesNothingElse) {
    TempDir dir;
    const std::string path = dir.File("twice.obj");
    ASSERT_FALSE(SaveObjectFile(path, ImageOf("11111111\r\n22222222\r\n")));
    // What an interrupted save left goes with the next save.
    WriteBytes(dir.File(".twice.obj.0123abcd.tmp"), "stale");
    ASSERT_FALSE(SaveObjectFile(path, ImageOf("0000000F\r\n")));
    EXPECT_EQ(ReadBytes(path), "0000000F\r\n");
    EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::wstring>{L"twice.obj"});
}

TEST(WindowsFiles, CyrillicPathsOpenAndSave) {
    TempDir dir;
    const std::string folder = dir.Path().string() + "\\" + Utf8(u8"Программы");
    const std::string path = folder + "\\" + Utf8(u8"Эффект.obj");
    ASSERT_TRUE(fs::create_directory(fs::path(dir.Path()) / L"Программы"));

    ASSERT_FALSE(SaveObjectFile(path, ImageOf("89ABCDEF\r\n")));
    EXPECT_EQ(NamesIn(dir.Path() / L"Программы"), std::vector<std::wstring>{L"Эффект.obj"});
    ProgramImage loaded;
    ASSERT_FALSE(LoadObjectFile(path, loaded));
    EXPECT_EQ(loaded.WordCount, 1);
    EXPECT_EQ(loaded.Words[0], 0x89ABCDEFu);
}

TEST(WindowsFiles, RefusesWhatCannotBeReplaced) {
    TempDir dir;
    const std::string readOnly = dir.File("locked.obj");
    WriteBytes(readOnly, "00000001\r\n");
    fs::permissions(readOnly,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directory(dir.Path() / "folder.asm");

    const struct {
        std::string Path;
        FailureKind Kind;
    } cases[] = {
        {readOnly, FailureKind::CantWriteFile},
        {dir.File("folder.asm"), FailureKind::CantCreateFile},
        {dir.File("no-such-folder\\x.obj"), FailureKind::CantWriteFile},
    };
    for (const auto& c : cases) {
        const bool isListing = c.Path.ends_with(".asm");
        const MaybeFailure failure = isListing ? SaveListingFile(c.Path, {"NOP"})
                                               : SaveObjectFile(c.Path, ImageOf("00000002\r\n"));
        ASSERT_TRUE(failure) << c.Path;
        EXPECT_EQ(failure->Kind, c.Kind) << c.Path;
    }
    EXPECT_EQ(ReadBytes(readOnly), "00000001\r\n") << "the refused file is unchanged";

    ProgramImage image;
    const MaybeFailure missing = LoadObjectFile(dir.File("missing.obj"), image);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->Kind, FailureKind::CantOpenFile);
}

}  // namespace
}  // namespace ixo::test
