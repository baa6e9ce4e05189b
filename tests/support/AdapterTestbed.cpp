#include "AdapterTestbed.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "LineSettings.h"
#include "ports/PortNames.h"

namespace ixo::test {

namespace {

namespace fs = std::filesystem;

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// The number at the end of a tty's name: 0 of ttyUSB0.
int Index(const std::string& name) {
    const std::size_t digits = name.find_last_not_of("0123456789") + 1;
    return digits < name.size() ? std::stoi(name.substr(digits)) : 0;
}

// The udev record of a tty at path (with a pseudo-terminal as its node).
std::string TtyRecord(const std::string& path, const std::string& name, int major, int minor,
                      const std::string& more = "") {
    const std::string dev = std::to_string(major) + ":" + std::to_string(minor);
    return "P: " + path + "\nN: " + name + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + name +
           "\nE: MAJOR=" + std::to_string(major) + "\nE: MINOR=" + std::to_string(minor) +
           "\nA: dev=" + dev + "\n" + more + "\n";
}

// Passes every request on a faked tty to the pseudo-terminal behind it.
gboolean PassOn(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    int error = 0;
    const int result = umockdev_ioctl_client_execute(client, &error, nullptr);
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

}  // namespace

// A UART's driver in front of a faked tty. Requests come from umockdev's worker thread;
// a thread of its own moves queued bytes to the pseudo-terminal as the line sends them.
class AdapterTestbed::Uart {
public:
    explicit Uart(int master) : master_(master), rate_(LineSpeedOf(master)) {
        char slave[64] = {};
        if (::ptsname_r(master, slave, sizeof slave) == 0) slave_ = slave;
        line_ = std::thread([this] { Send(); });
    }
    ~Uart() { Stop(); }
    Uart(const Uart&) = delete;
    Uart& operator=(const Uart&) = delete;

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (line_.joinable()) line_.join();
    }

    void Stick(bool stuck) {
        std::unique_lock lock(mutex_);
        SendDue(lock);
        stuck_ = stuck;
        StartBurst();
        wake_.notify_all();
    }

    UartRecord Record() const {
        std::lock_guard lock(mutex_);
        return record_;
    }

    // The driver raises DTR and RTS as a port opens.
    void Opened() {
        std::lock_guard lock(mutex_);
        SetModemLines(lines_ | TIOCM_DTR | TIOCM_RTS);
    }

    gboolean Write(UMockdevIoctlClient* client) {
        const UMockdevIoctlData* data = umockdev_ioctl_client_get_arg(client);
        std::unique_lock lock(mutex_);
        SendDue(lock);
        const std::size_t room = QueueSize - queue_.size();
        const std::size_t taken = std::min(room, static_cast<std::size_t>(data->data_len));
        if (queue_.empty()) StartBurst();
        queue_.insert(queue_.end(), data->data, data->data + taken);
        lock.unlock();
        wake_.notify_all();
        if (taken == 0) {
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
        } else {
            umockdev_ioctl_client_complete(client, static_cast<glong>(taken), 0);
        }
        return TRUE;
    }

    gboolean Ioctl(UMockdevIoctlClient* client) {
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        std::unique_lock lock(mutex_);
        // The queue as the clock has it now, however late the sending thread runs.
        SendDue(lock);
        switch (request) {
            case TIOCOUTQ:
                return Answer(client, static_cast<int>(queue_.size()));
            case TIOCSERGETLSR:
                return Answer(client, queue_.empty() ? TIOCSER_TEMT : 0);
            case TIOCMGET:
                return Answer(client, lines_);
            case TIOCMSET:
            case TIOCMBIS:
            case TIOCMBIC: {
                const int lines = Argument<int>(arg);
                SetModemLines(request == TIOCMSET   ? lines
                              : request == TIOCMBIS ? lines_ | lines
                                                    : lines_ & ~lines);
                return Answer(client);
            }
            case TIOCGSERIAL: {
                serial_struct serial{};
                serial.type = PORT_16550A;
                serial.flags = record_.LowLatency ? ASYNC_LOW_LATENCY : 0;
                return Answer(client, serial);
            }
            case TIOCSSERIAL:
                record_.LowLatency = (Argument<serial_struct>(arg).flags & ASYNC_LOW_LATENCY) != 0;
                return Answer(client);
            case TIOCEXCL:
            case TIOCNXCL:
                record_.Exclusive = request == TIOCEXCL;
                break;
            case TCFLSH: {
                long queue = 0;
                std::memcpy(&queue, arg->data, std::min<std::size_t>(sizeof queue, arg->data_len));
                if (queue == TCOFLUSH || queue == TCIOFLUSH) queue_.clear();
                break;
            }
            default:
                break;
        }
        lock.unlock();
        PassOn(nullptr, client, nullptr);
        if (SetsLine(request)) {
            lock.lock();
            ++record_.LineSettings;
            record_.Rate = rate_ = LineSpeedOf(master_);
        }
        return TRUE;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t QueueSize = 4096;  // the serial core's transmit buffer

    template <typename T>
    static T Argument(UMockdevIoctlData* arg) {
        T value{};
        if (UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof value, nullptr)) {
            std::memcpy(&value, data->data, sizeof value);
            g_object_unref(data);
        }
        return value;
    }

