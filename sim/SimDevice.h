#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimFaults.h"

namespace ixo::sim {

enum class TraceDirection { Received, Sent };

// An IXO device on a pseudo-terminal. It keeps 129 words (0..127 the program, 128
// the CW word), stores the words of write frames, answers each fetch request with
// the 8 nibble bytes of the word, and is silent after every other command. A frame
// cut short by a new command byte is dropped, as is a nibble byte outside a frame.
// Fetches of addresses above 128 get no answer; writes to them and to the CW word
// are ignored.
//
// The program side can open and close the device path as often as it likes. The
// simulator keeps the tty open too, besides its master side (which makes it the
// terminal's other end, not a holder of the port): so it can clear an exclusive mark
// (TIOCEXCL) that the program side left behind when it ended without closing cleanly
// (kill -9). The tty outlives that program, and with the mark no user but root could
// open the path again. A mark still there once nobody but the device has the tty
// open was left behind; the device counts the opens and closes of its path.
//
// Output goes out in order: an answer waits behind any late bytes still pending. A
// paced answer goes out whole, in one write, once its last byte would have crossed
// the line, as a UART sends what it was given back to back: a pause of the serving
// thread can delay an answer but never open a gap inside it.
//
// When the device hangs up, it gives back its port map entries at once: a
// pseudo-terminal that has gone may soon be another program's.
class SimDevice {
public:
    SimDevice();  // opens a pseudo-terminal pair, both ends raw; memory all zero
    // Serves the pseudo-terminal whose master side is master (it takes a copy; the
    // caller keeps its own), for example the one behind a faked USB adapter.
    explicit SimDevice(int master);
    ~SimDevice();  // stops serving, restores the port map entries it made, closes
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Serves on a background thread. False (with why) when the pseudo-terminal could
    // not be opened, or the device has hung up.
    bool Start(std::string* why = nullptr);
    // Stops serving promptly; the device keeps its memory and can be started again.
    void Stop();

    // The tty that the computer's side opens, for example /dev/pts/5.
    std::string DevicePath() const;
    // Points COMn at DevicePath in the port map. When the device goes, the port is
    // mapped as it was before: its earlier entry is put back, or the entry removed.
    bool MapAsPort(int n, std::string* why = nullptr);

    // Thread-safe; takes effect from the next byte. Restarts the hang-up count.
    void SetFaults(const SimFaults& faults);
    // Address 0..128 (128 is the CW word); other addresses are ignored (Word gives 0).
    void SetWord(int address, std::uint32_t word);
    std::uint32_t Word(int address) const;

    // Every byte received since the start or the last ClearReceived. A byte shows
    // here once the device has acted on it (a word stored, an answer queued).
    std::vector<std::uint8_t> Received() const;
    // Whether received bytes are kept for Received (at first they are). A device that
    // serves for long keeps constant memory only without.
    void KeepReceived(bool keep);
    void ClearReceived();
    // True once Received() holds at least count bytes, false after limit.
    bool WaitForReceived(std::size_t count, std::chrono::milliseconds limit) const;

    // Called on the serving thread for each byte as it is taken from or written to
    // the line. Set it before Start; it cannot change while the device serves.
    void SetTrace(std::function<void(TraceDirection, std::uint8_t)> trace);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ixo::sim
