#include "app/OperatorDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>

#include "app/MainFrm.h"
#include "app/PCPrtSel.h"

namespace ixo {

OperatorDialogs::OperatorDialogs(TMainFrame& window) : window_(window) {}

OperatorDialogs::~OperatorDialogs() = default;

void OperatorDialogs::ShowMessage(const QString& text, const QString& detail, int flags) {
    QMessageBox box(flags == MbIconError ? QMessageBox::Critical : QMessageBox::NoIcon,
                    window_.windowTitle(), text, QMessageBox::Ok, &window_);
    if (!detail.isEmpty()) box.setInformativeText(detail);
    // Texts hold paths and device words, never markup: every label shows its text as
    // it is.
    for (QLabel* label : box.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    // A detail holds device words, or lines of a listing with a caret under a column:
    // in the listing's fixed-pitch font, and a detail of several lines with its lines
    // whole, so that the columns stay in line.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setFont(window_.AsmOut->font());
        if (detail.contains(QLatin1Char('\n'))) label->setWordWrap(false);
    }
    box.exec();
}

QString OperatorDialogs::AskOpenFileName(const QString& filter, const QString& title,
                                         const QString& initialName, QString& chosenFilter) {
    // The name chosen need not exist: the command opens the file of that name with the
    // filter's extension. The toolkit's own dialog takes such a name where a system
    // dialog may refuse it.
    QFileDialog dialog(&window_, title, QString(), filter);
    dialog.setOptions(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    chosenFilter = dialog.selectedNameFilter();
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString OperatorDialogs::AskSaveFileName(const QString& filter, const QString& title,
                                         const QString& initialName) {
    // The dialog asks before replacing an existing file (its default).
    // In the system's own spelling (backslashes on Windows), as the status bar shows it.
    return QDir::toNativeSeparators(
        QFileDialog::getSaveFileName(&window_, title, initialName, filter));
}

bool OperatorDialogs::ExecPortDialog(TSerialPortDlg& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

bool OperatorDialogs::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, window_.windowTitle(), text,
                    QMessageBox::Yes | QMessageBox::No, &window_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

OperatorDialogs::Answer OperatorDialogs::AskYesNoCancel(const QString& text) {
    QMessageBox box(QMessageBox::Question, window_.windowTitle(), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, &window_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
    }
}

}  // namespace ixo
