// The window's link and port selection, against simulated devices on real
// pseudo-terminals mapped as COM ports of the test's own port map.

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "SimPort.h"
#include "TestFrame.h"
#include "TtyHolder.h"
#include "app/PanelStatusBar.h"
#include "link/Comport.h"

namespace ixo::test {
namespace {

// What the port dialog held when it was shown.
struct DialogSight {
    QStringList Items;
    QStringList Tips;  // of the items
    QString Selected;
    bool LinkOpen = false;
};

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

// True when another link can open COMn at this moment, that is, no one holds it.
bool PortIsFree(int n) {
    ComPort other;
    other.PortNumber = static_cast<std::int8_t>(n);
    return other.Open();
}

// Answers the port dialog: records what it shows, picks item (unless empty), and
// closes it with OK or Cancel.
std::function<bool(TSerialPortDlg&)> Answer(const TestFrame& frame, DialogSight& sight, bool ok,
                                            const QString& pick = QString()) {
    return [&frame, &sight, ok, pick](TSerialPortDlg& dialog) {
        sight.Items = Items(dialog.PCPortSel);
        sight.Tips.clear();
        for (int i = 0; i < dialog.PCPortSel->count(); ++i) {
            sight.Tips << dialog.PCPortSel->itemData(i, Qt::ToolTipRole).toString();
        }
        sight.Selected = dialog.PCPortSel->currentText();
        sight.LinkOpen = frame.LinkIsOpen();
        if (!pick.isEmpty()) dialog.PCPortSel->setCurrentIndex(dialog.PCPortSel->findText(pick));
        return ok;
    };
}

class PortSelection : public testing::Test {
protected:
    OwnPorts ports;
};

TEST_F(PortSelection, StartsWithTheLinkOpenOnCom1WhenItIsThere) {
    SimPort com1(1);
    TestFrame frame;
    ASSERT_TRUE(frame.LinkIsOpen());
    EXPECT_EQ(frame.Connection.Link().PortNumber, 1);
    EXPECT_EQ(frame.Connection.Link().BaudRate(), 38400);
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com1");
    EXPECT_EQ(frame.ComStatusBar->Panel(0)->toolTip(),
              QString::fromStdString(com1.Device.DevicePath()));
    EXPECT_TRUE(frame.ReadProgBtn->isEnabled());
    EXPECT_TRUE(frame.ProgDisBtn->isEnabled());
    EXPECT_FALSE(frame.ProgEnBtn->isEnabled());
    EXPECT_FALSE(frame.WriteProgtBtn->isEnabled());
    EXPECT_FALSE(frame.VerifyProgBtn->isEnabled());
    EXPECT_FALSE(PortIsFree(1)) << "the window holds its port";
    // Nothing was sent to the device at start.
    EXPECT_TRUE(com1.Device.Received().empty());
}

TEST_F(PortSelection, StartsWithTheLinkClosedWhenCom1IsMissing) {
    SimPort com2(2);  // another port being there changes nothing
    TestFrame frame;
    EXPECT_FALSE(frame.LinkIsOpen());
    EXPECT_EQ(frame.Connection.Port().Number, 1);
    EXPECT_EQ(frame.Connection.Link().PortNumber, 1);
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "");
    for (QToolButton* off : {frame.ReadProgBtn, frame.WriteProgtBtn, frame.VerifyProgBtn,
                             frame.ProgEnBtn, frame.ProgDisBtn}) {
        EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
    }
    EXPECT_TRUE(frame.Messages.empty()) << "a port that does not open is not reported";
}

// The button states with the link open follow the mode and the program.
TEST_F(PortSelection, UpdateStatusWithAnOpenLink) {
    struct Row {
        bool ProgEnabled;
        int WordCount;
        bool Read, Transfer, Disable, Enable;
    };
    const Row rows[] = {
        {true, 10, true, true, true, false},
        {true, 0, true, false, true, false},
        {false, 10, false, false, false, true},
        {false, 0, false, false, false, true},
    };
    SimPort com1(1);
    TestFrame frame;
    ASSERT_TRUE(frame.LinkIsOpen());
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message()
                     << "ProgEnabled " << r.ProgEnabled << ", WordCount " << r.WordCount);
        frame.ProgEnabled = r.ProgEnabled;
        frame.Image.WordCount = r.WordCount;
        frame.UpdateStatus();
        EXPECT_EQ(frame.ReadProgBtn->isEnabled(), r.Read);
        EXPECT_EQ(frame.WriteProgtBtn->isEnabled(), r.Transfer);
        EXPECT_EQ(frame.VerifyProgBtn->isEnabled(), r.Transfer);
        EXPECT_EQ(frame.ProgDisBtn->isEnabled(), r.Disable);
        EXPECT_EQ(frame.ProgEnBtn->isEnabled(), r.Enable);
        EXPECT_EQ(frame.SaveObjFileBtn->isEnabled(), r.WordCount != 0);
        EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com1");
    }
}

