// Port discovery and COM numbers against serial hardware faked with umockdev.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "AdapterTestbed.h"
#include "TempDir.h"
#include "link/Comport.h"
#include "ports/PortDiscovery.h"
#include "ports/PortNames.h"
#include "ports/PortNumbers.h"

namespace ixo::test {
namespace {

namespace fs = std::filesystem;

std::string ById(const UsbAdapter& adapter) {
    return "/dev/serial/by-id/" + adapter.StableName;
}

class AdapterPorts : public AdapterTest {
protected:
    // Each port found, as "number device".
    std::vector<std::string> Numbers() {
        std::vector<std::string> numbers;
        for (const NumberedPort& port : FindPorts()) {
            numbers.push_back(std::to_string(port.Number) + " " + port.Info.Device);
        }
        return numbers;
    }
};

TEST_F(AdapterPorts, DiscoveryListsSerialDevicesWithWhatTheySayOfThemselves) {
    Bed.Plug(FtdiAdapter());
    Bed.Plug(AcmAdapter());
    Bed.AddUart(1, 4);
    Bed.AddUart(12, 99);  // a kind of UART without a name of its own
    Bed.AddVirtualTty("tty1");

    // Each port as "device | stable name | description | USB ids, manufacturer, product,
    // serial number | the system's number".
    std::vector<std::string> found;
    for (const SerialPortInfo& port : DiscoverSerialPorts()) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", port.VendorId, port.ProductId);
        found.push_back(port.Device + " | " + port.StableName + " | " + port.Description + " | " +
                        (port.IsUsb ? "usb " : "") + ids + " " + port.Manufacturer + ", " +
                        port.Product + ", " + port.SerialNumber + " | " +
                        std::to_string(port.SystemComNumber));
    }
    const std::vector<std::string> expected = {
        "/dev/ttyACM0 | " + ById(AcmAdapter()) +
            " | Arduino Uno | usb 2341:0043 Arduino (www.arduino.cc), Arduino Uno, 75735323 | 0",
        "/dev/ttyS1 |  | 16550A UART | 0000:0000 , ,  | 2",
        "/dev/ttyS12 |  | UART | 0000:0000 , ,  | 13",
        "/dev/ttyUSB0 | " + ById(FtdiAdapter()) +
            " | FT232R USB UART | usb 0403:6001 FTDI, FT232R USB UART, A10K7ZQ1 | 0",
    };
    EXPECT_EQ(found, expected) << "no legacy ttyS node and no virtual terminal is a port";
}

TEST_F(AdapterPorts, AdaptersGetTheLowestFreeNumbersAndKeepThem) {
    ASSERT_TRUE(MapPort(1, Map.AbsentPath(1)));  // an entry takes its number
    Bed.AddUart(1, 4);                           // COM2
    Bed.Plug(AcmAdapter());
    Bed.Plug(FtdiAdapter());
    const std::vector<std::string> first = {"3 /dev/ttyACM0", "2 /dev/ttyS1", "4 /dev/ttyUSB0"};
    EXPECT_EQ(Numbers(), first);
    EXPECT_EQ(PortTarget(3), ById(AcmAdapter()));
    EXPECT_EQ(PortTarget(4), ById(FtdiAdapter()));
    EXPECT_EQ(Numbers(), first) << "a second look gave other numbers";
    EXPECT_EQ(MappedPorts(), (std::vector<int>{1, 3, 4}));

    // Out and in again elsewhere, on another tty, with the Arduino gone: the FTDI
    // adapter keeps its number, and the Arduino's stays reserved for it.
    Bed.Unplug("ttyUSB0");
    Bed.Unplug("ttyACM0");
    UsbAdapter moved = FtdiAdapter();
    moved.Name = "ttyUSB1";
    moved.Bus = "1-4";
    Bed.Plug(moved);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"2 /dev/ttyS1", "4 /dev/ttyUSB1"}));
    EXPECT_EQ(ResolvePort(4), ById(moved));
    EXPECT_EQ(MappedPorts(), (std::vector<int>{1, 3, 4}));
}

