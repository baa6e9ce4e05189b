// Linux: the line is set through termios2, which takes any rate in bit/s (28800 has
// no B constant) and reports the rate really in force.

#include "link/TtyControl.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace ixo::tty {

namespace {

constexpr tcflag_t InputOff = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                              IXOFF | IXANY | INPCK | IUCLC | IMAXBEL;
constexpr tcflag_t LocalOff = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | TOSTOP;
constexpr tcflag_t ControlOff =
    CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD;
constexpr tcflag_t ControlOn = CS8 | CLOCAL | CREAD | BOTHER;

bool Fail(std::string* why, const char* reason) {
    if (why != nullptr) *why = reason;
    return false;
}

}  // namespace

bool MayBeTty(const std::string& device) {
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) return true;  // the open says why
    if (!S_ISCHR(node.st_mode)) return false;
    // sysfs files each registered device under its kind; a pseudo-terminal's slave
    // has no record there.
    const std::string record = "/sys/dev/char/" + std::to_string(major(node.st_rdev)) + ":" +
                               std::to_string(minor(node.st_rdev)) + "/subsystem";
    std::error_code error;
    const std::filesystem::path kind = std::filesystem::read_symlink(record, error);
    return error || kind.filename() == "tty";
}

namespace {

bool IsWanted(const termios2& line, std::int32_t rate) {
    const auto want = static_cast<speed_t>(rate);
    return (line.c_iflag & InputOff) == 0 && (line.c_oflag & OPOST) == 0 &&
           (line.c_lflag & LocalOff) == 0 &&
           (line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) == CS8 &&
           (line.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) && line.c_cc[VMIN] == 0 &&
           line.c_cc[VTIME] == 0 && line.c_ospeed == want && line.c_ispeed == want;
}

}  // namespace

bool SetLine(int fd, std::int32_t rate, std::string* why) {
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0) return Fail(why, std::strerror(errno));
    line.c_iflag &= ~InputOff;
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~LocalOff;
    line.c_cflag = (line.c_cflag & ~ControlOff) | ControlOn;  // input rate follows output rate
    line.c_ospeed = static_cast<speed_t>(rate);
    line.c_ispeed = static_cast<speed_t>(rate);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (ioctl(fd, TCSETS2, &line) != 0) return Fail(why, std::strerror(errno));

    termios2 taken{};
    if (ioctl(fd, TCGETS2, &taken) != 0) return Fail(why, std::strerror(errno));
    if (!IsWanted(taken, rate)) return Fail(why, "line settings not taken by the device");
    return true;
}

bool MarkedExclusive(int fd) {
    int marked = 0;
    return ioctl(fd, TIOCGEXCL, &marked) == 0 && marked != 0;
}

void AskLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &serial);
}

ShiftRegister ShiftRegisterState(int fd) {
    unsigned int status = 0;
    if (ioctl(fd, TIOCSERGETLSR, &status) != 0) {
        // Pseudo-terminals and many USB adapters do not report it.
        return errno == ENOTTY || errno == EINVAL ? ShiftRegister::Empty : ShiftRegister::Failed;
    }
    return (status & TIOCSER_TEMT) != 0 ? ShiftRegister::Empty : ShiftRegister::Busy;
}

}  // namespace ixo::tty