// Probing lists exactly the ports that open, its own included, and preselects
// the link's port; the link is open again while the dialog shows.
TEST_F(PortSelection, ProbingListsThePortsThatOpenAndPreselectsTheLinksPort) {
    SimPort com2(2), com5(5), com9(9);
    TestFrame frame;
    frame.PortNumber = 5;
    frame.OpenLink(5);
    ASSERT_TRUE(frame.LinkIsOpen());

    DialogSight sight;
    frame.PortDialog = Answer(frame, sight, false);
    frame.SetSerialPortBtn->click();
    EXPECT_EQ(frame.PortDialogShown, 1);
    EXPECT_EQ(sight.Items, (QStringList{"2", "5"})) << "COM9 is above the probed range";
    EXPECT_EQ(sight.Tips, (QStringList{QString::fromStdString(com2.Device.DevicePath()),
                                       QString::fromStdString(com5.Device.DevicePath())}));
    EXPECT_EQ(sight.Selected, "5");
    EXPECT_TRUE(sight.LinkOpen);
    // Cancel: the link stays open on its port.
    EXPECT_TRUE(frame.LinkIsOpen());
    EXPECT_EQ(frame.Connection.Link().PortNumber, 5);
    EXPECT_EQ(frame.PortNumber, 5);
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com5");
    EXPECT_FALSE(PortIsFree(5));
    EXPECT_TRUE(PortIsFree(2)) << "probing left a port held";

    // The list is made anew each time.
    frame.SetSerialPortBtn->click();
    EXPECT_EQ(sight.Items, (QStringList{"2", "5"}));
}

TEST_F(PortSelection, PortHeldByAnotherProgramIsNotListed) {
    SimPort com2(2), com5(5);
    ComPort other;
    other.PortNumber = 5;
    ASSERT_TRUE(other.Open());
    TestFrame frame;
    frame.PortNumber = 5;
    frame.OpenLink(5);
    EXPECT_FALSE(frame.LinkIsOpen());

    DialogSight sight;
    frame.PortDialog = Answer(frame, sight, false);
    frame.SetSerialPortBtn->click();
    EXPECT_EQ(sight.Items, QStringList{"2"});
    EXPECT_EQ(sight.Selected, "2");
    EXPECT_FALSE(frame.LinkIsOpen());
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "");
    EXPECT_EQ(frame.ComStatusBar->Panel(0)->toolTip(),
              QString::fromStdString(com5.Device.DevicePath() + ": Device or resource busy"))
        << "the panel's tooltip says why the port did not open";
}

// OK reopens the link on the chosen port and lets go of the old one.
TEST_F(PortSelection, OkMovesTheLinkToTheChosenPort) {
    SimPort com1(1), com3(3);
    TestFrame frame;
    ASSERT_TRUE(frame.LinkIsOpen());

    DialogSight sight;
    frame.PortDialog = Answer(frame, sight, true, "3");
    frame.SetSerialPortBtn->click();
    EXPECT_EQ(sight.Items, (QStringList{"1", "3"}));
    EXPECT_EQ(sight.Selected, "1");
    EXPECT_EQ(frame.PortNumber, 3);
    ASSERT_TRUE(frame.LinkIsOpen());
    EXPECT_EQ(frame.Connection.Link().PortNumber, 3);
    EXPECT_EQ(frame.Connection.Link().BaudRate(), 38400);
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com3");
    EXPECT_TRUE(frame.ReadProgBtn->isEnabled());
    EXPECT_TRUE(PortIsFree(1));
    EXPECT_FALSE(PortIsFree(3));
}

