// The window's file commands, driven through the real buttons with the file dialogs
// answered by the test, on real files. Those that need POSIX (FIFOs, file size
// limits, folder permissions) are in FileCommandsPosixTest.cpp.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "FileCommands.h"
#include "WineParts.h"
#include "app/PanelStatusBar.h"

namespace ixo::test {
namespace {

namespace fs = std::filesystem;

TEST_F(FileCommands, OpenListsTheProgramAndRefreshesTheStatus) {
    const std::string path = dir.File("prog.obj");
    WriteBytes(path, SixWordObject);
    Open(frame, path);

    ASSERT_EQ(frame.OpenQuestions.size(), 1u);
    EXPECT_EQ(frame.OpenQuestions[0].Filter, "Object file (*.obj);;Assembly files (*.asm)");
    EXPECT_EQ(frame.OpenQuestions[0].Title, "Open Object File");
    EXPECT_EQ(frame.OpenQuestions[0].InitialName, ".obj");
    EXPECT_TRUE(frame.Messages.empty());
    EXPECT_EQ(frame.Image.WordCount, 6);
    EXPECT_EQ(frame.FileName, path);
    EXPECT_EQ(frame.AsmOut->toPlainText(), SixWordShown);
    EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(dir.File("prog")));
    EXPECT_TRUE(frame.SaveObjFileBtn->isEnabled());
    EXPECT_TRUE(frame.SaveAsmFileBtn->isEnabled());

    // The next open suggests the project's object file.
    frame.OpenAnswers.push_back(QString());
    frame.OpenFileBtn->click();
    EXPECT_EQ(frame.OpenQuestions.back().InitialName, Q(path));
}

// Whatever extension the chosen name has, the ".obj" file beside it is opened.
TEST_F(FileCommands, OpenReplacesTheChosenExtension) {
    WriteBytes(dir.File("prog.obj"), "00030000\r\n");
    WriteBytes(dir.File("prog.txt"), "not an object file");
    Open(frame, dir.File("prog.txt"));
    EXPECT_TRUE(frame.Messages.empty());
    EXPECT_EQ(frame.FileName, dir.File("prog.obj"));
    EXPECT_EQ(frame.Image.WordCount, 1);

    // And a missing one is reported as it is named.
    Open(frame, dir.File("other.txt"));
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, Q("Can't open file \"" + dir.File("other.obj") + "\""));
    EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
}

// A malformed file: the words before the bad line become the program, the listing
// shows exactly them, and the operator is told which line is bad.

TEST_F(FileCommands, DroppedFileOpensAsTheOpenCommandWould) {
    WriteBytes(dir.File("prog.obj"), SixWordObject);
    WriteBytes(dir.File("other.obj"), "00030000\r\n");
    WriteBytes(dir.File("other.txt"), "not an object file");

    ASSERT_TRUE(Drop(&frame, {QUrl::fromLocalFile(Q(dir.File("prog.obj")))}));
    EXPECT_EQ(frame.FileName, dir.File("prog.obj"));
    EXPECT_EQ(frame.AsmOut->toPlainText(), SixWordShown);
    EXPECT_TRUE(frame.SaveObjFileBtn->isEnabled());

    // On the listing too, and with the Open command's extension rule.
    ASSERT_TRUE(Drop(frame.AsmOut->viewport(), {QUrl::fromLocalFile(Q(dir.File("other.txt")))}));
    EXPECT_EQ(frame.FileName, dir.File("other.obj"));
    EXPECT_EQ(frame.AsmOut->toPlainText(), "LFO0\tSIN\tAMP=0\t\tFREQ=6");
    EXPECT_TRUE(frame.OpenQuestions.empty());
    EXPECT_TRUE(frame.Messages.empty());
}

TEST_F(FileCommands, OnlyOneLocalFileIsTakenByADrop) {
    WriteBytes(dir.File("a.obj"), SixWordObject);
    WriteBytes(dir.File("b.obj"), SixWordObject);
    EXPECT_FALSE(Drop(&frame, {QUrl::fromLocalFile(Q(dir.File("a.obj"))),
                               QUrl::fromLocalFile(Q(dir.File("b.obj")))}));
    EXPECT_FALSE(Drop(&frame, {QUrl(QStringLiteral("https://example.invalid/a.obj"))}));
    EXPECT_FALSE(Drop(frame.AsmOut->viewport(), {}));
    EXPECT_TRUE(frame.FileName.empty());
    EXPECT_EQ(frame.Image.WordCount, 0);
}

