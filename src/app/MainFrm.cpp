#include "app/MainFrm.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <vector>

#include "app/Fonts.h"
#include "app/Icons.h"
#include "app/PCPrtSel.h"
#include "app/PanelStatusBar.h"
#include "app/Placement.h"
#include "device/DeviceCommands.h"
#include "device/Differences.h"
#include "isa/Listing.h"
#include "link/Comport.h"
#include "link/PortProbe.h"
#include "ports/PortNames.h"
#include "project/ProjectFiles.h"

namespace ixo {

TMainFrame* MainFrame = nullptr;

namespace {

const char* const WindowCaption = "Ixo Loader";

// A hint "short|long": the short part is the tooltip, the long part goes to the
// status bar. A hint without "|" is both.
void SetHint(QWidget* widget, const QString& hint) {
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    widget->setToolTip(bar < 0 ? hint : hint.left(bar));
    widget->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

QString FromLocal(const std::string& text) {
    return QString::fromStdString(text);
}

// What people see of the device behind COMn: its path and, where the system
// describes it, the description.
QString PortTip(const std::vector<NumberedPort>& found, int n) {
    QString tip = FromLocal(PortTarget(n));
    const NumberedPort* port = FindNumbered(found, n);
    if (port != nullptr && !port->Info.Description.empty()) {
        tip += QStringLiteral(" (%1)").arg(FromLocal(port->Info.Description));
    }
    return tip;
}

}  // namespace

TMainFrame::TMainFrame(QWidget* parent) : QWidget(parent) {
    BuildControls();

    Link.reset();
    PortNumber = 1;
    FileName.clear();
    // Adapters plugged in since the last run get their numbers before COM1 opens.
    FoundPorts = FindPorts();
    OpenLink(PortNumber);
    Image.WordCount = 0;
    ProgEnabled = true;
    // Setting the selection here sends nothing to the device: only the operator's
    // choice runs IntProgSelCbChange.
    IntProgSelCb->setCurrentIndex(0);
    UpdateStatus();

    FormCreate();
}

TMainFrame::~TMainFrame() {
    FormDestroy();
    if (SerialPortDlg == ownPortDialog_.get()) SerialPortDlg = nullptr;
}

void TMainFrame::BuildControls() {
    setWindowTitle(QString::fromLatin1(WindowCaption));
    // The icon is drawn from its SVG picture, which holds the window's first map up by
    // a couple of milliseconds: it is set from the message loop instead, moments after.
    QTimer::singleShot(0, this, [this] { setWindowIcon(icons::ProgramIcon()); });
    setFont(ClassicFont(Face::Sans));
    resize(OuterWidth, OuterHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildTopBar();
    layout->addWidget(TopBar);
    BuildSpeedButtons();
    BuildProgramSelector();
    BuildAsmOut();
    layout->addWidget(AsmOut, 1);
    BuildStatusBars();
    layout->addWidget(StatusBar);
    layout->addWidget(ComStatusBar);
    BuildFileShortcuts();
    BuildListingActions();
}

void TMainFrame::BuildTopBar() {
    TopBar = new QWidget(this);
    TopBar->setObjectName(QStringLiteral("TopBar"));
    TopBar->setFixedHeight(TopBarHeight);
    int left = 0;
    for (int i = 0; i < GroupCount; ++i) {
        auto* group = new QFrame(TopBar);
        group->setObjectName(QStringLiteral("ToolGroup%1").arg(i + 1));
        group->setFrameStyle(QFrame::Panel | QFrame::Raised);
        group->setLineWidth(1);
        group->setGeometry(left, 0, GroupWidths[i], TopBarHeight);
        ToolGroups[i] = group;
        left += GroupWidths[i];
    }
}

void TMainFrame::BuildSpeedButtons() {
    // The speed buttons: flat, 25 x 25, at 4-pixel margins one every 25 pixels.
    using icons::TransferDirection;
    struct ButtonEntry {
        QToolButton* TMainFrame::*Member;
        int Group;
        int Slot;
        const char* Name;
        const char* Hint;
        QIcon (*Picture)();
        int PictureSize;
        void (TMainFrame::*Click)();
    };
    const int glyph = icons::GlyphSize;
    const int lamp = icons::LampSize;
    const ButtonEntry buttons[] = {
        {&TMainFrame::SetSerialPortBtn, 0, 0, "SetSerialPortBtn", "Port|COM port selection",
         icons::CableConnector, glyph, &TMainFrame::SetSerialPortBtnClick},
        {&TMainFrame::OpenFileBtn, 1, 0, "OpenFileBtn", "Open obj|Open object file",
         icons::OpenFolder, glyph, &TMainFrame::OpenFileBtnClick},
        {&TMainFrame::SaveObjFileBtn, 1, 1, "SaveObjFileBtn", "Save obj|Save object file",
         icons::FloppyDisk, glyph, &TMainFrame::SaveObjFileBtnClick},
        {&TMainFrame::SaveAsmFileBtn, 1, 2, "SaveAsmFileBtn", "Save asm|Save asm file",
         icons::FloppyDisk, glyph, &TMainFrame::SaveAsmFileBtnClick},
        {&TMainFrame::ProgDisBtn, 2, 0, "ProgDisBtn", "Disable prog|Disable programming",
         [] { return icons::Lamp(false); }, lamp, &TMainFrame::ProgDisBtnClick},
        {&TMainFrame::ProgEnBtn, 3, 0, "ProgEnBtn", "Enable prog|Enable programming",
         [] { return icons::Lamp(true); }, lamp, &TMainFrame::ProgEnBtnClick},
        {&TMainFrame::WriteProgtBtn, 3, 1, "WriteProgtBtn", "Write program|Write program to IXO",
         [] { return icons::WindowStack(TransferDirection::Out); }, glyph,
         &TMainFrame::WriteProgtBtnClick},
        {&TMainFrame::ReadProgBtn, 3, 2, "ReadProgBtn", "Read prog|Read program from IXO",
         [] { return icons::WindowStack(TransferDirection::In); }, glyph,
         &TMainFrame::ReadProgBtnClick},
        {&TMainFrame::VerifyProgBtn, 3, 3, "VerifyProgBtn", "Verify prog|Verify program with IXO",
         [] { return icons::WindowStack(TransferDirection::Both); }, glyph,
         &TMainFrame::VerifyProgBtnClick},
    };
    for (const ButtonEntry& entry : buttons) {
        auto* button = new QToolButton(ToolGroups[entry.Group]);
        button->setObjectName(QString::fromLatin1(entry.Name));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(entry.Picture());
        button->setIconSize(QSize(entry.PictureSize, entry.PictureSize));
        button->setGeometry(4 + entry.Slot * ButtonSize, 4, ButtonSize, ButtonSize);
        SetHint(button, QString::fromLatin1(entry.Hint));
        const auto click = entry.Click;
        connect(button, &QToolButton::clicked, this,
                [this, click] { RunHandler([this, click] { (this->*click)(); }); });
        this->*entry.Member = button;
    }
    // Enabled states at creation; UpdateStatus sets them before the window shows.
    WriteProgtBtn->setEnabled(false);
    ReadProgBtn->setEnabled(false);
    VerifyProgBtn->setEnabled(false);
}

void TMainFrame::BuildProgramSelector() {
    QFrame* group = ToolGroups[GroupCount - 1];
    Label1 = new QLabel(QStringLiteral("Ext/Int"), group);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(6, 10, 38, 13);

    IntProgSelCb = new QComboBox(group);
    IntProgSelCb->setObjectName(QStringLiteral("IntProgSelCb"));
    IntProgSelCb->setEditable(false);
    for (std::string_view name : ProgramChoices()) {
        IntProgSelCb->addItem(
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    IntProgSelCb->setMaxVisibleItems(IntProgSelCb->count());
    // Wide enough to show every program's name whole when closed; the group widens
    // with it where the face needs more room than the layout gives.
    IntProgSelCb->setGeometry(46, 6, std::max(96, IntProgSelCb->sizeHint().width()), 21);
    group->resize(std::max(group->width(), IntProgSelCb->geometry().right() + 5), TopBarHeight);
    // Only a pick from the open list or a key on the focused selector chooses a
    // program: the wheel over it is taken away before it can change the selection.
    IntProgSelCb->installEventFilter(this);
    connect(IntProgSelCb, &QComboBox::activated, this,
            [this] { RunHandler([this] { IntProgSelCbChange(); }); });

    CWLab = new QLabel(TopBar);
    CWLab->setObjectName(QStringLiteral("CWLab"));
    CWLab->setFont(ClassicFont(Face::Fixed));
    CWLab->setGeometry(group->geometry().right() + 1 + 8, 10, 100, 13);
}

void TMainFrame::BuildAsmOut() {
    AsmOut = new QPlainTextEdit(this);
    AsmOut->setObjectName(QStringLiteral("AsmOut"));
    const QFont fixed = ClassicFont(Face::Fixed, 13);
    AsmOut->setFont(fixed);
    AsmOut->setTabStopDistance(8 * QFontMetricsF(fixed).horizontalAdvance(QLatin1Char(' ')));
    AsmOut->setTabChangesFocus(false);
    AsmOut->setLineWrapMode(QPlainTextEdit::NoWrap);
    AsmOut->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    AsmOut->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TMainFrame::BuildStatusBars() {
    // Panel 0 holds "CW=" and eight hex digits: as wide as the face needs for the
    // widest of them.
    const QFontMetrics metrics(font());
    QChar widest = QLatin1Char('0');
    for (QChar digit : QStringLiteral("0123456789ABCDEF")) {
        if (metrics.horizontalAdvance(digit) > metrics.horizontalAdvance(widest)) widest = digit;
    }
    StatusBar = new PanelStatusBar(
        {{80, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("CW=") + QString(8, widest)}, {50}},
        this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    ComStatusBar = new PanelStatusBar({{50, Qt::AlignCenter}, {50}}, this);
    ComStatusBar->setObjectName(QStringLiteral("ComStatusBar"));
}

void TMainFrame::BuildFileShortcuts() {
    // The file commands have the usual keys; no key runs a device command.
    const std::pair<const char*, QToolButton*> keys[] = {
        {"Ctrl+O", OpenFileBtn}, {"Ctrl+S", SaveObjFileBtn}, {"Ctrl+Shift+S", SaveAsmFileBtn}};
    for (const auto& [key, button] : keys) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(key)), this);
        connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
    }
}

void TMainFrame::FormCreate() {
    // Every control with a hint announces its long part when the pointer enters it
    // and an empty text when the pointer leaves it; the announcement travels up to
    // this window.
    installEventFilter(this);
    setAcceptDrops(true);
    AsmOut->viewport()->installEventFilter(this);
}

void TMainFrame::FormDestroy() {
    if (Link) {
        Link->Close();
        Link.reset();
    }
}

bool TMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == IntProgSelCb && event->type() == QEvent::Wheel) return true;
    if (watched == this && event->type() == QEvent::StatusTip) {
        HintHandler(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    // A file dropped on the listing opens like one dropped anywhere else on the
    // window; dragged text still moves within the listing as usual.
    if (watched == AsmOut->viewport() && !DroppedFile(event).isEmpty()) {
        if (event->type() == QEvent::Drop) TakeDrop(static_cast<QDropEvent*>(event));
        event->accept();
        static_cast<QDropEvent*>(event)->acceptProposedAction();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QString TMainFrame::DroppedFile(const QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return QString();
    }
    // DragEnterEvent and DragMoveEvent derive from DropEvent.
    const QMimeData* data = static_cast<const QDropEvent*>(event)->mimeData();
    if (data == nullptr || !data->hasUrls()) return QString();
    const QList<QUrl> urls = data->urls();
    // One local file at a time, as the Open command takes.
    if (urls.size() != 1 || !urls.front().isLocalFile()) return QString();
    return urls.front().toLocalFile();
}

void TMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event).isEmpty()) event->acceptProposedAction();
}

void TMainFrame::dropEvent(QDropEvent* event) {
    if (DroppedFile(event).isEmpty()) return;
    event->acceptProposedAction();
    TakeDrop(event);
}

void TMainFrame::TakeDrop(const QDropEvent* event) {
    const QString file = DroppedFile(event);
    RunHandler([this, file] { OpenGivenFile(file); });
}

void TMainFrame::HintHandler(const QString& longHint) {
    // Where no control has a hint to give, why there is no port stays in view.
    StatusBar->SetPanelText(1, longHint.isEmpty() ? portTrouble_ : longHint);
}

bool TMainFrame::LinkIsOpen() const {
    return Link && Link->IsOpen();
}

void TMainFrame::OpenLink(int n) {
    if (Link) {
        Link->Close();
    } else {
        Link = std::make_unique<ComPort>();
    }
    Link->PortNumber = static_cast<std::int8_t>(n);
    Link->SetBaudRate(38400);
    Link->Open();
}

void TMainFrame::SelectPort() {
    // The dialog is built when it is first needed, as most runs never need it (its
    // controls and faces cost some tenths of a millisecond at start).
    if (SerialPortDlg == nullptr) {
        ownPortDialog_ = std::make_unique<TSerialPortDlg>();
        SerialPortDlg = ownPortDialog_.get();
    }
    QComboBox* list = SerialPortDlg->PCPortSel;
    list->clear();
    // The link's own port is probed too: it lets go of it meanwhile.
    if (Link) Link->Close();
    FoundPorts = FindPorts();
    for (int n : ProbePorts()) {
        list->addItem(QString::number(n));
        list->setItemData(list->count() - 1, PortTip(FoundPorts, n), Qt::ToolTipRole);
    }
    if (Link) Link->Open();
    list->setToolTip(list->count() == 0 ? QStringLiteral("No port from COM1 to COM8 opens")
                                        : QString());

    const int own = Link ? list->findText(QString::number(Link->PortNumber)) : -1;
    if (own >= 0) {
        list->setCurrentIndex(own);
    } else if (list->count() > 0) {
        list->setCurrentIndex(0);
    }
    if (!ExecPortDialog()) return;

    // Read as a C library would: leading blanks and a sign allowed, digits up to the
    // first other character, nothing at all is 0. The port number is 8 bits wide.
    const std::string text = list->currentText().toStdString();
    PortNumber = static_cast<std::int8_t>(std::strtol(text.c_str(), nullptr, 10));
    OpenLink(PortNumber);
}

void TMainFrame::UpdateStatus() {
    if (LinkIsOpen()) {
        ComStatusBar->SetPanelText(0, QStringLiteral("Com%1").arg(PortNumber));
        ComStatusBar->Panel(0)->setToolTip(PortTip(FoundPorts, PortNumber));
        ReadProgBtn->setEnabled(ProgEnabled);
        const bool transfer = Image.WordCount != 0 && ProgEnabled;
        WriteProgtBtn->setEnabled(transfer);
        VerifyProgBtn->setEnabled(transfer);
        ProgDisBtn->setEnabled(ProgEnabled);
        ProgEnBtn->setEnabled(!ProgEnabled);
    } else {
        ComStatusBar->SetPanelText(0, QString());
        ComStatusBar->Panel(0)->setToolTip(Link ? FromLocal(Link->OpenError()) : QString());
        ReadProgBtn->setEnabled(false);
        WriteProgtBtn->setEnabled(false);
        ProgDisBtn->setEnabled(false);
        ProgEnBtn->setEnabled(false);
        VerifyProgBtn->setEnabled(false);
    }
    // Why there is no port goes where the operator looks, the hint area, unless a
    // control's hint is showing there.
    const QString trouble =
        LinkIsOpen() || !Link ? QString() : FromLocal(PortTrouble(PortNumber, Link->OpenError()));
    if (StatusBar->PanelText(1) == portTrouble_) StatusBar->SetPanelText(1, trouble);
    portTrouble_ = trouble;
    SaveObjFileBtn->setEnabled(Image.WordCount != 0);
    SaveAsmFileBtn->setEnabled(!AsmOut->document()->isEmpty());
    ComStatusBar->SetPanelText(1, FromLocal(ReplaceFileExt(FileName, "")));
}

void TMainFrame::SetSerialPortBtnClick() {
    SelectPort();
    UpdateStatus();
}

void TMainFrame::BuildListing() {
    const std::string separator = QLocale::system().decimalPoint().toStdString();
    QStringList lines;
    for (const std::string& line : ListingLines(ProgramWords(Image), separator))
        lines << FromLocal(line);
    ShowListingText(lines.join(QLatin1Char('\n')));
    usedText_ = AsmOut->toPlainText();
    wordLines_.clear();
    for (int position = 0; position < Image.WordCount; ++position) {
        wordLines_.push_back(ListingLineNumber(position));
    }
    listingProgramUnsaved_ = false;
}

void TMainFrame::ShowListingText(const QString& text) {
    AsmOut->setPlainText(text);
    AsmOut->document()->setModified(false);
    // Caret at the very start, the focus in the listing, the first line in view.
    QTextCursor start = AsmOut->textCursor();
    start.movePosition(QTextCursor::Start);
    AsmOut->setTextCursor(start);
    AsmOut->setFocus();
    AsmOut->horizontalScrollBar()->setValue(0);
    AsmOut->verticalScrollBar()->setValue(0);
    AsmOut->ensureCursorVisible();
}

std::vector<std::string> TMainFrame::AsmOutLines() const {
    const QString text = AsmOut->toPlainText();
    std::vector<std::string> lines;
    if (text.isEmpty()) return lines;
    QStringList pieces = text.split(QLatin1Char('\n'));
    // A line break after the last line starts no further line.
    if (text.endsWith(QLatin1Char('\n'))) pieces.removeLast();
    for (const QString& piece : pieces) lines.push_back(piece.toStdString());
    return lines;
}

void TMainFrame::OpenFileBtnClick() {
    const QString objectFilter = QString::fromLatin1(ObjectFileFilter);
    QString filter = objectFilter;
    const QString chosen = AskOpenFileName(
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
    const MaybeFailure failure = LoadObjectFile(name, Image);
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
    const std::string before = FileName;
    FileName = ReplaceFileExt(FileName, ".obj");
    const QString chosen = AskSaveFileName(QStringLiteral("Text file (*.obj)"),
                                           QStringLiteral("Save Object File"), FromLocal(FileName));
    if (chosen.isEmpty()) return;
    FileName = ReplaceFileExt(chosen.toStdString(), ".obj");
    if (const MaybeFailure failure = SaveObjectFile(FileName, Image)) {
        // The project keeps pointing at a file that exists, not at one never written.
        FileName = before;
        ShowFailure(*failure);
        return;
    }
    listingProgramUnsaved_ = false;
    UpdateStatus();
}

void TMainFrame::SaveAsmFileBtnClick() {
    const std::vector<std::string> lines = AsmOutLines();
    if (lines.empty()) return;
    const std::string before = FileName;
    FileName = ReplaceFileExt(FileName, ".asm");
    const QString chosen = AskSaveFileName(QStringLiteral("Text file (*.asm)"),
                                           QStringLiteral("Save Asm File"), FromLocal(FileName));
    if (chosen.isEmpty()) return;
    FileName = ReplaceFileExt(chosen.toStdString(), ".asm");
    // A listing that cannot be saved is an error for the top-level error display.
    if (const MaybeFailure failure = SaveListingFile(FileName, lines)) {
        FileName = before;
        throw std::runtime_error(FailureText(*failure));
    }
    AsmOut->document()->setModified(false);
    // The file now holds the text the program was made from, if it still is.
    if (!ListingHasUnusedEdits()) listingProgramUnsaved_ = false;
    UpdateStatus();
}

void TMainFrame::ShowFailure(const Failure& failure) {
    ShowMessage(FromLocal(FailureText(failure)), FromLocal(FailureDetail(failure)), MbIconError);
}

void TMainFrame::ShowVerifyFail(const Failure& failure) {
    const std::vector<WordDifference> differences =
        CompareWithDevice(Image, std::span(Image.ReadBackWords).first<MaxProgramWords>());
    const std::size_t shown = std::min<std::size_t>(differences.size(), DifferencesShown);
    QStringList lines;
    for (const std::string& line : DifferenceLines(std::span(differences).first(shown))) {
        lines << FromLocal(line);
    }
    if (differences.size() > shown) {
        lines << QStringLiteral("and %1 more").arg(differences.size() - shown);
    }
    // The first difference the listing shows, in view behind the box.
    for (const WordDifference& difference : differences) {
        if (difference.Address < static_cast<int>(wordLines_.size())) {
            ShowWordInListing(difference.Address);
            break;
        }
    }
    ShowMessage(FromLocal(FailureText(failure)), lines.join(QLatin1Char('\n')), MbIconError);
}

namespace {

// Swallows the operator's clicks, keys and wheel turns while it is installed.
class InputSwallower : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::TabletPress:
            case QEvent::TabletRelease:
                return true;
            default:
                return false;
        }
    }
};

// Runs one talk with the device under a busy cursor, which is gone again before
// anything is shown to the operator. The window cannot answer meanwhile; what the
// operator clicked or typed then was meant for a window that seemed dead, and is
// dropped rather than replayed once the talk is over.
template <typename Exchange>
MaybeFailure WithBusyCursor(Exchange exchange) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() {
            InputSwallower swallower;
            QCoreApplication::instance()->installEventFilter(&swallower);
            // Takes in what the window system still holds for us, and handles it.
            QGuiApplication::sync();
            QCoreApplication::instance()->removeEventFilter(&swallower);
            QApplication::restoreOverrideCursor();
        }
    } restore;
    return exchange();
}

