#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "Fifo.h"
#include "OtherUser.h"
#include "TempDir.h"
#include "project/ProjectFiles.h"
#include "project/SafeFiles.h"

namespace ixo {
namespace {

using test::AsOtherUser;
using test::FifoWithoutWriter;
using test::OtherUserId;
using test::ReadBytes;
using test::TempDir;
using test::WaitStatusOfChild;
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
    // Only a regular file is read; a FIFO with no writer is refused, not waited on.
    const FifoWithoutWriter fifo(dir.File("pipe.obj"));
    fs::create_symlink("pipe.obj", dir.File("link.obj"));
    for (const std::string& path :
         {dir.File("missing.obj"), dir.Path().string(), fifo.Path(), dir.File("link.obj")}) {
        const MaybeFailure failure = LoadObjectFile(path, image);
        ASSERT_TRUE(failure.has_value()) << path;
        EXPECT_EQ(FailureText(*failure), "Can't open file \"" + path + "\"");
        EXPECT_EQ(image.ObjText[0], '7');
        EXPECT_EQ(image.WordCount, 3);
    }
    EXPECT_FALSE(fifo.ReaderWaited());
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

std::string Repeat(const std::string& line, int count) {
    std::string text;
    text.reserve(line.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) text += line;
    return text;
}

TEST(LoadObjectFile, SaysWhatIsLeftOutOrWrongWhereverItIs) {
    const std::string word = "0123ABCD\r\n";
    struct Case {
        std::string text;
        int wordCount;
        std::string failure;  // the failure's text and detail, after the file's name
    };
    const Case cases[] = {
        {Repeat(word, 128) + "\r\n\r\n" + std::string(5000, '\0'), 128, ""},
        {Repeat(word, 130), 128, "129: more than 128 words"},
        // The text left out is found however far from the start of the file it is.
        {Repeat(word, 2'000'000), 128, "129: more than 128 words"},
        {Repeat(word, 128) + Repeat("\r\n", 500'000) + "x", 128, "500129: more than 128 words"},
        // Up to 1 MiB of what may follow a program, and not a byte more.
        {Repeat(word, 128) + std::string((1 << 20) - 1280, '\0'), 128, ""},
        {Repeat(word, 128) + std::string((1 << 20) - 1279, '\0'), 0,
         "larger than 1 MiB, too large for an object file"},
        {Repeat(word, 3) + "\r\n" + word, 3, "5: text after the program, which ends at line 4"},
        {word + std::string(8, '\0') + "\r\n" + std::string(5000, '\0') + word, 1,
         "3: text after the program, which ends at line 2"},
        {Repeat(word, 2) + "\r\n\r", 2, "4: text after the program, which ends at line 3"},
        // A bad line says why.
        {word + "00000002\n", 1, "Bad line 2: line feed without carriage return"},
        {word + "0000002", 1, "Bad line 2: missing digit: 7 of 8 digits"},
        {word + "00000002", 1, "Bad line 2: no line end after the last word"},
        {word + "0000 002\r\n", 1, "Bad line 2: ' ' is not a hexadecimal digit"},
    };
    TempDir dir;
    const std::string path = dir.File("x.obj");
    for (const Case& c : cases) {
        WriteBytes(path, c.text);
        // The same from a file by name and from a stream such as standard input.
        std::FILE* stream = std::fopen(path.c_str(), "rb");
        ASSERT_NE(stream, nullptr);
        ProgramImage byName, byStream;
        const MaybeFailure failures[] = {LoadObjectFile(path, byName),
                                         ReadObjectText(stream, path, byStream)};
        std::fclose(stream);
        for (const MaybeFailure& failure : failures) {
            SCOPED_TRACE(c.failure.empty() ? "no failure" : c.failure);
            std::string said;
            if (failure && failure->Kind == FailureKind::TextLeftOut) {
                said = std::to_string(failure->Line) + ": " + FailureDetail(*failure);
                EXPECT_EQ(FailureText(*failure), "Line " + std::to_string(failure->Line) +
                                                     " and after left out of object file \"" +
                                                     path + "\"");
            } else if (failure && failure->Kind == FailureKind::CantOpenFile) {
                said = failure->Why;
            } else if (failure) {
                ASSERT_EQ(failure->Kind, FailureKind::BadObjectLine);
                said = "Bad line " + std::to_string(failure->Line) + ": " + FailureDetail(*failure);
            }
            EXPECT_EQ(said, c.failure);
        }
        EXPECT_EQ(byName.WordCount, c.wordCount);
        EXPECT_EQ(byStream.WordCount, c.wordCount);
        if (c.wordCount > 0) {
            EXPECT_EQ(byName.Words[c.wordCount - 1], 0x0123ABCDu);
        }
    }
}

ProgramImage ImageOf(std::initializer_list<std::uint32_t> words) {
    ProgramImage image;
    for (std::uint32_t word : words) image.Words[image.WordCount++] = word;
    FormatObjectText(image);
    return image;
}

std::size_t FilesIn(const TempDir& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));
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
    EXPECT_EQ(FilesIn(dir), 1u);
}

// A replaced file keeps its mode and (root saving another user's file) its owner and
// group; a new file gets the mode the umask gives, as any program's would.
TEST(SaveObjectFile, KeepsPermissionsAndWritesThroughLinks) {
    TempDir dir;
    const std::string target = dir.File("real.obj");
    WriteBytes(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), OtherUserId, OtherUserId), 0);
    }
    const std::string link = dir.File("link.obj");
    fs::create_symlink("real.obj", link);

    ASSERT_FALSE(SaveObjectFile(link, ImageOf({5})).has_value());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(target), "00000005\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, OtherUserId);
        EXPECT_EQ(info.st_gid, OtherUserId);
    }

    for (const mode_t mask : {022, 027}) {
        const mode_t before = ::umask(mask);
        const std::string fresh = dir.File("new" + std::to_string(mask) + ".obj");
        const MaybeFailure failure = SaveObjectFile(fresh, ImageOf({6}));
        ::umask(before);
        ASSERT_FALSE(failure.has_value());
        ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask) << "umask " << mask;
    }
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
    EXPECT_EQ(FilesIn(dir), 1u);
}