TEST_F(FileCommands, MalformedFileKeepsTheGoodWordsListsThemAndSaysWhichLineIsBad) {
    Open(frame, Make(dir, "big.obj", SixWordObject));
    const std::string bad = dir.File("bad.obj");
    WriteBytes(bad, "00000000\r\n41F42EE0\r\n0x1900C8\r\n00030000\r\n");
    Open(frame, bad);

    EXPECT_EQ(frame.Image.WordCount, 2);
    EXPECT_EQ(frame.FileName, bad);
    EXPECT_EQ(frame.AsmOut->toPlainText(), ListingOf(frame.Image));
    EXPECT_EQ(frame.AsmOut->toPlainText(),
              "LFO0\tSIN\tAMP=0\t\tFREQ=0\nLFO1\tTRI\tAMP=12000\tFREQ=1000");
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, Q("Bad line 3 in object file \"" + bad + "\""));
    EXPECT_EQ(frame.Messages[0].Detail, Q("'x' is not a hexadecimal digit"));
    EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
    EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(dir.File("bad")));

    // A bad first line leaves an empty program and an empty listing.
    WriteBytes(bad, "00000000\n");
    Open(frame, bad);
    EXPECT_EQ(frame.Image.WordCount, 0);
    EXPECT_EQ(frame.AsmOut->toPlainText(), "");
    EXPECT_EQ(frame.Messages.back().Text, Q("Bad line 1 in object file \"" + bad + "\""));
    EXPECT_EQ(frame.Messages.back().Detail, Q("line feed without carriage return"));
    EXPECT_FALSE(frame.SaveObjFileBtn->isEnabled());
    EXPECT_FALSE(frame.SaveAsmFileBtn->isEnabled());
}

TEST_F(FileCommands, OverlongFileLoadsTheProgramAndSaysWhatWasLeftOut) {
    const std::string file = dir.File("long.obj");
    std::string text;
    for (int i = 0; i < 129; ++i) text += "00030000\r\n";
    WriteBytes(file, text);
    Open(frame, file);

    EXPECT_EQ(frame.Image.WordCount, 128);
    EXPECT_EQ(frame.FileName, file);
    EXPECT_EQ(frame.AsmOut->toPlainText(), ListingOf(frame.Image));
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text,
              Q("Line 129 and after left out of object file \"" + file + "\""));
    EXPECT_EQ(frame.Messages[0].Detail, Q("more than 128 words"));
    EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
    EXPECT_TRUE(frame.SaveObjFileBtn->isEnabled());
}

TEST_F(FileCommands, EmptyFileOpensAsAnEmptyProgram) {
    Open(frame, Make(dir, "full.obj", SixWordObject));
    Open(frame, Make(dir, "empty.obj", ""));
    EXPECT_TRUE(frame.Messages.empty());
    EXPECT_EQ(frame.Image.WordCount, 0);
    EXPECT_EQ(frame.AsmOut->toPlainText(), "");
    EXPECT_FALSE(frame.SaveObjFileBtn->isEnabled());
    EXPECT_FALSE(frame.SaveAsmFileBtn->isEnabled());
    EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(dir.File("empty")));
}

// Save object file and open again: the same words; the saved file is exactly the
// program's lines; the project takes the name chosen, with ".obj".
TEST_F(FileCommands, SaveObjectFileAndOpenItAgain) {
    Open(frame, Make(dir, "prog.obj", SixWordObject));
    const auto words = frame.Image.Words;
    frame.SaveAnswers.push_back(Q(dir.File("copy")));  // no extension typed
    frame.SaveObjFileBtn->click();

    ASSERT_EQ(frame.SaveQuestions.size(), 1u);
    EXPECT_EQ(frame.SaveQuestions[0].Filter, "Text file (*.obj)");
    EXPECT_EQ(frame.SaveQuestions[0].Title, "Save Object File");
    EXPECT_EQ(frame.SaveQuestions[0].InitialName, Q(dir.File("prog.obj")));
    EXPECT_TRUE(frame.Messages.empty());
    EXPECT_EQ(frame.FileName, dir.File("copy.obj"));
    EXPECT_EQ(ReadBytes(dir.File("copy.obj")), SixWordObject);
    EXPECT_FALSE(fs::exists(dir.File("copy")));
    EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(dir.File("copy")));

    frame.Image = ProgramImage{};
    Open(frame, dir.File("copy.obj"));
    EXPECT_EQ(frame.Image.WordCount, 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(frame.Image.Words[i], words[i]) << i;
}