bool Is(const MaybeFailure& failure, FailureKind kind) {
    return failure && failure->Kind == kind;
}

}  // namespace

void TMainFrame::WriteProgtBtnClick() {
    if (!OfferUnusedEdits()) return;
    const MaybeFailure failure =
        WithBusyCursor([this] { return WriteProgram(*Link, Image, TransferBuffer); });
    // A closed link or an empty image ends the command before anything is sent.
    if (Is(failure, FailureKind::PortNotOpened) || Is(failure, FailureKind::EmptyProject)) {
        ShowFailure(*failure);
        return;
    }
    if (failure) ShowFailure(*failure);
    UpdateStatus();
}

void TMainFrame::ReadProgBtnClick() {
    if (!MayDropListingWork(false)) return;
    // The image changes only when the whole program has arrived.
    const MaybeFailure failure =
        WithBusyCursor([this] { return ReadProgram(*Link, Image, TransferBuffer); });
    if (failure) {
        ShowFailure(*failure);
        return;
    }
    BuildListing();
    StatusBar->SetPanelText(
        0, QStringLiteral("CW=%1").arg(Image.Words[CwPosition], 8, 16, QLatin1Char('0')).toUpper());
    UpdateStatus();
}

void TMainFrame::VerifyProgBtnClick() {
    if (!OfferUnusedEdits()) return;
    const MaybeFailure failure =
        WithBusyCursor([this] { return VerifyProgram(*Link, Image, TransferBuffer); });
    if (failure && !Is(failure, FailureKind::VerifyFail)) {
        ShowFailure(*failure);
        return;
    }
    if (failure) {
        ShowVerifyFail(*failure);
    } else {
        ShowMessage(QStringLiteral("Verify OK"), QString(), MbNoIcon);
    }
    UpdateStatus();
}

