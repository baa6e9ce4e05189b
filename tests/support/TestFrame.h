#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

#include "TempDir.h"
#include "TestPorts.h"
#include "app/MainFrm.h"
#include "app/PCPrtSel.h"

namespace ixo::test {

// The ports of the test's own, set up before any window, so that the window never
// opens a port the test has not given it; and the port selection dialog, made the
// program's (SerialPortDlg) as main() makes its own.
class OwnPorts : public TestPorts {
public:
    OwnPorts();
    ~OwnPorts();

private:
    TSerialPortDlg dialog_;
};

// A message box the window showed.
struct ShownMessage {
    QString Text;
    QString Detail;
    int Flags;
};

// A file dialog the window asked.
struct FileQuestion {
    QString Filter;
    QString Title;
    QString InitialName;
};

// What the window asked in its dialogs, and the answers to give: each message box is
// recorded instead of shown, and each file dialog records what it was asked and
// takes the next prepared answer (an empty text cancels). A dialog asked with no
// answer prepared fails the test and counts as cancelled.
struct DialogAnswers {
    std::vector<ShownMessage> Messages;
    std::vector<FileQuestion> OpenQuestions;
    std::vector<FileQuestion> SaveQuestions;
    std::deque<QString> OpenAnswers;
    // The filters to choose in the open dialogs in turn; without one, the first.
    std::deque<QString> OpenFilterAnswers;
    std::deque<QString> SaveAnswers;
    // Answers the port dialog, which holds the probed ports as SelectPort left
    // them: may change the selection, returns true for OK. Counts its calls.
    std::function<bool(TSerialPortDlg&)> PortDialog;
    int PortDialogShown = 0;
    // The questions asked, with two buttons or three, and the answers to give them
    // in turn.
    std::vector<QString> Questions;
    std::deque<bool> QuestionAnswers;
    std::deque<OperatorDialogs::Answer> ChoiceAnswers;
};

// The window's dialogs as a test answers them, from and into answers.
class AnsweringDialogs : public OperatorDialogs {
public:
    AnsweringDialogs(TMainFrame& window, DialogAnswers& answers);

    void ShowMessage(const QString& text, const QString& detail, int flags) override;
    QString AskOpenFileName(const QString& filter, const QString& title, const QString& initialName,
                            QString& chosenFilter) override;
    QString AskSaveFileName(const QString& filter, const QString& title,
                            const QString& initialName) override;
    bool ExecPortDialog(TSerialPortDlg& dialog) override;
    bool AskYesNo(const QString& text) override;
    Answer AskYesNoCancel(const QString& text) override;

private:
    DialogAnswers& answers_;
};

// The real main window with its dialogs answered by the test (DialogAnswers), and
// the port dialog of OwnPorts, where there is one, as main() gives the program's.
// The answers come first, so that they outlive the window.
class TestFrame : public DialogAnswers, public TMainFrame {
public:
    TestFrame();
};

// A window shown on a port map of the test's own, with a folder for the test's files.
class ShownWindowTest : public testing::Test {
public:
    OwnPorts ports;
    TempDir dir;
    TestFrame frame;

    void SetUp() override {
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    }
};

// The listing of image, as the window builds it and shows it.
QString ListingOf(const ProgramImage& image);

// Drags what urls name over target and drops it there; true when the window took it.
bool Drop(QWidget* target, const QList<QUrl>& urls);

}  // namespace ixo::test
