// The main window's link to the device and the choice of its port.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/MainFrm.h"
#include "app/OperatorDialogs.h"
#include "app/PCPrtSel.h"
#include "app/WindowText.h"
#include "operations/DeviceConnection.h"

namespace ixo {

void TMainFrame::OpenLink(int n) {
    // Silent: UpdateStatus shows why a port did not open.
    Connection.Open({n, ""});
}

void TMainFrame::SelectPort() {
    TSerialPortDlg& dialog = PortDialogInUse();
    // The link's own port is probed too: it lets go of it meanwhile.
    Connection.Close();
    FoundPorts = FindPorts();
    std::vector<OfferedPort> offered;
    for (const DescribedPort& port : OpenPorts(FoundPorts)) {
        offered.push_back({port.Number, FromLocal(PortTip(port))});
    }
    Connection.Reopen();
    dialog.SetPorts(offered, Connection.Link().PortNumber);
    if (!dialogs_->ExecPortDialog(dialog)) return;

    // The port number is 8 bits wide.
    PortNumber = static_cast<std::int8_t>(dialog.ChosenPort());
    OpenLink(PortNumber);
}

TSerialPortDlg& TMainFrame::PortDialogInUse() {
    // A window given no dialog (tests build such windows) builds its own when it first
    // needs one, and makes it the program's if the program has none.
    if (portDialog_ == nullptr) {
        ownPortDialog_ = std::make_unique<TSerialPortDlg>();
        portDialog_ = ownPortDialog_.get();
        if (SerialPortDlg == nullptr) SerialPortDlg = portDialog_;
    }
    return *portDialog_;
}

void TMainFrame::SetPortDialog(TSerialPortDlg* dialog) {
    portDialog_ = dialog;
}

void TMainFrame::SetSerialPortBtnClick() {
    SelectPort();
    UpdateStatus();
}

}  // namespace ixo
