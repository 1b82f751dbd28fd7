#include "serial/posix/PosixSerialChannel.h"

#include "serial/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace orvexa {

namespace {

std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

constexpr std::int64_t kNsPerMs = 1'000'000;

// poll() takes whole milliseconds; round up so that a wait never ends before its time.
int remainingMs(std::int64_t untilNs) {
    const std::int64_t left = untilNs - nowNs();
    if (left <= 0) {
        return 0;
    }
    return static_cast<int>(std::min<std::int64_t>((left + kNsPerMs - 1) / kNsPerMs, 1'000'000'000));
}

speed_t speedFor(std::uint32_t baudRate) {
    switch (baudRate) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return B115200;
    }
}

ChannelError errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return ChannelError::NoSuchPort;
    case EACCES:
    case EPERM:
        return ChannelError::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return ChannelError::Busy;
    default:
        return ChannelError::Other;
    }
}

// A serial port is a character device that answers as a terminal; /dev/null and /dev/zero are character
// devices too, and only the terminal query tells them apart.
bool isTerminalDevice(int fd, termios& tio) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && tcgetattr(fd, &tio) == 0;
}

// Why an open() failed. A path that names something other than a device (a directory gives EISDIR, a
// file we may not write gives EACCES) is not a port at all, whatever the call said.
ChannelError openError(const std::string& path, int error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) {
        return ChannelError::NotSerialPort;
    }
    return errorFromErrno(error);
}

int systemModemLines(int fd, unsigned long request, int* lines) {
    return ::ioctl(fd, request, lines);
}

// Raw 8-bit line: no echo, no CR/LF translation, no flow control of either kind, the receiver on and
// modem control lines ignored, reads never blocking in the driver (poll() does the waiting).
void makeRaw(termios& tio, std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t parity,
             std::uint8_t stopBits) {
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (byteSize) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    default:
        tio.c_cflag |= CS8;
        break;
    }
    // DCB parity codes: 0 none, 1 odd, 2 even (mark and space have no termios equivalent).
    if (parity == 1) {
        tio.c_cflag |= PARENB | PARODD;
    } else if (parity == 2) {
        tio.c_cflag |= PARENB;
    }
    // DCB stop-bit codes: 0 one, 1 one and a half, 2 two.
    if (stopBits != 0) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speedFor(baudRate));
    cfsetospeed(&tio, speedFor(baudRate));
}

// The descriptors of the ports this process holds in exclusive mode, for a process that ends at once on
// Ctrl-C: exclusive mode would outlive that exit as it outlives a close, and keep the next run out. A
// fixed table of atomics, so that a signal handler may walk it. Room for a fleet's workers, each with its
// main and its probe channel; a slot holds the descriptor plus one, so that the zeroed table is empty.
constexpr int kMaxExclusivePorts = 128;
constexpr int kEmptySlot = 0;
std::atomic<int> exclusivePorts[kMaxExclusivePorts] = {};

void rememberExclusive(int fd) {
    for (std::atomic<int>& slot : exclusivePorts) {
        int empty = kEmptySlot;
        if (slot.compare_exchange_strong(empty, fd + 1)) {
            return;
        }
    }
}

void forgetExclusive(int fd) {
    for (std::atomic<int>& slot : exclusivePorts) {
        int held = fd + 1;
        if (slot.compare_exchange_strong(held, kEmptySlot)) {
            return;
        }
    }
}

} // namespace

void releasePortsForExit() noexcept {
    static_assert(std::atomic<int>::is_always_lock_free);
    for (std::atomic<int>& slot : exclusivePorts) {
        const int held = slot.load();
        if (held != kEmptySlot) {
            ioctl(held - 1, TIOCNXCL);
        }
    }
}

PosixSerialChannel::PosixSerialChannel() : modemLines_(systemModemLines) {}

PosixSerialChannel::PosixSerialChannel(SocketPorts* socketPorts)
    : modemLines_(systemModemLines), socketPorts_(socketPorts) {}

PosixSerialChannel::~PosixSerialChannel() {
    PosixSerialChannel::close();
}

void PosixSerialChannel::close() {
    if (fd_ >= 0 && !socketPort_.empty()) {
        socketPorts_->release(socketPort_, fd_);
        socketPort_.clear();
        fd_ = -1;
    } else if (fd_ >= 0) {
        // Exclusive mode belongs to the terminal, not to this descriptor: it outlives the close while the
        // far end holds the line (a Bluetooth link, rdq-sim's pseudo-terminal), and every later open by a
        // user other than root, Step 2's reopen of the port that Step 1 found among them, is refused.
        ioctl(fd_, TIOCNXCL);
        forgetExclusive(fd_);
        ::close(fd_); // releases the flock() as well
        fd_ = -1;
    }
}

