// The window with a USB serial adapter plugged in, faked with umockdev and served by
// the simulated device.

#include <QComboBox>
#include <QLabel>
#include <QToolButton>

#include <gtest/gtest.h>

#include "AdapterTestbed.h"
#include "TestFrame.h"
#include "app/PanelStatusBar.h"
#include "link/Comport.h"
#include "link/PortNames.h"

namespace ixo::test {
namespace {

TEST(AdapterWindow, AnAdapterIsFoundUnderANumberWhoseTooltipNamesIt) {
    AdapterTestbed bed;
    ASSERT_TRUE(bed.Ready());
    OwnPorts ports;
    UnmapPort(2);  // the lowest free number; ttyS1 has no UART behind it
    bed.Plug(FtdiAdapter());
    sim::SimDevice device(bed.Master("ttyUSB0"));
    std::string why;
    ASSERT_TRUE(device.Start(&why)) << why;

    TestFrame frame;  // numbers ports as it starts
    const QString named = QString::fromStdString("/dev/serial/by-id/" + FtdiAdapter().StableName +
                                                 " (FT232R USB UART)");
    QStringList items;
    QString tip;
    frame.PortDialog = [&](TSerialPortDlg& dialog) {
        for (int i = 0; i < dialog.PCPortSel->count(); ++i) items << dialog.PCPortSel->itemText(i);
        tip = dialog.PCPortSel->itemData(0, Qt::ToolTipRole).toString();
        dialog.PCPortSel->setCurrentIndex(0);
        return true;
    };
    frame.SetSerialPortBtn->click();
    EXPECT_EQ(items, QStringList{"2"});
    EXPECT_EQ(tip, named);
    ASSERT_TRUE(frame.LinkIsOpen()) << frame.Link->OpenError();
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com2");
    EXPECT_EQ(frame.ComStatusBar->Panel(0)->toolTip(), named);
}

}  // namespace
}  // namespace ixo::test
