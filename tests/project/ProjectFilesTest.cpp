#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "OtherUser.h"
#include "TempDir.h"
#include "project/ProjectFiles.h"

namespace ixo {
namespace {

using test::AsOtherUser;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
namespace fs = std::filesystem;

TEST(ReplaceFileExt, ReplacesOnlyTheFinalExtension) {
    struct Case {
        const char* path;
        const char* ext;
        const char* result;
    };
    const Case cases[] = {
        {"", ".obj", ".obj"},
        {"prog", ".obj", "prog.obj"},
        {"prog.txt", ".obj", "prog.obj"},
        {"/home/a/prog.asm", ".obj", "/home/a/prog.obj"},
        {"/home/a/prog.asm", "", "/home/a/prog"},
        {"/home/a.b/prog", ".asm", "/home/a.b/prog.asm"},
        {"dir.d/prog.v1.obj", ".asm", "dir.d/prog.v1.asm"},
        {"C:\\work\\prog.obj", ".asm", "C:\\work\\prog.asm"},
        {"C:prog.obj", "", "C:prog"},
        {"/tmp/..", ".obj", "/tmp/...obj"},
        {"/tmp/.", ".obj", "/tmp/..obj"},
        {"/tmp/", ".obj", "/tmp/.obj"},
        {"/tmp/.obj", ".asm", "/tmp/.asm"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplaceFileExt(c.path, c.ext), c.result) << c.path << " + " << c.ext;
    }
}

TEST(ReplaceFileExt, KeepsLongPathsWhole) {
    const std::string folder = "/" + std::string(300, 'd') + "/";
    EXPECT_EQ(ReplaceFileExt(folder + "prog.txt", ".obj"), folder + "prog.obj");
}

TEST(LoadObjectFile, ReadsAndParses) {
    TempDir dir;
    const std::string path = dir.File("prog.obj");
    WriteBytes(path, "00000001\r\n0000ABCD\r\n");
    ProgramImage image;
    EXPECT_FALSE(LoadObjectFile(path, image).has_value());
    EXPECT_EQ(image.WordCount, 2);
    EXPECT_EQ(image.Words[1], 0xABCDu);
}

TEST(LoadObjectFile, CutsTheTextAt4096Bytes) {
    TempDir dir;
    const std::string path = dir.File("long.obj");
    std::string text(5000, 'Z');
    WriteBytes(path, text);
    ProgramImage image;
    const MaybeFailure failure = LoadObjectFile(path, image);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Kind, FailureKind::BadObjectLine);
    EXPECT_EQ(image.ObjText.back(), 'Z');
}

TEST(LoadObjectFile, UnreadableFileLeavesTheImageAlone) {
    TempDir dir;
    ProgramImage image;
    image.ObjText[0] = '7';
    image.WordCount = 3;
    for (const std::string& path : {dir.File("missing.obj"), dir.Path().string()}) {
        const MaybeFailure failure = LoadObjectFile(path, image);
        ASSERT_TRUE(failure.has_value()) << path;
        EXPECT_EQ(FailureText(*failure), "Can't open file \"" + path + "\"");
        EXPECT_EQ(image.ObjText[0], '7');
        EXPECT_EQ(image.WordCount, 3);
    }
}

TEST(LoadObjectFile, NamesTheBadLineCountingFromOne) {
    TempDir dir;
    const std::string path = dir.File("bad.obj");
    WriteBytes(path, "00000001\r\n00000002\r\n0000000Z\r\n00000004\r\n");
    ProgramImage image;
    const MaybeFailure failure = LoadObjectFile(path, image);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(FailureText(*failure), "Bad line 3 in object file \"" + path + "\"");
    EXPECT_EQ(image.WordCount, 2);
}

ProgramImage ImageOf(std::initializer_list<std::uint32_t> words) {
    ProgramImage image;
    for (std::uint32_t word : words) image.Words[image.WordCount++] = word;
    FormatObjectText(image);
    return image;
}

TEST(SaveObjectFile, WritesExactlyTheWordsAndRoundTrips) {
    TempDir dir;
    const std::string path = dir.File("three.obj");
    ASSERT_FALSE(SaveObjectFile(path, ImageOf({1, 2, 0xDEADBEEF})).has_value());
    EXPECT_EQ(ReadBytes(path), "00000001\r\n00000002\r\nDEADBEEF\r\n");

    ProgramImage again;
    EXPECT_FALSE(LoadObjectFile(path, again).has_value());
    EXPECT_EQ(again.WordCount, 3);
    EXPECT_EQ(again.Words[2], 0xDEADBEEFu);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(SaveObjectFile, KeepsPermissionsAndWritesThroughLinks) {
    TempDir dir;
    const std::string target = dir.File("real.obj");
    WriteBytes(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const std::string link = dir.File("link.obj");
    fs::create_symlink("real.obj", link);

    ASSERT_FALSE(SaveObjectFile(link, ImageOf({5})).has_value());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(target), "00000005\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// Runs body with the process's file size limit set to limit bytes, then restores it.
template <typename Body>
void WithFileSizeLimit(rlim_t limit, Body body) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    body();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
}

TEST(SaveObjectFile, FailedWriteLeavesTheOldFileIntact) {
    TempDir dir;
    const std::string path = dir.File("prog.obj");
    WriteBytes(path, "00000001\r\n");
    ProgramImage big;
    big.WordCount = 100;
    FormatObjectText(big);

    MaybeFailure failure;
    WithFileSizeLimit(500, [&] { failure = SaveObjectFile(path, big); });
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(FailureText(*failure), "Can't write file \"" + path + "\"");
    EXPECT_EQ(ReadBytes(path), "00000001\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(SaveObjectFile, UncreatableFileIsAWriteFailure) {
    TempDir dir;
    const std::string path = dir.File("no/such/folder/prog.obj");
    const MaybeFailure failure = SaveObjectFile(path, ImageOf({1}));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Kind, FailureKind::CantWriteFile);
}

// A file the user may not replace is refused and kept: in a folder the user may not
// write, and a read-only file in a folder the user may write. Root may write either,
// so the save runs as another user.
TEST(SaveObjectFile, RefusedWhereTheUserMayNotWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const struct {
        const char* Name;
        fs::perms Folder;
        fs::perms File;
    } cases[] = {
        {"read-only folder", fs::perms(0755), fs::perms(0666)},
        {"read-only file", fs::perms(0777), fs::perms(0444)},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.File("prog.obj");
        WriteBytes(path, "00000001\r\n");
        fs::permissions(dir.Path(), c.Folder);
        fs::permissions(path, c.File);
        EXPECT_TRUE(AsOtherUser([&] {
            const MaybeFailure failure = SaveObjectFile(path, ImageOf({2}));
            return failure && failure->Kind == FailureKind::CantWriteFile;
        })) << c.Name;
        EXPECT_EQ(ReadBytes(path), "00000001\r\n") << c.Name;
    }
}

TEST(SaveListingFile, WritesEachLineWithCrLf) {
    TempDir dir;
    const std::string path = dir.File("prog.asm");
    ASSERT_FALSE(SaveListingFile(path, {"LFO0\tSIN", ";", "NOP"}).has_value());
    EXPECT_EQ(ReadBytes(path), "LFO0\tSIN\r\n;\r\nNOP\r\n");
    ASSERT_FALSE(SaveListingFile(path, {}).has_value());
    EXPECT_EQ(ReadBytes(path), "");
}

TEST(SaveListingFile, SaysWhetherCreatingOrWritingFailed) {
    TempDir dir;
    const std::string missing = dir.File("none/prog.asm");
    MaybeFailure failure = SaveListingFile(missing, {"NOP"});
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(FailureText(*failure), "Cannot create file " + missing);

    // A folder in the way cannot be replaced by a file.
    fs::create_directory(dir.File("taken.asm"));
    failure = SaveListingFile(dir.File("taken.asm"), {"NOP"});
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Kind, FailureKind::CantCreateFile);

    const std::string path = dir.File("big.asm");
    WriteBytes(path, "old\r\n");
    WithFileSizeLimit(100, [&] {
        failure = SaveListingFile(path, std::vector<std::string>(50, "\tRZP\tINL\tK=0\t\t; 0"));
    });
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(FailureText(*failure), "Can't write file \"" + path + "\"");
    EXPECT_EQ(ReadBytes(path), "old\r\n");
}

}  // namespace
}  // namespace ixo
