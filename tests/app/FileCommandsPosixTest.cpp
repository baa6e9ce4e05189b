// The window's file commands where POSIX makes files fail: a FIFO that would block
// its reader, a file size limit, a read-only folder.

#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>

#include "Fifo.h"
#include "FileCommands.h"
#include "app/PanelStatusBar.h"

namespace ixo::test {
namespace {

namespace fs = std::filesystem;

// Holds the process's file size limit at bytes until it goes; a write past it
// fails instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(FileCommands, OpenThatFailsOrIsCancelledChangesNothing) {
    const std::string path = dir.File("prog.obj");
    WriteBytes(path, SixWordObject);
    Open(frame, path);
    const QString listing = frame.AsmOut->toPlainText();

    frame.OpenAnswers.push_back(QString());  // cancelled
    frame.OpenFileBtn->click();
    fs::create_directory(dir.File("folder.obj"));
    Open(frame, dir.File("folder"));  // a folder is no object file
    Open(frame, dir.File("missing"));
    const FifoWithoutWriter fifo(dir.File("pipe.obj"));
    Open(frame, fifo.Path());  // refused at once, not waited on
    Open(frame, dir.File("two\nlines"));

    ASSERT_EQ(frame.Messages.size(), 4u);
    EXPECT_EQ(frame.Messages[0].Text, Q("Can't open file \"" + dir.File("folder.obj") + "\""));
    EXPECT_EQ(frame.Messages[1].Text, Q("Can't open file \"" + dir.File("missing.obj") + "\""));
    EXPECT_EQ(frame.Messages[2].Text, Q("Can't open file \"" + fifo.Path() + "\""));
    EXPECT_EQ(frame.Messages[3].Text, Q("Can't open file \"" + dir.File("two\\nlines.obj") + "\""));
    EXPECT_FALSE(fifo.ReaderWaited());
    EXPECT_EQ(frame.FileName, path);
    EXPECT_EQ(frame.Image.WordCount, 6);
    EXPECT_EQ(frame.AsmOut->toPlainText(), listing);
    EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(dir.File("prog")));
}

struct SaveFailure {
    const char* Name;
    bool RootCannotFail;  // the file system lets root through
    bool LimitFileSize;   // a file size limit below the file's size
    const char* Folder;   // relative to the test folder; made read-only when "ro"
};

// A save that fails says so, leaves the file that was there as it was and keeps
// the project's name and the status as they were. The object file's failure is a message of the
// command; the listing file's goes through the top-level error display.
TEST_F(FileCommands, FailedSavesReportAndKeepTheOldFile) {
    const SaveFailure cases[] = {
        {"file size limit", false, true, "out"},
        {"read-only folder", true, false, "ro"},
        {"folder missing", false, false, "missing"},
    };
    Open(frame, Make(dir, "prog.obj", SixWordObject));
    for (const SaveFailure& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.RootCannotFail && geteuid() == 0) continue;
        const fs::path folder = dir.Path() / c.Folder;
        const std::string obj = (folder / "old.obj").string();
        const std::string asmFile = (folder / "old.asm").string();
        if (std::string(c.Folder) != "missing") {
            fs::create_directories(folder);
            WriteBytes(obj, "OLD OBJECT");
            WriteBytes(asmFile, "OLD LISTING");
        }
        if (std::string(c.Folder) == "ro") {
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        }
        frame.FileName = dir.File("prog.obj");
        frame.UpdateStatus();
        frame.Messages.clear();
        {
            std::optional<FileSizeLimit> limit;
            if (c.LimitFileSize) limit.emplace(4);
            frame.SaveAnswers = {Q(obj), Q(asmFile)};
            frame.SaveObjFileBtn->click();
            frame.SaveAsmFileBtn->click();
        }
        ASSERT_EQ(frame.Messages.size(), 2u);
        EXPECT_EQ(frame.Messages[0].Text, Q("Can't write file \"" + obj + "\""));
        EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
        // A listing that was never created, or that could not be written in full.
        const std::string asmText = c.LimitFileSize ? "Can't write file \"" + asmFile + "\""
                                                    : "Cannot create file " + asmFile + ".";
        EXPECT_EQ(frame.Messages[1].Text, Q(asmText));
        EXPECT_EQ(frame.Messages[1].Flags, TMainFrame::MbIconError);
        // A failed save keeps the project's name: the listing's dialog after the
        // failed object save, and the project afterwards, point at the old project.
        EXPECT_EQ(frame.SaveQuestions.back().InitialName, Q(dir.File("prog.asm")));
        EXPECT_EQ(frame.FileName, dir.File("prog.obj"));
        EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(dir.File("prog")));
        if (fs::exists(folder)) {
            fs::permissions(folder, fs::perms::owner_all);
            EXPECT_EQ(ReadBytes(obj), "OLD OBJECT");
            EXPECT_EQ(ReadBytes(asmFile), "OLD LISTING");
            // No temporary file is left behind.
            EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
        }
    }
}

}  // namespace
}  // namespace ixo::test