    static gboolean Answer(UMockdevIoctlClient* client) {
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }

    template <typename T>
    static gboolean Answer(UMockdevIoctlClient* client, const T& value) {
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof value, nullptr);
        if (data == nullptr) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        std::memcpy(data->data, &value, sizeof value);
        g_object_unref(data);
        return Answer(client);
    }

    void SetModemLines(int lines) {
        lines_ = lines;
        record_.ModemLines.push_back(lines);
    }

    // The line sends from now on what is queued (callers hold the mutex).
    void StartBurst() {
        burstStart_ = Clock::now();
        burstSent_ = 0;
    }

    // Moves the queued bytes whose line time has passed to the pseudo-terminal.
    void SendDue(std::unique_lock<std::mutex>& lock) {
        if (queue_.empty() || stuck_) return;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - burstStart_);
        const auto due = static_cast<std::size_t>(elapsed.count() * rate_ / 10'000'000);
        const std::size_t count = std::min(queue_.size(), due - std::min(due, burstSent_));
        if (count == 0) return;
        const std::string bytes(queue_.begin(), queue_.begin() + static_cast<long>(count));
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(count));
        burstSent_ += count;
        {
            // In order: the bytes taken after these wait until these are sent.
            std::lock_guard sending(sending_);
            lock.unlock();
            // Opened only for the moment: a descriptor kept open would hide the
            // program's hang-up from the device.
            const int fd = ::open(slave_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                (void)!::write(fd, bytes.data(), bytes.size());
                ::close(fd);
            }
        }
        lock.lock();
    }

    // Sends queued bytes as their time comes, also when nobody asks about the queue.
    void Send() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            if (queue_.empty() || stuck_ || rate_ == 0) {
                wake_.wait(lock);
            } else {
                wake_.wait_for(lock, std::chrono::milliseconds(1));
                SendDue(lock);
            }
        }
    }

    const int master_;
    std::string slave_;
    mutable std::mutex mutex_;
    std::mutex sending_;  // held from taking bytes off the queue until they are sent
    std::condition_variable wake_;
    std::deque<char> queue_;
    unsigned rate_;
    bool stuck_ = false;
    bool stopping_ = false;
    int lines_ = 0;
    Clock::time_point burstStart_;
    std::size_t burstSent_ = 0;
    UartRecord record_;
    std::thread line_;
};

