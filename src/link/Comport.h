#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/Trace.h"

namespace ixo {

class SerialLine;
enum class LineResult;

// The link to an IXO device: one serial port, COM<PortNumber>, 8 data bits, no
// parity, one stop bit, no flow control, DTR and RTS held off. Transfers are bounded
// by time limits derived from BaudRate (see ByteTime). Results are plain values: a
// link never shows anything, the caller words what went wrong.
class ComPort {
public:
    ComPort();
    ~ComPort();  // closes
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    std::int8_t PortNumber = 1;           // n of "COM%d"; read at Open
    std::string Device;                   // when set, Open opens this device instead
    std::int32_t FirstByteTimeout = 350;  // ms allowed on top of ByteTime for a first byte
    std::int32_t ByteTimeFactor = 10;     // factor of ByteTime

    // When set, sees every run of bytes as it is written to or read from the line,
    // every purge, and every transfer that times out or fails (with no bytes).
    std::function<void(TraceEvent, const std::uint8_t*, std::size_t)> Trace;

    // Line speed in bit/s, 9600 at first; read at Open and at every transfer.
    std::int32_t BaudRate() const { return baudRate_; }
    // Takes 110, 150, 300, 600, 1200, 2400, 4800, 9600, 19200, 28800, 38400, 57600 or
    // 115200; ignores any other rate.
    void SetBaudRate(std::int32_t rate);

    bool IsOpen() const { return isOpen_; }

    // Time limit of one byte in ms: ByteTimeFactor x 20000 / BaudRate, rounded to the
    // nearest, halves away from zero (21 at 9600 bit/s, 5 at 38400 bit/s).
    std::int32_t ByteTime() const;

    // Opens COM<PortNumber> (or Device) at BaudRate; true at once when already open. A
    // port in use by anyone is not opened.
    bool Open();
    // Always true; nothing happens on a closed link.
    bool Close();

    // Sends length bytes, each wait allowed ByteTime x length ms; with waitTxEmpty,
    // returns only once the last byte has left the transmitter. length when all went
    // out, else 0 (never part).
    std::int32_t Send(const std::uint8_t* buffer, std::int32_t length, bool waitTxEmpty);
    // Receives up to length bytes: the first within ByteTime + FirstByteTimeout ms (and
    // at most 1000 ms), each later one within ByteTime ms of the one before. length when
    // all arrived; on a time-out the count received so far; 0 on failure or hang-up.
    std::int32_t Receive(std::uint8_t* buffer, std::int32_t length);
    // which = 1 discards received bytes not yet read; any other value, bytes not yet sent.
    bool Purge(int which);
    // The count of received bytes waiting to be read; 0 on a closed link.
    std::int32_t Waiting();
    // Waits length on the open line. False, as a failed transfer, when the line hangs
    // up or a stop signal comes first.
    bool Pause(std::chrono::milliseconds length);

    // After a transfer or pause that failed: why, for example "the device went away
    // (the line hung up)". Empty after one that succeeded.
    std::string TransferError() const;

    // After a failed Open: the device and the system's reason, for example
    // "/dev/ttyS3: Device or resource busy". Empty after a successful Open.
    std::string OpenError() const { return openError_; }

private:
    // After a failed or timed-out transfer: empties both directions, so that the next
    // transfer starts clean.
    void AbortPending();
    // A transfer that timed out or failed: tells Trace why, then AbortPending.
    void Abandon(LineResult why);
    // Tells Trace, when set, of an event without bytes.
    void Note(TraceEvent event) const;

    std::int32_t baudRate_ = 9600;
    bool isOpen_ = false;
    LineResult lastEnd_;                // how the last transfer or pause ended
    std::unique_ptr<SerialLine> line_;  // the platform's serial device
    std::string openError_;
};

}  // namespace ixo
