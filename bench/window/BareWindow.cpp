// The yardstick for the window's start: a Qt main window holding a text control and
// nothing else.

#include <QApplication>
#include <QMainWindow>
#include <QPlainTextEdit>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare Window"));
    window.setCentralWidget(new QPlainTextEdit(&window));
    window.resize(521, 688);
    window.show();
    return QApplication::exec();
}
