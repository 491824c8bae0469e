// Exact serial speeds through the kernel's termios2 interface. Kept apart from the rest of the
// serial device because <asm/termbits.h> and glibc's <termios.h> define the same names and
// cannot share a translation unit.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace tavrin {

int SerialLineSpeed(int fd) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return -1;
    return static_cast<int>(settings.c_ospeed);
}

int SetExactSerialSpeed(int fd, int baud) {
    if (baud <= 0) return EINVAL;
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(baud);
    settings.c_ospeed = static_cast<speed_t>(baud);
    if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
    return 0;
}

}  // namespace tavrin
