#include "TestFrame.h"

#include <gtest/gtest.h>

namespace ixo::test {

namespace {

QString NextAnswer(std::deque<QString>& answers, const QString& title) {
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected dialog \"" << title.toStdString() << "\"";
        return QString();
    }
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace

OwnPorts::OwnPorts() {
    SerialPortDlg = &dialog_;
}

OwnPorts::~OwnPorts() {
    SerialPortDlg = nullptr;
}

void TestFrame::ShowMessage(const QString& text, const QString& detail, int flags) {
    Messages.push_back({text, detail, flags});
}

QString TestFrame::AskOpenFileName(const QString& filter, const QString& title,
                                   const QString& initialName) {
    OpenQuestions.push_back({filter, title, initialName});
    return NextAnswer(OpenAnswers, title);
}

QString TestFrame::AskSaveFileName(const QString& filter, const QString& title,
                                   const QString& initialName) {
    SaveQuestions.push_back({filter, title, initialName});
    return NextAnswer(SaveAnswers, title);
}

bool TestFrame::ExecPortDialog() {
    ++PortDialogShown;
    if (!PortDialog) {
        ADD_FAILURE() << "unexpected port dialog";
        return false;
    }
    return PortDialog(*SerialPortDlg);
}

}  // namespace ixo::test
