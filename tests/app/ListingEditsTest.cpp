// The listing made the program again: the action on the operator's edits, assembly
// files opened, dropped or named at start, and the questions before edits are lost.

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
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
        Reopen();
        ASSERT_EQ(ProgramOf(frame), Six);
    }

    // Opens six.obj afresh, letting go of whatever the listing held, and forgets
    // what was shown and asked.
    void Reopen() {
        frame.QuestionAnswers = {true};
        frame.OpenGivenFile(Q(dir.File("six.obj")));
        frame.QuestionAnswers.clear();
        frame.Questions.clear();
        frame.Messages.clear();
        frame.show();
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
        QString Errors = {};                 // the errors in the message box, when any
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
         "listing:6:25: error: K=200 is outside -127 to 127\n"
         "    6 |         RZP     100     K=200\n"
         "      |                         ^\n",
         6, 10},
        {"errors on two lines", SixWordsWith("\tRZP\tOUTL\tK=0") + "\nWZP\t1\tK=128", Six,
         "listing:6:17: error: OUTL is an output: use it with W\n"
         "    6 |         RZP     OUTL    K=0\n"
         "      |                 ^\n"
         "listing:8:17: error: K=128 is outside -127 to 127\n"
         "    8 | WZP     1       K=128\n"
         "      |                 ^\n",
         6, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Reopen();
        TypeListing(c.Listing);
        frame.UseListingAct->trigger();

        EXPECT_EQ(ProgramOf(frame), c.Program);
        EXPECT_EQ(frame.FileName, dir.File("six.obj"));
        // The text stays as typed either way.
        EXPECT_EQ(frame.AsmOut->toPlainText(), c.Listing);
        if (c.Errors.isEmpty()) {
            EXPECT_TRUE(frame.Messages.empty());
            EXPECT_FALSE(frame.ListingHasUnkeptEdits());
            EXPECT_FALSE(frame.ListingHasUnusedEdits());
            // The status is refreshed: the save buttons follow the new program.
            EXPECT_EQ(frame.SaveObjFileBtn->isEnabled(), !c.Program.empty());
            EXPECT_EQ(frame.SaveAsmFileBtn->isEnabled(), !c.Program.empty());
            continue;
        }
        ASSERT_EQ(frame.Messages.size(), 1u);
        EXPECT_EQ(frame.Messages[0].Text, "listing does not assemble");
        EXPECT_EQ(frame.Messages[0].Detail.toStdString(), c.Errors.toStdString());
        EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
        EXPECT_EQ(CaretLine(), c.Line);
        EXPECT_EQ(CaretColumn(), c.Column);
        EXPECT_TRUE(frame.ListingHasUnkeptEdits());
    }
}

