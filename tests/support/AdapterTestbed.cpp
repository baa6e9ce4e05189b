#include "AdapterTestbed.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <umockdev.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "link/PortNames.h"

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

void AdapterTest::SetUp() {
    ASSERT_TRUE(Bed.Ready());
    for (int n = 1; n <= HighestProbedPort; ++n) ASSERT_TRUE(UnmapPort(n));
}

}  // namespace ixo::test
