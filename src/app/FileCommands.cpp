// The main window's file commands: Open and the two Saves.

#include <QPlainTextEdit>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/MainFrm.h"
#include "app/OperatorDialogs.h"
#include "app/WindowText.h"
#include "core/ShownText.h"
#include "operations/ProgramFile.h"
#include "project/ProjectFiles.h"

namespace ixo {

namespace {

// Asks where to save, offering the project's name with the extension ext, and gives
// the name chosen with ext, or an empty text when the dialog is cancelled. A cancel
// leaves the project's name with ext; a name chosen becomes the project's only once
// its file is saved (SaveProgramAs).
std::string AskSaveName(OperatorDialogs& dialogs, std::string& fileName, const char* ext,
                        const char* title) {
    const std::string offered = ReplaceFileExt(fileName, ext);
    const QString chosen =
        dialogs.AskSaveFileName(QStringLiteral("Text file (*%1)").arg(QString::fromLatin1(ext)),
                                QString::fromLatin1(title), FromLocal(offered));
    if (chosen.isEmpty()) {
        fileName = offered;
        return {};
    }
    return ReplaceFileExt(chosen.toStdString(), ext);
}

}  // namespace

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
    const MaybeFailure failure = OpenProgramFile(name, ProgramKind::Object, Image).Fault;
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
    const std::string path = AskSaveName(*dialogs_, FileName, ".obj", "Save Object File");
    if (path.empty()) return;
    if (const MaybeFailure failure = SaveProgramAs(FileName, path, std::cref(Image))) {
        ShowFailure(*failure);
        return;
    }
    listingProgramUnsaved_ = false;
    UpdateStatus();
}

void TMainFrame::SaveAsmFileBtnClick() {
    const std::vector<std::string> lines = AsmOutLines();
    if (lines.empty()) return;
    const std::string path = AskSaveName(*dialogs_, FileName, ".asm", "Save Asm File");
    if (path.empty()) return;
    // A listing that cannot be saved is an error for the top-level error display.
    if (const MaybeFailure failure = SaveProgramAs(FileName, path, lines)) {
        throw std::runtime_error(EscapeControls(FailureText(*failure)));
    }
    AsmOut->document()->setModified(false);
    // The file now holds the text the program was made from, if it still is.
    if (!ListingHasUnusedEdits()) listingProgramUnsaved_ = false;
    UpdateStatus();
}

}  // namespace ixo
