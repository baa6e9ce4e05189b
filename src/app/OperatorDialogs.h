#pragma once

#include <QString>

namespace ixo {

class TMainFrame;
class TSerialPortDlg;

// Everything the main window asks or tells the operator in a modal dialog or message
// box: the window owns one of these, and tests install their own, which answers and
// records instead of waiting for an operator. These are the real dialogs, over the
// window, with its caption.
class OperatorDialogs {
public:
    // Message box flags: the error icon, or none.
    static constexpr int MbIconError = 16;
    static constexpr int MbNoIcon = 0;
    // The answers of a question with three buttons.
    enum class Answer { Yes, No, Cancel };

    explicit OperatorDialogs(TMainFrame& window);
    virtual ~OperatorDialogs();
    OperatorDialogs(const OperatorDialogs&) = delete;
    OperatorDialogs& operator=(const OperatorDialogs&) = delete;

    // A modal message box with an OK button and the window's caption; flags is
    // MbIconError or MbNoIcon; detail is shown under the text when not empty.
    virtual void ShowMessage(const QString& text, const QString& detail, int flags);
    // A modal file-open dialog with the filters of filter (separated by ";;"), the
    // first one chosen. The chosen name, or an empty text when cancelled; chosenFilter
    // receives the filter in use when the name was chosen.
    virtual QString AskOpenFileName(const QString& filter, const QString& title,
                                    const QString& initialName, QString& chosenFilter);
    // A modal file-save dialog that asks before replacing an existing file. The
    // chosen name, or an empty text when cancelled.
    virtual QString AskSaveFileName(const QString& filter, const QString& title,
                                    const QString& initialName);
    // The port selection dialog, filled, shown modally; true when closed with OK.
    virtual bool ExecPortDialog(TSerialPortDlg& dialog);
    // A modal question with Yes and No buttons and the window's caption; true for Yes.
    virtual bool AskYesNo(const QString& text);
    // A modal question with Yes, No and Cancel buttons and the window's caption.
    virtual Answer AskYesNoCancel(const QString& text);

private:
    TMainFrame& window_;
};

}  // namespace ixo
