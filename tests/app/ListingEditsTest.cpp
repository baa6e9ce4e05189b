// The listing made the program again: the action on the operator's edits, assembly
// files dropped or named at start, and the question before edits are lost.

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QToolButton>
#include <QUrl>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "SixWords.h"
#include "TempDir.h"
#include "TestFrame.h"
#include "WineParts.h"
#include "app/PanelStatusBar.h"
#include "project/ProjectFiles.h"

namespace ixo::test {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The six-word listing with its coefficient line (line 6) replaced.
QString SixWordsWith(const QString& sixthLine) {
    QStringList lines = Q(SixWordListing).chopped(1).split(QLatin1Char('\n'));
    lines[5] = sixthLine;
    return lines.join(QLatin1Char('\n'));
}

std::vector<std::uint32_t> ProgramOf(const TMainFrame& frame) {
    return {frame.Image.Words.begin(), frame.Image.Words.begin() + frame.Image.WordCount};
}

const std::vector<std::uint32_t> Six(SixWords.begin(), SixWords.end());

class ListingEdits : public ShownWindowTest {
public:
    void SetUp() override {
        ShownWindowTest::SetUp();
        if (HasFatalFailure()) return;
        WriteBytes(dir.File("six.obj"), SixWordObject);
        frame.OpenGivenFile(Q(dir.File("six.obj")));
        ASSERT_EQ(ProgramOf(frame), Six);
    }

    // Puts text over the whole listing, as the operator's paste would.
    void TypeListing(const QString& text) {
        frame.AsmOut->selectAll();
        frame.AsmOut->insertPlainText(text);
    }

