// The window's device buttons and program selector, end to end through a real link on
// a pseudo-terminal to the simulated device on COM1 of the test's own port map.

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "device/Protocol.h"

#include "SimPort.h"
#include "TestFrame.h"
#include "app/PanelStatusBar.h"
#include "isa/Assembler.h"
#include "isa/WordFields.h"
#include "link/Comport.h"

namespace ixo::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Hex(std::uint32_t word) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(word));
    return text;
}

std::uint32_t Pattern(int address) {
    return 0x9E3779B9u * static_cast<std::uint32_t>(address + 1);
}

// Which of the five device buttons are enabled: read, write, verify, disable, enable.
std::vector<bool> DeviceButtons(const TestFrame& frame) {
    return {frame.ReadProgBtn->isEnabled(), frame.WriteProgtBtn->isEnabled(),
            frame.VerifyProgBtn->isEnabled(), frame.ProgDisBtn->isEnabled(),
            frame.ProgEnBtn->isEnabled()};
}

class WindowDevice : public testing::Test {
protected:
    // Opens a program of count words through the Open command.
    void OpenProgram(int count) {
        std::string text;
        char line[11];
        for (int i = 0; i < count; ++i) {
            std::snprintf(line, sizeof line, "%08X\r\n", static_cast<unsigned>(Pattern(i)));
            text += line;
        }
        WriteBytes(folder.File("prog.obj"), text);
        frame.OpenAnswers.push_back(QString::fromStdString(folder.File("prog.obj")));
        frame.OpenFileBtn->click();
        ASSERT_EQ(frame.Image.WordCount, count);
    }

    // Chooses item in the program list as the operator does.
    void Choose(int item) {
        frame.IntProgSelCb->setCurrentIndex(item);
        emit frame.IntProgSelCb->activated(item);
    }

    // Every byte the device took after a short settling time, and forgets them.
    Bytes Taken() {
        std::this_thread::sleep_for(50ms);
        Bytes bytes = com1.Device.Received();
        com1.Device.ClearReceived();
        return bytes;
    }

    OwnPorts ports;
    SimPort com1{1};
    TempDir folder;
    TestFrame frame;
};

TEST_F(WindowDevice, WriteSendsTheProgramWithFillerAndKeepsTheListing) {
    OpenProgram(5);
    const QString listing = frame.AsmOut->toPlainText();
    frame.WriteProgtBtn->click();
    EXPECT_TRUE(frame.Messages.empty());
    ASSERT_TRUE(com1.Device.WaitForReceived(1408, 10s));
    EXPECT_EQ(com1.Device.Word(4), Pattern(4));
    EXPECT_EQ(com1.Device.Word(5), NopWord);
    EXPECT_EQ(frame.Image.WordCount, 5);
    EXPECT_EQ(frame.Image.Words[127], NopWord);
    EXPECT_EQ(frame.AsmOut->toPlainText(), listing);
}

TEST_F(WindowDevice, ReadShowsTheDevicesProgramAndCwWord) {
    for (int address = 0; address < 129; ++address) com1.Device.SetWord(address, Pattern(address));
    com1.Device.SetWord(128, 0x00ABCDEF);
    sim::SimFaults faults;
    faults.HighNibbles = true;
    com1.Device.SetFaults(faults);
    frame.ReadProgBtn->click();

    EXPECT_TRUE(frame.Messages.empty());
    EXPECT_EQ(frame.Image.WordCount, 128);
    EXPECT_EQ(frame.Image.Words[127], Pattern(127));
    EXPECT_EQ(frame.AsmOut->document()->blockCount(), 129);
    EXPECT_EQ(frame.StatusBar->PanelText(0), "CW=00ABCDEF");
    // A program is loaded now: write and verify are offered.
    EXPECT_EQ(DeviceButtons(frame), (std::vector<bool>{true, true, true, true, false}));
    EXPECT_TRUE(frame.FileName.empty());
}