// Between the device and a faked tty's pseudo-terminal: the device serves a
// pseudo-terminal of the relay's own, whose bytes the relay holds back as an
// adapter's latency timer does. A thread of its own moves the bytes.
class AdapterTestbed::Relay {
public:
    Relay(int adapter, std::chrono::milliseconds latency) : adapter_(adapter), latency_(latency) {
        char name[64] = {};
        device_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (device_ < 0 || ::grantpt(device_) != 0 || ::unlockpt(device_) != 0 ||
            ::ptsname_r(device_, name, sizeof name) != 0 || ::pipe2(stop_, O_CLOEXEC) != 0) {
            return;
        }
        inner_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        // The adapter's side stays open, so that its master never reports a hang-up
        // while the program has the port closed.
        if (::ptsname_r(adapter_, name, sizeof name) == 0) {
            outer_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        }
        termios raw{};
        if (inner_ < 0 || outer_ < 0 || ::tcgetattr(inner_, &raw) != 0) return;
        ::cfmakeraw(&raw);
        if (::tcsetattr(inner_, TCSANOW, &raw) != 0 || ::tcsetattr(outer_, TCSANOW, &raw) != 0) {
            return;
        }
        line_ = std::thread([this] { Run(); });
    }
    ~Relay() {
        Stop();
        for (int fd : {device_, inner_, outer_, stop_[0], stop_[1]}) {
            if (fd >= 0) ::close(fd);
        }
    }
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // The master side the device serves; -1 when the relay could not be made.
    int DeviceSide() const { return line_.joinable() ? device_ : -1; }

    void Stop() {
        if (!line_.joinable()) return;
        (void)!::write(stop_[1], "x", 1);
        line_.join();
    }

private:
    void Run() {
        std::string held;
        Clock::time_point due;
        char bytes[4096];
        for (;;) {
            int wait = -1;
            if (!held.empty()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
                wait = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
            }
            pollfd fds[3] = {{stop_[0], POLLIN, 0}, {adapter_, POLLIN, 0}, {inner_, POLLIN, 0}};
            if (::poll(fds, 3, wait) < 0 && errno != EINTR) return;
            if (fds[0].revents != 0) return;
            if ((fds[1].revents & POLLIN) != 0) {
                const ssize_t got = ::read(adapter_, bytes, sizeof bytes);
                if (got > 0) (void)!::write(inner_, bytes, static_cast<std::size_t>(got));
            }
            if ((fds[2].revents & POLLIN) != 0) {
                const ssize_t got = ::read(inner_, bytes, sizeof bytes);
                if (got > 0) {
                    if (held.empty()) due = Clock::now() + latency_;
                    held.append(bytes, static_cast<std::size_t>(got));
                }
            }
            if (!held.empty() && Clock::now() >= due) {
                (void)!::write(adapter_, held.data(), held.size());
                held.clear();
            }
        }
    }

    using Clock = std::chrono::steady_clock;
    const int adapter_;  // the master side behind the faked tty
    const std::chrono::milliseconds latency_;
    int device_ = -1;  // the master side the device serves
    int inner_ = -1;   // its tty, where the relay takes and gives the device's bytes
    int outer_ = -1;   // the faked tty's own pseudo-terminal side, kept open
    int stop_[2] = {-1, -1};
    std::thread line_;
};

namespace {

// umockdev's signals, passed to the tty's driver that the handler holds.
using Driver = std::shared_ptr<AdapterTestbed::Uart>;

gboolean UartIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer uart) {
    return (*static_cast<Driver*>(uart))->Ioctl(client);
}

gboolean UartWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer uart) {
    return (*static_cast<Driver*>(uart))->Write(client);
}

void UartOpened(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer uart) {
    (*static_cast<Driver*>(uart))->Opened();
}

void ForgetDriver(gpointer uart, GClosure*) {
    delete static_cast<Driver*>(uart);
}

}  // namespace

UsbAdapter FtdiAdapter() {
    return {"ttyUSB0",
            "1-2",
            "ftdi_sio",
            0x0403,
            0x6001,
            "FTDI",
            "FT232R USB UART",
            "A10K7ZQ1",
            "usb-FTDI_FT232R_USB_UART_A10K7ZQ1-if00-port0"};
}

UsbAdapter AcmAdapter() {
    return {"ttyACM0",     "1-3",      "cdc_acm",
            0x2341,        0x0043,     "Arduino (www.arduino.cc)",
            "Arduino Uno", "75735323", "usb-Arduino__www.arduino.cc__0043_75735323-if00"};
}

