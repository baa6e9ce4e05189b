#include "link/PCPrtSel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>

#include <algorithm>

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

// family, or where it is missing the metric twin of the common face that stands in
// for it.
QFont FontOf(const char* family, const char* standIn, QFont::StyleHint hint, int points) {
    QFont font;
    font.setFamilies({QString::fromLatin1(family), QString::fromLatin1(standIn)});
    font.setStyleHint(hint);
    font.setPointSize(points);
    return font;
}

}  // namespace

TSerialPortDlg::TSerialPortDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    // A fixed frame with a caption only: no close, minimise or maximise box.
    setWindowTitle(QString::fromUtf8("Выбор порта связи"));
    setFont(FontOf("MS Sans Serif", "Liberation Sans", QFont::SansSerif, 8));
    setFixedSize(ClientWidth, ClientHeight);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::NoFrame);
    Panel1->setGeometry(0, 0, 184, 44);

    GroupBox1 = new QGroupBox(QString::fromUtf8("Выбор порта "), Panel1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(0, 0, 185, 44);

    Label1 = new QLabel(QStringLiteral("Com Port:"), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    // Sized to its text, as wide as a wider stand-in font needs.
    Label1->setGeometry(8, 16, std::max(46, Label1->sizeHint().width()), 13);

    PCPortSel = new QComboBox(GroupBox1);
    PCPortSel->setObjectName(QStringLiteral("PCPortSel"));
    PCPortSel->setEditable(false);
    PCPortSel->setFont(FontOf("Courier New", "Liberation Mono", QFont::TypeWriter, 8));
    PCPortSel->setItemDelegate(new FixedRowDelegate(14, PCPortSel));
    PCPortSel->setGeometry(64, 14, 113, 22);

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

void TSerialPortDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* here = screen()) {
        QRect outer = frameGeometry();
        outer.moveCenter(here->availableGeometry().center());
        move(outer.topLeft());
    }
    SerPortOK->setFocus();
}

}  // namespace ixo
