// Port discovery and COM numbers against serial hardware faked with umockdev.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "AdapterTestbed.h"
#include "TempDir.h"
#include "link/Comport.h"
#include "link/PortDiscovery.h"
#include "link/PortNames.h"
#include "link/PortNumbers.h"

namespace ixo::test {
namespace {

namespace fs = std::filesystem;

std::string ById(const UsbAdapter& adapter) {
    return "/dev/serial/by-id/" + adapter.StableName;
}

// A testbed and a port map of the test's own.
class AdapterPorts : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bed_.Ready());
        ::setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
    }

    // Each port found, as "number device".
    std::vector<std::string> Numbers() {
        std::vector<std::string> numbers;
        for (const NumberedPort& port : FindPorts()) {
            numbers.push_back(std::to_string(port.Number) + " " + port.Info.Device);
        }
        return numbers;
    }

    AdapterTestbed bed_;
    TempDir config_;
};

TEST_F(AdapterPorts, DiscoveryListsSerialDevicesWithWhatTheySayOfThemselves) {
    bed_.Plug(FtdiAdapter());
    bed_.Plug(AcmAdapter());
    bed_.AddUart(1, 4);
    bed_.AddUart(12, 99);  // a kind of UART without a name of its own
    bed_.AddVirtualTty("tty1");

    const std::vector<SerialPortInfo> found = DiscoverSerialPorts();
    struct Expected {
        std::string Device, StableName, Description;
        bool IsUsb;
        std::uint16_t VendorId, ProductId;
        std::string Manufacturer, Product, SerialNumber;
        int SystemComNumber;
    };
    const UsbAdapter ftdi = FtdiAdapter();
    const UsbAdapter acm = AcmAdapter();
    const std::vector<Expected> expected = {
        {"/dev/ttyACM0", ById(acm), "Arduino Uno", true, 0x2341, 0x0043, acm.Manufacturer,
         "Arduino Uno", acm.SerialNumber, 0},
        {"/dev/ttyS1", "", "16550A UART", false, 0, 0, "", "", "", 2},
        {"/dev/ttyS12", "", "UART", false, 0, 0, "", "", "", 13},
        {"/dev/ttyUSB0", ById(ftdi), "FT232R USB UART", true, 0x0403, 0x6001, "FTDI",
         "FT232R USB UART", "A10K7ZQ1", 0},
    };
    ASSERT_EQ(found.size(), expected.size()) << "the legacy ttyS nodes or tty1 were listed";
    for (std::size_t i = 0; i < found.size(); ++i) {
        const SerialPortInfo& port = found[i];
        const Expected& want = expected[i];
        SCOPED_TRACE(want.Device);
        EXPECT_EQ(port.Device, want.Device);
        EXPECT_EQ(port.StableName, want.StableName);
        EXPECT_EQ(port.Description, want.Description);
        EXPECT_EQ(port.IsUsb, want.IsUsb);
        EXPECT_EQ(port.VendorId, want.VendorId);
        EXPECT_EQ(port.ProductId, want.ProductId);
        EXPECT_EQ(port.Manufacturer, want.Manufacturer);
        EXPECT_EQ(port.Product, want.Product);
        EXPECT_EQ(port.SerialNumber, want.SerialNumber);
        EXPECT_EQ(port.SystemComNumber, want.SystemComNumber);
    }
}

TEST_F(AdapterPorts, AdaptersGetTheLowestFreeNumbersAndKeepThem) {
    ASSERT_TRUE(MapPort(1, config_.File("absent")));  // an entry takes its number
    bed_.AddUart(1, 4);                               // COM2
    bed_.Plug(AcmAdapter());
    bed_.Plug(FtdiAdapter());
    const std::vector<std::string> first = {"3 /dev/ttyACM0", "2 /dev/ttyS1", "4 /dev/ttyUSB0"};
    EXPECT_EQ(Numbers(), first);
    EXPECT_EQ(PortTarget(3), ById(AcmAdapter()));
    EXPECT_EQ(PortTarget(4), ById(FtdiAdapter()));
    EXPECT_EQ(Numbers(), first) << "a second look gave other numbers";
    EXPECT_EQ(MappedPorts(), (std::vector<int>{1, 3, 4}));

    // Out and in again elsewhere, on another tty, with the Arduino gone: the FTDI
    // adapter keeps its number, and the Arduino's stays reserved for it.
    bed_.Unplug("ttyUSB0");
    bed_.Unplug("ttyACM0");
    UsbAdapter moved = FtdiAdapter();
    moved.Name = "ttyUSB1";
    moved.Bus = "1-4";
    bed_.Plug(moved);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"2 /dev/ttyS1", "4 /dev/ttyUSB1"}));
    EXPECT_EQ(ResolvePort(4), ById(moved));
    EXPECT_EQ(MappedPorts(), (std::vector<int>{1, 3, 4}));
}

TEST_F(AdapterPorts, AMapEntryWinsAndAFullMapLeavesAnAdapterWithoutNumber) {
    bed_.Plug(FtdiAdapter());
    ASSERT_TRUE(MapPort(6, "/dev/ttyUSB0"));
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"6 /dev/ttyUSB0"}));
    EXPECT_EQ(MappedPorts(), (std::vector<int>{6}));

    for (int n = 1; n <= HighestProbedPort; ++n) ASSERT_TRUE(MapPort(n, config_.File("absent")));
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"0 /dev/ttyUSB0"}));
}

TEST_F(AdapterPorts, ABrokenPortMapOpensNothing) {
    bed_.AddUart(1, 4);  // what COM2 would fall back to
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
