#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace ixo {

// The moment by which one wait must end, on the steady clock (never moved by a
// change of the wall clock).
class Deadline {
public:
    // milliseconds from now; zero or less has already passed.
    static Deadline After(std::int64_t milliseconds);
    bool Passed() const;
    // Whole milliseconds left, rounded up so that a wait never ends early; 0 once passed.
    int MillisecondsLeft() const;

private:
    explicit Deadline(std::chrono::steady_clock::time_point end) : end_(end) {}
    std::chrono::steady_clock::time_point end_;
};

// How a wait on the line ended. Failed, HungUp (the device gone) and Stopped (a stop
// signal came, see StopSignals.h) end a wait at once.
enum class LineResult { Done, TimedOut, Failed, HungUp, Stopped };

struct LineTransfer {
    LineResult Result;
    std::size_t Count;  // bytes moved; 0 unless Result is Done
};

// One serial device opened exclusively, raw, with 8 data bits, no parity, one stop
// bit, no flow control and DTR and RTS held off. Every wait is bounded by a deadline.
// The platform's own file provides it; users see only this.
class SerialLine {
public:
    SerialLine();
    ~SerialLine();  // closes
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens device at baudRate bit/s. A device in use by anyone, or one that does not
    // take every setting, is not opened: false, with why = "device: reason".
    bool Open(const std::string& device, std::int32_t baudRate, std::string* why);
    void Close();
    bool IsOpen() const { return device_ != nullptr; }

    // Writes as much of data as the line takes, once it takes any, by deadline.
    LineTransfer WriteSome(const std::uint8_t* data, std::size_t length, const Deadline& deadline);
    // Reads what has arrived, at most length bytes, once anything has, by deadline.
    LineTransfer ReadSome(std::uint8_t* data, std::size_t length, const Deadline& deadline);
    // Waits until the transmitter has sent its last byte.
    LineResult WaitTransmitterEmpty(const Deadline& deadline);
    // Waits until deadline; Done then, or at once how the line ended when it hangs
    // up or a stop signal comes.
    LineResult Pause(const Deadline& deadline);
    // The count of received bytes waiting to be read; 0 when the line cannot tell.
    std::size_t Waiting();

    enum class Buffers { Input, Output, Both };
    // Discards received bytes not yet read, or bytes written but not yet sent, or both.
    bool Discard(Buffers which);

private:
    // The open device, as the platform's own file keeps it.
    struct Device;
    std::unique_ptr<Device> device_;
};

}  // namespace ixo