TEST_F(WindowDevice, FailedReadOrVerifyLeavesProgramListingAndCwPanelAlone) {
    OpenProgram(10);
    // The device holds the program as written, so that only the fault can fail.
    for (int address = 0; address < MaxProgramWords; ++address) {
        com1.Device.SetWord(address, address < 10 ? Pattern(address) : NopWord);
    }
    const ProgramImage before = frame.Image;
    const QString listing = frame.AsmOut->toPlainText();
    frame.StatusBar->SetPanelText(0, "CW=12345678");
    struct Case {
        sim::SimFaults Faults;
        QString Text;  // how the message begins
        QString Or;    // or how else it may begin
    };
    const QString sentMore = "Device sent more than was asked, after address ";
    const QString outOfStep = "Device answers out of step with the requests, after address 128";
    const Case cases[] = {
        {{.AnswerBelow = 128}, "No response from device at address 128", {}},
        // Every answer twice: some answers were not the words asked for.
        {{.RepeatAfterUs = 1000}, sentMore, outOfStep},
        // Paced answers twice, or one answer twice and the rest late: each answer is
        // taken for the next request's.
        {{.PaceBaud = 4800, .RepeatAfterUs = 500}, sentMore, outOfStep},
        {{.BehindAddress = 3, .BehindCopyUs = 2000, .BehindLateMs = 20}, sentMore, outOfStep},
    };
    for (const Case& c : cases) {
        for (QToolButton* command : {frame.ReadProgBtn, frame.VerifyProgBtn}) {
            SCOPED_TRACE(c.Text.toStdString() +
                         (command == frame.ReadProgBtn ? " read" : " verify"));
            frame.Messages.clear();
            com1.Device.SetFaults(c.Faults);
            command->click();
            ASSERT_EQ(frame.Messages.size(), 1u);
            const QString said = frame.Messages[0].Text;
            EXPECT_TRUE(said.startsWith(c.Text) || (!c.Or.isEmpty() && said.startsWith(c.Or)))
                << said.toStdString();
            EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
            EXPECT_EQ(frame.Image.Words, before.Words);
            EXPECT_EQ(frame.Image.WordCount, 10);
            EXPECT_EQ(frame.AsmOut->toPlainText(), listing);
            EXPECT_EQ(frame.StatusBar->PanelText(0), "CW=12345678");
            com1.Device.SetFaults({});
            ASSERT_TRUE(com1.WaitForQuiet(100ms));
        }
    }
    // Without a fault the same program verifies.
    frame.Messages.clear();
    frame.VerifyProgBtn->click();
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, "Verify OK");
}

// Verify fail names the differences in both words' listing lines, at most 16 of them,
// and puts the caret on the listing line of the first one the listing shows.
TEST_F(WindowDevice, VerifyAgainstTheProgramAsWritten) {
    OpenProgram(10);
    frame.WriteProgtBtn->click();
    ASSERT_TRUE(com1.Device.WaitForReceived(1408, 10s));
    com1.Device.SetWord(128, 0xFFFFFFFF);

    frame.VerifyProgBtn->click();
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, "Verify OK");
    EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbNoIcon);

    // A difference past the listing's words moves no caret.
    com1.Device.SetWord(12, 0);
    frame.VerifyProgBtn->click();
    ASSERT_EQ(frame.Messages.size(), 2u);
    EXPECT_EQ(frame.Messages[1].Text, "Verify fail");
    EXPECT_EQ(frame.Messages[1].Detail,
              " 12  program 00030000 NOP  |  device 00000000 RZP INL K=0");
    EXPECT_EQ(frame.Messages[1].Flags, TMainFrame::MbIconError);
    EXPECT_EQ(frame.AsmOut->textCursor().position(), 0);

    // In a listing of the operator's own, with a comment line on top, the caret goes
    // to the line the word was written on.
    QTextCursor top(frame.AsmOut->document());
    top.insertText("; mine\n");
    frame.UseListingAct->trigger();
    frame.WriteProgtBtn->click();  // the listing clears the bits it does not show
    ASSERT_TRUE(com1.Device.WaitForReceived(2 * 1408, 10s));
    for (int address = 20; address < 40; ++address) com1.Device.SetWord(address, 0);
    com1.Device.SetWord(6, 0x00070000);
    frame.VerifyProgBtn->click();
    ASSERT_EQ(frame.Messages.size(), 3u);
    const QStringList lines = frame.Messages[2].Detail.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 17);
    EXPECT_TRUE(lines[0].startsWith(Q("  6  program " + Hex(frame.Image.Words[6]) + " RZP ")));
    EXPECT_TRUE(lines[0].endsWith("  |  device 00070000 RAP INL K=0")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(" 20  program 00030000 NOP ")) << lines[1].toStdString();
    EXPECT_TRUE(lines[15].startsWith(" 34  program")) << lines[15].toStdString();
    EXPECT_EQ(lines[16], "and 5 more");
    // Line 9: the comment, four LFO lines, ";", then the words at 4, 5 and 6.
    EXPECT_EQ(frame.AsmOut->textCursor().blockNumber() + 1, 9);
    EXPECT_EQ(frame.AsmOut->textCursor().positionInBlock(), 0);
}

