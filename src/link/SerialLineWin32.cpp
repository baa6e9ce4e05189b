// The serial line on Windows: a COM device opened for overlapped input and output, so
// that every wait is a wait on an event, bounded by a steady-clock deadline. A wait
// that runs out cancels its operation and waits for the cancelled operation to end,
// so that neither the OVERLAPPED record nor the caller's buffer is used afterwards.

#include <windows.h>

#include <algorithm>
#include <string>

#include "core/Win32Text.h"
#include "link/SerialLine.h"

namespace ixo {

namespace {

// A read that sees no byte completes after this long with nothing; a read of one byte
// completes as soon as the byte is there.
constexpr DWORD LineReadTimeoutMs = 1000;

// Per-byte allowance of a write, from the rate: 10 ms at 9600 bit/s, 2 at 38400.
constexpr DWORD WriteTimeoutFactor = 96000;

struct Outcome {
    LineResult Result;
    DWORD Count;  // bytes moved, as the completed operation reports them
    DWORD Error;  // the system's error when Result is Failed
};

// Waits for an overlapped operation that was just started on handle (started is what
// the starting call returned) until it completes or the deadline passes. A pending
// operation that runs out of time is cancelled, and its own result then counts: it
// may have completed before the cancel took hold.
Outcome Finish(HANDLE handle, OVERLAPPED& overlapped, BOOL started, const Deadline& deadline) {
    if (!started) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) return {LineResult::Failed, 0, error};
        const DWORD waited =
            WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(deadline.MillisecondsLeft()));
        if (waited != WAIT_OBJECT_0) {
            CancelIoEx(handle, &overlapped);
            DWORD count = 0;
            if (GetOverlappedResult(handle, &overlapped, &count, TRUE) && count > 0) {
                return {LineResult::Done, count, 0};
            }
            return {waited == WAIT_TIMEOUT ? LineResult::TimedOut : LineResult::Failed, 0,
                    GetLastError()};
        }
    }
    DWORD count = 0;
    if (!GetOverlappedResult(handle, &overlapped, &count, FALSE)) {
        return {LineResult::Failed, count, GetLastError()};
    }
    return {LineResult::Done, count, 0};
}

OVERLAPPED OverlappedOn(HANDLE event) {
    ResetEvent(event);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    return overlapped;
}

std::string WithSystemError(const char* what) {
    return std::string(what) + ": " + SystemErrorText(GetLastError());
}

// Sets the line of an open COM device: rate bit/s, 8 data bits, no parity, one stop
// bit, no flow control, DTR and RTS off, and the time-outs; then reads the settings
// back, since a driver may put a rate it cannot do by one it can. The reason when the
// device refuses or changes any of them.
std::string SetLine(HANDLE handle, std::int32_t rate) {
    DCB wanted{};
    wanted.DCBlength = sizeof(DCB);
    wanted.BaudRate = static_cast<DWORD>(rate);
    wanted.fBinary = TRUE;
    wanted.fDtrControl = DTR_CONTROL_DISABLE;
    wanted.fRtsControl = RTS_CONTROL_DISABLE;
    wanted.ByteSize = 8;
    wanted.Parity = NOPARITY;
    wanted.StopBits = ONESTOPBIT;
    if (!SetCommState(handle, &wanted)) return WithSystemError("cannot set the line");

    DCB taken{};
    taken.DCBlength = sizeof(DCB);
    if (!GetCommState(handle, &taken)) return WithSystemError("cannot read the line back");
    if (taken.BaudRate != wanted.BaudRate) {
        return "does not take " + std::to_string(rate) + " bit/s (reads back " +
               std::to_string(taken.BaudRate) + ")";
    }
    if (taken.ByteSize != 8 || taken.Parity != NOPARITY || taken.StopBits != ONESTOPBIT) {
        return "does not take 8 data bits, no parity and one stop bit";
    }
    // The levels of DTR and RTS are what the device's modem lines allow; what matters
    // here is that neither line, nor XON/XOFF, holds the data back.
    if (taken.fOutxCtsFlow || taken.fOutxDsrFlow || taken.fOutX || taken.fInX ||
        taken.fDtrControl == DTR_CONTROL_HANDSHAKE || taken.fRtsControl == RTS_CONTROL_HANDSHAKE ||
        taken.fRtsControl == RTS_CONTROL_TOGGLE) {
        return "keeps flow control on";
    }
    // An error on the line must not stop every later transfer until it is cleared.
    taken.fAbortOnError = FALSE;
    if (!SetCommState(handle, &taken)) return WithSystemError("cannot set the line");

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = LineReadTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = WriteTimeoutFactor / static_cast<DWORD>(rate);
    timeouts.WriteTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(handle, &timeouts)) return WithSystemError("cannot set the time-outs");
    return {};
}

}  // namespace

struct SerialLine::Device {
    HANDLE Handle = INVALID_HANDLE_VALUE;
    // Manual-reset completion events of the overlapped operations.
    HANDLE ReadEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE WriteEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // also the TX-empty wait

    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() {
        if (Handle != INVALID_HANDLE_VALUE) CloseHandle(Handle);
        if (ReadEvent != nullptr) CloseHandle(ReadEvent);
        if (WriteEvent != nullptr) CloseHandle(WriteEvent);
    }
};

