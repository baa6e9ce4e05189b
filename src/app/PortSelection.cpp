// The main window's link to the device and the choice of its port.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/MainFrm.h"
#include "app/OperatorDialogs.h"
#include "app/PCPrtSel.h"
#include "app/WindowText.h"
#include "link/Comport.h"
#include "link/PortProbe.h"
#include "ports/PortNames.h"

namespace ixo {

QString PortTip(const std::vector<NumberedPort>& found, int n) {
    QString tip = FromLocal(PortTarget(n));
    const NumberedPort* port = FindNumbered(found, n);
    if (port != nullptr && !port->Info.Description.empty()) {
        tip += QStringLiteral(" (%1)").arg(FromLocal(port->Info.Description));
    }
    return tip;
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
    TSerialPortDlg& dialog = PortDialogInUse();
    // The link's own port is probed too: it lets go of it meanwhile.
    if (Link) Link->Close();
    FoundPorts = FindPorts();
    std::vector<OfferedPort> offered;
    for (int n : ProbePorts()) offered.push_back({n, PortTip(FoundPorts, n)});
    if (Link) Link->Open();
    dialog.SetPorts(offered, Link ? Link->PortNumber : 0);
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
