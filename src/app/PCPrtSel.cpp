#include "app/PCPrtSel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/Fonts.h"
#include "app/Placement.h"
#include "operations/DeviceConnection.h"

namespace ixo {

TSerialPortDlg* SerialPortDlg = nullptr;

namespace {

// List rows of one fixed height.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    FixedRowDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), height_);
    }

private:
    int height_;
};

// A group box drawn the classic way: an etched frame whose top edge runs through the
// middle of the caption. Controls placed just under the caption lie inside the frame,
// where a style that puts the caption above the frame would cross them with it.
class ClassicGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect frame = rect().adjusted(0, metrics.height() / 2, -1, -1);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.adjusted(1, 1, 0, 0));
        const QRect caption(CaptionLeft, 0, metrics.horizontalAdvance(title()), metrics.height());
        painter.fillRect(caption, palette().window());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, title());
    }

private:
    static constexpr int CaptionLeft = 8;
};

// The empty list's tooltip: NoPortOpens as a sentence, from a capital letter.
QString NoPortTip() {
    QString tip =
        QString::fromLatin1(NoPortOpens.data(), static_cast<qsizetype>(NoPortOpens.size()));
    tip[0] = tip[0].toUpper();
    return tip;
}

}  // namespace

TSerialPortDlg::TSerialPortDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    // A fixed frame with a caption only: no close, minimise or maximise box.
    setWindowTitle(QString::fromUtf8("Выбор порта связи"));
    setFont(ClassicFont(Face::Sans));
    setFixedSize(ClientWidth, ClientHeight);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::NoFrame);
    Panel1->setGeometry(0, 0, 184, 44);

    GroupBox1 = new ClassicGroupBox(QString::fromUtf8("Выбор порта "), Panel1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(0, 0, 185, 44);
    Label1 = new QLabel(QStringLiteral("Com Port:"), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    // Sized to its text, as wide as a wider stand-in font needs.
    Label1->setGeometry(8, 16, std::max(46, Label1->sizeHint().width()), 13);

    PCPortSel = new QComboBox(GroupBox1);
    PCPortSel->setObjectName(QStringLiteral("PCPortSel"));
    PCPortSel->setEditable(false);
    PCPortSel->setFont(ClassicFont(Face::Fixed));
    PCPortSel->setItemDelegate(new FixedRowDelegate(14, PCPortSel));
    PCPortSel->setGeometry(64, 14, 113, 22);
    // Shown while the list is empty: no port to offer ("no ports").
    PCPortSel->setPlaceholderText(QString::fromUtf8("нет портов"));

    SerPortOK = new QPushButton(QString::fromUtf8("Да"), this);
    SerPortOK->setObjectName(QStringLiteral("SerPortOK"));
    SerPortOK->setGeometry(8, 48, 65, 25);
    connect(SerPortOK, &QPushButton::clicked, this, &QDialog::accept);

    SerPortCancel = new QPushButton(QString::fromUtf8("Нет"), this);
    SerPortCancel->setObjectName(QStringLiteral("SerPortCancel"));
    SerPortCancel->setGeometry(104, 48, 65, 25);
    connect(SerPortCancel, &QPushButton::clicked, this, &QDialog::reject);

    // OK first, then Cancel, then the list.
    setTabOrder(SerPortOK, SerPortCancel);
    setTabOrder(SerPortCancel, PCPortSel);
}

void TSerialPortDlg::SetPorts(const std::vector<OfferedPort>& ports, int own) {
    PCPortSel->clear();
    for (const OfferedPort& port : ports) {
        PCPortSel->addItem(QString::number(port.Number));
        PCPortSel->setItemData(PCPortSel->count() - 1, port.Tip, Qt::ToolTipRole);
    }
    PCPortSel->setToolTip(PCPortSel->count() == 0 ? NoPortTip() : QString());
    const int index = PCPortSel->findText(QString::number(own));
    if (index >= 0) {
        PCPortSel->setCurrentIndex(index);
    } else if (PCPortSel->count() > 0) {
        PCPortSel->setCurrentIndex(0);
    }
}

long TSerialPortDlg::ChosenPort() const {
    const std::string text = PCPortSel->currentText().toStdString();
    return std::strtol(text.c_str(), nullptr, 10);
}

void TSerialPortDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this, QSize(ClientWidth, ClientHeight), KeptSize::Inside);
    SerPortOK->setFocus();
}

}  // namespace ixo
