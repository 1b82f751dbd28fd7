#include "SimFleet.h"

#include "ChildProcess.h"

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace orvexa {

SimFleet::SimFleet(const std::vector<std::string>& options, std::size_t count) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = spawnChild(rdqSimProgram(), options, {-1, out[1], STDERR_FILENO});
    ::close(out[1]);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLimitMs);
    std::string line;
    pollfd pfd{out[0], POLLIN, 0};
    char c = 0;
    while (paths.size() < count) {
        const auto leftMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (leftMs <= 0 || ::poll(&pfd, 1, static_cast<int>(leftMs)) <= 0 || ::read(out[0], &c, 1) != 1) {
            break;
        }
        if (c == '\n') {
            paths.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    ::close(out[0]);
}

int SimFleet::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        code_ = waitChild(pid_, kLimitMs).code;
        pid_ = -1;
    }
    return code_;
}

} // namespace orvexa
