#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "IxoProcess.h"
#include "OwnPortMap.h"
#include "SimPort.h"
#include "TempDir.h"
#include "TtyHolder.h"
#include "ports/PortNames.h"

namespace ixo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Sets the output speed of tty, or reads it (with speed 0).
speed_t TtySpeed(const std::string& tty, speed_t speed = 0) {
    const int fd = ::open(tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios line{};
    if (fd < 0 || ::tcgetattr(fd, &line) != 0) return 0;
    if (speed != 0 && (::cfsetspeed(&line, speed) != 0 || ::tcsetattr(fd, TCSANOW, &line) != 0)) {
        speed = 0;
    }
    const speed_t now = ::cfgetospeed(&line);
    ::close(fd);
    return now;
}

// A simulated device on COM3 of a port map of the test's own, which ixo inherits.
class PortsCommandTest : public ::testing::Test {
protected:
    IxoResult Ports(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"ports"};
        all.insert(all.end(), args.begin(), args.end());
        return RunIxo(all, output_.Path().string());
    }

    OwnPortMap ports_;
    SimPort com3_{3};
    sim::SimDevice& device_ = com3_.Device;
    TempDir output_;
};

TEST_F(PortsCommandTest, ListsThePortsThatOpenWithTheirDevices) {
    const IxoResult result = Ports({});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "3\t" + device_.DevicePath() + "\n");
    EXPECT_EQ(result.Err, "");
}

TEST_F(PortsCommandTest, MapAndUnmapChangeThePortMap) {
    IxoResult result = Ports({"--map", "6", device_.DevicePath()});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    result = Ports({});
    EXPECT_EQ(result.Out, "3\t" + device_.DevicePath() + "\n6\t" + device_.DevicePath() + "\n");

    // A relative device is kept as the absolute path it named where ixo ran (ixo
    // runs in the output folder).
    result = Ports({"--map", "6", "relative/tty"});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(PortTarget(6), output_.File("relative/tty"));

    // The highest port number ixo takes.
    ASSERT_EQ(Ports({"--map", "127", "/dev/ttyUSB0"}).ExitStatus, 0);
    EXPECT_EQ(PortTarget(127), "/dev/ttyUSB0");

    result = Ports({"--unmap", "6"});
    ASSERT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_FALSE(fs::is_symlink(fs::path(PortMapFolder()) / "com6"));
    EXPECT_EQ(PortDevicePath(6), "/dev/ttyS5");
}

TEST_F(PortsCommandTest, AllListsEveryMapEntryWithWhereItLeadsAndWhyItDoesNotOpen) {
    ASSERT_EQ(Ports({"--map", "5", output_.File("plain")}).ExitStatus, 0);
    ASSERT_EQ(Ports({"--map", "6", "/dev/null"}).ExitStatus, 0);
    WriteBytes(output_.File("plain"), "");
    const IxoResult result = Ports({"--all"});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    const std::string lines[] = {
        "\n3\t" + device_.DevicePath() + "\t-\tport map entry\n",
        "\n1\t" + ports_.AbsentPath(1) + "\t-\tport map entry\tNo such file or directory\n",
        "\n5\t" + output_.File("plain") + "\t-\tport map entry\tnot a serial port\n",
        "\n6\t/dev/null\t-\tport map entry\tnot a serial port\n",
    };
    for (const std::string& line : lines) {
        EXPECT_NE(("\n" + result.Out).find(line), std::string::npos) << line << "in\n"
                                                                     << result.Out;
    }
}

TEST_F(PortsCommandTest, MapSaysWhenTheDeviceDoesNotExistYet) {
    const std::string absent = "/dev/serial/by-id/usb-not-plugged-in";
    IxoResult result = Ports({"--map", "4", absent});
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Err,
              "ixo: " + absent + " does not exist yet; COM4 leads to it once it does\n");
    EXPECT_EQ(PortTarget(4), absent);

    result = Ports({"--map", "4", device_.DevicePath()});
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Err, "");
}

TEST_F(PortsCommandTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"--map"},
        {"--map", "1"},
        {"--map", "0", "/dev/ttyUSB0"},
        {"--map", "128", "/dev/ttyUSB0"},
        {"--map", "1x", "/dev/ttyUSB0"},
        {"--map", "1", "/dev/a", "extra"},
        {"--map", "1", ""},
        {"--unmap"},
        {"--unmap", "-1"},
        {"--bogus"},
        {"extra"},
    };
    for (const auto& args : cases) {
        const IxoResult result = Ports(args);
        EXPECT_EQ(result.ExitStatus, 2) << args.size() << " " << args[0];
        EXPECT_NE(result.Err.find("ixo: "), std::string::npos) << result.Err;
        EXPECT_EQ(result.Out, "");
    }
    EXPECT_EQ(PortTarget(1), ports_.AbsentPath(1)) << "a usage error changed the map";
}

TEST_F(PortsCommandTest, AMapThatCannotBeWrittenFailsWithTheReason) {
    const std::string notAFolder = output_.File("plain-file");
    WriteBytes(notAFolder, "");
    const IxoResult result = RunIxo({"ports", "--map", "1", "/dev/ttyUSB0"},
                                    output_.Path().string(), {{"XDG_CONFIG_HOME", notAFolder}});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err.rfind("ixo: " + notAFolder + "/ixo-loader/ports: ", 0), 0u) << result.Err;
}

TEST_F(PortsCommandTest, APortThatAnotherProgramHoldsIsLeftOutAndLeftAlone) {
    const std::string tty = device_.DevicePath();
    // A speed that ixo would change, to see that it did not.
    ASSERT_EQ(TtySpeed(tty, B1200), B1200);
    struct Case {
        TtyHolder::How How;
        std::string Says;  // before the holder's pid
    };
    const Case cases[] = {
        {TtyHolder::How::Open, tty + ": in use by sleep (pid "},
        {TtyHolder::How::ControllingTerminal, tty + " is the terminal of sleep (pid "},
    };
    for (const Case& held : cases) {
        const TtyHolder holder(tty, held.How);
        ASSERT_GT(holder.Pid(), 0);
        const std::string says = held.Says + std::to_string(holder.Pid()) + ")";
        EXPECT_EQ(Ports({}).Out, "") << says;
        const IxoResult enable = RunIxo({"enable", "--port", "3"}, output_.Path().string());
        EXPECT_EQ(enable.ExitStatus, 1);
        EXPECT_EQ(enable.Err, "ixo: COM port not opened: COM3: " + says + "\n");
        EXPECT_FALSE(device_.WaitForReceived(1, 1s)) << says;
        EXPECT_EQ(TtySpeed(tty), B1200) << says;
    }
    // Let go, the port is free again.
    EXPECT_EQ(Ports({}).Out, "3\t" + tty + "\n");
}

}  // namespace
}  // namespace ixo::test
