#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/OperatorDialogs.h"
#include "core/Failure.h"
#include "isa/Assembler.h"
#include "operations/DeviceConnection.h"
#include "ports/PortNumbers.h"
#include "project/ProgramImage.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QToolButton;

namespace ixo {

class TSerialPortDlg;

class PanelStatusBar;

// The main window: the listing of the current program, the command buttons, the
// selector of the device's running program and two status bars. It owns the
// program image, the window state and the link to the device.
class TMainFrame : public QWidget {
    Q_OBJECT
public:
    // Outer size when first shown, at 96 dots per inch.
    static constexpr int OuterWidth = 521;
    static constexpr int OuterHeight = 688;
    static constexpr int TopBarHeight = 33;
    static constexpr int ButtonSize = 25;
    static constexpr int GroupCount = 5;
    // The last group widens where its selector needs more room to show every name.
    static constexpr std::array<int, GroupCount> GroupWidths{33, 83, 33, 108, 146};
    // Message box flags: the error icon, or none.
    static constexpr int MbIconError = OperatorDialogs::MbIconError;
    static constexpr int MbNoIcon = OperatorDialogs::MbNoIcon;
    // The Open dialog's filters; the first is chosen when the dialog opens.
    static constexpr const char* ObjectFileFilter = "Object file (*.obj)";
    static constexpr const char* AssemblyFileFilter = "Assembly files (*.asm)";
    // Verify fail lists at most this many differences.
    static constexpr int DifferencesShown = 16;
    // The answers of a question with three buttons.
    using Answer = OperatorDialogs::Answer;

    explicit TMainFrame(QWidget* parent = nullptr);
    ~TMainFrame() override;

    // Controls, as the operator sees them from left to right and top to bottom.
    QWidget* TopBar;
    std::array<QFrame*, GroupCount> ToolGroups;
    QToolButton* SetSerialPortBtn;
    QToolButton* OpenFileBtn;
    QToolButton* SaveObjFileBtn;
    QToolButton* SaveAsmFileBtn;
    QToolButton* ProgDisBtn;
    QToolButton* ProgEnBtn;
    QToolButton* WriteProgtBtn;
    QToolButton* ReadProgBtn;
    QToolButton* VerifyProgBtn;
    QLabel* Label1;
    QComboBox* IntProgSelCb;
    QLabel* CWLab;
    QPlainTextEdit* AsmOut;
    // Makes the listing the program (UseListingAsProgram): Ctrl+Return, and in the
    // listing's context menu.
    QAction* UseListingAct;
    PanelStatusBar* StatusBar;
    PanelStatusBar* ComStatusBar;

    // The program image and the window state kept beside it.
    ProgramImage Image;
    // The project's path: the last object file opened or the last name chosen in a
    // save dialog, with the extension that command gave it.
    std::string FileName;
    std::int32_t PortNumber = 1;
    // The device is in programming mode and runs the external program.
    bool ProgEnabled = true;
    // The window's link to the device and its transfer buffer (TransferBuffer, where
    // the device commands build the bytes they send and receive): opened by OpenLink,
    // let go of while SelectPort probes, closed by FormDestroy.
    DeviceConnection Connection;
    // The serial devices found when ports were last numbered (at start-up and by
    // SelectPort), for the tooltips that name a port's device.
    std::vector<NumberedPort> FoundPorts;

    bool LinkIsOpen() const;

    // Opens the link on COM<n> at the working rate. A port that does not open leaves
    // the link closed, silently: UpdateStatus shows why.
    void OpenLink(int n);
    // Probes COM1 to COM8, lets the operator choose among those that opened, and
    // reopens the link on the chosen port. Cancel leaves the link on its port.
    void SelectPort();
    // The port dialog SelectPort shows (main() gives the program's own); the window
    // builds one when first needed if none was given.
    void SetPortDialog(TSerialPortDlg* dialog);

    // The modal dialogs and message boxes: everything the window asks or tells the
    // operator goes through these. Tests install their own, which answer and record.
    OperatorDialogs& Dialogs() const { return *dialogs_; }
    void SetDialogs(std::unique_ptr<OperatorDialogs> dialogs);

    // Recomputes which buttons are enabled and what ComStatusBar shows from the
    // link state, the program image and ProgEnabled.
    void UpdateStatus();

    // Replaces all of AsmOut with the listing of the image; leaves the caret at the
    // start, the focus in AsmOut and its first line in view.
    void BuildListing();
    // Puts the caret at the start of the listing line that shows the program word at
    // address, and that line in view; a word the listing does not show moves nothing.
    void ShowWordInListing(int address);
    // The lines of AsmOut as they stand, the operator's edits included.
    std::vector<std::string> AsmOutLines() const;

    // The operator's commands.
    void SetSerialPortBtnClick();
    // Asks for a file with two filters: with the object file filter the ".obj" file
    // of the name chosen opens, with the assembly file filter the ".asm" one, and it
    // is assembled (OpenGivenFile).
    void OpenFileBtnClick();
    void SaveObjFileBtnClick();
    void SaveAsmFileBtnClick();
    void ProgDisBtnClick();
    void ProgEnBtnClick();
    void WriteProgtBtnClick();
    void ReadProgBtnClick();
    void VerifyProgBtnClick();
    // Runs on the operator's choice only, never when the program sets the selection.
    void IntProgSelCbChange();

