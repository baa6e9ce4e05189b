// ixo with a USB serial adapter, faked with umockdev, whose pseudo-terminal the
// simulated device serves.

#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

#include "AdapterTestbed.h"
#include "IxoProcess.h"
#include "OtherUser.h"
#include "TempDir.h"
#include "link/Comport.h"
#include "ports/PortAccess.h"
#include "ports/PortNames.h"
#include "sim/SimDevice.h"

namespace ixo::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string FtdiById = "/dev/serial/by-id/" + FtdiAdapter().StableName;

class AdapterCommand : public AdapterTest {
protected:
    void SetUp() override {
        AdapterTest::SetUp();
        if (HasFatalFailure()) return;
        Bed.Plug(FtdiAdapter());
        device_ = std::make_unique<sim::SimDevice>(Bed.Master("ttyUSB0"));
        std::string why;
        ASSERT_TRUE(device_->Start(&why)) << why;
        device_->SetWord(128, 0xC0FFEE01);
    }

    IxoResult Ixo(const std::vector<std::string>& args,
                  std::map<std::string, std::string> env = {}) {
        env.try_emplace("XDG_CONFIG_HOME", config_);
        return RunIxo(args, folder_.Path().string(), env);
    }

    TempDir folder_;
    const std::string config_ = Map.ConfigHome();
    std::unique_ptr<sim::SimDevice> device_;
};

TEST_F(AdapterCommand, ReadsTheDeviceThroughEveryFormOfPort) {
    // The adapter gets COM1: the ttyS nodes have no UART behind them.
    IxoResult result = Ixo({"ports"});
    EXPECT_EQ(result.Out, "1\t" + FtdiById + "\tFT232R USB UART\n") << result.Err;

    struct Case {
        std::vector<std::string> Args;
        std::optional<std::string> IxoPort;
    };
    const Case cases[] = {
        {{"read", "--port", "/dev/ttyUSB0"}, {}},
        {{"read", "--port", FtdiById}, {}},
        {{"read", "--port", "1"}, {}},
        {{"read", "-p", "com1"}, {}},
        {{"read"}, "COM1"},
        {{"read"}, "/dev/ttyUSB0"},
        {{"read"}, ""},                  // set but empty: COM1, as when not set
        {{"read", "--port", "1"}, "5"},  // --port wins
    };
    for (const Case& c : cases) {
        std::map<std::string, std::string> env;
        if (c.IxoPort) env["IXO_PORT"] = *c.IxoPort;
        const std::string shown = c.Args.back() + " '" + c.IxoPort.value_or("(unset)") + "'";
        result = Ixo(c.Args, env);
        EXPECT_EQ(result.ExitStatus, 0) << shown << ": " << result.Err;
        EXPECT_EQ(result.Out, "CW=C0FFEE01\n") << shown;
    }
    for (const std::string bad : {"COM", "com0", "COMx1", "9999"}) {
        result = Ixo({"read"}, {{"IXO_PORT", bad}});
        EXPECT_EQ(result.ExitStatus, 2) << bad;
        EXPECT_NE(result.Err.find("IXO_PORT names no port: '" + bad + "'"), std::string::npos);
        EXPECT_EQ(Ixo({"read", "--port", bad}).ExitStatus, 2) << bad;
    }
}

