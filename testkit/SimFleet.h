// rdq-sim --scanners N for the length of a test or a run: its standard output on a pipe, read for as many
// terminal paths as it has scanners; stopped with SIGTERM, it writes every scanner's record.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace orvexa {

class SimFleet {
public:
    static constexpr int kLimitMs = 5000; // for the paths at start, and for the stop

    // count: how many paths to wait for; fewer in paths when rdq-sim did not name them in time.
    SimFleet(const std::vector<std::string>& options, std::size_t count);
    ~SimFleet() { stop(); }
    SimFleet(const SimFleet&) = delete;
    SimFleet& operator=(const SimFleet&) = delete;

    // SIGTERM, then the exit code: -1 when it had to be killed. Once ended, the same code again.
    int stop();

    std::vector<std::string> paths;

private:
    pid_t pid_ = -1;
    int code_ = -1;
};

} // namespace orvexa
