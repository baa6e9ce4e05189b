// The main window's file commands: Open and the two Saves.

#include <QPlainTextEdit>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/MainFrm.h"
#include "app/OperatorDialogs.h"
#include "app/WindowText.h"
#include "project/ProjectFiles.h"

namespace ixo {

void TMainFrame::OpenFileBtnClick() {
    const QString objectFilter = QString::fromLatin1(ObjectFileFilter);
    QString filter = objectFilter;
    const QString chosen = dialogs_->AskOpenFileName(
        objectFilter + QStringLiteral(";;") + QString::fromLatin1(AssemblyFileFilter),
        QStringLiteral("Open Object File"), FromLocal(ReplaceFileExt(FileName, ".obj")), filter);
    if (chosen.isEmpty()) return;
    // Whatever extension was typed or picked, the file opened has the filter's: the
    // ".obj" one, or the ".asm" one (a name that has it in another case keeps it).
    const std::string name = chosen.toStdString();
    if (filter == objectFilter) {
        OpenGivenFile(FromLocal(ReplaceFileExt(name, ".obj")));
    } else {
        OpenGivenFile(FromLocal(IsAssemblyFileName(name) ? name : ReplaceFileExt(name, ".asm")));
    }
}

void TMainFrame::OpenObjectFile(const QString& chosen) {
    // Whatever extension was typed or picked, the file opened is the ".obj" one.
    const std::string name = ReplaceFileExt(chosen.toStdString(), ".obj");
    const MaybeFailure failure = LoadObjectFile(name, Image);
    if (failure && !LoadedInPart(*failure)) {
        ShowFailure(*failure);
        return;
    }
    FileName = name;
    // A malformed or overlong file still leaves the words it gave as the program:
    // the listing shows exactly those, so that what is seen is what Write sends.
    BuildListing();
    UpdateStatus();
    if (failure) ShowFailure(*failure);
}

void TMainFrame::SaveObjFileBtnClick() {
    if (!OfferUnusedEdits()) return;
    if (Image.IsEmpty()) return;
    FormatObjectText(Image);
    const std::string before = FileName;
    FileName = ReplaceFileExt(FileName, ".obj");
    const QString chosen =
        dialogs_->AskSaveFileName(QStringLiteral("Text file (*.obj)"),
                                  QStringLiteral("Save Object File"), FromLocal(FileName));
    if (chosen.isEmpty()) return;
    FileName = ReplaceFileExt(chosen.toStdString(), ".obj");
    if (const MaybeFailure failure = SaveObjectFile(FileName, Image)) {
        // The project keeps pointing at a file that exists, not at one never written.
        FileName = before;
        ShowFailure(*failure);
        return;
    }
    listingProgramUnsaved_ = false;
    UpdateStatus();
}

void TMainFrame::SaveAsmFileBtnClick() {
    const std::vector<std::string> lines = AsmOutLines();
    if (lines.empty()) return;
    const std::string before = FileName;
    FileName = ReplaceFileExt(FileName, ".asm");
    const QString chosen = dialogs_->AskSaveFileName(
        QStringLiteral("Text file (*.asm)"), QStringLiteral("Save Asm File"), FromLocal(FileName));
    if (chosen.isEmpty()) return;
    FileName = ReplaceFileExt(chosen.toStdString(), ".asm");
    // A listing that cannot be saved is an error for the top-level error display.
    if (const MaybeFailure failure = SaveListingFile(FileName, lines)) {
        FileName = before;
        throw std::runtime_error(FailureText(*failure));
    }
    AsmOut->document()->setModified(false);
    // The file now holds the text the program was made from, if it still is.
    if (!ListingHasUnusedEdits()) listingProgramUnsaved_ = false;
    UpdateStatus();
}

}  // namespace ixo
