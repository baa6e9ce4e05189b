// The window on Windows, against simulated devices that the Linux side has started
// and entered as COM ports (tests/windows/window-under-wine.sh). IXO_TEST_PORTS says
// which port plays which part; IXO_TEST_TRACES names the folder where each device
// traces what it receives, as simN.trace.

#include <windows.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestFrame.h"
#include "WineParts.h"
#include "app/PanelStatusBar.h"
#include "link/Comport.h"

namespace ixo::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// The word the device on the "answering" port holds as its CW word.
constexpr const char* DeviceCw = "CW=0BADF00D";

// Every byte the device on COMn has received, from its trace.
Bytes Received(int n) {
    const char* folder = std::getenv("IXO_TEST_TRACES");
    std::ifstream trace(std::string(folder != nullptr ? folder : ".") + "/sim" + std::to_string(n) +
                        ".trace");
    Bytes bytes;
    for (std::string line; std::getline(trace, line);) {
        std::istringstream fields(line);
        std::string time, event, hex;
        fields >> time >> event;
        if (event != "recv") continue;
        while (fields >> hex)
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16)));
    }
    return bytes;
}

// What the device on COMn receives from now on.
class DeviceInput {
public:
    explicit DeviceInput(int n) : n_(n), seen_(Received(n).size()) {}

    // The bytes received since the last call (or the start) once count of them have
    // come, or after 10 s whatever came; a short settling time lets any extra show.
    Bytes Next(std::size_t count) {
        Bytes all = Received(n_);
        for (int i = 0; i < 200 && all.size() < seen_ + count; ++i) {
            std::this_thread::sleep_for(50ms);
            all = Received(n_);
        }
        std::this_thread::sleep_for(100ms);
        all = Received(n_);
        Bytes fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return fresh;
    }

private:
    int n_;
    std::size_t seen_;
};

