#pragma once

#include <QString>

#include <deque>
#include <vector>

#include "app/MainFrm.h"

namespace ixo::test {

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

protected:
    void ShowMessage(const QString& text, const QString& detail, int flags) override;
    QString AskOpenFileName(const QString& filter, const QString& title,
                            const QString& initialName) override;
    QString AskSaveFileName(const QString& filter, const QString& title,
                            const QString& initialName) override;
};

}  // namespace ixo::test