bool TMainFrame::SendModeCommand(std::uint8_t command) {
    const MaybeFailure failure =
        WithBusyCursor([this, command] { return SendCommandByte(*Link, command); });
    if (failure) ShowFailure(*failure);
    return !Is(failure, FailureKind::PortNotOpened);
}

// The mode asked for is recorded whether or not its byte went out.
void TMainFrame::ProgEnBtnClick() {
    if (!SendModeCommand(CmdProgEnable)) return;
    IntProgSelCb->setCurrentIndex(0);
    ProgEnabled = true;
    UpdateStatus();
}

void TMainFrame::ProgDisBtnClick() {
    if (!SendModeCommand(CmdProgDisable)) return;
    ProgEnabled = false;
    UpdateStatus();
}

void TMainFrame::IntProgSelCbChange() {
    // The choice is recorded before the link is looked at, and stays if it is closed.
    const int choice = IntProgSelCb->currentIndex();
    ProgEnabled = choice == 0;
    if (!SendModeCommand(ProgramChoiceCommand(choice))) return;
    UpdateStatus();
}

void TMainFrame::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
}

QString TMainFrame::ErrorDisplayText(const QString& text) {
    if (!text.isEmpty() && text.back().unicode() > u'.') return text + QLatin1Char('.');
    return text;
}

