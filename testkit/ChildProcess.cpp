#include "ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvexa {

namespace {

// Short, because the benchmark's wall time of a child includes the last of these naps.
constexpr auto kWaitStep = std::chrono::milliseconds(2);

bool names(const char* entry, const std::string& name) {
    return std::strncmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == '=';
}

} // namespace

std::string streamText(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
    }
    return text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool hasLine(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    for (std::string candidate; std::getline(in, candidate);) {
        if (candidate == line) {
            return true;
        }
    }
    return false;
}

pid_t spawnChild(const std::string& program, const std::vector<std::string>& args, ChildStreams streams,
                 const std::vector<std::pair<std::string, std::string>>& environment) {
    // Everything the child needs is made before fork(): the caller may have threads, and after fork() only
    // async-signal-safe calls are sure to work.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<std::string> settings;
    std::vector<char*> envp;
    if (!environment.empty()) {
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::none_of(environment.begin(), environment.end(),
                             [entry](const auto& change) { return names(*entry, change.first); })) {
                envp.push_back(*entry);
            }
        }
        for (const auto& [name, value] : environment) {
            if (!value.empty()) {
                settings.push_back(name + "=" + value);
            }
        }
        for (std::string& setting : settings) {
            envp.push_back(setting.data());
        }
        envp.push_back(nullptr);
    }
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A child starts with the signals a user's shell gives it, whatever this process ignores.
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        for (const int signal : {SIGPIPE, SIGHUP}) {
            ::sigaction(signal, &byDefault, nullptr);
        }
        const int fds[3] = {streams.in, streams.out, streams.err};
        for (int target = 0; target < 3; ++target) {
            const int fd = fds[target] >= 0 ? fds[target] : devNull;
            // dup2() onto itself keeps close-on-exec; the stream must survive execv().
            const bool ok = fd == target ? ::fcntl(fd, F_SETFD, 0) == 0 : ::dup2(fd, target) == target;
            if (!ok) {
                ::_exit(127);
            }
        }
        if (envp.empty()) {
            ::execv(program.c_str(), argv.data());
        } else {
            ::execve(program.c_str(), argv.data(), envp.data());
        }
        ::_exit(127);
    }
    if (devNull >= 0) {
        ::close(devNull);
    }
    return pid;
}

ChildExit waitChild(pid_t pid, int limitMs) {
    ChildExit exit;
    // kill() with a pid of 0 or below signals whole process groups.
    if (pid <= 0) {
        return exit;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int status = 0;
    for (;;) {
        const pid_t ended = ::wait4(pid, &status, WNOHANG, &exit.usage);
        if (ended == pid) {
            exit.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return exit;
        }
        if (ended < 0 && errno != EINTR) {
            return exit; // not a child of ours, or already reaped
        }
        if (std::chrono::steady_clock::now() >= end) {
            break;
        }
        std::this_thread::sleep_for(kWaitStep);
    }
    ::kill(pid, SIGKILL);
    while (::wait4(pid, &status, 0, &exit.usage) < 0 && errno == EINTR) {
    }
    exit.killed = true;
    return exit;
}

const std::string& cliProgram() {
    static const std::string program = ORVEXA_BINARY_DIR "/src/cli/orvexa-cli";
    return program;
}

const std::string& rdqSimProgram() {
    static const std::string program = ORVEXA_BINARY_DIR "/sim/rdq-sim";
    return program;
}

std::string scratchPath(const std::string& name) {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr && folder[0] == '/' ? folder : "/tmp") + "/orvexa-" +
           std::to_string(::getpid()) + "-" + name;
}

bool waitForText(const std::string& file, const std::string& text, int limitMs) {
    constexpr int kLookEveryMs = 5;
    for (int waitedMs = 0; waitedMs < limitMs; waitedMs += kLookEveryMs) {
        if (readFile(file).find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kLookEveryMs));
    }
    return false;
}

bool programsBuilt() {
    return ::access(cliProgram().c_str(), X_OK) == 0 && ::access(rdqSimProgram().c_str(), X_OK) == 0;
}

namespace {

// A program run to its end with its standard input read from `input`, its other two streams kept.
CliRun runToEnd(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                const std::vector<std::pair<std::string, std::string>>& environment, int limitMs) {
    const auto start = std::chrono::steady_clock::now();
    // A terminal must not become the caller's controlling terminal: it is the CLI's keyboard.
    const int in = ::open(input.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    CliRun run;
    if (in < 0 || out == nullptr || err == nullptr) {
        run.err = "cannot open the streams for " + program + " (" + input + ")";
    } else {
        const ChildExit exit =
            waitChild(spawnChild(program, args, {in, ::fileno(out), ::fileno(err)}, environment), limitMs);
        run.exitCode = exit.code;
        run.out = streamText(out);
        run.err = streamText(err);
        if (exit.killed) {
            run.err += program.substr(program.rfind('/') + 1) + " did not end within " +
                       std::to_string(limitMs) + " ms\n";
        }
    }
    run.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (in >= 0) {
        ::close(in);
    }
    for (std::FILE* file : {out, err}) {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    return run;
}

} // namespace

CliRun runCli(const std::vector<std::string>& args, const CliSetup& setup) {
    std::string home = setup.settingsHome;
    // A folder of its own beside the test's other scratch files, so that TMPDIR moves it too.
    std::string fresh = scratchPath("settings-XXXXXX");
    if (home.empty() && ::mkdtemp(fresh.data()) != nullptr) {
        home = fresh;
    }
    CliRun run =
        runToEnd(cliProgram(), args, setup.input,
                 {{"ORVEXA_EXTRA_PORTS", setup.extraPorts}, {"XDG_CONFIG_HOME", home}}, setup.limitMs);
    if (setup.settingsHome.empty() && home == fresh) {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    return run;
}

CliRun runProgram(const std::string& program, const std::vector<std::string>& args, int limitMs) {
    return runToEnd(program, args, "/dev/null", {}, limitMs);
}

RdqSimProcess::RdqSimProcess(const std::string& program, const std::vector<std::string>& options) {
    const auto record = std::find(options.begin(), options.end(), "--record");
    if (record != options.end() && record + 1 != options.end()) {
        recordPath_ = *(record + 1);
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    // Its complaints go where the caller's own go, where a failing test shows them.
    pid_ = spawnChild(program, options, {-1, out[1], STDERR_FILENO});
    ::close(out[1]);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartLimitMs);
    pollfd pfd{out[0], POLLIN, 0};
    char c = 0;
    for (;;) {
        const auto leftMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (leftMs <= 0 || ::poll(&pfd, 1, static_cast<int>(leftMs)) <= 0 || ::read(out[0], &c, 1) != 1 ||
            c == '\n') {
            break;
        }
        path_.push_back(c);
    }
    ::close(out[0]);
}

RdqSimProcess::~RdqSimProcess() {
    stop();
    if (!recordPath_.empty()) {
        std::remove(recordPath_.c_str());
    }
}

int RdqSimProcess::stop() {
    if (pid_ <= 0) {
        return exitCode_;
    }
    ::kill(pid_, SIGTERM);
    return wait();
}

int RdqSimProcess::wait(int limitMs) {
    if (pid_ <= 0) {
        return exitCode_;
    }
    exitCode_ = waitChild(pid_, limitMs).code;
    pid_ = -1;
    return exitCode_;
}

std::string RdqSimProcess::takeRecord() {
    stop();
    if (recordPath_.empty()) {
        return {};
    }
    std::string text = readFile(recordPath_);
    std::remove(recordPath_.c_str());
    return text;
}

} // namespace orvexa
