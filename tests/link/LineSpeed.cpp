#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace ixo::test {

unsigned LineSpeedOf(int fd) {
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0) return 0;
    return line.c_ospeed;
}

}  // namespace ixo::test
