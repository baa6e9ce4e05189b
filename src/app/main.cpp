// ixo-loader: the desktop program.

#include <QApplication>

#include <csignal>
#include <exception>

#include "app/MainFrm.h"
#include "link/PCPrtSel.h"

namespace {

// The message loop's last line of defence: an error that escapes an event handler
// is shown by the main window's error display, and the program carries on.
class IxoApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            if (ixo::MainFrame != nullptr) {
                ixo::MainFrame->ShowError(QString::fromUtf8(error.what()));
            }
            return false;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    // A file size limit must make a write fail, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    IxoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ixo Loader"));

    ixo::TMainFrame window;
    ixo::MainFrame = &window;
    ixo::TSerialPortDlg portDialog;
    ixo::SerialPortDlg = &portDialog;
    window.show();
    const int result = QApplication::exec();
    ixo::SerialPortDlg = nullptr;
    ixo::MainFrame = nullptr;
    return result;
}
