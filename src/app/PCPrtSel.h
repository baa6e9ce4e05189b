#pragma once

#include <QDialog>
#include <QString>

#include <vector>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

namespace ixo {

// A port the dialog offers: its number, and its tooltip, which names the device.
struct OfferedPort {
    int Number;
    QString Tip;
};

// The port selection dialog: a list of the port numbers that opened when probed,
// with OK and Cancel. The main window gives it the ports, shows it and reads the
// choice.
class TSerialPortDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 184;
    static constexpr int ClientHeight = 76;

    explicit TSerialPortDlg(QWidget* parent = nullptr);

    // Lists ports in their order and selects own where it is listed, else the first;
    // an empty list says so in its tooltip.
    void SetPorts(const std::vector<OfferedPort>& ports, int own);
    // The number of the port chosen, read as a C library would: leading blanks and a
    // sign allowed, digits up to the first other character, nothing at all is 0.
    long ChosenPort() const;

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