// Another program's hold on COMn: the port opened with share mode 0.
class HeldPort {
public:
    explicit HeldPort(int n) {
        const std::wstring path = L"\\\\.\\COM" + std::to_wstring(n);
        handle_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    }
    ~HeldPort() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// The line rate COMn was last set to, as the port reports it without setting it.
DWORD LineRate(int n) {
    const std::wstring path = L"\\\\.\\COM" + std::to_wstring(n);
    HANDLE port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return 0;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const bool read = GetCommState(port, &dcb);
    CloseHandle(port);
    return read ? dcb.BaudRate : 0;
}

// A file's bytes, and a file written, by a UTF-8 name, through Qt, which passes the
// name to Windows whole (the C library would take it in the ANSI code page).
QByteArray FileBytes(const QString& name) {
    QFile file(name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

void PutFile(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

class WindowOnWindows : public testing::Test {
protected:
    void SetUp() override {
        // Wine ends the wait for the transmitter to empty from a helper thread it
        // starts for it, which on a loaded machine can take longer than a byte's time
        // limit (Windows ends it as the last byte leaves): the link's limits are
        // widened under Wine, as the link's own tests widen them for sends.
        if (RunningUnderWine()) frame.Connection.Link().ByteTimeFactor = 200;
    }

    QString File(const std::string& name) const { return QString::fromStdString(dir.File(name)); }

    void Open(const std::string& path) {
        frame.OpenAnswers.push_back(QString::fromStdString(path));
        frame.OpenFileBtn->click();
    }

    // Chooses item in the program list as the operator does.
    void Choose(int item) {
        frame.IntProgSelCb->setCurrentIndex(item);
        emit frame.IntProgSelCb->activated(item);
    }

    // Which ports the port dialog listed when its button was clicked; answers it
    // with OK on pick, or Cancel when pick is empty.
    QStringList PortDialogItems(const QString& pick = QString()) {
        QStringList items;
        frame.PortDialog = [&](TSerialPortDlg& dialog) {
            items = Items(dialog.PCPortSel);
            if (pick.isEmpty()) return false;
            dialog.PCPortSel->setCurrentIndex(dialog.PCPortSel->findText(pick));
            return true;
        };
        frame.SetSerialPortBtn->click();
        return items;
    }

    OwnPorts ports;
    TempDir dir;
    TestFrame frame;
};

// The window opens COM1 at start, at the working rate, and says so in its status
// bar; the port's tooltip is the system's name for it.
TEST_F(WindowOnWindows, StartsWithTheLinkOpenOnCom1) {
    ASSERT_EQ(PortOf("answering"), 1);
    ASSERT_TRUE(frame.LinkIsOpen());
    EXPECT_EQ(frame.Connection.Link().PortNumber, 1);
    EXPECT_EQ(frame.Connection.Link().BaudRate(), 38400);
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), "Com1");
    EXPECT_EQ(frame.ComStatusBar->Panel(0)->toolTip(), "\\\\.\\COM1");
    EXPECT_EQ(frame.StatusBar->PanelText(1), "") << "nothing is wrong with the port";
    EXPECT_TRUE(frame.ReadProgBtn->isEnabled());
    EXPECT_TRUE(frame.ProgDisBtn->isEnabled());
    EXPECT_FALSE(frame.WriteProgtBtn->isEnabled()) << "no program yet";
}

// A program under a name in Cyrillic opens, lists, and saves back byte for byte, CR
// LF and all; its listing saves too.
TEST_F(WindowOnWindows, OpenAndSaveUnderWindowsNames) {
    const QByteArray object = "00000000\r\n0BADF00D\r\n7FFFFFFF\r\n";
    const QString original = File("\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3.obj");  // "Прог"
    PutFile(original, object);
    Open(original.toStdString());
    ASSERT_TRUE(frame.Messages.empty()) << frame.Messages[0].Text.toStdString();
    EXPECT_EQ(frame.Image.WordCount, 3);
    EXPECT_EQ(frame.AsmOut->document()->blockCount(), 3);
    EXPECT_EQ(QString::fromStdString(frame.FileName), original);

    const QString copy = File("\xD0\x9A\xD0\xBE\xD0\xBF\xD0\xB8\xD1\x8F.obj");  // "Копия"
    const QString listing = File("listing.asm");
    frame.SaveAnswers = {copy, listing};
    frame.SaveObjFileBtn->click();
    frame.SaveAsmFileBtn->click();
    ASSERT_TRUE(frame.Messages.empty()) << frame.Messages[0].Text.toStdString();
    EXPECT_EQ(FileBytes(copy), object);
    const QByteArray asmText = FileBytes(listing);
    EXPECT_EQ(asmText.count('\n'), 3) << asmText.toStdString();
    EXPECT_FALSE(asmText.contains("\r\r")) << "a line end doubled";

    // What cannot be written says so and keeps the project.
    frame.SaveAnswers = {File("missing\\folder\\x.obj")};
    frame.SaveObjFileBtn->click();
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbIconError);
    EXPECT_TRUE(frame.Messages[0].Text.startsWith("Can't write file"))
        << frame.Messages[0].Text.toStdString();
    EXPECT_EQ(QString::fromStdString(frame.FileName), listing);
}

// Write, then Verify against the device, then Read back what it holds.
TEST_F(WindowOnWindows, WriteVerifyAndReadTheDevice) {
    const int n = PortOf("answering");
    DeviceInput device(n);
    const std::string program = "12345678\r\n9ABCDEF0\r\n0000FFFF\r\n00C0FFEE\r\n";
    WriteBytes(dir.File("prog.obj"), program);
    Open(dir.File("prog.obj"));
    ASSERT_EQ(frame.Image.WordCount, 4);

    frame.WriteProgtBtn->click();
    EXPECT_TRUE(frame.Messages.empty()) << frame.Messages[0].Text.toStdString();
    // 128 words of 11 bytes each: the program and its filler.
    EXPECT_EQ(device.Next(1408).size(), 1408u);

    frame.VerifyProgBtn->click();
    ASSERT_EQ(frame.Messages.size(), 1u);
    EXPECT_EQ(frame.Messages[0].Text, "Verify OK");
    EXPECT_EQ(frame.Messages[0].Flags, TMainFrame::MbNoIcon);

    const ProgramImage written = frame.Image;
    frame.Image = ProgramImage{};
    frame.BuildListing();
    frame.ReadProgBtn->click();
    ASSERT_EQ(frame.Messages.size(), 1u) << frame.Messages.back().Text.toStdString();
    EXPECT_EQ(frame.Image.WordCount, 128);
    EXPECT_TRUE(
        std::equal(written.Words.begin(), written.Words.begin() + 128, frame.Image.Words.begin()));
    EXPECT_EQ(frame.AsmOut->document()->blockCount(), 129);
    EXPECT_EQ(frame.StatusBar->PanelText(0), DeviceCw);
}

// The program selector and the mode buttons send their one byte each.
TEST_F(WindowOnWindows, ProgramSelectorAndModeButtonsSendTheirBytes) {
    DeviceInput device(PortOf("answering"));
    Choose(7);  // Plate 2
    EXPECT_EQ(device.Next(1), Bytes{0x96});
    EXPECT_FALSE(frame.ProgEnabled);
    frame.ProgEnBtn->click();
    EXPECT_EQ(device.Next(1), Bytes{0x8A});
    EXPECT_EQ(frame.IntProgSelCb->currentText(), "Ext");
    Choose(16);  // Rotary speaker
    EXPECT_EQ(device.Next(1), Bytes{0x9F});
    Choose(0);
    EXPECT_EQ(device.Next(1), Bytes{0x8A});
    frame.ProgDisBtn->click();
    EXPECT_EQ(device.Next(1), Bytes{0x89});
    EXPECT_TRUE(frame.Messages.empty());
}

// The port dialog lists the COM ports that open, a silent device's too, probing each
// at 9600 bit/s; OK moves the link to the chosen one at the working rate.
TEST_F(WindowOnWindows, PortDialogListsTheComPortsThatOpenAndMovesTheLink) {
    const int other = PortOf("other");
    // The link leaves the other port at the working rate.
    frame.OpenLink(other);
    frame.OpenLink(1);
    ASSERT_EQ(LineRate(other), 38400u);
    const QStringList expected{"1", QString::number(other), QString::number(PortOf("silent"))};
    EXPECT_EQ(PortDialogItems(), expected);
    EXPECT_EQ(LineRate(other), 9600u) << "the probe sets the line to 9600 bit/s";
    EXPECT_TRUE(frame.LinkIsOpen()) << "Cancel leaves the link on its port";
    EXPECT_EQ(frame.Connection.Link().PortNumber, 1);

    EXPECT_EQ(PortDialogItems(QString::number(other)), expected);
    ASSERT_TRUE(frame.LinkIsOpen());
    EXPECT_EQ(frame.Connection.Link().PortNumber, other);
    EXPECT_EQ(frame.Connection.Link().BaudRate(), 38400);
    EXPECT_EQ(frame.ComStatusBar->PanelText(0), QStringLiteral("Com%1").arg(other));
}

// Failures are said in error boxes; the program and the listing stay.
TEST_F(WindowOnWindows, ErrorBoxes) {
    WriteBytes(dir.File("prog.obj"), "00000001\r\n00000002\r\n");
    Open(dir.File("prog.obj"));
    const QString listing = frame.AsmOut->toPlainText();

    frame.OpenLink(PortOf("silent"));
    ASSERT_TRUE(frame.LinkIsOpen());
    frame.ReadProgBtnClick();
    frame.OpenLink(PortOf("absent"));
    EXPECT_FALSE(frame.LinkIsOpen());
    frame.WriteProgtBtnClick();
    frame.OpenLink(PortOf("answering"));
    Open(dir.File("missing.obj"));

    ASSERT_EQ(frame.Messages.size(), 3u);
    EXPECT_EQ(frame.Messages[0].Text, "No response from device at address 0");
    EXPECT_EQ(frame.Messages[1].Text, "COM port not opened");
    EXPECT_EQ(frame.Messages[2].Text,
              QString::fromStdString("Can't open file \"" + dir.File("missing.obj") + "\""));
    for (const ShownMessage& shown : frame.Messages) {
        EXPECT_EQ(shown.Flags, TMainFrame::MbIconError) << shown.Text.toStdString();
    }
    EXPECT_EQ(frame.Image.WordCount, 2);
    EXPECT_EQ(frame.AsmOut->toPlainText(), listing);
}

// A port another program holds with share mode 0 is neither offered nor opened.
TEST_F(WindowOnWindows, PortAnotherProgramHoldsIsLeftOut) {
    const int other = PortOf("other");
    const HeldPort held(other);
    ASSERT_TRUE(held.Held());
    const QStringList items = PortDialogItems();
    frame.OpenLink(other);
    const bool opened = frame.LinkIsOpen();
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine does not enforce share mode 0 on a pseudo-terminal";
    }
    EXPECT_FALSE(items.contains(QString::number(other)));
    EXPECT_FALSE(opened);
    EXPECT_NE(frame.StatusBar->PanelText(1), "") << "the hint area says why";
}

}  // namespace
}  // namespace ixo::test