// While the listing holds edits not yet used, Write, Verify and Save object ask first:
// Yes uses them (errors end the command), No takes the program as it is, Cancel does
// nothing.
TEST_F(WindowDevice, UnusedEditsAreOfferedBeforeWriteVerifyAndSaveObject) {
    using Answer = TMainFrame::Answer;
    const std::uint32_t edited = 0x63000064;  // K=99 at address 4
    struct Case {
        const char* Command;
        Answer Given;
        const char* Line6;
        std::uint32_t Word4;  // the program's word 4 afterwards
        bool Runs;
        QString Message = {};  // what the message shown says, in its text or detail
    };
    const char* const k99 = "\tRZP\t100\tK=99";
    const char* const k200 = "\tRZP\t100\tK=200";
    const QString kError = "listing:6:25: error: K=200 is outside";
    const Case cases[] = {
        {"write", Answer::Yes, k99, edited, true},
        {"write", Answer::No, k99, Pattern(4), true},
        {"write", Answer::Cancel, k99, Pattern(4), false},
        {"write", Answer::Yes, k200, Pattern(4), false, kError},
        {"verify", Answer::Yes, k99, edited, true, "Verify OK"},
        {"verify", Answer::No, k99, Pattern(4), true, "Verify fail"},
        {"verify", Answer::Cancel, k99, Pattern(4), false},
        {"verify", Answer::Yes, k200, Pattern(4), false, kError},
        {"save", Answer::Yes, k99, edited, true},
        {"save", Answer::No, k99, Pattern(4), true},
        {"save", Answer::Cancel, k99, Pattern(4), false},
        {"save", Answer::Yes, k200, Pattern(4), false, kError},
    };
    const std::string saved = folder.File("saved.obj");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Command) + ", answer " + std::to_string(int(c.Given)) + ", " +
                     c.Line6);
        frame.QuestionAnswers = {true};  // the last row's typing may go
        OpenProgram(5);
        frame.QuestionAnswers.clear();
        frame.Messages.clear();
        frame.Questions.clear();
        QTextCursor cursor(frame.AsmOut->document()->findBlockByNumber(5));
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(QString::fromLatin1(c.Line6));
        // The device holds the edited program as written: the words of the lines left
        // alone keep every bit, even those no line shows, and word 4 is the edited one.
        for (int address = 0; address < 128; ++address) {
            com1.Device.SetWord(address, address < 4    ? Pattern(address)
                                         : address == 4 ? edited
                                                        : NopWord);
        }
        std::filesystem::remove(saved);
        Taken();

        frame.ChoiceAnswers.push_back(c.Given);
        const std::string command = c.Command;
        if (command == "write") frame.WriteProgtBtn->click();
        if (command == "verify") frame.VerifyProgBtn->click();
        if (command == "save") {
            frame.SaveAnswers.push_back(QString::fromStdString(saved));
            frame.SaveObjFileBtn->click();
            frame.SaveAnswers.clear();
        }

        EXPECT_EQ(frame.Questions, std::vector<QString>{"The listing has changes that are not "
                                                        "used as the program. Use them first?"});
        EXPECT_EQ(frame.Image.Words[4], c.Word4);
        if (c.Message.isEmpty()) {
            EXPECT_TRUE(frame.Messages.empty());
        } else {
            ASSERT_EQ(frame.Messages.size(), 1u);
            const QString shown = frame.Messages[0].Text + "\n" + frame.Messages[0].Detail;
            EXPECT_TRUE(shown.contains(c.Message)) << shown.toStdString();
        }
        const Bytes taken = Taken();
        if (command == "write") {
            EXPECT_EQ(taken.size(), c.Runs ? 1408u : 0u);
            EXPECT_EQ(com1.Device.Word(4), c.Runs ? c.Word4 : edited);
        } else if (command == "verify") {
            EXPECT_EQ(taken.size(),
                      c.Runs ? std::size_t{ReadBackRequests} * FetchRequestLength : 0u);
        } else {
            EXPECT_EQ(std::filesystem::exists(saved), c.Runs);
            if (c.Runs) {
                EXPECT_EQ(ReadBytes(saved).substr(40, 8), Hex(c.Word4));
            }
        }
        // Used, the edits ask nothing more; not used, they still do.
        EXPECT_EQ(frame.ListingHasUnusedEdits(), c.Word4 != edited);
    }
}

