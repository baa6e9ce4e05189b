// ixo-loader: the desktop program.

#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <optional>
#include <string_view>

#include "app/MainFrm.h"
#include "app/PCPrtSel.h"
#include "core/Process.h"
#include "core/ShownText.h"
#include "core/StopSignals.h"
#include "core/Version.h"

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
    "Usage: ixo-loader [FILE] | -h | --help | -V | --version\n"
    "The Ixo Loader window: opens a compiled IXO effect program (.obj), shows it as an\n"
    "assembly listing, saves it as .obj and .asm, and over a serial port, COM1 to COM8,\n"
    "writes it into the device, reads it back, verifies it and picks the program the\n"
    "device runs. The listing, edited, can be made the program again (Ctrl+Return).\n"
    "\n"
    "  FILE           open FILE at start: an assembly file (.asm) is assembled, any\n"
    "                 other is opened as an object file\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "\n"
    "The toolkit's own options, such as -platform NAME, are taken too. COMn is the\n"
    "entry comn of the folder ${XDG_CONFIG_HOME:-~/.config}/ixo-loader/ports/ where\n"
    "there is one, else /dev/ttyS<n-1>; a USB serial adapter is given the lowest free\n"
    "number and keeps it. 'ixo ports' lists and maps the ports. SIGINT, SIGTERM,\n"
    "SIGHUP, SIGQUIT, SIGPIPE and the other signals that would end it close the window\n"
    "as its close box does, and it exits with 128 plus the signal's number.\n";

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

// The file to open at start, once the toolkit has taken its own options: an empty
// text for none. A second name or an unknown option is a usage error, said on
// standard error (nothing when all is well).
QString StartFile(QString& usageError) {
    const QStringList rest = QCoreApplication::arguments().mid(1);
    if (rest.size() > 1) {
        usageError = QStringLiteral("give at most one file");
    } else if (!rest.isEmpty() && rest.front().startsWith(QLatin1Char('-'))) {
        usageError = QStringLiteral("unknown option ") + rest.front();
    }
    return rest.isEmpty() ? QString() : rest.front();
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerCommandLine(argc, argv)) return *status;
    ixo::PrepareProcess();

    // From here on a stop signal is noted for the window to close on (see below).
    ixo::CatchStopSignals();
    IxoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ixo Loader"));
    QString usageError;
    const QString file = StartFile(usageError);
    if (!usageError.isEmpty()) {
        std::fprintf(stderr, "ixo-loader: %s\nTry 'ixo-loader --help'.\n",
                     ixo::EscapeControls(usageError.toLocal8Bit().toStdString()).c_str());
        return 2;
    }

    ixo::TMainFrame window;
    ixo::MainFrame = &window;

    // A signal that would end the program (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE...)
    // closes the window as its close box does, but without asking about unkept edits,
    // so that the link is closed and lets go of its port. A device command under way
    // ends at its next wait; any dialog open then is closed with the window. Where the
    // system has no such signals there is nothing to watch.
    std::optional<QSocketNotifier> stop;
    if (ixo::StopSignalFd() >= 0) {
        stop.emplace(ixo::StopSignalFd(), QSocketNotifier::Read);
        QObject::connect(&*stop, &QSocketNotifier::activated, &app, [&stop, &window] {
            stop->setEnabled(false);  // the signal stays readable; once is enough
            window.CloseOnStopSignal();
            QApplication::closeAllWindows();
        });
    }
    window.show();
    // The port dialog, hidden until the port button shows it; built once the window is
    // on its way to the screen, which its controls and faces would hold up a little.
    ixo::TSerialPortDlg portDialog;
    ixo::SerialPortDlg = &portDialog;
    window.SetPortDialog(&portDialog);
    // The file is opened from the message loop, once the window is on its way to the
    // screen: what the opening has to say is said over the window.
    if (!file.isEmpty()) {
        QTimer::singleShot(0, &window, [&window, &file] {
            window.RunHandler([&window, &file] { window.OpenGivenFile(file); });
        });
    }
    const int result = QApplication::exec();
    ixo::MainFrame = nullptr;
    ixo::SerialPortDlg = nullptr;
    // Closed by an ending signal, it ends with the status the signal would have
    // given it, 128 + its number, as ixo does: a script that killed it sees so.
    if (const int signal = ixo::StopSignal()) return 128 + signal;
    return result;
}
