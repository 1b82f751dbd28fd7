#include "serial/linux/Bluez.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace orvexa {

bool kernelHasBluetoothSockets() {
    constexpr int kRfcommProtocol = 3;
    const int fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC, kRfcommProtocol);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    // Only a kernel without the family says so; a refusal for any other reason means it is there.
    return errno != EAFNOSUPPORT && errno != EPROTONOSUPPORT;
}

} // namespace orvexa
