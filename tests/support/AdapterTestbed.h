#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "OwnPortMap.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

namespace ixo::test {

// A USB serial adapter as udev describes it.
struct UsbAdapter {
    std::string Name;  // of its tty: ttyUSB0, ttyACM0
    std::string Bus;   // its USB device, 1-2: where it is plugged in
    std::string Driver;
    std::uint16_t VendorId, ProductId;
    std::string Manufacturer, Product, SerialNumber;
    std::string StableName;  // its /dev/serial/by-id/ link
    bool LinkOnDisk = true;  // false: udev names the link, but it is not made (yet)
};

// What a program asked of a tty in UART mode, as the driver saw it.
struct UartRecord {
    unsigned Rate = 0;            // bit/s of the line settings last set
    int LineSettings = 0;         // how often the line was set
    bool Exclusive = false;       // the exclusive mark as the requests left it
    bool LowLatency = false;      // as the last TIOCSSERIAL asked
    std::vector<int> ModemLines;  // DTR/RTS/... bits: raised on each open, then each change
};

// An FTDI adapter and an Arduino (CDC-ACM), each with a by-id name.
UsbAdapter FtdiAdapter();
UsbAdapter AcmAdapter();

// Serial hardware faked with umockdev: the programs of this process and its children
// see only the devices added here in sysfs, udev and /dev, and each tty's device node
// is a pseudo-terminal whose master side the test holds. Needs the test to run under
// umockdev-wrapper. Requests on the faked ttys (termios, exclusive mark, modem lines)
// are passed to the pseudo-terminal behind, so they behave as on a real tty.
class AdapterTestbed {
public:
    AdapterTestbed();  // fails the test when not under umockdev-wrapper
    ~AdapterTestbed();
    // False when the testbed could not be made: the test must not go on, or it would
    // see this machine's own devices.
    bool Ready() const { return bed_ != nullptr; }
    AdapterTestbed(const AdapterTestbed&) = delete;
    AdapterTestbed& operator=(const AdapterTestbed&) = delete;

    void Plug(const UsbAdapter& adapter);
    // A UART ttyS<n> (in place of its legacy node when n < 8): type is the serial
    // core's kind of UART (4: 16550A).
    void AddUart(int n, int type);
    // A tty with no hardware behind it, as a virtual terminal.
    void AddVirtualTty(const std::string& name);
    // Another link to the tty name at path under /dev, as udev's by-path links or a
    // user's alias.
    void Link(const std::string& path, const std::string& name);
    // Removes the device with the tty name and what it hangs from.
    void Unplug(const std::string& name);

    // The master side of the pseudo-terminal behind /dev/<name>; -1 if none.
    int Master(const std::string& name) const;

    // Makes the tty answer as a UART's driver does: written bytes wait in its output
    // queue (TIOCOUTQ, TIOCSERGETLSR) and go out to the pseudo-terminal at the line's
    // rate, a flush of the output drops them; the modem lines, the exclusive mark, low
    // latency and the line settings are held and recorded. Call before the tty opens.
    void UartMode(const std::string& name);
    // A stuck transmitter (a cable pulled, flow control held) sends nothing until freed.
    void Stick(const std::string& name, bool stuck);
    // Makes the adapter pass on what the device sends only latency after the first
    // byte of each run came in, as an adapter gathers what it receives until its
    // latency timer runs out (16 ms unless asked for less); what the program sends
    // goes on at once. Gives the master side for the device to serve in place of
    // Master(name), or -1 when none could be made.
    int Delay(const std::string& name, std::chrono::milliseconds latency);
    UartRecord Record(const std::string& name) const;

    class Uart;
    class Relay;

private:
    // A faked tty: what unplugging it removes, and how umockdev passes its requests.
    struct Tty {
        std::string Top;  // sysfs path of the device it hangs from
        UMockdevIoctlBase* Handler = nullptr;
        std::vector<std::string> Nodes;  // paths its requests come through
        std::filesystem::path Link;      // its by-id link, if any
        std::shared_ptr<Uart> Driver;    // in UART mode
        std::shared_ptr<Relay> Delayed;  // with a latency
    };
    void Add(const std::string& record, const std::string& name, const std::string& top);
    void Attach(const std::string& name, const std::string& node);
    void AddLegacyUart(int n);
    std::filesystem::path Root() const;

    UMockdevTestbed* bed_ = nullptr;
    std::map<std::string, Tty> ttys_;  // by tty name
};

// A test with a testbed and a port map of its own in which every number from 1 to 8
// is free for adapters to take: an unmapped COMn leads to the testbed's ttyS<n-1>,
// a legacy node that opens as no port, never to this machine's own.
class AdapterTest : public testing::Test {
protected:
    void SetUp() override;

    AdapterTestbed Bed;
    OwnPortMap Map;
};

}  // namespace ixo::test
