#pragma once

namespace ixo::test {

// The output rate in bit/s of the tty fd (or of the tty behind a pseudo-terminal
// master); 0 when it cannot be read.
unsigned LineSpeedOf(int fd);

// Whether an ioctl request sets a tty's line (termios or termios2, at once or after
// a drain).
bool SetsLine(unsigned long request);

}  // namespace ixo::test