TEST(SaveObjectFile, UncreatableFileIsAWriteFailure) {
    TempDir dir;
    const std::string path = dir.File("no/such/folder/prog.obj");
    const MaybeFailure failure = SaveObjectFile(path, ImageOf({1}));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Kind, FailureKind::CantWriteFile);
}

// As another user (root may write anything): a file the user may not write is
// refused and kept, and where the folder takes no new file, a file the user may
// write is written in place.
TEST(SaveObjectFile, WritesOnlyWhereTheUserMayWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const struct {
        const char* Name;
        fs::perms Folder;
        fs::perms File;
        bool Saved;
    } cases[] = {
        {"writable file in a read-only folder", fs::perms(0755), fs::perms(0666), true},
        {"read-only folder and file", fs::perms(0755), fs::perms(0644), false},
        {"read-only file", fs::perms(0777), fs::perms(0444), false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.File("prog.obj");
        const std::string old = "00000001\r\n00000002\r\n";
        WriteBytes(path, old);
        fs::permissions(dir.Path(), c.Folder);
        fs::permissions(path, c.File);
        EXPECT_TRUE(AsOtherUser([&] {
            const MaybeFailure failure = SaveObjectFile(path, ImageOf({3}));
            if (c.Saved) return !failure;
            return failure && FailureText(*failure) == "Can't write file \"" + path + "\"";
        })) << c.Name;
        EXPECT_EQ(ReadBytes(path), c.Saved ? "00000003\r\n" : old) << c.Name;
        EXPECT_EQ(FilesIn(dir), 1u) << c.Name;
    }
}

// The two saves, as the window makes them.
const std::pair<const char*, std::function<MaybeFailure(const std::string&)>> Saves[] = {
    {"object", [](const std::string& path) { return SaveObjectFile(path, ImageOf({9})); }},
    {"listing", [](const std::string& path) { return SaveListingFile(path, {"NOP"}); }},
};

// A link or file in a shared sticky folder (as /tmp) is followed or replaced only
// where the system would let it be, even for root: not when another user planted it
// there, who would then own the saved program or have the save go to a file of ours.
TEST(SaveFiles, ReplaceInSharedFoldersOnlyAsTheSystemWould) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    struct Case {
        const char* what;
        uid_t folderOwner;
        bool plantedByOther;
        bool followed;
        mode_t folderMode = 01777;
    };
    const Case cases[] = {
        {"planted by another user", 0, true, false},
        {"made by the saving user", 0, false, true},
        {"made by the folder's owner", OtherUserId, true, true},
        // Sticky, but only the owner and its group may write there: not shared.
        {"planted by another user in a folder others cannot write to", 0, true, true, 01775},
    };
    for (const Case& c : cases) {
        for (const bool planting : {true, false}) {
            for (const auto& [kind, save] : Saves) {
                SCOPED_TRACE(std::string(c.what) + (planting ? ", link, " : ", file, ") + kind);
                TempDir dir;
                ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
                const std::string shared = dir.File("shared"), secret = dir.File("secret.conf");
                fs::create_directory(shared);
                ASSERT_EQ(::chown(shared.c_str(), c.folderOwner, OtherUserId), 0);
                ASSERT_EQ(::chmod(shared.c_str(), c.folderMode), 0);
                WriteBytes(secret, "secret");
                ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
                const std::string target = shared + "/prog";
                auto plant = [&] {
                    if (planting) return ::symlink(secret.c_str(), target.c_str()) == 0;
                    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
                    const bool written = fd >= 0 && ::write(fd, "planted", 7) == 7;
                    return ::close(fd) == 0 && written;
                };
                ASSERT_TRUE(c.plantedByOther ? AsOtherUser(plant) : plant());

                const MaybeFailure failure = save(target);
                EXPECT_EQ(failure.has_value(), !c.followed);
                if (failure) {
                    EXPECT_EQ(FailureDetail(*failure), "Permission denied");
                }
                if (planting) {
                    EXPECT_EQ(ReadBytes(secret) == "secret", !c.followed);
                    EXPECT_TRUE(fs::is_symlink(target));
                } else {
                    EXPECT_EQ(ReadBytes(target) == "planted", !c.followed);
                }
            }
        }
    }
}

