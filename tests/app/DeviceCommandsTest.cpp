// The window's device commands, end to end through a real link on a pseudo-terminal
// to the simulated device on COM1 of the test's own port map.

#include <QComboBox>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/Protocol.h"

#include "SimPort.h"
#include "TestFrame.h"
#include "app/PanelStatusBar.h"
#include "isa/WordFields.h"
#include "link/Comport.h"

namespace ixo::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

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

TEST_F(WindowDevice, FailedReadLeavesProgramListingAndCwPanelAlone) {
    OpenProgram(10);
    const ProgramImage before = frame.Image;
    const QString listing = frame.AsmOut->toPlainText();
    frame.StatusBar->SetPanelText(0, "CW=12345678");
    struct Case {
        sim::SimFaults Faults;
        QString Text;  // how the message begins
    };
    const Case cases[] = {
        {{.AnswerBelow = 128}, "No response from device at address 128"},
        // Every answer twice: some answers were not the words asked for.
        {{.RepeatAfterUs = 1000}, "Device sent more than was asked, after address "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text.toStdString());
        frame.Messages.clear();
        com1.Device.SetFaults(c.Faults);
        frame.ReadProgBtn->click();
        ASSERT_EQ(frame.Messages.size(), 1u);
        EXPECT_TRUE(frame.Messages[0].Text.startsWith(c.Text))
            << frame.Messages[0].Text.toStdString();
        EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
        EXPECT_EQ(frame.Image.Words, before.Words);
        EXPECT_EQ(frame.Image.WordCount, 10);
        EXPECT_EQ(frame.AsmOut->toPlainText(), listing);
        EXPECT_EQ(frame.StatusBar->PanelText(0), "CW=12345678");
    }
}

TEST_F(WindowDevice, VerifyAgainstTheProgramAsWritten) {
    OpenProgram(10);
    frame.WriteProgtBtn->click();
    ASSERT_TRUE(com1.Device.WaitForReceived(1408, 10s));
    com1.Device.SetWord(128, 0xFFFFFFFF);

    frame.VerifyProgBtn->click();
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, "Verify OK");
    EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbNoIcon);

    com1.Device.SetWord(12, 0);
    frame.VerifyProgBtn->click();
    ASSERT_EQ(frame.Messages.size(), 2u);
    EXPECT_EQ(frame.Messages[1].Text, "Verify fail");
    EXPECT_EQ(frame.Messages[1].Detail,
              "First difference at address 12: program 00030000, device 00000000");
    EXPECT_EQ(frame.Messages[1].Flags, TMainFrame::MbIconError);
}

TEST_F(WindowDevice, ClosedLinkIsSaidByEveryDeviceCommand) {
    OpenProgram(3);
    frame.Link->Close();
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