AdapterTestbed::AdapterTestbed() {
    bed_ = umockdev_testbed_new();
    // Without the wrapper this process would see this machine's own devices.
    if (!umockdev_in_mock_environment()) {
        ADD_FAILURE() << "run this test under umockdev-wrapper";
        g_object_unref(bed_);
        bed_ = nullptr;
        return;
    }
    // Other users (a child that drops to uid 65534) must see the faked devices too.
    gchar* root = umockdev_testbed_get_root_dir(bed_);
    ::chmod(root, 0755);
    g_free(root);
    // The legacy nodes ttyS0 to ttyS7 that a PC kernel makes, with no UART behind
    // them: their nodes are plain files, which no link opens. They also make sure
    // that a port falling back to /dev/ttyS<n-1> finds a fake, never this machine's.
    Add("P: /devices/platform/serial8250\nE: SUBSYSTEM=platform\n", "", "");
    for (int n = 0; n < 8; ++n) AddLegacyUart(n);
}

void AdapterTestbed::AddLegacyUart(int n) {
    const std::string name = "ttyS" + std::to_string(n);
    const std::string path = "/devices/platform/serial8250/tty/" + name;
    Add("P: " + path + "\nN: " + name + "=00\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + name +
            "\nA: dev=4:" + std::to_string(64 + n) + "\nA: type=0\n",
        name, path);
}

AdapterTestbed::~AdapterTestbed() {
    // Nothing moves on the lines while the pseudo-terminals close.
    for (auto& [name, tty] : ttys_) {
        if (tty.Driver) tty.Driver->Stop();
        if (tty.Delayed) tty.Delayed->Stop();
    }
    // The testbed first: its worker may still pass on what a closing client did.
    if (bed_ != nullptr) g_object_unref(bed_);
    for (auto& [name, tty] : ttys_) {
        if (tty.Handler != nullptr) g_object_unref(tty.Handler);
    }
}

fs::path AdapterTestbed::Root() const {
    gchar* root = umockdev_testbed_get_root_dir(bed_);
    const fs::path path = root;
    g_free(root);
    return path;
}

void AdapterTestbed::Add(const std::string& record, const std::string& name,
                         const std::string& top) {
    if (bed_ == nullptr) return;
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
        ADD_FAILURE() << "umockdev: " << error->message;
        g_error_free(error);
        return;
    }
    if (name.empty()) return;
    ttys_[name].Top = top;
    // A node with contents (a legacy UART) is a plain file, no tty.
    if (record.find("N: " + name + "=") == std::string::npos) Attach(name, "/dev/" + name);
}

void AdapterTestbed::Attach(const std::string& name, const std::string& node) {
    Tty& tty = ttys_[name];
    if (tty.Handler == nullptr) {
        tty.Handler = umockdev_ioctl_base_new();
        g_signal_connect(tty.Handler, "handle-ioctl", G_CALLBACK(PassOn), nullptr);
    }
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(bed_, node.c_str(), tty.Handler, &error)) {
        ADD_FAILURE() << "umockdev: " << error->message;
        g_error_free(error);
        return;
    }
    tty.Nodes.push_back(node);
    // Every user's programs pass their requests through the node's socket.
    ::chmod((Root() / "ioctl" / node.substr(1)).c_str(), 0777);
}

void AdapterTestbed::Plug(const UsbAdapter& adapter) {
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/" + adapter.Bus;
    const std::string usbInterface = usb + "/" + adapter.Bus + ":1.0";
    const bool acm = adapter.Name.rfind("ttyACM", 0) == 0;
    const std::string byId = "/dev/serial/by-id/" + adapter.StableName;
    const std::string record =
        "P: " + usb +
        "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=" + Hex4(adapter.VendorId) +
        "\nA: idProduct=" + Hex4(adapter.ProductId) + "\nA: manufacturer=" + adapter.Manufacturer +
        "\nA: product=" + adapter.Product + "\nA: serial=" + adapter.SerialNumber + "\n\n" +
        "P: " + usbInterface +
        "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=" + adapter.Driver + "\n\n" +
        TtyRecord(usbInterface + "/tty/" + adapter.Name, adapter.Name, acm ? 166 : 188,
                  Index(adapter.Name), "E: DEVLINKS=" + byId + "\n");
    Add(record, adapter.Name, usb);
    if (bed_ == nullptr || !adapter.LinkOnDisk) return;
    // udev's by-id link, relative, as udev makes it. umockdev knows a tty opened
    // through a link by the link's name.
    const fs::path link = Root() / byId.substr(1);
    fs::create_directories(link.parent_path());
    fs::remove(link);
    fs::create_symlink("../../" + adapter.Name, link);
    ttys_[adapter.Name].Link = link;
    Attach(adapter.Name, byId);
}