// Without a port dialog given, the window builds its own the first time the port
// button asks for one, keeps it for the next time, and lets go of it as it closes.
TEST_F(PortSelection, TheWindowBuildsItsPortDialogWhenFirstNeeded) {
    TSerialPortDlg* const given = SerialPortDlg;
    SerialPortDlg = nullptr;
    std::vector<TSerialPortDlg*> asked;
    {
        TestFrame frame;
        EXPECT_EQ(SerialPortDlg, nullptr);
        frame.PortDialog = [&asked](TSerialPortDlg& dialog) {
            asked.push_back(&dialog);
            return false;
        };
        frame.SetSerialPortBtn->click();
        frame.SetSerialPortBtn->click();
        ASSERT_EQ(asked.size(), 2U);
        EXPECT_NE(asked[0], given);
        EXPECT_EQ(asked[0], asked[1]);
        EXPECT_EQ(SerialPortDlg, asked[0]);
    }
    EXPECT_EQ(SerialPortDlg, nullptr);
    SerialPortDlg = given;
}

// With no port at all the list is empty; OK then names COM0, which opens nothing.
TEST_F(PortSelection, OkWithAnEmptyListLeavesTheLinkClosedOnCom0) {
    TestFrame frame;
    DialogSight sight;
    frame.PortDialog = Answer(frame, sight, true);
    frame.SetSerialPortBtn->click();
    EXPECT_TRUE(sight.Items.isEmpty());
    EXPECT_EQ(SerialPortDlg->PCPortSel->currentIndex(), -1);
    EXPECT_EQ(frame.PortNumber, 0);
    EXPECT_EQ(frame.Connection.Port().Number, 0);
    EXPECT_EQ(frame.Connection.Link().PortNumber, 0);
    EXPECT_FALSE(frame.LinkIsOpen());
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "");
    EXPECT_FALSE(frame.ReadProgBtn->isEnabled());
    EXPECT_FALSE(frame.ProgDisBtn->isEnabled());
}

// Without a port the hint area, where the operator looks, says why: at start, after
// a choice that failed, and again once a control's hint has gone; a dialog with
// nothing to offer says so.
TEST_F(PortSelection, TheHintAreaSaysWhyThereIsNoPort) {
    SimPort com2(2);
    const QString tty = QString::fromStdString(com2.Device.DevicePath());
    TestFrame frame;
    const QString absent = QString::fromStdString("COM1: " + ports.AbsentPath(1)) +
                           QStringLiteral(": No such file or directory");
    EXPECT_EQ(frame.StatusBar->PanelText(1), absent);

    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QTest::mouseMove(frame.OpenFileBtn);
    EXPECT_EQ(frame.StatusBar->PanelText(1), "Open object file");
    QTest::mouseMove(frame.AsmOut->viewport());
    EXPECT_EQ(frame.StatusBar->PanelText(1), absent);

    // Another program takes COM2 while the dialog is open.
    std::unique_ptr<TtyHolder> shell;
    DialogSight sight;
    frame.PortDialog = [&](TSerialPortDlg& dialog) {
        shell = std::make_unique<TtyHolder>(com2.Device.DevicePath(),
                                            TtyHolder::How::ControllingTerminal);
        return Answer(frame, sight, true, "2")(dialog);
    };
    frame.SetSerialPortBtn->click();
    ASSERT_EQ(sight.Items, QStringList{"2"});
    ASSERT_GT(shell->Pid(), 0);
    EXPECT_FALSE(frame.LinkIsOpen());
    EXPECT_EQ(
        frame.StatusBar->PanelText(1),
        QStringLiteral("COM2: %1 is the terminal of sleep (pid %2)").arg(tty).arg(shell->Pid()));

    shell.reset();
    frame.PortDialog = Answer(frame, sight, true, "2");
    frame.SetSerialPortBtn->click();
    ASSERT_TRUE(frame.LinkIsOpen());
    EXPECT_EQ(frame.StatusBar->PanelText(1), "");
    EXPECT_EQ(SerialPortDlg->PCPortSel->toolTip(), "");
}

