// The main window: its construction and controls, hints, drag and drop, closing, and
// the status it shows. The commands are in FileCommands.cpp, DeviceButtons.cpp,
// PortSelection.cpp and ListingEdits.cpp.

#include "app/MainFrm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "app/Fonts.h"
#include "app/Icons.h"
#include "app/OperatorDialogs.h"
#include "app/PCPrtSel.h"
#include "app/PanelStatusBar.h"
#include "app/Placement.h"
#include "app/WindowText.h"
#include "core/ShownText.h"
#include "device/DeviceCommands.h"
#include "operations/DeviceConnection.h"
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

}  // namespace

TMainFrame::TMainFrame(QWidget* parent)
    : QWidget(parent), dialogs_(std::make_unique<OperatorDialogs>(*this)) {
    BuildControls();

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

void TMainFrame::SetDialogs(std::unique_ptr<OperatorDialogs> dialogs) {
    dialogs_ = std::move(dialogs);
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
    Connection.Close();
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
    return Connection.IsOpen();
}

void TMainFrame::UpdateStatus() {
    if (LinkIsOpen()) {
        ComStatusBar->SetPanelText(0, QStringLiteral("Com%1").arg(PortNumber));
        ComStatusBar->Panel(0)->setToolTip(
            FromLocal(PortTip(DescribePort(FoundPorts, PortNumber))));
        ReadProgBtn->setEnabled(ProgEnabled);
        const bool transfer = Image.WordCount != 0 && ProgEnabled;
        WriteProgtBtn->setEnabled(transfer);
        VerifyProgBtn->setEnabled(transfer);
        ProgDisBtn->setEnabled(ProgEnabled);
        ProgEnBtn->setEnabled(!ProgEnabled);
    } else {
        ComStatusBar->SetPanelText(0, QString());
        ComStatusBar->Panel(0)->setToolTip(FromLocal(Connection.OpenError()));
        ReadProgBtn->setEnabled(false);
        WriteProgtBtn->setEnabled(false);
        ProgDisBtn->setEnabled(false);
        ProgEnBtn->setEnabled(false);
        VerifyProgBtn->setEnabled(false);
    }
    // Why there is no port goes where the operator looks, the hint area, unless a
    // control's hint is showing there.
    const QString trouble = LinkIsOpen() ? QString() : FromLocal(Connection.Trouble());
    if (StatusBar->PanelText(1) == portTrouble_) StatusBar->SetPanelText(1, trouble);
    portTrouble_ = trouble;
    SaveObjFileBtn->setEnabled(Image.WordCount != 0);
    SaveAsmFileBtn->setEnabled(!AsmOut->document()->isEmpty());
    ComStatusBar->SetPanelText(1, FromLocal(ReplaceFileExt(FileName, "")));
}

void TMainFrame::ShowFailure(const Failure& failure) {
    // A file name may hold a line break or other control character: written as C
    // writes it, the message stays one line and shows the name as it is.
    dialogs_->ShowMessage(FromLocal(EscapeControls(FailureText(failure))),
                          FromLocal(FailureDetail(failure)), MbIconError);
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
    dialogs_->ShowMessage(ErrorDisplayText(text), QString(), MbIconError);
}

void TMainFrame::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        CentreOnScreen(this, QSize(OuterWidth, OuterHeight), KeptSize::Outer);
    }
}

void TMainFrame::CloseOnStopSignal() {
    AsmOut->document()->setModified(false);
    listingProgramUnsaved_ = false;
    close();
}

void TMainFrame::closeEvent(QCloseEvent* event) {
    if (!MayDropListingWork(true)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace ixo