// However many errors, the box shows the first few, so that it fits on the screen.
TEST_F(ListingEdits, ErrorBoxShowsTheFirstErrors) {
    QString listing = SixWordsWith("\tRZP\t100\tK=200");
    for (int i = 0; i < 10; ++i) listing += "\n\tRZP\t100\tK=200";
    TypeListing(listing);
    frame.UseListingAct->trigger();
    ASSERT_EQ(frame.Messages.size(), 1u);
    const QString detail = frame.Messages[0].Detail;
    EXPECT_EQ(detail.count("error: K=200"), 6) << detail.toStdString();
    EXPECT_TRUE(detail.startsWith("listing:6:25: error: K=200")) << detail.toStdString();
    EXPECT_TRUE(detail.endsWith("\nand more errors after these\n")) << detail.toStdString();
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

// An assembly file named at start, dropped or chosen with the Open dialog's assembly
// filter is assembled, in any case of its extension, and becomes the project under
// the same name whichever way it came; its text is shown as it is. One with errors is
// shown with them, and the program and project stay.
TEST_F(ListingEdits, AssemblyFilesAreAssembledWhenOpened) {
    enum class Way { Named, NamedFromItsFolder, Dropped, AssemblyFilter, ObjectFilter };
    struct Case {
        const char* Name;  // as written or typed
        std::string Text;
        Way How;
        std::vector<std::uint32_t> Program;
        std::string FileName;  // empty: stays six.obj
        QString Message = {};
    };
    const std::string edited =
        "; quieter\r\n" + SixWordsWith("\tRZP  100\tK=-99 ; was 64").toStdString() + "\r\n";
    std::vector<std::uint32_t> program = Six;
    program[4] = 0xE3000064;  // K=-99
    const Case cases[] = {
        {"edited.asm", edited, Way::Named, program, "edited.asm"},
        {"edited.asm", edited, Way::NamedFromItsFolder, program, "edited.asm"},
        {"EDITED.ASM", edited, Way::Dropped, program, "EDITED.ASM"},
        {"edited", edited, Way::AssemblyFilter, program, "edited.asm"},
        {"EDITED.ASM", edited, Way::AssemblyFilter, program, "EDITED.ASM"},
        // The object filter opens the ".obj" file of the name, whatever it was typed as.
        {"edited.asm", edited, Way::ObjectFilter, Six, "", "Can't open file \""},
        {"bad.asm", "LFO1 AMP=1 FREQ=1\r\n", Way::Dropped, Six, "",
         "bad.asm:1:1: error: LFO1 where LFO0 was expected\n"},
        {"missing.asm", "", Way::Named, Six, "", "Can't open file \""},
    };
    const QString here = QDir::currentPath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Reopen();
        const std::string path = dir.File(c.Name);
        if (!c.Text.empty()) WriteBytes(path, c.Text);
        switch (c.How) {
            case Way::Named:
                frame.OpenGivenFile(Q(path));
                break;
            case Way::NamedFromItsFolder:
                QDir::setCurrent(Q(dir.Path().string()));
                frame.OpenGivenFile(Q(c.Name));
                QDir::setCurrent(here);
                break;
            case Way::Dropped:
                EXPECT_TRUE(Drop(frame.AsmOut->viewport(), {QUrl::fromLocalFile(Q(path))}));
                break;
            case Way::AssemblyFilter:
            case Way::ObjectFilter:
                frame.OpenAnswers.push_back(Q(path));
                frame.OpenFilterAnswers.push_back(QString::fromLatin1(
                    c.How == Way::AssemblyFilter ? TMainFrame::AssemblyFileFilter
                                                 : TMainFrame::ObjectFileFilter));
                frame.OpenFileBtn->click();
                break;
        }
        EXPECT_EQ(ProgramOf(frame), c.Program);
        const std::string project = c.FileName.empty() ? dir.File("six.obj") : dir.File(c.FileName);
        EXPECT_EQ(frame.FileName, project);
        if (c.Message.isEmpty()) {
            EXPECT_TRUE(frame.Messages.empty());
            EXPECT_EQ(frame.AsmOut->toPlainText(), Q(c.Text).replace("\r\n", "\n"));
            EXPECT_FALSE(frame.ListingHasUnusedEdits());
            EXPECT_EQ(frame.ComStatusBar->PanelText(1), Q(ReplaceFileExt(project, "")));
        } else {
            ASSERT_EQ(frame.Messages.size(), 1u);
            const QString shown = frame.Messages[0].Text + "\n" + frame.Messages[0].Detail;
            EXPECT_TRUE(shown.contains(c.Message)) << shown.toStdString();
        }
    }
}

// An edited listing with comments and its own spacing, used as the program, is saved
// byte for byte as typed; the object file saved beside it holds the same program; and
// Undo still reaches back past the use.
TEST_F(ListingEdits, AnEditedListingSurvivesUseSaveAndUndoByteForByte) {
    const QString built = frame.AsmOut->toPlainText();
    QString typed = SixWordsWith("  rzp   100  k=20 ;; quieter, for now");
    typed.prepend("; my effect\n\n");
    TypeListing(typed);
    QTest::keyClicks(frame.AsmOut, "   ; end");
    typed += "   ; end";
    ASSERT_EQ(frame.AsmOut->toPlainText(), typed);

    frame.UseListingAct->trigger();
    std::vector<std::uint32_t> program = Six;
    program[4] = 0x14000064;  // K=20
    EXPECT_EQ(ProgramOf(frame), program);
    EXPECT_EQ(frame.AsmOut->toPlainText(), typed);

    // Neither save asks anything: the listing is the program now.
    frame.SaveAnswers = {Q(dir.File("mine.asm")), Q(dir.File("mine.obj"))};
    frame.SaveAsmFileBtn->click();
    frame.SaveObjFileBtn->click();
    EXPECT_TRUE(frame.Questions.empty());
    EXPECT_TRUE(frame.Messages.empty());
    EXPECT_EQ(Q(ReadBytes(dir.File("mine.asm"))), QString(typed).replace("\n", "\r\n") + "\r\n");
    std::string object = SixWordObject;
    object.replace(object.find("40000064"), 8, "14000064");
    EXPECT_EQ(ReadBytes(dir.File("mine.obj")), object);

    // Undone to the start, the listing is the one built from six.obj, and no longer
    // the program; redone, it is the program again.
    QTextDocument* document = frame.AsmOut->document();
    while (document->isUndoAvailable()) document->undo();
    EXPECT_EQ(frame.AsmOut->toPlainText(), built);
    EXPECT_TRUE(frame.ListingHasUnusedEdits());
    while (document->isRedoAvailable()) document->redo();
    EXPECT_EQ(frame.AsmOut->toPlainText(), typed);
    EXPECT_FALSE(frame.ListingHasUnusedEdits());
}