// The long part of the hint goes to StatusBar panel 1 while the pointer is over
// the control; a control without hint clears it.
TEST_F(PortSelection, HintOfTheControlUnderThePointerShowsInTheStatusBar) {
    SimPort com1(1);  // with a port, nothing else claims the panel
    TestFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));

    struct HintCase {
        QWidget* Over;
        const char* Status;
        QPoint At = QPoint(-1, -1);  // default: the middle
    };
    const HintCase cases[] = {
        {frame.OpenFileBtn, "Open object file"},
        {frame.AsmOut->viewport(), ""},
        {frame.SetSerialPortBtn, "COM port selection"},
        {frame.VerifyProgBtn, "Verify program with IXO"},  // disabled at start
        {frame.IntProgSelCb, ""},
        {frame.ProgEnBtn, "Enable programming"},
        {frame.ToolGroups[3], "", QPoint(2, 30)},  // the group's margin under its buttons
        {frame.ReadProgBtn, "Read program from IXO"},
        {frame.ComStatusBar, ""},
    };
    for (const HintCase& c : cases) {
        SCOPED_TRACE(c.Over->objectName().toStdString() + " -> " + c.Status);
        const QPoint at = c.At.x() >= 0 ? c.At : QPoint(c.Over->width() / 2, c.Over->height() / 2);
        QTest::mouseMove(c.Over, at);
        EXPECT_EQ(frame.StatusBar->PanelText(1), c.Status);
        EXPECT_EQ(frame.StatusBar->PanelText(0), "");
    }

    // The short part is the tooltip the button shows.
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), frame.OpenFileBtn->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(frame.OpenFileBtn, &help);
    EXPECT_EQ(QToolTip::text(), "Open obj");
    QToolTip::hideText();
}

TEST_F(PortSelection, ADialogWithNoPortToOfferSaysSo) {
    TestFrame frame;
    DialogSight sight;
    QString shown;
    frame.PortDialog = [&](TSerialPortDlg& dialog) {
        // An empty list shows its placeholder.
        if (dialog.PCPortSel->currentIndex() < 0) shown = dialog.PCPortSel->placeholderText();
        return Answer(frame, sight, false)(dialog);
    };
    frame.SetSerialPortBtn->click();
    EXPECT_TRUE(sight.Items.isEmpty());
    EXPECT_EQ(shown, QString::fromUtf8("нет портов"));
    EXPECT_EQ(SerialPortDlg->PCPortSel->toolTip(), "No port from COM1 to COM8 opens");
}

TEST_F(PortSelection, ClosingTheWindowLetsGoOfThePort) {
    SimPort com1(1);
    auto frame = std::make_unique<TestFrame>();
    ASSERT_TRUE(frame->LinkIsOpen());
    ASSERT_FALSE(PortIsFree(1));
    frame.reset();
    EXPECT_TRUE(PortIsFree(1));
}

// The real dialog behind the seam: its OK and Cancel buttons decide.
TEST_F(PortSelection, RealDialogChoosesWithItsButtons) {
    SimPort com1(1), com4(4);
    TMainFrame frame;
    frame.SetPortDialog(SerialPortDlg);
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        bool shown = false;
        QTimer::singleShot(0, [&] {
            TSerialPortDlg* dialog = SerialPortDlg;
            shown = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
            dialog->PCPortSel->setCurrentIndex(dialog->PCPortSel->findText("4"));
            (ok ? dialog->SerPortOK : dialog->SerPortCancel)->click();
        });
        frame.SetSerialPortBtn->click();
        EXPECT_TRUE(shown);
        EXPECT_FALSE(SerialPortDlg->isVisible());
        EXPECT_EQ(frame.PortNumber, ok ? 4 : 1);
        EXPECT_TRUE(frame.LinkIsOpen());
        EXPECT_EQ(frame.ComStatusBar->PanelText(0), ok ? "Com4" : "Com1");
    }
}

