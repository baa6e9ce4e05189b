#include "TestFrame.h"

#include <QApplication>
#include <QDropEvent>
#include <QLocale>
#include <QMimeData>

#include <gtest/gtest.h>

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

void TestFrame::ShowMessage(const QString& text, const QString& detail, int flags) {
    Messages.push_back({text, detail, flags});
}

QString TestFrame::AskOpenFileName(const QString& filter, const QString& title,
                                   const QString& initialName, QString& chosenFilter) {
    OpenQuestions.push_back({filter, title, initialName});
    if (!OpenFilterAnswers.empty()) {
        chosenFilter = OpenFilterAnswers.front();
        OpenFilterAnswers.pop_front();
    }
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

bool TestFrame::AskYesNo(const QString& text) {
    Questions.push_back(text);
    return NextAnswer(QuestionAnswers, text, false);
}

TMainFrame::Answer TestFrame::AskYesNoCancel(const QString& text) {
    Questions.push_back(text);
    return NextAnswer(ChoiceAnswers, text, Answer::Cancel);
}

}  // namespace ixo::test
