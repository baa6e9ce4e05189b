#pragma once

#include <cstdint>
#include <string>

// The parts of driving a tty that differ between POSIX systems, for the POSIX
// serial line. Each system has its own file behind this header.
namespace ixo::tty {

// Whether device may be a tty, told without opening it (an open alone sets some
// devices going: a watchdog starts counting, a tape rewinds): a character device
// that the system does not file as some other kind. A FIFO, a regular file or
// /dev/null is not one.
bool MayBeTty(const std::string& device);

// Sets the line of fd to rate bit/s, raw, 8 data bits, no parity, one stop bit, no
// flow control, reads returning at once; then reads the settings back, since some
// devices drop what they cannot do without saying so. False, with why, when the
// device refuses or drops any of them.
bool SetLine(int fd, std::int32_t rate, std::string* why);

// Whether some program has barred other users' opens of the tty (root is not
// barred, so it must look before it takes the port).
bool MarkedExclusive(int fd);

// Asks the driver to pass received bytes on at once rather than gathering them.
// Drivers that do not know the request are left as they are.
void AskLowLatency(int fd);

enum class ShiftRegister { Empty, Busy, Failed };
// Whether the last byte has left the transmitter's shift register. Empty where the
// driver cannot tell.
ShiftRegister ShiftRegisterState(int fd);

}  // namespace ixo::tty