// The listing is saved as it stands, edits included, each line ended by CR LF.
TEST_F(FileCommands, SaveAsmFileWritesTheListingAsEdited) {
    Open(frame, Make(dir, "prog.obj", SixWordObject));
    QTextCursor end = frame.AsmOut->textCursor();
    end.movePosition(QTextCursor::End);
    frame.AsmOut->setTextCursor(end);
    QTest::keyClicks(frame.AsmOut, "\t; edited");

    frame.SaveAnswers.push_back(Q(dir.File("listing.txt")));
    frame.SaveAsmFileBtn->click();
    ASSERT_EQ(frame.SaveQuestions.size(), 1u);
    EXPECT_EQ(frame.SaveQuestions[0].Filter, "Text file (*.asm)");
    EXPECT_EQ(frame.SaveQuestions[0].Title, "Save Asm File");
    EXPECT_EQ(frame.SaveQuestions[0].InitialName, Q(dir.File("prog.asm")));
    EXPECT_TRUE(frame.Messages.empty());
    EXPECT_EQ(frame.FileName, dir.File("listing.asm"));
    QString expected = SixWordShown + "\t; edited\n";
    expected.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    EXPECT_EQ(Q(ReadBytes(dir.File("listing.asm"))), expected);
    // The project name is shown without the extension either way.
    EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(dir.File("listing")));

    // A listing ending in a line break has no further, empty line.
    frame.AsmOut->setPlainText("one\n\ntwo\n");
    frame.SaveAnswers.push_back(Q(dir.File("listing.asm")));
    frame.SaveAsmFileBtn->click();
    EXPECT_EQ(ReadBytes(dir.File("listing.asm")), "one\r\n\r\ntwo\r\n");
    // The next object save puts ".obj" back.
    frame.ChoiceAnswers.push_back(TMainFrame::Answer::No);
    frame.SaveAnswers.push_back(QString());
    frame.SaveObjFileBtn->click();
    EXPECT_EQ(frame.SaveQuestions.back().InitialName, Q(dir.File("listing.obj")));
}

TEST_F(FileCommands, FirstDialogsSuggestOnlyTheExtension) {
    frame.Image.WordCount = 1;
    frame.AsmOut->setPlainText("NOP");
    frame.UpdateStatus();
    frame.ChoiceAnswers.push_back(TMainFrame::Answer::No);
    frame.SaveAnswers = {QString(), QString()};
    frame.OpenAnswers = {QString()};
    frame.SaveObjFileBtn->click();
    EXPECT_EQ(frame.FileName, ".obj");
    frame.FileName.clear();
    frame.SaveAsmFileBtn->click();
    EXPECT_EQ(frame.FileName, ".asm");
    frame.FileName.clear();
    frame.OpenFileBtn->click();
    ASSERT_EQ(frame.SaveQuestions.size(), 2u);
    EXPECT_EQ(frame.SaveQuestions[0].InitialName, ".obj");
    EXPECT_EQ(frame.SaveQuestions[1].InitialName, ".asm");
    EXPECT_EQ(frame.OpenQuestions[0].InitialName, ".obj");
}

// Cancelling a save writes nothing; the project has already taken the extension
// of the save, and the status is not refreshed.
TEST_F(FileCommands, CancelledSavesWriteNothing) {
    Open(frame, Make(dir, "prog.obj", SixWordObject));
    fs::remove(dir.File("prog.obj"));
    frame.SaveAnswers = {QString(), QString()};
    frame.SaveAsmFileBtn->click();
    EXPECT_EQ(frame.FileName, dir.File("prog.asm"));
    frame.SaveObjFileBtn->click();
    EXPECT_EQ(frame.FileName, dir.File("prog.obj"));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
    EXPECT_TRUE(frame.Messages.empty());
}

TEST_F(FileCommands, NothingToSaveAsksNothing) {
    // TestFrame fails the test on any dialog it was not given an answer for.
    frame.SaveObjFileBtnClick();
    frame.SaveAsmFileBtnClick();
    EXPECT_TRUE(frame.SaveQuestions.empty());
    EXPECT_EQ(frame.FileName, "");
}