TEST_F(AdapterCommand, PortsSaysWhyAPortIsMissing) {
    Bed.AddUart(1, 4);
    ComPort holder;  // another program's hold on the adapter
    holder.Device = "/dev/ttyUSB0";
    ASSERT_TRUE(holder.Open()) << holder.OpenError();

    IxoResult result = Ixo({"ports", "--all"});
    EXPECT_EQ(result.Out, "2\t/dev/ttyS1\t-\t16550A UART\n1\t/dev/ttyUSB0\t" + FtdiById +
                              "\tFT232R USB UART\tDevice or resource busy\n");
    result = Ixo({"ports"});
    EXPECT_EQ(result.Out, "2\t/dev/ttyS1\t16550A UART\n");
    EXPECT_EQ(result.Err, "");

    Bed.Unplug("ttyS1");
    result = Ixo({"ports"});
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(result.Err,
              "ixo: no port from COM1 to COM8 opens; 'ixo ports --all' says why for each "
              "serial device\n");

    // With every number taken the adapter gets none, and is told how to get one.
    holder.Close();
    for (int n = 1; n <= 8; ++n) ASSERT_TRUE(MapPort(n, Map.AbsentPath(n)));
    result = Ixo({"ports", "--all"});
    std::string listed = "-\t/dev/ttyUSB0\t" + FtdiById + "\tFT232R USB UART\n";
    for (int n = 1; n <= 8; ++n) {
        listed += std::to_string(n) + "\t" + Map.AbsentPath(n) +
                  "\t-\tport map entry\tNo such file or directory\n";
    }
    EXPECT_EQ(result.Out, listed);
    EXPECT_EQ(result.Err,
              "ixo: /dev/ttyUSB0 (FT232R USB UART) has no COM number: COM1 to COM8 are "
              "all taken; give it one with\n  ixo ports --map N " +
                  FtdiById + "\n");
}

TEST_F(AdapterCommand, PermissionDeniedSaysWhatLetsTheUserIn) {
    // As a real adapter: group dialout may read and write it, others not.
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    char pty[64];
    ASSERT_EQ(::ptsname_r(Bed.Master("ttyUSB0"), pty, sizeof pty), 0);
    ASSERT_EQ(::chown(pty, 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty, 0660), 0);
    // The user's own folders.
    ASSERT_EQ(::chmod(folder_.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(config_.c_str(), 0755), 0);
    ASSERT_EQ(::chown((config_ + "/ixo-loader/ports").c_str(), 65534, 65534), 0);

    const auto asNobody = [this](const std::vector<std::string>& args) {
        return FinishIxo(
            StartIxo(args, folder_.Path().string(), {{"XDG_CONFIG_HOME", config_}}, 65534),
            folder_.Path().string());
    };
    IxoResult result = asNobody({"ports", "--all"});
    EXPECT_EQ(result.ExitStatus, 0) << result.Err;
    EXPECT_EQ(result.Out, "1\t/dev/ttyUSB0\t" + FtdiById +
                              "\tFT232R USB UART\tPermission denied: join the group 'dialout' "
                              "that owns /dev/ttyUSB0 (sudo usermod -aG dialout \"$USER\"), "
                              "then log in again\n");
    // Joining a group that may only read would not help.
    ASSERT_EQ(::chmod(pty, 0640), 0);
    result = asNobody({"ports", "--all"});
    EXPECT_EQ(result.Out, "1\t/dev/ttyUSB0\t" + FtdiById +
                              "\tFT232R USB UART\tPermission denied: ask the administrator "
                              "for access to /dev/ttyUSB0\n");

    // A map this user may not read is broken, never a reason to open /dev/ttyS0.
    ASSERT_EQ(::chmod(config_.c_str(), 0), 0);
    result = asNobody({"read", "--port", "1"});
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Err, "ixo: COM port not opened: COM1: " + config_ +
                              "/ixo-loader/ports: Permission denied\n");
}

