#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/DeviceLogic.h"
#include "sim/LinePacing.h"
#include "sim/SimDevice.h"

// The inside of SimDevice, in three files: the public face in SimDevice.cpp, the
// pseudo-terminal and the port map in SimDevicePort.cpp, the serving thread in
// SimDeviceServe.cpp.

namespace ixo::sim {

struct SimDevice::Impl {
    // Opened by the constructor; the serving thread closes it when it hangs up, and
    // only while it runs.
    int Master = -1;
    int Port = -1;      // the tty's own side, kept open to clear a mark left behind
    int Openings = -1;  // inotify: the opens and closes of the tty by others
    int WakeRead = -1;
    int WakeWrite = -1;
    std::string Path;
    std::string OpenFailure;
    std::thread Server;
    std::function<void(TraceDirection, std::uint8_t)> Trace;  // set before Start
    DeviceMemory Memory;

    // Shared with the serving thread.
    mutable std::mutex Mutex;
    mutable std::condition_variable ReceivedGrew;
    SimFaults Faults;
    long ReceivedSinceFaults = 0;
    std::vector<std::uint8_t> ReceivedBytes;
    bool KeepReceived = true;
    bool Stopping = false;
    bool HungUp = false;
    std::vector<int> MappedPorts;  // in the order MapAsPort took them over

    // The serving thread's own.
    DeviceLogic Logic{Memory};
    InputPacing Input;
    OutputQueue Output;
    int Openers = 0;  // how many others have the tty open

    // Takes master as the device's side of its pseudo-terminal and sets both sides up.
    void Attach(int master);
    void Wake();
    void DrainWake();
    // Waits for a wake-up, at most limitMs (-1: however long it takes).
    void WaitForWake(int limitMs = -1);
    // True when the faults call for a hang-up now. Called with Mutex held.
    bool HangUpDue() const;

    void Serve();
    bool Send(Clock::time_point now);
    std::optional<short> WaitForWork(bool sendBlocked, int baud);
    bool Receive(short lineEvents, int baud);
    bool ReadChunk();
    bool TakePacedByte(Clock::time_point at);
    void CountOpeners();
    bool Act(std::uint8_t byte, Clock::time_point at);
    std::size_t Waiting() const;
    void HangUp();
    // Gives back every port map entry the device took over, latest first.
    void GiveBackPorts();
};

}  // namespace ixo::sim
