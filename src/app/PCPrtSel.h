#pragma once

#include <QDialog>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

namespace ixo {

// The port selection dialog: a list of the port numbers that opened when probed,
// with OK and Cancel. It has no logic of its own; the main window fills the list,
// shows the dialog and reads the choice.
class TSerialPortDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 184;
    static constexpr int ClientHeight = 76;

    explicit TSerialPortDlg(QWidget* parent = nullptr);

    QFrame* Panel1;
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QComboBox* PCPortSel;
    QPushButton* SerPortOK;
    QPushButton* SerPortCancel;

protected:
    void showEvent(QShowEvent* event) override;
};

// The one port selection dialog of the program; set by main().
extern TSerialPortDlg* SerialPortDlg;

}  // namespace ixo
