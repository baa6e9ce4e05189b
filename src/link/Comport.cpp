#include "link/Comport.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "link/SerialLine.h"
#include "ports/PortNames.h"

namespace ixo {

namespace {

constexpr std::array<std::int32_t, 13> LineRates = {110,  150,   300,   600,   1200,  2400,  4800,
                                                    9600, 19200, 28800, 38400, 57600, 115200};

// A read that sees no first byte gives up after this long, whatever the rate.
constexpr std::int32_t LineReadTimeoutMs = 1000;

// number x numerator / denominator through 64 bits, rounded to the nearest integer,
// halves away from zero; -1 when the denominator is 0 or the result does not fit.
std::int32_t MulDiv(std::int32_t number, std::int32_t numerator, std::int32_t denominator) {
    if (denominator == 0) return -1;
    const std::int64_t product = std::int64_t{number} * numerator;
    std::int64_t quotient = product / denominator;
    const std::int64_t remainder = product % denominator;
    if (2 * std::llabs(remainder) >= std::llabs(denominator)) {
        quotient += (product < 0) == (denominator < 0) ? 1 : -1;
    }
    if (quotient > INT32_MAX || quotient < INT32_MIN) return -1;
    return static_cast<std::int32_t>(quotient);
}

}  // namespace

ComPort::ComPort() : lastEnd_(LineResult::Done), line_(std::make_unique<SerialLine>()) {}

ComPort::~ComPort() {
    Close();
}

void ComPort::SetBaudRate(std::int32_t rate) {
    if (std::find(LineRates.begin(), LineRates.end(), rate) != LineRates.end()) baudRate_ = rate;
}

std::int32_t ComPort::ByteTime() const {
    return MulDiv(ByteTimeFactor, 20000, baudRate_);
}

bool ComPort::Open() {
    if (isOpen_) return true;
    // The map entry's target, so that a failure names the device itself.
    openError_.clear();
    const std::string device = Device.empty() ? ResolvePort(PortNumber, &openError_) : Device;
    if (device.empty()) return false;
    isOpen_ = line_->Open(device, baudRate_, &openError_);
    return isOpen_;
}

bool ComPort::Close() {
    if (isOpen_) {
        isOpen_ = false;
        line_->Close();
    }
    return true;
}

std::int32_t ComPort::Send(const std::uint8_t* buffer, std::int32_t length, bool waitTxEmpty) {
    // A closed link has no device to act on.
    if (!isOpen_ || length < 0) return 0;
    lastEnd_ = LineResult::Done;
    // The same limit holds for every wait of this send, not for what is left of it.
    const std::int64_t limit = std::int64_t{ByteTime()} * length;
    std::int32_t sent = 0;
    while (sent < length) {
        const LineTransfer step = line_->WriteSome(
            buffer + sent, static_cast<std::size_t>(length - sent), Deadline::After(limit));
        if (step.Result != LineResult::Done) {
            Abandon(step.Result);
            return 0;
        }
        if (Trace) Trace(TraceEvent::Sent, buffer + sent, step.Count);
        sent += static_cast<std::int32_t>(step.Count);
    }
    if (waitTxEmpty) {
        const LineResult empty = line_->WaitTransmitterEmpty(Deadline::After(limit));
        if (empty != LineResult::Done) {
            Abandon(empty);
            return 0;
        }
    }
    return sent;
}

std::int32_t ComPort::Receive(std::uint8_t* buffer, std::int32_t length) {
    if (!isOpen_ || length <= 0) return 0;
    lastEnd_ = LineResult::Done;
    const std::int64_t firstByteLimit =
        std::min<std::int64_t>(std::int64_t{ByteTime()} + FirstByteTimeout, LineReadTimeoutMs);
    Deadline deadline = Deadline::After(firstByteLimit);
    std::int32_t got = 0;
    while (got < length) {
        const LineTransfer step =
            line_->ReadSome(buffer + got, static_cast<std::size_t>(length - got), deadline);
        if (step.Result != LineResult::Done) {
            Abandon(step.Result);
            return step.Result == LineResult::TimedOut ? got : 0;
        }
        if (Trace) Trace(TraceEvent::Received, buffer + got, step.Count);
        got += static_cast<std::int32_t>(step.Count);
        deadline = Deadline::After(ByteTime());
    }
    return got;
}

bool ComPort::Purge(int which) {
    if (!isOpen_) return false;
    Note(which == 1 ? TraceEvent::PurgedInput : TraceEvent::PurgedOutput);
    return line_->Discard(which == 1 ? SerialLine::Buffers::Input : SerialLine::Buffers::Output);
}

std::int32_t ComPort::Waiting() {
    if (!isOpen_) return 0;
    return static_cast<std::int32_t>(std::min<std::size_t>(line_->Waiting(), INT32_MAX));
}

bool ComPort::Pause(std::chrono::milliseconds length) {
    if (!isOpen_) return false;
    lastEnd_ = line_->Pause(Deadline::After(length.count()));
    if (lastEnd_ == LineResult::Done) return true;
    Abandon(lastEnd_);
    return false;
}

std::string ComPort::TransferError() const {
    switch (lastEnd_) {
        case LineResult::Done:
            return {};
        case LineResult::TimedOut:
            return "the line did not finish in time";
        case LineResult::Failed:
            return "the line failed";
        case LineResult::HungUp:
            return "the device went away (the line hung up)";
        case LineResult::Stopped:
            return "stopped by a signal";
    }
    return {};
}

void ComPort::AbortPending() {
    Note(TraceEvent::PurgedBoth);
    line_->Discard(SerialLine::Buffers::Both);
}

void ComPort::Abandon(LineResult why) {
    lastEnd_ = why;
    Note(why == LineResult::TimedOut ? TraceEvent::TimedOut : TraceEvent::Failed);
    AbortPending();
}

void ComPort::Note(TraceEvent event) const {
    if (Trace) Trace(event, nullptr, 0);
}

}  // namespace ixo