TEST_F(AdapterPorts, AnAdapterWhoseStableNameIsNotOnDiskYetKeepsOneNumber) {
    UsbAdapter settling = FtdiAdapter();
    settling.LinkOnDisk = false;
    Bed.Plug(settling);
    const std::vector<std::string> first = {"1 /dev/ttyUSB0"};
    EXPECT_EQ(Numbers(), first);
    EXPECT_EQ(ResolvePort(1), "/dev/ttyUSB0") << "the map must name what leads to the device";
    EXPECT_EQ(Numbers(), first) << "a second look gave another number";

    // An entry written under the name udev gives, before that name was there, is
    // still the adapter's.
    ASSERT_TRUE(UnmapPort(1));
    ASSERT_TRUE(MapPort(3, ById(settling)));
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"3 /dev/ttyUSB0"}));
    EXPECT_EQ(MappedPorts(), (std::vector<int>{3}));
}

TEST_F(AdapterPorts, AMapEntryWinsAndAFullMapLeavesAnAdapterWithoutNumber) {
    Bed.Plug(FtdiAdapter());
    ASSERT_TRUE(MapPort(6, "/dev/ttyUSB0"));
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"6 /dev/ttyUSB0"}));
    EXPECT_EQ(MappedPorts(), (std::vector<int>{6}));

    for (int n = 1; n <= HighestProbedPort; ++n) ASSERT_TRUE(MapPort(n, Map.AbsentPath(1)));
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"0 /dev/ttyUSB0"}));
}

// Map entries that are not what they seem, each beside the FTDI adapter.
TEST_F(AdapterPorts, OddMapEntriesLeaveTheAdapterItsNumber) {
    Bed.Plug(FtdiAdapter());
    Bed.Link("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyUSB0");
    Bed.Link("/dev/ixo-box", "ttyUSB0");
    const fs::path folder = PortMapFolder();
    struct Case {
        const char* What;
        std::function<void()> Arrange;
        int Number;  // the adapter's
    };
    const Case cases[] = {
        {"COM1 to COM7 taken: the last free number",
         [&] {
             for (int n = 1; n <= 7; ++n) ASSERT_TRUE(MapPort(n, Map.AbsentPath(n)));
         },
         8},
        {"an entry leads to it through its by-path link",
         [] { ASSERT_TRUE(MapPort(5, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0")); },
         5},
        {"an entry leads to it through an alias", [] { ASSERT_TRUE(MapPort(3, "/dev/ixo-box")); },
         3},
        {"com01 is no entry of COM1",
         [&] { fs::create_symlink(Map.AbsentPath(1), folder / "com01"); }, 1},
        {"a change of COM1 left half-done",
         [&] { fs::create_symlink(Map.AbsentPath(1), folder / "com1.new"); }, 1},
    };
    for (const Case& c : cases) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        c.Arrange();
        EXPECT_EQ(Numbers(), (std::vector<std::string>{std::to_string(c.Number) + " /dev/ttyUSB0"}))
            << c.What;
        EXPECT_EQ(ResolvePort(c.Number), PortTarget(c.Number)) << c.What;
    }
}

TEST_F(AdapterPorts, ABrokenPortMapOpensNothing) {
    Bed.AddUart(1, 4);  // what COM2 would fall back to
    const fs::path folder = PortMapFolder();
    const std::string entry = (folder / "com2").string();
    struct Case {
        const char* What;
        void (*Break)(const fs::path& folder);
        std::string Error;
    };
    const Case cases[] = {
        {"the folder is a file", [](const fs::path& f) { WriteBytes(f.string(), ""); },
         folder.string() + ": not a folder"},
        {"the entry is a file",
         [](const fs::path& f) {
             fs::create_directories(f);
             WriteBytes((f / "com2").string(), "/dev/ttyS1");
         },
         entry + ": not a symbolic link"},
        {"the entry points nowhere",
         [](const fs::path& f) {
             fs::create_directories(f);
             fs::create_symlink(f / "gone", f / "com2");
         },
         (folder / "gone").string() + ": No such file or directory"},
    };
    for (const Case& c : cases) {
        fs::remove_all(folder.parent_path());
        fs::create_directories(folder.parent_path());
        c.Break(folder);
        ComPort port;
        port.PortNumber = 2;
        EXPECT_FALSE(port.Open()) << c.What;
        EXPECT_EQ(port.OpenError(), c.Error) << c.What;
    }
    fs::remove_all(folder);
    ComPort port;
    port.PortNumber = 2;
    EXPECT_TRUE(port.Open()) << "with no entry COM2 is ttyS1: " << port.OpenError();
}

}  // namespace
}  // namespace ixo::test
