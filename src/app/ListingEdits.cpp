// The main window's side of the listing as an input: making the operator's listing
// the program, assembly files named at start or dropped, and keeping edits from
// being lost when the window closes.

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <algorithm>

#include "app/MainFrm.h"
#include "isa/Assembler.h"
#include "project/ProjectFiles.h"

namespace ixo {

namespace {

// How many errors the error box shows at most.
constexpr std::size_t ErrorsInBox = 6;

// What errors in the listing's own text are said to be in.
const char* const ListingName = "listing";

const char* const UnkeptEditsQuestion =
    "The listing has changes that are not saved or used. Close anyway?";

// The place of an error as the text control counts it: columns count characters, and
// a tab is one character there as in the error.
QTextCursor CursorAt(QPlainTextEdit* edit, const AsmError& error) {
    QTextCursor cursor(edit->document());
    const QTextBlock block = edit->document()->findBlockByNumber(std::max(0, error.Line - 1));
    if (!block.isValid()) {
        cursor.movePosition(QTextCursor::End);
        return cursor;
    }
    const int column = std::clamp(error.Column - 1, 0, block.length() - 1);
    cursor.setPosition(block.position() + column);
    return cursor;
}

}  // namespace

void TMainFrame::BuildListingActions() {
    UseListingAct = new QAction(QStringLiteral("Use Listing as Program"), this);
    UseListingAct->setObjectName(QStringLiteral("UseListingAct"));
    UseListingAct->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    UseListingAct->setShortcutContext(Qt::WindowShortcut);
    addAction(UseListingAct);
    connect(UseListingAct, &QAction::triggered, this,
            [this] { RunHandler([this] { UseListingAsProgram(); }); });
    AsmOut->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(AsmOut, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = ListingContextMenu();
        menu->exec(AsmOut->viewport()->mapToGlobal(at));
        delete menu;
    });
}

QMenu* TMainFrame::ListingContextMenu() {
    QMenu* menu = AsmOut->createStandardContextMenu();
    menu->addSeparator();
    menu->addAction(UseListingAct);
    return menu;
}

bool TMainFrame::TakeAssembly(const std::string& source, const std::string& name) {
    const Assembly assembly = AssembleListing(source);
    if (!assembly.Ok()) {
        // The first errors only, three lines each, so that the box stays on the screen;
        // the caret goes to the first, and the next Use shows what is left.
        const std::size_t shown = std::min(assembly.Errors.size(), ErrorsInBox);
        std::string detail = FormatAsmErrors(
            name, source, {assembly.Errors.begin(), assembly.Errors.begin() + shown});
        if (shown < assembly.Errors.size()) {
            detail += "and more errors after these\n";
        }
        ShowMessage(QString::fromStdString(name + " does not assemble"),
                    QString::fromStdString(detail), MbIconError);
        AsmOut->setTextCursor(CursorAt(AsmOut, assembly.Errors.front()));
        AsmOut->setFocus();
        return false;
    }
    TakeWords(Image, assembly.Words);
    BuildListing();
    return true;
}

void TMainFrame::UseListingAsProgram() {
    if (TakeAssembly(AsmOut->toPlainText().toStdString(), ListingName)) UpdateStatus();
}

void TMainFrame::OpenGivenFile(const QString& file) {
    if (!IsAssemblyFileName(file.toStdString())) {
        OpenObjectFile(file);
        return;
    }
    const std::string path = file.toStdString();
    std::string source;
    if (const MaybeFailure failure = LoadAssemblyFile(path, source)) {
        ShowFailure(*failure);
        return;
    }
    // The file's own text is shown, so that the caret can point at its errors; the
    // program and FileName change only when it assembles.
    AsmOut->setPlainText(QString::fromStdString(source));
    AsmOut->document()->setModified(false);
    if (!TakeAssembly(source, path)) return;
    FileName = path;
    UpdateStatus();
}

bool TMainFrame::ListingHasUnkeptEdits() const {
    return AsmOut->document()->isModified();
}

void TMainFrame::CloseOnStopSignal() {
    AsmOut->document()->setModified(false);
    close();
}

bool TMainFrame::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, windowTitle(), text, QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TMainFrame::closeEvent(QCloseEvent* event) {
    if (ListingHasUnkeptEdits() && !AskYesNo(QString::fromLatin1(UnkeptEditsQuestion))) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace ixo
