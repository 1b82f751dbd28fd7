#include "cli/ScreenRelay.h"

#include "cli/ScreenPipe.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace orvexa {

namespace {

constexpr std::size_t kReadBytes = 4096;
constexpr int kDrainStepMs = 10;
constexpr std::array<int, 2> kStreams = {1, 2}; // standard output, standard error

// One standard stream: the pipe the program now writes into, and the real stream moved aside.
struct Lane {
    int fd = -1;
    int real = -1;
    int pipeRead = -1;
    std::mutex mutex;
    std::condition_variable wake;
    std::string backlog;   // read from the pipe, not yet written
    bool ended = false;    // the pipe is closed: nothing more comes
    bool skipping = false; // over the bound: dropping up to the next line's end
    std::size_t dropped = 0;
    std::atomic<bool> gone{false};
    std::atomic<std::size_t> waiting{0}; // bytes in the backlog and in the write under way
    std::thread reader;
    std::thread writer;
};

std::array<Lane, 2> lanes;
std::atomic<bool> relaying{false};

Lane* laneOf(std::FILE* stream) {
    if (!relaying.load() || stream == nullptr) {
        return nullptr;
    }
    const int fd = fileno(stream);
    for (Lane& lane : lanes) {
        if (lane.fd == fd) {
            return &lane;
        }
    }
    return nullptr;
}

// The descriptor a question about the stream's terminal goes to.
int realDescriptor(std::FILE* stream) {
    const Lane* lane = laneOf(stream);
    return lane != nullptr ? lane->real : fileno(stream);
}

// Under the lane's lock.
void keep(Lane& lane, std::string_view data) {
    while (!data.empty()) {
        if (lane.skipping) {
            const std::size_t end = data.find('\n');
            const std::size_t skipped = end == std::string_view::npos ? data.size() : end + 1;
            lane.dropped += skipped;
            data.remove_prefix(skipped);
            lane.skipping = end == std::string_view::npos;
            continue;
        }
        if (lane.backlog.size() + data.size() > ScreenRelay::kBacklogLimit) {
            lane.skipping = true;
            continue;
        }
        lane.backlog.append(data);
        lane.waiting += data.size();
        return;
    }
}

void readLoop(Lane& lane) {
    screen::keepSignalsAway();
    char buffer[kReadBytes];
    for (long got; (got = screen::readSome(lane.pipeRead, buffer, sizeof buffer)) > 0;) {
        std::lock_guard<std::mutex> lock(lane.mutex);
        // Once the stream is gone, the pipe is still emptied, so that the program's writes never wait.
        if (!lane.gone.load()) {
            keep(lane, std::string_view(buffer, static_cast<std::size_t>(got)));
            lane.wake.notify_one();
        }
    }
    std::lock_guard<std::mutex> lock(lane.mutex);
    lane.ended = true;
    lane.wake.notify_one();
}

void writeLoop(Lane& lane) {
    screen::keepSignalsAway();
    std::unique_lock<std::mutex> lock(lane.mutex);
    for (;;) {
        lane.wake.wait(lock, [&lane] { return !lane.backlog.empty() || lane.ended; });
        if (lane.backlog.empty()) {
            return;
        }
        std::string chunk;
        chunk.swap(lane.backlog);
        lock.unlock();
        if (!lane.gone.load() && !screen::writeAll(lane.real, chunk.data(), chunk.size())) {
            lane.gone.store(true);
        }
        lock.lock();
        lane.waiting -= chunk.size();
        if (lane.gone.load()) {
            lane.waiting -= lane.backlog.size();
            lane.backlog.clear();
        }
    }
}

// The program writes into the pipe from now on; false, with nothing changed, when the OS says no.
bool startLane(Lane& lane, int fd) {
    screen::Pipe pipe;
    if (!screen::makePipe(pipe)) {
        return false;
    }
    const int real = screen::duplicate(fd);
    if (real < 0 || !screen::redirect(pipe.write, fd)) {
        screen::closeDescriptor(real);
        screen::closeDescriptor(pipe.read);
        screen::closeDescriptor(pipe.write);
        return false;
    }
    screen::closeDescriptor(pipe.write); // fd is now the pipe's only writing end
    lane.fd = fd;
    lane.real = real;
    lane.pipeRead = pipe.read;
    lane.reader = std::thread(readLoop, std::ref(lane));
    lane.writer = std::thread(writeLoop, std::ref(lane));
    return true;
}

// Gives fd its real stream back, which closes the pipe's writing end: the reader sees its end, and the
// writer ends once the rest is written.
void endLane(Lane& lane) {
    screen::redirect(lane.real, lane.fd);
    lane.reader.join();
    lane.writer.join();
    screen::closeDescriptor(lane.pipeRead);
    screen::closeDescriptor(lane.real);
}

} // namespace

ScreenRelay::ScreenRelay() {
    screen::ignoreBrokenPipes();
    if (relaying.load()) {
        return; // one relay per process
    }
    std::fflush(stdout);
    std::fflush(stderr);
    for (std::size_t i = 0; i < kStreams.size(); ++i) {
        if (!startLane(lanes[i], kStreams[i])) {
            lanes[i].fd = -1;
        }
    }
    relaying.store(true);
}

ScreenRelay::~ScreenRelay() {
    if (!relaying.load()) {
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::size_t dropped = 0;
    for (Lane& lane : lanes) {
        if (lane.fd >= 0) {
            endLane(lane);
            dropped += lane.dropped;
        }
    }
    relaying.store(false);
    if (dropped > 0) {
        std::fprintf(stderr,
                     "orvexa-cli: the screen fell too far behind; %zu bytes of output were dropped.\n",
                     dropped);
    }
    for (Lane& lane : lanes) {
        lane.fd = -1;
    }
}

bool ScreenRelay::behind(std::FILE* stream) {
    const Lane* lane = laneOf(stream);
    return lane != nullptr && lane->waiting.load() > kBehindBytes;
}

bool ScreenRelay::gone(std::FILE* stream) {
    const Lane* lane = laneOf(stream);
    return lane != nullptr && lane->gone.load();
}

bool ScreenRelay::isTerminal(std::FILE* stream) {
    return screen::isTerminalDescriptor(realDescriptor(stream));
}

int ScreenRelay::columns(std::FILE* stream) {
    return screen::terminalColumnsOf(realDescriptor(stream));
}

void ScreenRelay::drainBeforeExit() noexcept {
    if (!relaying.load()) {
        return;
    }
    for (int waited = 0; waited < kExitDrainMs; waited += kDrainStepMs) {
        bool left = false;
        for (const Lane& lane : lanes) {
            left = left || (lane.fd >= 0 && !lane.gone.load() &&
                            (lane.waiting.load() > 0 || screen::readable(lane.pipeRead)));
        }
        if (!left) {
            return;
        }
        screen::napMs(kDrainStepMs);
    }
}

int terminalColumns(std::FILE* stream) {
    return ScreenRelay::columns(stream);
}

} // namespace orvexa
