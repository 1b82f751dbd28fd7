#include "PseudoTerminal.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace orvexa::test {

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    slavePath_ = ptsname(master_);
    // Raw on the slave side from the start, so that bytes sent before the tool opens it pass unchanged.
    const int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        ::close(slave);
    }
}

void PseudoTerminal::send(const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t put = ::write(master_, bytes.data() + sent, bytes.size() - sent);
        if (put <= 0) {
            throw std::runtime_error("cannot write to the pseudo-terminal");
        }
        sent += static_cast<std::size_t>(put);
    }
}

std::vector<std::uint8_t> PseudoTerminal::receive(std::size_t atLeast, int timeoutMs) {
    std::vector<std::uint8_t> bytes;
    const double end = nowMs() + timeoutMs;
    while (bytes.size() < atLeast || atLeast == 0) {
        const int left = static_cast<int>(end - nowMs());
        if (left <= 0) {
            break;
        }
        pollfd pfd{master_, POLLIN, 0};
        if (poll(&pfd, 1, atLeast == 0 ? std::min(left, 50) : left) <= 0) {
            break;
        }
        std::uint8_t buffer[4096];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

void PseudoTerminal::hangUp() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

PtyScanner::PtyScanner(PseudoTerminal& pty, ScannerPersonality personality, ScannerFaults faults)
    : pty_(pty), scanner_(std::move(personality), std::move(faults)), thread_([this] { pump(); }) {}

void PtyScanner::finish() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PtyScanner::pump() {
    const double start = nowMs();
    while (!stop_) {
        const auto us = static_cast<std::uint64_t>((nowMs() - start) * 1000);
        pollfd pfd{pty_.master(), POLLIN, 0};
        poll(&pfd, 1, 1);
        if ((pfd.revents & POLLIN) != 0) {
            std::uint8_t buffer[4096];
            const ssize_t got = ::read(pty_.master(), buffer, sizeof buffer);
            if (got > 0) {
                scanner_.receive(buffer, static_cast<std::size_t>(got), us);
            }
        } else if ((pfd.revents & POLLHUP) != 0) {
            usleep(1000); // nobody has the slave open right now
        }
        if (scanner_.vanished()) {
            pty_.hangUp();
            hungUp_ = true;
            return;
        }
        std::uint8_t out[4096];
        const std::size_t due = scanner_.takeDue(us, out, sizeof out);
        if (due > 0 && ::write(pty_.master(), out, due) < 0) {
            return;
        }
    }
}

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

} // namespace orvexa::test
