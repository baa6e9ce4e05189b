// The main window's device buttons: Write, Read, Verify, programming enabled and
// disabled, and the selector of the program the device runs.

#include <QApplication>
#include <QComboBox>
#include <QStringList>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "app/MainFrm.h"
#include "app/OperatorDialogs.h"
#include "app/PanelStatusBar.h"
#include "app/WindowText.h"
#include "device/DeviceCommands.h"
#include "device/Differences.h"
#include "link/Comport.h"

namespace ixo {

void TMainFrame::ShowVerifyFail(const Failure& failure) {
    const std::vector<WordDifference> differences =
        CompareWithDevice(Image, std::span(Image.ReadBackWords).first<MaxProgramWords>());
    const std::size_t shown = std::min<std::size_t>(differences.size(), DifferencesShown);
    QStringList lines;
    for (const std::string& line : DifferenceLines(std::span(differences).first(shown))) {
        lines << FromLocal(line);
    }
    if (differences.size() > shown) {
        lines << QStringLiteral("and %1 more").arg(differences.size() - shown);
    }
    // The first difference the listing shows, in view behind the box.
    for (const WordDifference& difference : differences) {
        if (difference.Address < static_cast<int>(wordLines_.size())) {
            ShowWordInListing(difference.Address);
            break;
        }
    }
    dialogs_->ShowMessage(FromLocal(FailureText(failure)), lines.join(QLatin1Char('\n')),
                          MbIconError);
}

namespace {

// Swallows the operator's clicks, keys and wheel turns while it is installed.
class InputSwallower : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::TabletPress:
            case QEvent::TabletRelease:
                return true;
            default:
                return false;
        }
    }
};

// Runs one talk with the device under a busy cursor, which is gone again before
// anything is shown to the operator. The window cannot answer meanwhile; what the
// operator clicked or typed then was meant for a window that seemed dead, and is
// dropped rather than replayed once the talk is over.
template <typename Exchange>
MaybeFailure WithBusyCursor(Exchange exchange) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() {
            InputSwallower swallower;
            QCoreApplication::instance()->installEventFilter(&swallower);
            // Takes in what the window system still holds for us, and handles it.
            QGuiApplication::sync();
            QCoreApplication::instance()->removeEventFilter(&swallower);
            QApplication::restoreOverrideCursor();
        }
    } restore;
    return exchange();
}

bool Is(const MaybeFailure& failure, FailureKind kind) {
    return failure && failure->Kind == kind;
}

}  // namespace

void TMainFrame::WriteProgtBtnClick() {
    if (!OfferUnusedEdits()) return;
    const MaybeFailure failure = WithBusyCursor(
        [this] { return WriteProgram(Connection.Link(), Image, Connection.TransferBuffer); });
    // A closed link or an empty image ends the command before anything is sent.
    if (Is(failure, FailureKind::PortNotOpened) || Is(failure, FailureKind::EmptyProject)) {
        ShowFailure(*failure);
        return;
    }
    if (failure) ShowFailure(*failure);
    UpdateStatus();
}

void TMainFrame::ReadProgBtnClick() {
    if (!MayDropListingWork(false)) return;
    // The image changes only when the whole program has arrived.
    const MaybeFailure failure = WithBusyCursor(
        [this] { return ReadProgram(Connection.Link(), Image, Connection.TransferBuffer); });
    if (failure) {
        ShowFailure(*failure);
        return;
    }
    BuildListing();
    StatusBar->SetPanelText(
        0, QStringLiteral("CW=%1").arg(Image.Words[CwPosition], 8, 16, QLatin1Char('0')).toUpper());
    UpdateStatus();
}

void TMainFrame::VerifyProgBtnClick() {
    if (!OfferUnusedEdits()) return;
    const MaybeFailure failure = WithBusyCursor(
        [this] { return VerifyProgram(Connection.Link(), Image, Connection.TransferBuffer); });
    if (failure && !Is(failure, FailureKind::VerifyFail)) {
        ShowFailure(*failure);
        return;
    }
    if (failure) {
        ShowVerifyFail(*failure);
    } else {
        dialogs_->ShowMessage(QStringLiteral("Verify OK"), QString(), MbNoIcon);
    }
    UpdateStatus();
}

bool TMainFrame::SendModeCommand(std::uint8_t command) {
    const MaybeFailure failure =
        WithBusyCursor([this, command] { return SendCommandByte(Connection.Link(), command); });
    if (failure) ShowFailure(*failure);
    return !Is(failure, FailureKind::PortNotOpened);
}

// The mode asked for is recorded whether or not its byte went out.
void TMainFrame::ProgEnBtnClick() {
    if (!SendModeCommand(CmdProgEnable)) return;
    IntProgSelCb->setCurrentIndex(0);
    ProgEnabled = true;
    UpdateStatus();
}

void TMainFrame::ProgDisBtnClick() {
    if (!SendModeCommand(CmdProgDisable)) return;
    ProgEnabled = false;
    UpdateStatus();
}

void TMainFrame::IntProgSelCbChange() {
    // The choice is recorded before the link is looked at, and stays if it is closed.
    const int choice = IntProgSelCb->currentIndex();
    ProgEnabled = choice == 0;
    if (!SendModeCommand(ProgramChoiceCommand(choice))) return;
    UpdateStatus();
}

}  // namespace ixo
