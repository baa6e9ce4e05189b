// The main window's listing: the program shown as a listing, and the listing as an
// input: making the operator's listing the program, assembly files opened, named at
// start or dropped, and keeping the operator's edits from being passed over or lost.

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>
#include <utility>
#include <vector>

#include "app/MainFrm.h"
#include "app/OperatorDialogs.h"
#include "app/WindowText.h"
#include "isa/Assembler.h"
#include "isa/Listing.h"
#include "operations/ProgramFile.h"
#include "project/ProjectFiles.h"

namespace ixo {

namespace {

// How many errors the error box shows at most.
constexpr std::size_t ErrorsInBox = 6;

// What errors in the listing's own text are said to be in.
const char* const ListingName = "listing";

const char* const UnkeptEdits = "The listing has changes that are not saved or used.";
const char* const UnsavedProgram = "The program made from the listing is not saved.";
const char* const UnusedEditsQuestion =
    "The listing has changes that are not used as the program. Use them first?";

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

void TMainFrame::ShowAsmErrors(const std::string& name, const std::string& source,
                               const std::vector<AsmError>& errors) {
    // The first errors only, three lines each, so that the box stays on the screen;
    // the caret goes to the first, and the next Use shows what is left.
    const std::size_t shown = std::min(errors.size(), ErrorsInBox);
    std::string detail = FormatAsmErrors(name, source, {errors.begin(), errors.begin() + shown});
    if (shown < errors.size()) {
        detail += "and more errors after these\n";
    }
    dialogs_->ShowMessage(QString::fromStdString(name + " does not assemble"),
                          QString::fromStdString(detail), MbIconError);
    AsmOut->setTextCursor(CursorAt(AsmOut, errors.front()));
    AsmOut->setFocus();
}

void TMainFrame::TakeListingAsUsed(std::vector<int> lines) {
    wordLines_ = std::move(lines);
    usedText_ = AsmOut->toPlainText();
    AsmOut->document()->setModified(false);
}

bool TMainFrame::TakeAssembly(const std::string& source, const std::string& name,
                              std::span<const std::uint32_t> unchanged) {
    Assembly assembly = AssembleListing(source);
    if (!assembly.Ok()) {
        ShowAsmErrors(name, source, assembly.Errors);
        return false;
    }
    // The text stays the operator's own: only the program changes, and only in the
    // words whose lines changed.
    KeepUnchangedWords(unchanged, assembly.Words);
    TakeWords(Image, assembly.Words);
    TakeListingAsUsed(std::move(assembly.Lines));
    return true;
}

bool TMainFrame::UseListingAsProgram() {
    const bool edited = ListingHasUnusedEdits();
    const std::vector<std::uint32_t> program(Image.Words.begin(),
                                             Image.Words.begin() + Image.WordCount);
    if (!TakeAssembly(AsmOut->toPlainText().toStdString(), ListingName, program)) return false;
    if (edited) listingProgramUnsaved_ = true;
    UpdateStatus();
    return true;
}

void TMainFrame::OpenGivenFile(const QString& file) {
    if (!MayDropListingWork(false)) return;
    // In the system's own spelling (backslashes on Windows), whichever way it came.
    const QString absolute =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(file).absoluteFilePath()));
    const std::string path = absolute.toStdString();
    if (!IsAssemblyFileName(path)) {
        OpenObjectFile(absolute);
        return;
    }
    // The program changes only when the file assembles.
    OpenedProgram opened = OpenProgramFile(path, ProgramKind::Assembly, Image);
    if (opened.Fault) {
        ShowFailure(*opened.Fault);
        return;
    }
    // The file's own text is shown, so that the caret can point at its errors; FileName
    // changes only when it assembles.
    ShowListingText(QString::fromStdString(opened.Source)
                        .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    if (!opened.Errors.empty()) {
        ShowAsmErrors(path, opened.Source, opened.Errors);
        return;
    }
    TakeListingAsUsed(std::move(opened.Lines));
    FileName = path;
    listingProgramUnsaved_ = false;
    UpdateStatus();
}

bool TMainFrame::ListingHasUnkeptEdits() const {
    return AsmOut->document()->isModified();
}

bool TMainFrame::ListingHasUnusedEdits() const {
    return AsmOut->toPlainText() != usedText_;
}

bool TMainFrame::OfferUnusedEdits() {
    if (!ListingHasUnusedEdits()) return true;
    switch (dialogs_->AskYesNoCancel(QString::fromLatin1(UnusedEditsQuestion))) {
        case Answer::Yes:
            return UseListingAsProgram();
        case Answer::No:
            return true;
        case Answer::Cancel:
            break;
    }
    return false;
}

bool TMainFrame::MayDropListingWork(bool closing) {
    const char* lost = ListingHasUnkeptEdits()  ? UnkeptEdits
                       : listingProgramUnsaved_ ? UnsavedProgram
                                                : nullptr;
    if (lost == nullptr) return true;
    const char* goOn = closing                   ? "Close anyway?"
                       : ListingHasUnkeptEdits() ? "Replace them anyway?"
                                                 : "Replace it anyway?";
    return dialogs_->AskYesNo(QString::fromLatin1(lost) + QLatin1Char(' ') +
                              QString::fromLatin1(goOn));
}

void TMainFrame::ShowWordInListing(int address) {
    if (address < 0 || address >= static_cast<int>(wordLines_.size())) return;
    const QTextBlock block = AsmOut->document()->findBlockByNumber(wordLines_[address] - 1);
    if (!block.isValid()) return;
    AsmOut->setTextCursor(QTextCursor(block));
    AsmOut->ensureCursorVisible();
    AsmOut->setFocus();
}

void TMainFrame::BuildListing() {
    const std::string separator = QLocale::system().decimalPoint().toStdString();
    QStringList lines;
    for (const std::string& line : ListingLines(ProgramWords(Image), separator))
        lines << FromLocal(line);
    ShowListingText(lines.join(QLatin1Char('\n')));
    usedText_ = AsmOut->toPlainText();
    wordLines_.clear();
    for (int position = 0; position < Image.WordCount; ++position) {
        wordLines_.push_back(ListingLineNumber(position));
    }
    listingProgramUnsaved_ = false;
}

void TMainFrame::ShowListingText(const QString& text) {
    AsmOut->setPlainText(text);
    AsmOut->document()->setModified(false);
    // Caret at the very start, the focus in the listing, the first line in view.
    QTextCursor start = AsmOut->textCursor();
    start.movePosition(QTextCursor::Start);
    AsmOut->setTextCursor(start);
    AsmOut->setFocus();
    AsmOut->horizontalScrollBar()->setValue(0);
    AsmOut->verticalScrollBar()->setValue(0);
    AsmOut->ensureCursorVisible();
}

std::vector<std::string> TMainFrame::AsmOutLines() const {
    const QString text = AsmOut->toPlainText();
    std::vector<std::string> lines;
    if (text.isEmpty()) return lines;
    QStringList pieces = text.split(QLatin1Char('\n'));
    // A line break after the last line starts no further line.
    if (text.endsWith(QLatin1Char('\n'))) pieces.removeLast();
    for (const QString& piece : pieces) lines.push_back(piece.toStdString());
    return lines;
}

}  // namespace ixo