    // The listing read back as a program.
    // Assembles the text of AsmOut. Without errors its words become the program and
    // the text stays exactly as it is, with its comments, layout and undo history;
    // FileName stays. With errors they are shown, the caret goes to the first one and
    // the image stays. True when the words were taken.
    bool UseListingAsProgram();
    // A file named at start, dropped on the window or chosen in the Open dialog, after
    // asking as Read does when the listing holds work that would be lost. The path
    // counts from the current folder, so that the project's name is the same whichever
    // way the file came. An assembly file (".asm" in any case) is shown and assembled
    // as UseListingAsProgram does and FileName becomes it; any other file opens as
    // the Open command opens an object file.
    void OpenGivenFile(const QString& file);
    // The listing holds typing that was neither saved nor made the program.
    bool ListingHasUnkeptEdits() const;
    // The listing's text is not what the program was last made from or listed as.
    bool ListingHasUnusedEdits() const;
    // Closes the window for a stop signal: without the question about unkept edits,
    // since whoever sent the signal wants the program to end, not a dialog to answer.
    void CloseOnStopSignal();
    // The listing's context menu, for the caller to show and delete: the text
    // control's own entries, and UseListingAct.
    QMenu* ListingContextMenu();

    // Runs a handler as the message loop does: an error escaping it is shown by the
    // top-level error display and the program carries on.
    void RunHandler(const std::function<void()>& handler);
    // The top-level error display: a message box with the error's text, the
    // window's caption and the error icon.
    void ShowError(const QString& text);
    // The error's text as the error display words it: a full stop is appended when
    // the last character's code lies above that of the full stop.
    static QString ErrorDisplayText(const QString& text);

protected:
    // Closing the window asks first while work in the listing would be lost
    // (MayDropListingWork).
    void closeEvent(QCloseEvent* event) override;

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A single local file dropped on the window is opened as the Open command would.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The controls, built in the order they are listed above.
    void BuildControls();
    void BuildTopBar();
    void BuildSpeedButtons();
    void BuildProgramSelector();
    void BuildAsmOut();
    void BuildStatusBars();
    void BuildFileShortcuts();
    void BuildListingActions();
    // Makes the words of source, the text AsmOut holds, the program and counts the
    // text as used; or shows the errors of source, named name (ShowAsmErrors). True
    // when the words were taken. A word whose line is that of the word at its
    // position in unchanged stays that word (KeepUnchangedWords).
    bool TakeAssembly(const std::string& source, const std::string& name,
                      std::span<const std::uint32_t> unchanged = {});
    // Shows the errors of source, named name, in a box (the first ones, each with its
    // line and a caret, as ixo prints them) and puts the caret on the first.
    void ShowAsmErrors(const std::string& name, const std::string& source,
                       const std::vector<AsmError>& errors);
    // Counts the text AsmOut holds as the one the program was made from, its words on
    // lines (from 1), and as kept.
    void TakeListingAsUsed(std::vector<int> lines);
    // Opens an object file as the Open command does once a name has been chosen:
    // the file with that name and the extension ".obj".
    void OpenObjectFile(const QString& chosen);
    // Shows text in AsmOut as a fresh listing: not modified, the caret at the start,
    // the focus in AsmOut and its first line in view.
    void ShowListingText(const QString& text);
    // Before Write, Verify and Save object: while the listing has unused edits, asks
    // whether to use them first. Yes makes them the program (errors end the command),
    // No goes on with the program as it is, Cancel ends the command. True to go on.
    bool OfferUnusedEdits();
    // Before the listing is replaced (Read, Open, a drop) or the window closes: asks
    // whether to go on when typing in the listing was neither saved nor used, or the
    // program was made from the listing and not saved since. True to go on.
    bool MayDropListingWork(bool closing);
    // Verify fail, with the differences as its detail and the caret on the listing
    // line of the first one.
    void ShowVerifyFail(const Failure& failure);
    // The window's creation event: hooks the hint display.
    void FormCreate();
    // The window's destruction: closes the link.
    void FormDestroy();
    // Shows the long part of the hint of the control under the pointer.
    void HintHandler(const QString& longHint);
    // The file a drag or drop event carries: one local file, else an empty text.
    static QString DroppedFile(const QEvent* event);
    void TakeDrop(const QDropEvent* event);
    // A failure reported by a command: its text and detail with the error icon.
    void ShowFailure(const Failure& failure);
    // Sends a one-byte mode command and says what went wrong. False when the link is
    // closed, which ends the command; after a failed send the command goes on.
    bool SendModeCommand(std::uint8_t command);

    // The port dialog given, or the one built when first needed.
    TSerialPortDlg& PortDialogInUse();

    std::unique_ptr<OperatorDialogs> dialogs_;
    bool shown_ = false;
    TSerialPortDlg* portDialog_ = nullptr;
    // The port dialog this window built when it first needed one and none was given.
    std::unique_ptr<TSerialPortDlg> ownPortDialog_;
    // Why the link is not open, as the hint area shows it; empty while it is open.
    QString portTrouble_;
    // The listing text the program was last made from or listed as.
    QString usedText_;
    // The listing line (from 1) of each program word, as that text has them.
    std::vector<int> wordLines_;
    // The program was made from the listing and has not been saved since.
    bool listingProgramUnsaved_ = false;
};

// The one main window of the program; set by main().
extern TMainFrame* MainFrame;

}  // namespace ixo