TEST(SaveFiles, LinkLoopFailsTheSave) {
    TempDir dir;
    fs::create_symlink("b", dir.File("a"));
    fs::create_symlink("a", dir.File("b"));
    for (const auto& [kind, save] : Saves) {
        SCOPED_TRACE(kind);
        EXPECT_TRUE(save(dir.File("a")).has_value());
        EXPECT_TRUE(fs::is_symlink(dir.File("a")));
        EXPECT_EQ(FilesIn(dir), 2u);
    }
}

// The signal that a held save sends itself between writing its temporary file and
// renaming it.
int HoldSignal = 0;

// A stop signal in the middle of a save ends the process as ever, but takes the
// temporary file with it; a process that handles the signal finishes the save.
TEST(SaveObjectFile, StopSignalDuringTheSaveLeavesNoTemporaryFile) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (const bool handled : {false, true}) {
            SCOPED_TRACE(std::to_string(signal) + (handled ? " handled" : " default"));
            TempDir dir;
            const std::string path = dir.File("prog.obj");
            WriteBytes(path, "00000001\r\n");
            const int status = WaitStatusOfChild([&] {
                struct sigaction action {};
                action.sa_handler = handled ? [](int) {} : SIG_DFL;
                ::sigaction(signal, &action, nullptr);
                HoldSignal = signal;
                SetReplaceHoldForTests([](const char*) { ::kill(::getpid(), HoldSignal); });
                return SaveObjectFile(path, ImageOf({2})) ? 1 : 0;
            });
            if (handled) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            } else {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
            }
            EXPECT_EQ(ReadBytes(path), handled ? "00000002\r\n" : "00000001\r\n");
            EXPECT_EQ(FilesIn(dir), 1u);
        }
    }
}

TEST(SaveObjectFile, RemovesTemporaryFilesThatAnEarlierSaveLeft) {
    TempDir dir;
    const std::string path = dir.File("prog.obj");
    const std::string stale = dir.File(".prog.obj.0badf00d.tmp");
    WriteBytes(stale, "00000001\r\n");
    // Another save still writing its temporary file holds a lock on it.
    const std::string busy = dir.File(".prog.obj.12345678.tmp");
    WriteBytes(busy, "0000");
    const int busyFd = ::open(busy.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(busyFd, LOCK_EX), 0);
    // Not of this file's naming.
    const std::string others[] = {dir.File(".other.obj.0badf00d.tmp"),
                                  dir.File(".prog.obj.0badf00.tmp"), dir.File("prog.obj.tmp")};
    for (const std::string& other : others) WriteBytes(other, "x");

    ASSERT_FALSE(SaveObjectFile(path, ImageOf({1})).has_value());
    ::close(busyFd);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(busy));
    for (const std::string& other : others) EXPECT_TRUE(fs::exists(other)) << other;
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