// The listing is rebuilt whole: edits are gone, the caret is at the start, the
// focus in the listing and its first line in view.
TEST_F(FileCommands, BuildListingShowsTheTopOfTheNewListing) {
    std::string full;
    for (int i = 0; i < 128; ++i) full += "12345678\r\n";
    const std::string path = dir.File("full.obj");
    WriteBytes(path, full);
    Open(frame, path);
    ASSERT_EQ(frame.AsmOut->blockCount(), 129);

    // Scroll to the far end and edit there, then open again.
    QTextCursor end = frame.AsmOut->textCursor();
    end.movePosition(QTextCursor::End);
    frame.AsmOut->setTextCursor(end);
    frame.AsmOut->insertPlainText("\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\tfar right");
    frame.AsmOut->ensureCursorVisible();
    ASSERT_GT(frame.AsmOut->verticalScrollBar()->value(), 0);
    ASSERT_GT(frame.AsmOut->horizontalScrollBar()->value(), 0);
    frame.SetSerialPortBtn->setFocus();

    frame.QuestionAnswers.push_back(true);
    Open(frame, path);
    EXPECT_EQ(frame.AsmOut->toPlainText(), ListingOf(frame.Image));
    EXPECT_EQ(frame.AsmOut->textCursor().position(), 0);
    EXPECT_FALSE(frame.AsmOut->textCursor().hasSelection());
    EXPECT_EQ(frame.focusWidget(), frame.AsmOut);
    EXPECT_EQ(frame.AsmOut->verticalScrollBar()->value(), 0);
    EXPECT_EQ(frame.AsmOut->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(frame.AsmOut->cursorForPosition(QPoint(2, 2)).blockNumber(), 0);
}

// The real open dialog takes a name that does not exist, and the command opens the
// file of that name with the extension of the filter chosen: ".obj", or ".asm".
TEST(FileDialogs, OpenDialogTakesANameThatDoesNotExist) {
    OwnPorts ports;
    TempDir dir;
    WriteBytes(dir.File("prog.obj"), SixWordObject);
    WriteBytes(dir.File("prog.asm"), SixWordListing);
    TMainFrame frame;
    frame.show();
    struct Case {
        const char* Typed;
        const char* Filter;
        const char* Opened;
        QString Listing;
    };
    const Case cases[] = {
        {"prog", TMainFrame::ObjectFileFilter, "prog.obj", SixWordShown},
        {"prog.txt", TMainFrame::ObjectFileFilter, "prog.obj", SixWordShown},
        {"prog", TMainFrame::AssemblyFileFilter, "prog.asm", Q(SixWordListing)},
    };
    for (const Case& c : cases) {
        const char* typed = c.Typed;
        SCOPED_TRACE(std::string(typed) + ", " + c.Filter);
        frame.FileName.clear();
        bool refused = false, stillOpen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            // A dialog that refuses the name says so in a box of its own.
            QTimer::singleShot(0, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    refused = true;
                    box->accept();
                }
            });
            dialog->selectNameFilter(QString::fromLatin1(c.Filter));
            name->setText(Q(dir.File(typed)));
            QTest::keyClick(name, Qt::Key_Return);
            stillOpen = dialog->isVisible();
            if (stillOpen) dialog->reject();
        });
        frame.OpenFileBtn->click();
        EXPECT_FALSE(refused);
        EXPECT_FALSE(stillOpen);
        EXPECT_EQ(frame.FileName, dir.File(c.Opened));
        EXPECT_EQ(frame.AsmOut->toPlainText(), c.Listing);
    }
}

// Ctrl+O opens, Ctrl+S saves the object file, Ctrl+Shift+S the listing; with
// Ctrl+Return, which makes the listing the program, those are the window's only keys.
TEST_F(FileCommands, FileCommandsHaveTheirKeys) {
    Open(frame, Make(dir, "prog.obj", SixWordObject));
    frame.OpenAnswers.push_back(QString());
    frame.SaveAnswers = {QString(), QString()};
    QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(&frame, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(&frame, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(frame.OpenQuestions.size(), 2u);
    ASSERT_EQ(frame.SaveQuestions.size(), 2u);
    EXPECT_EQ(frame.SaveQuestions[0].Title, "Save Object File");
    EXPECT_EQ(frame.SaveQuestions[1].Title, "Save Asm File");
    QStringList keys;
    for (const QShortcut* shortcut : frame.findChildren<QShortcut*>()) {
        keys << shortcut->key().toString();
    }
    for (const QAction* action : frame.actions()) keys << action->shortcut().toString();
    EXPECT_EQ(keys, (QStringList{"Ctrl+O", "Ctrl+S", "Ctrl+Shift+S", "Ctrl+Return"}));
}

// The real save dialog behind the seam asks before replacing an existing file;
// declining keeps the dialog open.
TEST(FileDialogs, SaveDialogAsksBeforeReplacingAFile) {
    OwnPorts ports;
    TempDir dir;
    const std::string existing = dir.File("prog.obj");
    WriteBytes(existing, "OLD");
    TMainFrame frame;  // with the real dialogs
    frame.show();

    for (const bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "replace" : "decline");
        QString title, question;
        bool stillOpen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            EXPECT_EQ(dialog->nameFilters(), QStringList{"Text file (*.obj)"});
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                question = box->text();
                box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            dialog->selectFile(Q(existing));
            QMetaObject::invokeMethod(dialog, "accept");
            stillOpen = dialog->isVisible();
            if (stillOpen) dialog->reject();
        });
        const QString chosen = frame.Dialogs().AskSaveFileName(QStringLiteral("Text file (*.obj)"),
                                                               QStringLiteral("Save Object File"),
                                                               Q(dir.File(".obj")));
        EXPECT_EQ(title, "Save Object File");
        EXPECT_TRUE(question.contains("already exists")) << question.toStdString();
        EXPECT_EQ(stillOpen, !replace);
        EXPECT_EQ(chosen, replace ? Q(existing) : QString());
    }
}

}  // namespace
}  // namespace ixo::test
