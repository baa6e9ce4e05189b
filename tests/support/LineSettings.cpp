// In its own file: the kernel's termios2 cannot share a file with <termios.h>, nor its
// request numbers be used where struct termios2 is unknown.

#include "LineSettings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace ixo::test {

unsigned LineSpeedOf(int fd) {
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0) return 0;
    return line.c_ospeed;
}

bool SetsLine(unsigned long request) {
    switch (request) {
        case TCSETS:
        case TCSETSW:
        case TCSETSF:
        case TCSETS2:
        case TCSETSW2:
        case TCSETSF2:
            return true;
        default:
            return false;
    }
}

}  // namespace ixo::test