// Read asks before it replaces typing that was neither saved nor used.
TEST_F(WindowDevice, ReadAsksBeforeReplacingEdits) {
    OpenProgram(5);
    QTextCursor(frame.AsmOut->document()).insertText("; mine\n");
    const QString typed = frame.AsmOut->toPlainText();
    for (const bool answer : {false, true}) {
        SCOPED_TRACE(answer);
        frame.Questions.clear();
        frame.QuestionAnswers.push_back(answer);
        frame.ReadProgBtn->click();
        EXPECT_EQ(frame.Questions, std::vector<QString>{"The listing has changes that are not "
                                                        "saved or used. Replace them anyway?"});
        EXPECT_EQ(Taken().size(), answer ? std::size_t{ReadBackRequests} * FetchRequestLength : 0u);
        EXPECT_EQ(frame.Image.WordCount, answer ? 128 : 5);
        EXPECT_EQ(frame.AsmOut->toPlainText(), answer ? ListingOf(frame.Image) : typed);
    }
    EXPECT_TRUE(frame.Messages.empty());
}

TEST_F(WindowDevice, ClosedLinkIsSaidByEveryDeviceCommand) {
    OpenProgram(3);
    frame.Connection.Close();
    for (void (TMainFrame::*command)() :
         {&TMainFrame::WriteProgtBtnClick, &TMainFrame::ReadProgBtnClick,
          &TMainFrame::VerifyProgBtnClick, &TMainFrame::ProgEnBtnClick,
          &TMainFrame::ProgDisBtnClick}) {
        frame.Messages.clear();
        (frame.*command)();
        ASSERT_EQ(frame.Messages.size(), 1u);
        EXPECT_EQ(frame.Messages[0].Text, "COM port not opened");
    }
    EXPECT_TRUE(frame.ProgEnabled);
    EXPECT_EQ(frame.Image.Words[3], 0u);  // a write that never started fills nothing

    // A choice made with the link closed is kept and counts once the link is back.
    frame.Messages.clear();
    Choose(9);  // Chorus
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, "COM port not opened");
    EXPECT_EQ(frame.IntProgSelCb->currentText(), "Chorus");
    EXPECT_FALSE(frame.ProgEnabled);
    frame.OpenLink(1);
    frame.UpdateStatus();
    EXPECT_EQ(DeviceButtons(frame), (std::vector<bool>{false, false, false, false, true}));
    EXPECT_TRUE(Taken().empty());
}

TEST_F(WindowDevice, EmptyProjectIsNotWritten) {
    frame.WriteProgtBtnClick();
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, "Empty Project");
    EXPECT_TRUE(Taken().empty());
}