    int CaretLine() const { return frame.AsmOut->textCursor().blockNumber() + 1; }
    int CaretColumn() const { return frame.AsmOut->textCursor().positionInBlock() + 1; }
};

// What "Use Listing as Program" does with each kind of listing: the words it takes,
// or the errors it shows and where the caret goes.
TEST_F(ListingEdits, UseListingTakesTheWordsOrShowsTheErrors) {
    struct Case {
        const char* What;
        QString Listing;
        std::vector<std::uint32_t> Program;  // what the image holds afterwards
        QString Errors = {};                 // the message box's text, when any
        int Line = 0, Column = 0;            // where the caret goes after errors
    };
    std::vector<std::uint32_t> edited = Six;
    edited[4] = 0x63000064;  // K=99
    const Case cases[] = {
        {"an edited coefficient", SixWordsWith("\tRZP\t100\tK=99"), edited},
        {"a shorter program",
         "LFO0 AMP=1 FREQ=2\nLFO1 AMP=3 FREQ=4\nLFO2 AMP=5 FREQ=6\nLFO3 TRI AMP=7 FREQ=8",
         {0x80010001, 0x80020003, 0x80030005, 0x40040007}},
        {"an empty listing", QString(), {}},
        {"a coefficient out of range", SixWordsWith("\tRZP\t100\tK=200"), Six,
         "Line 6: K=200 is outside -127 to 127", 6, 10},
        {"errors on two lines", SixWordsWith("\tRZP\tOUTL\tK=0") + "\nWZP\t1\tK=128", Six,
         "Line 6: OUTL is an output: use it with W\nLine 8: K=128 is outside -127 to 127", 6, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        frame.OpenGivenFile(Q(dir.File("six.obj")));
        frame.Messages.clear();
        TypeListing(c.Listing);
        frame.UseListingAct->trigger();

        EXPECT_EQ(ProgramOf(frame), c.Program);
        EXPECT_EQ(frame.FileName, dir.File("six.obj"));
        if (c.Errors.isEmpty()) {
            EXPECT_TRUE(frame.Messages.empty());
            EXPECT_EQ(frame.AsmOut->toPlainText(), ListingOf(frame.Image));
            EXPECT_TRUE(frame.AsmOut->textCursor().atStart());
            EXPECT_FALSE(frame.ListingHasUnkeptEdits());
            // The status is refreshed: the save buttons follow the new program.
            EXPECT_EQ(frame.SaveObjFileBtn->isEnabled(), !c.Program.empty());
            EXPECT_EQ(frame.SaveAsmFileBtn->isEnabled(), !c.Program.empty());
            continue;
        }
        ASSERT_EQ(frame.Messages.size(), 1u);
        EXPECT_EQ(frame.Messages[0].Text.toStdString(), c.Errors.toStdString());
        EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
        EXPECT_EQ(frame.AsmOut->toPlainText(), c.Listing);
        EXPECT_EQ(CaretLine(), c.Line);
        EXPECT_EQ(CaretColumn(), c.Column);
        EXPECT_TRUE(frame.ListingHasUnkeptEdits());
    }
}

// Ctrl+Return in the listing runs the action, and the listing's menu offers it.
TEST_F(ListingEdits, UseListingHasItsKeyAndIsInTheListingsMenu) {
    TypeListing(SixWordsWith("\tRZP\t100\tK=99"));
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QTest::keyClick(frame.AsmOut, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(frame.Image.Words[4], 0x63000064u);
    EXPECT_EQ(frame.AsmOut->blockCount(), 7);  // the key typed no line break

    QMenu* menu = frame.ListingContextMenu();
    EXPECT_TRUE(menu->actions().contains(frame.UseListingAct));
    EXPECT_EQ(frame.UseListingAct->text(), "Use Listing as Program");
    delete menu;
}

// An assembly file named at start or dropped is assembled, in any case of its
// extension, and becomes the project; one with errors is shown with them, and the
// program and project stay.
TEST_F(ListingEdits, AssemblyFilesAreAssembledWhenOpened) {
    if (RunningUnderWine())
        GTEST_SKIP() << "under Windows the window keeps a name as a dialog or a drop gives it, "
                        "with forward slashes";
    struct Case {
        const char* Name;
        std::string Text;
        bool Drop;
        std::vector<std::uint32_t> Program;
        std::string FileName;  // empty: stays six.obj
        QString Message = {};
    };
    const std::string edited = SixWordsWith("\tRZP\t100\tK=-99").toStdString() + "\r\n";
    std::vector<std::uint32_t> program = Six;
    program[4] = 0xE3000064;  // K=-99
    const Case cases[] = {
        {"edited.asm", edited, false, program, "edited.asm"},
        {"EDITED.ASM", edited, true, program, "EDITED.ASM"},
        {"bad.asm", "LFO1 AMP=1 FREQ=1\r\n", true, Six, "", "Line 1: LFO1 where LFO0 was expected"},
        {"missing.asm", "", false, Six, "", "Can't open file \""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        frame.OpenGivenFile(Q(dir.File("six.obj")));
        frame.Messages.clear();
        const std::string path = dir.File(c.Name);
        if (!c.Text.empty()) WriteBytes(path, c.Text);
        if (c.Drop) {
            EXPECT_TRUE(Drop(frame.AsmOut->viewport(), {QUrl::fromLocalFile(Q(path))}));
        } else {
            frame.OpenGivenFile(Q(path));
        }
        EXPECT_EQ(ProgramOf(frame), c.Program);
        EXPECT_EQ(frame.FileName, c.FileName.empty() ? dir.File("six.obj") : dir.File(c.FileName));
        if (c.Message.isEmpty()) {
            EXPECT_TRUE(frame.Messages.empty());
            EXPECT_EQ(frame.AsmOut->toPlainText(), ListingOf(frame.Image));
            EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(ReplaceFileExt(path, "")));
        } else {
            ASSERT_EQ(frame.Messages.size(), 1u);
            EXPECT_TRUE(frame.Messages[0].Text.startsWith(c.Message))
                << frame.Messages[0].Text.toStdString();
        }
    }
}

// Closing asks first while the listing holds typing that was neither saved nor made
// the program; Open still replaces the listing without asking.
TEST_F(ListingEdits, ClosingWithUnkeptEditsAsksFirst) {
    struct Case {
        const char* What;
        std::function<void(ListingEdits&)> Then;  // after typing into the listing
        bool Asked;
        bool Answer;
    };
    const Case cases[] = {
        {"nothing typed", nullptr, false, false},
        {"typing, answered No", [](ListingEdits&) {}, true, false},
        {"typing, answered Yes", [](ListingEdits&) {}, true, true},
        {"typing, then used as the program",
         [](ListingEdits& t) { t.frame.UseListingAct->trigger(); }, false, false},
        {"typing that does not assemble, answered No",
         [](ListingEdits& t) {
             t.TypeListing("LFO9");
             t.frame.UseListingAct->trigger();
         },
         true, false},
        {"typing, then saved",
         [](ListingEdits& t) {
             t.frame.SaveAnswers.push_back(Q(t.dir.File("kept.asm")));
             t.frame.SaveAsmFileBtn->click();
         },
         false, false},
        {"typing, then another file opened",
         [](ListingEdits& t) { t.frame.OpenGivenFile(Q(t.dir.File("six.obj"))); }, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        frame.OpenGivenFile(Q(dir.File("six.obj")));
        frame.show();
        frame.Messages.clear();
        frame.Questions.clear();
        if (c.Then) {
            TypeListing(SixWordsWith("\tRZP\t100\tK=99"));
            c.Then(*this);
        }
        if (c.Asked) frame.QuestionAnswers.push_back(c.Answer);
        const bool closed = frame.close();

        EXPECT_EQ(frame.Questions,
                  c.Asked ? std::vector<QString>{"The listing has changes that are not saved or "
                                                 "used. Close anyway?"}
                          : std::vector<QString>{});
        EXPECT_EQ(closed, !c.Asked || c.Answer);
        EXPECT_EQ(frame.isVisible(), !closed);
    }
}

TEST_F(ListingEdits, AStopSignalClosesWithoutAsking) {
    frame.OpenGivenFile(Q(dir.File("six.obj")));
    frame.show();
    TypeListing(SixWordsWith("\tRZP\t100\tK=99"));
    frame.Questions.clear();
    frame.CloseOnStopSignal();
    EXPECT_TRUE(frame.Questions.empty());
    EXPECT_FALSE(frame.isVisible());
}

}  // namespace
}  // namespace ixo::test
