// ixo-loader: the desktop program.

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <exception>
#include <optional>
#include <string_view>

#include "app/MainFrm.h"
#include "core/Process.h"
#include "core/Version.h"
#include "link/PCPrtSel.h"
#include "link/StopSignals.h"

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

const char* const HelpText =
    "Usage: ixo-loader [-h | --help | -V | --version]\n"
    "The Ixo Loader window: opens a compiled IXO effect program (.obj), shows it as an\n"
    "assembly listing, saves it as .obj and .asm, and over a serial port, COM1 to COM8,\n"
    "writes it into the device, reads it back, verifies it and picks the program the\n"
    "device runs.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "\n"
    "The toolkit's own options, such as -platform NAME, are taken too. COMn is the\n"
    "entry comn of the folder ${XDG_CONFIG_HOME:-~/.config}/ixo-loader/ports/ where\n"
    "there is one, else /dev/ttyS<n-1>; a USB serial adapter is given the lowest free\n"
    "number and keeps it. 'ixo ports' lists and maps the ports. SIGINT, SIGTERM,\n"
    "SIGHUP, SIGQUIT, SIGPIPE and the other signals that would end it close the window\n"
    "as its close box does.\n";

// Answers --help and --version, which need no window system: the program's exit
// status when it did, nothing when the window is to start.
std::optional<int> AnswerCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (arg == "--version" || arg == "-V") {
            std::fputs(ixo::VersionText("ixo-loader").c_str(), stdout);
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerCommandLine(argc, argv)) return *status;
    ixo::PrepareProcess();

    // From here on a stop signal is noted for the window to close on (see below).
    ixo::CatchStopSignals();
    IxoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ixo Loader"));

    ixo::TMainFrame window;
    ixo::MainFrame = &window;
    ixo::TSerialPortDlg portDialog;
    ixo::SerialPortDlg = &portDialog;

    // A signal that would end the program (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE...)
    // closes the window as its close box does, so that the link is closed and lets go
    // of its port. A device command under way ends at its next wait; any dialog open
    // then is closed with the window. Where the system has no such signals there is
    // nothing to watch.
    std::optional<QSocketNotifier> stop;
    if (ixo::StopSignalFd() >= 0) {
        stop.emplace(ixo::StopSignalFd(), QSocketNotifier::Read);
        QObject::connect(&*stop, &QSocketNotifier::activated, &app, [&stop] {
            stop->setEnabled(false);  // the signal stays readable; once is enough
            QApplication::closeAllWindows();
        });
    }
    window.show();
    const int result = QApplication::exec();
    ixo::SerialPortDlg = nullptr;
    ixo::MainFrame = nullptr;
    return result;
}