void TMainFrame::ShowError(const QString& text) {
    ShowMessage(ErrorDisplayText(text), QString(), MbIconError);
}

void TMainFrame::ShowMessage(const QString& text, const QString& detail, int flags) {
    QMessageBox box(flags == MbIconError ? QMessageBox::Critical : QMessageBox::NoIcon,
                    windowTitle(), text, QMessageBox::Ok, this);
    if (!detail.isEmpty()) box.setInformativeText(detail);
    // Texts hold paths and device words, never markup: every label shows its text as
    // it is.
    for (QLabel* label : box.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    // A detail holds device words, or lines of a listing with a caret under a column:
    // in the listing's fixed-pitch font, and a detail of several lines with its lines
    // whole, so that the columns stay in line.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setFont(AsmOut->font());
        if (detail.contains(QLatin1Char('\n'))) label->setWordWrap(false);
    }
    box.exec();
}

QString TMainFrame::AskOpenFileName(const QString& filter, const QString& title,
                                    const QString& initialName, QString& chosenFilter) {
    // The name chosen need not exist: the command opens the file of that name with the
    // filter's extension. The toolkit's own dialog takes such a name where a system
    // dialog may refuse it.
    QFileDialog dialog(this, title, QString(), filter);
    dialog.setOptions(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    chosenFilter = dialog.selectedNameFilter();
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString TMainFrame::AskSaveFileName(const QString& filter, const QString& title,
                                    const QString& initialName) {
    // The dialog asks before replacing an existing file (its default).
    // In the system's own spelling (backslashes on Windows), as the status bar shows it.
    return QDir::toNativeSeparators(QFileDialog::getSaveFileName(this, title, initialName, filter));
}

bool TMainFrame::ExecPortDialog() {
    return SerialPortDlg->exec() == QDialog::Accepted;
}

void TMainFrame::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        CentreOnScreen(this, QSize(OuterWidth, OuterHeight), KeptSize::Outer);
    }
}

}  // namespace ixo