bool PosixSerialChannel::open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
                              std::uint8_t parity, std::uint8_t stopBits, std::uint32_t access) {
    close();
    lastError_ = ChannelError::None;

    if (socketPorts_ != nullptr && socketPorts_->names(portName)) {
        ChannelError error = ChannelError::Other;
        const int fd = socketPorts_->connect(portName, error);
        if (fd < 0) {
            lastError_ = error;
            return false;
        }
        fd_ = fd;
        socketPort_ = portName;
        return true;
    }

    const bool wantRead = (access & 0x80000000u) != 0;
    const bool wantWrite = (access & 0x40000000u) != 0;
    const int mode = wantRead && wantWrite ? O_RDWR : (wantWrite ? O_WRONLY : O_RDONLY);
    const int fd = ::open(portName.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = openError(portName, errno);
        return false;
    }
    termios tio{};
    if (!isTerminalDevice(fd, tio)) {
        lastError_ = ChannelError::NotSerialPort;
        ::close(fd);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastError_ = errorFromErrno(errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;

    // As with the settings of the original port, a refusal here is not reported: a pseudo-terminal, for
    // one, knows no modem lines. The port counts as open.
    if (ioctl(fd_, TIOCEXCL) == 0) {
        rememberExclusive(fd_);
    }
    makeRaw(tio, baudRate, byteSize, parity, stopBits);
    tcsetattr(fd_, TCSANOW, &tio);
    int inactive = TIOCM_DTR | TIOCM_RTS;
    modemLines_(fd_, TIOCMBIC, &inactive);
    tcflush(fd_, TCIOFLUSH);
    return true;
}

void PosixSerialChannel::lineLost(std::int64_t untilNs) {
    lastError_ = ChannelError::LineLost;
    for (int ms = remainingMs(untilNs); ms > 0; ms = remainingMs(untilNs)) {
        poll(nullptr, 0, ms);
    }
}

std::int32_t PosixSerialChannel::read(std::uint8_t* buffer, std::int32_t count) {
    if (fd_ < 0 || count <= 0) {
        return 0;
    }
    const std::int64_t start = nowNs();
    const std::int64_t totalEnd =
        start + (static_cast<std::int64_t>(kReadTotalMultiplierMs) * count + kReadTotalConstantMs) * kNsPerMs;
    std::int32_t received = 0;
    std::int64_t end = totalEnd;
    while (received < count) {
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, remainingMs(end));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            lineLost(end);
            break;
        }
        if (ready == 0) {
            break; // the total limit, or the interval after the last byte, has passed
        }
        if ((pfd.revents & POLLIN) != 0) {
            const ssize_t got = ::read(fd_, buffer + received, static_cast<std::size_t>(count - received));
            if (got > 0) {
                received += static_cast<std::int32_t>(got);
                end = std::min(totalEnd, nowNs() + static_cast<std::int64_t>(kReadIntervalMs) * kNsPerMs);
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
        }
        // POLLHUP, POLLERR, EIO or end of file: the far end is gone.
        lineLost(end);
        break;
    }
    return received;
}

std::int32_t PosixSerialChannel::readArrived(std::uint8_t* buffer, std::int32_t count) {
    if (fd_ < 0 || count <= 0) {
        return 0;
    }
    // The descriptor is non-blocking: read() takes what the driver holds and returns at once.
    const ssize_t got = ::read(fd_, buffer, static_cast<std::size_t>(count));
    return got > 0 ? static_cast<std::int32_t>(got) : 0;
}

std::int32_t PosixSerialChannel::write(const std::uint8_t* buffer, std::int32_t count) {
    if (fd_ < 0 || count <= 0) {
        return 0;
    }
    const std::int64_t end =
        nowNs() +
        (static_cast<std::int64_t>(kWriteTotalMultiplierMs) * count + kWriteTotalConstantMs) * kNsPerMs;
    std::int32_t sent = 0;
    while (sent < count) {
        // A socket whose far end is gone must fail the call, not raise SIGPIPE.
        const ssize_t put =
            socketPort_.empty()
                ? ::write(fd_, buffer + sent, static_cast<std::size_t>(count - sent))
                : ::send(fd_, buffer + sent, static_cast<std::size_t>(count - sent), MSG_NOSIGNAL);
        if (put > 0) {
            sent += static_cast<std::int32_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno == EAGAIN) {
            pollfd pfd{fd_, POLLOUT, 0};
            const int ready = poll(&pfd, 1, remainingMs(end));
            if (ready == 0) {
                break; // the write time-out
            }
            if (ready > 0 && (pfd.revents & POLLOUT) != 0) {
                continue;
            }
            if (ready < 0 && errno == EINTR) {
                continue;
            }
        }
        // Nothing can be written to a line whose far end is gone; say so and report what went out.
        lastError_ = ChannelError::LineLost;
        break;
    }
    return sent;
}

} // namespace orvexa
