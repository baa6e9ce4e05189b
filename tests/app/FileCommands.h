#pragma once

// Shared by the cases of the window's file commands: those of every system and the
// POSIX ones.

#include <QString>
#include <QToolButton>

#include <string>

#include "SixWords.h"
#include "TempDir.h"
#include "TestFrame.h"

namespace ixo::test {

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The window shows the listing without a line end after the last line.
inline const QString SixWordShown = Q(SixWordListing).chopped(1);

// Writes a file into the test folder; gives its path.
inline std::string Make(const TempDir& dir, const std::string& name, const std::string& bytes) {
    WriteBytes(dir.File(name), bytes);
    return dir.File(name);
}

// Opens path through the Open button.
inline void Open(TestFrame& frame, const std::string& path) {
    frame.OpenAnswers.push_back(Q(path));
    frame.OpenFileBtn->click();
}

class FileCommands : public ShownWindowTest {};

}  // namespace ixo::test
