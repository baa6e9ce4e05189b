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
#include "ports/PortNames.h"
#include "sim/SimDevice.h"

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
    ASSERT_TRUE(frame.LinkIsOpen()) << frame.Connection.Link().OpenError();
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com2");
    EXPECT_EQ(frame.ComStatusBar->Panel(0)->toolTip(), named);
}

// An adapter present at start is numbered before COM1 opens, so the window starts on
// it; one plugged in while the window runs is numbered when the port dialog opens.
TEST(AdapterWindow, AdaptersAreNumberedAtStartAndWhenThePortDialogOpens) {
    AdapterTestbed bed;
    ASSERT_TRUE(bed.Ready());
    OwnPorts ports;
    UnmapPort(1);
    UnmapPort(2);
    bed.Plug(FtdiAdapter());
    sim::SimDevice ftdi(bed.Master("ttyUSB0"));
    std::string why;
    ASSERT_TRUE(ftdi.Start(&why)) << why;

    TestFrame frame;
    EXPECT_TRUE(frame.LinkIsOpen()) << frame.Connection.Link().OpenError();
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com1");

    bed.Plug(AcmAdapter());
    sim::SimDevice acm(bed.Master("ttyACM0"));
    ASSERT_TRUE(acm.Start(&why)) << why;
    QStringList items;
    frame.PortDialog = [&](TSerialPortDlg& dialog) {
        for (int i = 0; i < dialog.PCPortSel->count(); ++i) items << dialog.PCPortSel->itemText(i);
        dialog.PCPortSel->setCurrentIndex(dialog.PCPortSel->findText("2"));
        return true;
    };
    frame.SetSerialPortBtn->click();
    EXPECT_EQ(items, (QStringList{"1", "2"}));
    ASSERT_TRUE(frame.LinkIsOpen()) << frame.Connection.Link().OpenError();
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com2");
}

}  // namespace
}  // namespace ixo::test
