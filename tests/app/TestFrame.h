#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <vector>

#include "TempDir.h"
#include "app/MainFrm.h"
#include "link/PCPrtSel.h"
#include "sim/SimDevice.h"

namespace ixo::test {

// A port map of the test's own, made before any window: XDG_CONFIG_HOME points
// into a temporary folder and COM1 to COM8 lead to paths that do not exist, so
// that the window never opens a port the test has not given it (such as the
// machine's own /dev/ttyS0). Also provides the port selection dialog.
class OwnPorts {
public:
    OwnPorts();
    ~OwnPorts();
    OwnPorts(const OwnPorts&) = delete;
    OwnPorts& operator=(const OwnPorts&) = delete;

    // Points COMn at a path that does not exist.
    void MapAbsent(int n);

private:
    TempDir folder_;
    TSerialPortDlg dialog_;
};

// A simulated device serving on COMn of the test's port map.
class SimOnPort {
public:
    explicit SimOnPort(int n);
    sim::SimDevice Device;
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

// The real main window with its dialogs answered by the test: each message box is
// recorded instead of shown, and each file dialog records what it was asked and
// takes the next prepared answer (an empty text cancels). A dialog asked with no
// answer prepared fails the test and counts as cancelled.
class TestFrame : public TMainFrame {
public:
    std::vector<ShownMessage> Messages;
    std::vector<FileQuestion> OpenQuestions;
    std::vector<FileQuestion> SaveQuestions;
    std::deque<QString> OpenAnswers;
    std::deque<QString> SaveAnswers;
    // Answers the port dialog, which holds the probed ports as SelectPort left
    // them: may change the selection, returns true for OK. Counts its calls.
    std::function<bool(TSerialPortDlg&)> PortDialog;
    int PortDialogShown = 0;

protected:
    void ShowMessage(const QString& text, const QString& detail, int flags) override;
    QString AskOpenFileName(const QString& filter, const QString& title,
                            const QString& initialName) override;
    QString AskSaveFileName(const QString& filter, const QString& title,
                            const QString& initialName) override;
    bool ExecPortDialog() override;
};

}  // namespace ixo::test