// Before the listing is replaced (Open, a drop) or the window closes, the operator is
// asked while typing in it was neither saved nor used, or while the program made from
// it was not saved since; what is kept asks nothing.
TEST_F(ListingEdits, WorkThatWouldBeLostIsAskedAbout) {
    enum class Then { Open, Drop, Close };
    struct Case {
        const char* What;
        std::function<void(ListingEdits&)> Before;  // after typing into the listing
        Then Action;
        QString Question;  // empty: none
        bool Answer = false;
    };
    const auto typed = [](ListingEdits&) {};
    const auto used = [](ListingEdits& t) { t.frame.UseListingAct->trigger(); };
    const QString unkept = "The listing has changes that are not saved or used. ";
    const QString unsaved = "The program made from the listing is not saved. ";
    const Case cases[] = {
        {"nothing typed", nullptr, Then::Close, ""},
        {"typed", typed, Then::Close, unkept + "Close anyway?", false},
        {"typed", typed, Then::Close, unkept + "Close anyway?", true},
        {"typed", typed, Then::Open, unkept + "Replace them anyway?", false},
        {"typed", typed, Then::Open, unkept + "Replace them anyway?", true},
        {"typed", typed, Then::Drop, unkept + "Replace them anyway?", false},
        {"typed, not assembling",
         [](ListingEdits& t) {
             t.TypeListing("LFO9");
             t.frame.UseListingAct->trigger();
         },
         Then::Close, unkept + "Close anyway?", false},
        {"used", used, Then::Close, unsaved + "Close anyway?", false},
        {"used", used, Then::Drop, unsaved + "Replace it anyway?", true},
        {"used, then the object saved",
         [](ListingEdits& t) {
             t.frame.UseListingAct->trigger();
             t.frame.SaveAnswers.push_back(Q(t.dir.File("kept.obj")));
             t.frame.SaveObjFileBtn->click();
         },
         Then::Close, ""},
        {"used, then the listing saved",
         [](ListingEdits& t) {
             t.frame.UseListingAct->trigger();
             t.frame.SaveAnswers.push_back(Q(t.dir.File("kept.asm")));
             t.frame.SaveAsmFileBtn->click();
         },
         Then::Open, ""},
        {"typed, then the listing saved",
         [](ListingEdits& t) {
             t.frame.SaveAnswers.push_back(Q(t.dir.File("kept.asm")));
             t.frame.SaveAsmFileBtn->click();
         },
         Then::Close, ""},
    };
    WriteBytes(dir.File("other.obj"), "00030000\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.What) + ", " + c.Question.toStdString());
        Reopen();
        if (c.Before) {
            TypeListing(SixWordsWith("\tRZP\t100\tK=99"));
            c.Before(*this);
        }
        const QString before = frame.AsmOut->toPlainText();
        if (!c.Question.isEmpty()) frame.QuestionAnswers.push_back(c.Answer);
        const bool goOn = c.Question.isEmpty() || c.Answer;
        switch (c.Action) {
            case Then::Close:
                EXPECT_EQ(frame.close(), goOn);
                EXPECT_EQ(frame.isVisible(), !goOn);
                break;
            case Then::Open:
                frame.OpenAnswers.push_back(Q(dir.File("other.obj")));
                frame.OpenFileBtn->click();
                break;
            case Then::Drop:
                EXPECT_TRUE(Drop(&frame, {QUrl::fromLocalFile(Q(dir.File("other.obj")))}));
                break;
        }
        EXPECT_EQ(frame.Questions,
                  c.Question.isEmpty() ? std::vector<QString>{} : std::vector<QString>{c.Question});
        if (c.Action == Then::Close) continue;
        EXPECT_EQ(frame.FileName, dir.File(goOn ? "other.obj" : "six.obj"));
        EXPECT_EQ(frame.AsmOut->toPlainText(), goOn ? "LFO0\tSIN\tAMP=0\t\tFREQ=6" : before);
    }
}

// Not even with typing unkept and a program made from the listing unsaved.
TEST_F(ListingEdits, AStopSignalClosesWithoutAsking) {
    TypeListing(SixWordsWith("\tRZP\t100\tK=99"));
    frame.UseListingAct->trigger();
    TypeListing(SixWordsWith("\tRZP\t100\tK=98"));
    frame.CloseOnStopSignal();
    EXPECT_TRUE(frame.Questions.empty());
    EXPECT_FALSE(frame.isVisible());
}

}  // namespace
}  // namespace ixo::test