SerialLine::SerialLine() = default;

SerialLine::~SerialLine() {
    Close();
}

bool SerialLine::Open(const std::string& device, std::int32_t baudRate, std::string* why) {
    Close();
    auto opened = std::make_unique<Device>();
    if (opened->ReadEvent == nullptr || opened->WriteEvent == nullptr) {
        if (why != nullptr) *why = device + ": " + WithSystemError("cannot create its events");
        return false;
    }
    // Share mode 0: nobody else may open the port while this line has it.
    opened->Handle = CreateFileW(WideFromUtf8(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (opened->Handle == INVALID_HANDLE_VALUE) {
        if (why != nullptr) *why = device + ": " + SystemErrorText(GetLastError());
        return false;
    }
    const std::string reason = SetLine(opened->Handle, baudRate);
    if (!reason.empty()) {
        if (why != nullptr) *why = device + ": " + reason;
        return false;
    }
    device_ = std::move(opened);
    return true;
}

void SerialLine::Close() {
    device_.reset();
}

LineTransfer SerialLine::WriteSome(const std::uint8_t* data, std::size_t length,
                                   const Deadline& deadline) {
    if (device_ == nullptr) return {LineResult::Failed, 0};
    const HANDLE handle = device_->Handle;
    // Set before the write, so that the transmitter's emptying after it is recorded
    // even when nobody waits for it yet.
    if (!SetCommMask(handle, EV_TXEMPTY)) return {LineResult::Failed, 0};
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length, MAXDWORD));
    for (;;) {
        OVERLAPPED overlapped = OverlappedOn(device_->WriteEvent);
        const BOOL started = WriteFile(handle, data, chunk, nullptr, &overlapped);
        const Outcome outcome = Finish(handle, overlapped, started, deadline);
        if (outcome.Result != LineResult::Done) return {outcome.Result, 0};
        if (outcome.Count > 0) return {LineResult::Done, outcome.Count};
        // The line's own write time-out passed with nothing taken.
        if (deadline.Passed()) return {LineResult::TimedOut, 0};
    }
}

LineTransfer SerialLine::ReadSome(std::uint8_t* data, std::size_t length,
                                  const Deadline& deadline) {
    if (device_ == nullptr) return {LineResult::Failed, 0};
    const HANDLE handle = device_->Handle;
    for (;;) {
        // Ask for what has arrived, else for one byte: a read of more would wait for
        // all of them, up to the line's read time-out.
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle, &errors, &status)) return {LineResult::Failed, 0};
        const DWORD want = static_cast<DWORD>(
            std::clamp<std::size_t>(status.cbInQue, 1, std::min<std::size_t>(length, MAXDWORD)));

        OVERLAPPED overlapped = OverlappedOn(device_->ReadEvent);
        const BOOL started = ReadFile(handle, data, want, nullptr, &overlapped);
        const Outcome outcome = Finish(handle, overlapped, started, deadline);
        if (outcome.Result == LineResult::Done && outcome.Count > 0) {
            return {LineResult::Done, outcome.Count};
        }
        // Nothing within the line's read time-out: a completion with no bytes (some
        // systems report it as the error ERROR_TIMEOUT).
        const bool lineTimeout =
            (outcome.Result == LineResult::Done) ||
            (outcome.Result == LineResult::Failed && outcome.Error == ERROR_TIMEOUT);
        if (!lineTimeout) return {outcome.Result, 0};
        if (deadline.Passed()) return {LineResult::TimedOut, 0};
    }
}

LineResult SerialLine::WaitTransmitterEmpty(const Deadline& deadline) {
    if (device_ == nullptr) return LineResult::Failed;
    const HANDLE handle = device_->Handle;
    DWORD events = 0;
    OVERLAPPED overlapped = OverlappedOn(device_->WriteEvent);
    const BOOL started = WaitCommEvent(handle, &events, &overlapped);
    const Outcome outcome = Finish(handle, overlapped, started, deadline);
    // The wait is over once it completes. A wait the system ends as aborted (its event
    // mask was reset) has ended as well; only a failing device fails it.
    if (outcome.Result == LineResult::Failed && outcome.Error == ERROR_OPERATION_ABORTED) {
        return LineResult::Done;
    }
    return outcome.Result;
}

LineResult SerialLine::Pause(const Deadline& deadline) {
    if (device_ == nullptr) return LineResult::Failed;
    Sleep(static_cast<DWORD>(deadline.MillisecondsLeft()));
    return LineResult::Done;
}

std::size_t SerialLine::Waiting() {
    DWORD errors = 0;
    COMSTAT status{};
    if (device_ == nullptr || !ClearCommError(device_->Handle, &errors, &status)) return 0;
    return status.cbInQue;
}

bool SerialLine::Discard(Buffers which) {
    if (device_ == nullptr) return false;
    const DWORD flags = which == Buffers::Input ? PURGE_RXCLEAR
                        : which == Buffers::Output
                            ? PURGE_TXCLEAR
                            : PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    return PurgeComm(device_->Handle, flags) != FALSE;
}

}  // namespace ixo