TEST_F(WindowDevice, ModeCommandsSendOneByteAndSetTheButtons) {
    OpenProgram(4);
    frame.ProgDisBtn->click();
    EXPECT_EQ(Taken(), Bytes{0x89});
    EXPECT_FALSE(frame.ProgEnabled);
    EXPECT_EQ(frame.IntProgSelCb->currentText(), "Ext");
    EXPECT_EQ(DeviceButtons(frame), (std::vector<bool>{false, false, false, false, true}));

    Choose(7);  // Plate 2
    EXPECT_EQ(Taken(), Bytes{0x96});
    // Enabling switches the list back to Ext without a second byte.
    frame.ProgEnBtn->click();
    EXPECT_EQ(Taken(), Bytes{0x8A});
    EXPECT_EQ(frame.IntProgSelCb->currentText(), "Ext");
    EXPECT_EQ(DeviceButtons(frame), (std::vector<bool>{true, true, true, true, false}));

    Choose(16);  // Rotary speaker
    EXPECT_EQ(Taken(), Bytes{0x9F});
    EXPECT_EQ(DeviceButtons(frame), (std::vector<bool>{false, false, false, false, true}));
    Choose(0);
    EXPECT_EQ(Taken(), Bytes{0x8A});
    EXPECT_TRUE(frame.ProgEnabled);
    EXPECT_TRUE(frame.Messages.empty());
}

TEST_F(WindowDevice, FailedModeByteStillRecordsTheMode) {
    // The device goes away after one byte; the link stays open on our side.
    sim::SimFaults faults;
    faults.HangUpAfter = 1;
    com1.Device.SetFaults(faults);
    Choose(1);  // Hall 1: whether this send sees the hang-up is a race
    ASSERT_TRUE(com1.Device.WaitForReceived(1, 10s));
    std::this_thread::sleep_for(200ms);
    frame.Messages.clear();

    frame.ProgEnBtn->click();
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, "Can't Write to COM port");
    EXPECT_TRUE(frame.ProgEnabled);
    EXPECT_EQ(frame.IntProgSelCb->currentText(), "Ext");
    EXPECT_TRUE(frame.ProgDisBtn->isEnabled());
}

// The wheel over the selector never chooses a program, with or without the focus;
// a key on the focused selector does.
TEST_F(WindowDevice, WheelOverTheSelectorSendsNothing) {
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QComboBox* selector = frame.IntProgSelCb;
    const QPointF middle = QRectF(selector->rect()).center();
    for (const bool focused : {false, true}) {
        if (focused) selector->setFocus();
        for (int turn = 0; turn < 3; ++turn) {
            QWheelEvent wheel(middle, selector->mapToGlobal(middle), QPoint(), QPoint(0, -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(selector, &wheel);
        }
    }
    EXPECT_EQ(selector->currentIndex(), 0);
    EXPECT_TRUE(Taken().empty());
    QTest::keyClick(selector, Qt::Key_Down);
    EXPECT_EQ(selector->currentText(), "Hall 1");
    EXPECT_EQ(Taken(), Bytes{0x90});
}

// Clicks and keys that arrive while a read holds the window are dropped, not run
// once it is over.
TEST_F(WindowDevice, InputWhileBusyIsDropped) {
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    sim::SimFaults faults;
    faults.Silent = true;  // the read waits out its time limit for the first answer
    com1.Device.SetFaults(faults);
    // A click on Disable programming and a key on the selector, made during the read.
    QToolButton* disable = frame.ProgDisBtn;
    const QPointF at = QRectF(disable->rect()).center();
    std::vector<std::pair<QObject*, QEvent*>> input;
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        input.emplace_back(disable, new QMouseEvent(type, at, disable->mapToGlobal(at),
                                                    Qt::LeftButton, held, Qt::NoModifier));
    }
    input.emplace_back(frame.IntProgSelCb,
                       new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
    std::thread operatorHand([&] {
        EXPECT_TRUE(com1.Device.WaitForReceived(FetchRequestLength, 10s));
        for (auto [receiver, event] : input) QCoreApplication::postEvent(receiver, event);
    });
    frame.ReadProgBtn->click();
    operatorHand.join();
    QApplication::processEvents();  // what is still queued would run now
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, "No response from device at address 0");
    EXPECT_TRUE(frame.ProgEnabled);
    EXPECT_EQ(frame.IntProgSelCb->currentIndex(), 0);
    EXPECT_EQ(Taken().size(), std::size_t{FetchRequestLength});
}

}  // namespace
}  // namespace ixo::test