void AdapterTestbed::Link(const std::string& path, const std::string& name) {
    if (bed_ == nullptr) return;
    const fs::path link = Root() / path.substr(1);
    fs::create_directories(link.parent_path());
    // Relative, so that it leads into the testbed from wherever it is looked at.
    fs::create_symlink((Root() / "dev" / name).lexically_relative(link.parent_path()), link);
}

void AdapterTestbed::AddUart(int n, int type) {
    const std::string name = "ttyS" + std::to_string(n);
    Unplug(name);
    const std::string port = "/devices/pnp0/00:0" + std::to_string(n);
    Add("P: " + port + "\nE: SUBSYSTEM=pnp\n\n" +
            TtyRecord(port + "/tty/" + name, name, 4, 64 + n,
                      "A: type=" + std::to_string(type) + "\n"),
        name, port);
}

void AdapterTestbed::AddVirtualTty(const std::string& name) {
    const std::string path = "/devices/virtual/tty/" + name;
    Add(TtyRecord(path, name, 4, Index(name)), name, path);
}

void AdapterTestbed::Unplug(const std::string& name) {
    const auto found = ttys_.find(name);
    if (bed_ == nullptr || found == ttys_.end()) return;
    Tty& tty = found->second;
    if (tty.Driver) tty.Driver->Stop();
    if (tty.Delayed) tty.Delayed->Stop();
    for (const std::string& node : tty.Nodes) {
        umockdev_testbed_detach_ioctl(bed_, node.c_str(), nullptr);
    }
    if (tty.Handler != nullptr) g_object_unref(tty.Handler);
    const std::string sys = "/sys" + tty.Top;
    umockdev_testbed_remove_device(bed_, sys.c_str());
    std::error_code ignored;
    if (!tty.Link.empty()) fs::remove(tty.Link, ignored);
    ttys_.erase(found);
}

int AdapterTestbed::Master(const std::string& name) const {
    if (bed_ == nullptr) return -1;
    const std::string node = "/dev/" + name;
    return umockdev_testbed_get_dev_fd(bed_, node.c_str());
}

void AdapterTestbed::UartMode(const std::string& name) {
    const auto found = ttys_.find(name);
    if (found == ttys_.end() || found->second.Handler == nullptr) {
        ADD_FAILURE() << name << " is no tty of the testbed";
        return;
    }
    Tty& tty = found->second;
    tty.Driver = std::make_shared<Uart>(Master(name));
    g_signal_handlers_disconnect_by_func(tty.Handler, reinterpret_cast<gpointer>(PassOn), nullptr);
    const auto connect = [&](const char* signal, GCallback callback) {
        g_signal_connect_data(tty.Handler, signal, callback, new Driver(tty.Driver), ForgetDriver,
                              GConnectFlags{});
    };
    connect("handle-ioctl", G_CALLBACK(UartIoctl));
    connect("handle-write", G_CALLBACK(UartWrite));
    connect("client-connected", G_CALLBACK(UartOpened));
}

int AdapterTestbed::Delay(const std::string& name, std::chrono::milliseconds latency) {
    const auto found = ttys_.find(name);
    if (found == ttys_.end()) return -1;
    found->second.Delayed = std::make_shared<Relay>(Master(name), latency);
    return found->second.Delayed->DeviceSide();
}

void AdapterTestbed::Stick(const std::string& name, bool stuck) {
    const auto found = ttys_.find(name);
    if (found != ttys_.end() && found->second.Driver) found->second.Driver->Stick(stuck);
}

UartRecord AdapterTestbed::Record(const std::string& name) const {
    const auto found = ttys_.find(name);
    if (found == ttys_.end() || !found->second.Driver) return {};
    return found->second.Driver->Record();
}

void AdapterTest::SetUp() {
    ASSERT_TRUE(Bed.Ready());
    for (int n = 1; n <= HighestProbedPort; ++n) ASSERT_TRUE(UnmapPort(n));
}

}  // namespace ixo::test