// The dialog on its own: each call lists just the ports given, with their tips, and
// selects the link's own where listed, else the first; the choice reads as a number
// does in C.
TEST_F(PortSelection, DialogListsTheGivenPortsAndReadsTheChoice) {
    TSerialPortDlg dialog;
    const std::vector<OfferedPort> two{{2, "COM2 tip"}, {5, "COM5 tip"}};
    struct Case {
        std::vector<OfferedPort> Ports;
        int Own;
        QString Selected;
        QString ListTip;
    };
    const Case cases[] = {
        {two, 5, "5", ""},
        {two, 3, "2", ""},
        {two, 0, "2", ""},
        {{}, 2, "", "No port from COM1 to COM8 opens"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Own);
        dialog.SetPorts(c.Ports, c.Own);
        QStringList items, tips;
        for (const OfferedPort& port : c.Ports) {
            items << QString::number(port.Number);
            tips << port.Tip;
        }
        EXPECT_EQ(Items(dialog.PCPortSel), items);
        for (int i = 0; i < dialog.PCPortSel->count(); ++i) {
            EXPECT_EQ(dialog.PCPortSel->itemData(i, Qt::ToolTipRole).toString(), tips[i]);
        }
        EXPECT_EQ(dialog.PCPortSel->currentText(), c.Selected);
        EXPECT_EQ(dialog.PCPortSel->toolTip(), c.ListTip);
    }
    EXPECT_EQ(dialog.ChosenPort(), 0);  // nothing chosen
    const std::pair<const char*, long> texts[] = {{"7", 7}, {" +3x", 3}, {"-2", -2}, {"x1", 0}};
    for (const auto& [text, number] : texts) {
        dialog.PCPortSel->clear();
        dialog.PCPortSel->addItem(QString::fromLatin1(text));
        dialog.PCPortSel->setCurrentIndex(0);
        EXPECT_EQ(dialog.ChosenPort(), number) << text;
    }
}

TEST_F(PortSelection, DialogCaptionsAndLayout) {
    TSerialPortDlg& dialog = *SerialPortDlg;
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Выбор порта связи"));
    EXPECT_EQ(dialog.size(), QSize(184, 76));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(dialog.GroupBox1->title(), QString::fromUtf8("Выбор порта "));
    EXPECT_EQ(dialog.Label1->text(), "Com Port:");
    EXPECT_EQ(dialog.SerPortOK->text(), QString::fromUtf8("Да"));
    EXPECT_EQ(dialog.SerPortCancel->text(), QString::fromUtf8("Нет"));
    EXPECT_FALSE(dialog.PCPortSel->isEditable());
    EXPECT_TRUE(QFontInfo(dialog.PCPortSel->font()).fixedPitch());

    struct Place {
        QWidget* Control;
        QWidget* Parent;
        QRect Rect;
    };
    const Place places[] = {
        {dialog.Panel1, &dialog, QRect(0, 0, 184, 44)},
        {dialog.GroupBox1, dialog.Panel1, QRect(0, 0, 185, 44)},
        {dialog.PCPortSel, dialog.GroupBox1, QRect(64, 14, 113, 22)},
        {dialog.SerPortOK, &dialog, QRect(8, 48, 65, 25)},
        {dialog.SerPortCancel, &dialog, QRect(104, 48, 65, 25)},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.Control->objectName().toStdString());
        EXPECT_EQ(p.Control->parentWidget(), p.Parent);
        EXPECT_EQ(p.Control->geometry(), p.Rect);
    }
    // The label is as wide as its text needs, at least 46, and stays clear of the list.
    EXPECT_EQ(dialog.Label1->parentWidget(), dialog.GroupBox1);
    EXPECT_EQ(dialog.Label1->pos(), QPoint(8, 16));
    EXPECT_EQ(dialog.Label1->height(), 13);
    EXPECT_GE(dialog.Label1->width(), 46);
    EXPECT_GE(dialog.Label1->width(), dialog.Label1->sizeHint().width());
    EXPECT_LT(dialog.Label1->geometry().right(), dialog.PCPortSel->x());
    // OK comes first in the tab order, then Cancel.
    EXPECT_EQ(dialog.SerPortOK->nextInFocusChain(), dialog.SerPortCancel);
}

}  // namespace
}  // namespace ixo::test