TEST_F(AdapterCommand, ALiveLockFileMakesThePortBusyAndAStaleOneDoesNot) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    struct Case {
        std::string File, Text, Device;
        long Holder;
    };
    const long live = ::getppid();
    const int liveInt = static_cast<int>(live);  // as old programs write it
    char liveText[16];
    std::snprintf(liveText, sizeof liveText, "%10ld\n", live);
    const Case cases[] = {
        {"LCK..ttyUSB0", liveText, "/dev/ttyUSB0", live},
        {"LCK..ttyUSB0", liveText, FtdiById, live},  // the lock names the tty itself
        {"LCK..ttyUSB0", std::to_string(gone) + "\n", "/dev/ttyUSB0", 0},
        {"LCK..ttyUSB0", "garbage\n", "/dev/ttyUSB0", 0},
        {"LCK..ttyUSB0", "99999999999999999999\n", "/dev/ttyUSB0", 0},  // no kill(-1)
        {"LCK..ttyUSB0", std::string(reinterpret_cast<const char*>(&liveInt), 4), "/dev/ttyUSB0",
         live},
        // Text of an int's size; as an int it would name no process. Process 1 lives
        // everywhere.
        {"LCK..ttyUSB0", "  1\n", "/dev/ttyUSB0", 1},
        {"LCK..ttyUSB1", liveText, "/dev/ttyUSB0", 0},
    };
    for (const Case& c : cases) {
        TempDir locks;
        WriteBytes(locks.File(c.File), c.Text);
        EXPECT_EQ(LockFileHolder(c.Device, {"/nonexistent", locks.Path().string()}), c.Holder)
            << c.File << " " << c.Text << " " << c.Device;
    }
}

// A live lock file keeps ComPort off the port, whichever name the port is opened by,
// also when the lock's process is another user's (kill() says EPERM, yet it lives).
// The locks lie in /run/lock and /var/lock of a mount namespace of the child's own.
TEST_F(AdapterCommand, ALiveLockFileKeepsThePortClosed) {
    const long holder = ::getpid();
    char lock[16];
    std::snprintf(lock, sizeof lock, "%10ld\n", holder);
    const struct {
        const char* What;
        std::string Device;
        bool AsOtherUser;
    } cases[] = {
        {"the device", "/dev/ttyUSB0", false},
        {"its by-id link", FtdiById, false},
        {"the device, as another user", "/dev/ttyUSB0", true},
    };
    for (const auto& c : cases) {
        const std::string busy = c.Device + ": Device or resource busy (lock file of process " +
                                 std::to_string(holder) + ")";
        const int status = WaitStatusOfChild([&] {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                return 10;
            }
            for (const char* folder : {"/run/lock", "/var/lock"}) {
                if (!fs::is_symlink(folder) &&
                    ::mount("tmpfs", folder, "tmpfs", 0, "mode=1777") != 0) {
                    return 11;
                }
            }
            WriteBytes("/run/lock/LCK..ttyUSB0", lock);
            if (c.AsOtherUser && (::setgid(OtherUserId) != 0 || ::setuid(OtherUserId) != 0)) {
                return 12;
            }
            ComPort port;
            port.Device = c.Device;
            if (port.Open()) return 1;
            return port.OpenError() == busy ? 0 : 2;
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.What << ": " << status;
    }
}

// A stop signal ends the read at its next wait: nothing is printed but that the
// command was stopped, and the port is free, its exclusive mark gone.
TEST_F(AdapterCommand, SigtermDuringAReadLetsGoOfThePort) {
    Bed.UartMode("ttyUSB0");
    IxoResult result;
    // The signal follows the first request. A read that ended before it (the signal
    // seen by no wait) proves nothing, and is run again.
    for (int run = 0; run < 5; ++run) {
        device_->ClearReceived();
        const int pid = StartIxo({"read", "--port", "/dev/ttyUSB0"}, folder_.Path().string(),
                                 {{"XDG_CONFIG_HOME", config_}});
        ASSERT_TRUE(device_->WaitForReceived(3, 60s));
        ::kill(pid, SIGTERM);
        result = FinishIxo(pid, folder_.Path().string());
        if (result.ExitStatus != 0 && result.ExitStatus != 1) break;
    }
    EXPECT_EQ(result.ExitStatus, 128 + SIGTERM) << result.Err;
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(result.Err, "ixo: read stopped by signal 15\n");
    EXPECT_FALSE(Bed.Record("ttyUSB0").Exclusive);

    ComPort next;
    next.Device = "/dev/ttyUSB0";
    EXPECT_TRUE(next.Open()) << "the port stayed marked: " << next.OpenError();
}

}  // namespace
}  // namespace ixo::test
