#include "TestFrame.h"

#include <QApplication>
#include <QDropEvent>
#include <QLocale>
#include <QMimeData>

#include <gtest/gtest.h>

#include <memory>

#include "isa/Listing.h"

namespace ixo::test {

namespace {

// The next of answers for the dialog or question titled title; one with no answer
// prepared fails the test and is answered with fallback.
template <typename T>
T NextAnswer(std::deque<T>& answers, const QString& title, T fallback = T()) {
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected dialog \"" << title.toStdString() << "\"";
        return fallback;
    }
    T answer = answers.front();
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

TestFrame::TestFrame() {
    SetDialogs(std::make_unique<AnsweringDialogs>(*this, *this));
    SetPortDialog(SerialPortDlg);
}

AnsweringDialogs::AnsweringDialogs(TMainFrame& window, DialogAnswers& answers)
    : OperatorDialogs(window), answers_(answers) {}

void AnsweringDialogs::ShowMessage(const QString& text, const QString& detail, int flags) {
    answers_.Messages.push_back({text, detail, flags});
}

QString AnsweringDialogs::AskOpenFileName(const QString& filter, const QString& title,
                                          const QString& initialName, QString& chosenFilter) {
    answers_.OpenQuestions.push_back({filter, title, initialName});
    if (!answers_.OpenFilterAnswers.empty()) {
        chosenFilter = answers_.OpenFilterAnswers.front();
        answers_.OpenFilterAnswers.pop_front();
    }
    return NextAnswer(answers_.OpenAnswers, title);
}

QString AnsweringDialogs::AskSaveFileName(const QString& filter, const QString& title,
                                          const QString& initialName) {
    answers_.SaveQuestions.push_back({filter, title, initialName});
    return NextAnswer(answers_.SaveAnswers, title);
}

bool AnsweringDialogs::ExecPortDialog(TSerialPortDlg& dialog) {
    ++answers_.PortDialogShown;
    if (!answers_.PortDialog) {
        ADD_FAILURE() << "unexpected port dialog";
        return false;
    }
    return answers_.PortDialog(dialog);
}

bool AnsweringDialogs::AskYesNo(const QString& text) {
    answers_.Questions.push_back(text);
    return NextAnswer(answers_.QuestionAnswers, text, false);
}

OperatorDialogs::Answer AnsweringDialogs::AskYesNoCancel(const QString& text) {
    answers_.Questions.push_back(text);
    return NextAnswer(answers_.ChoiceAnswers, text, Answer::Cancel);
}

QString ListingOf(const ProgramImage& image) {
    QStringList lines;
    for (const std::string& line :
         ListingLines(ProgramWords(image), QLocale::system().decimalPoint().toStdString())) {
        lines << QString::fromStdString(line);
    }
    return lines.join(QLatin1Char('\n'));
}

bool Drop(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

}  // namespace ixo::test
