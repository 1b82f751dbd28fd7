// orvexa-cli against rdq-sim over a real pseudo-terminal, in real time: Step 2 for both families, and a
// whole framed-family upgrade. Which cases apply depends on what this build carries: the carried classic
// image, or a test "UPDATE" container (ORVEXA_FIRMWARE_IMAGE, see FramedContainer.sh).
#include "Sha256.h"
#include "firmware/FirmwarePackage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvexa;

namespace {

const std::string kCli = ORVEXA_BINARY_DIR "/src/cli/orvexa-cli";
const std::string kSim = ORVEXA_BINARY_DIR "/sim/rdq-sim";
// Far beyond a normal run (Step 1 to 3 of a framed upgrade take about 15 s on an idle machine), short of
// hanging the suite when something waits that should not.
constexpr int kCliLimitMs = 90000;

pid_t spawn(const std::vector<std::string>& args, int stdoutFd, int stderrFd) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        dup2(stdoutFd, STDOUT_FILENO);
        dup2(stderrFd, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// rdq-sim for the length of a test: started with its options, stopped (and its record written) at the end.
class Simulator {
public:
    explicit Simulator(std::vector<std::string> options) {
        recordPath_ = "/tmp/orvexa-e2e-record-" + std::to_string(getpid()) + ".json";
        options.insert(options.begin(), {kSim, "--record", recordPath_});
        int out[2];
        if (pipe(out) != 0) {
            throw std::runtime_error("pipe");
        }
        pid_ = spawn(options, out[1], STDERR_FILENO);
        close(out[1]);
        // The first line is the terminal's path.
        pollfd p{out[0], POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
            path_.push_back(c);
        }
        close(out[0]);
    }
    ~Simulator() { stop(); }

    const std::string& path() const { return path_; }

    // Stops the simulator and returns what it recorded, as JSON.
    std::string stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        std::ifstream in(recordPath_);
        std::stringstream text;
        text << in.rdbuf();
        std::remove(recordPath_.c_str());
        return text.str();
    }

private:
    pid_t pid_ = -1;
    std::string path_;
    std::string recordPath_;
};

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

CliRun runCli(const std::vector<std::string>& options) {
    std::vector<std::string> args{kCli};
    args.insert(args.end(), options.begin(), options.end());
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    const pid_t pid = spawn(args, fileno(out), fileno(err));
    CliRun run;
    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(kCliLimitMs)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "orvexa-cli did not end within " << kCliLimitMs << " ms";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    lseek(fileno(out), 0, SEEK_SET);
    lseek(fileno(err), 0, SEEK_SET);
    run.out = drain(fileno(out));
    run.err = drain(fileno(err));
    std::fclose(out);
    std::fclose(err);
    return run;
}

bool carriesContainer() {
    return FirmwarePackage::carried().isUpdateContainer();
}

// The two programs are built by the same tree; a partial build (only the test targets) may lack them.
#define REQUIRE_PROGRAMS()                                                                                   \
    if (access(kCli.c_str(), X_OK) != 0 || access(kSim.c_str(), X_OK) != 0) {                                \
        GTEST_SKIP() << "orvexa-cli and rdq-sim are not built";                                              \
    }

} // namespace

TEST(VerifyAndFramedEndToEnd, ClassicScannerIsVerifiedAndCheckStopsThere) {
    REQUIRE_PROGRAMS();
    if (carriesContainer()) {
        GTEST_SKIP() << "this build carries a framed-family container";
    }
    Simulator sim({});
    const CliRun run = runCli({"--silent", "--check", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("RDQ is verified[00A7UG] !!"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("3.05_200_A7UG RDQ200 BT Imager A7UG"), std::string::npos) << run.out;
    const std::string record = sim.stop();
    EXPECT_EQ(record.find("\"HH\""), std::string::npos); // no download was started
}

TEST(VerifyAndFramedEndToEnd, FramedScannerMeetingTheClassicImageIsToldWrongFirmware) {
    REQUIRE_PROGRAMS();
    if (carriesContainer()) {
        GTEST_SKIP() << "this build carries a framed-family container";
    }
    Simulator sim({"--family", "framed"});
    const CliRun run = runCli({"--silent", "--yes", "--port", sim.path()});
    EXPECT_NE(run.out.find("Wrong RDQ500 Firmware!!!"), std::string::npos) << run.out;
    EXPECT_EQ(run.exitCode, 1); // a refusal for a script, where the GUI exits 0
    EXPECT_NE(sim.stop().find("\"framedBlocksStored\": 0"), std::string::npos);
}

TEST(VerifyAndFramedEndToEnd, FramedScannerIsUpgradedWithTheCarriedContainer) {
    REQUIRE_PROGRAMS();
    if (!carriesContainer()) {
        GTEST_SKIP() << "needs a build that carries an UPDATE container (scripts/test builds one)";
    }
    const FirmwarePackage package = FirmwarePackage::carried();
    Simulator sim({"--family", "framed"});
    const CliRun run = runCli({"--silent", "--yes", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Loader:       L500_01_0A00 => "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Firmware updated sucessfully!!!"), std::string::npos) << run.out;

    // The default framed scanner takes 1024-byte blocks; the last one is filled with 0xFF.
    constexpr std::size_t kBlock = 1024;
    const std::size_t size = static_cast<std::size_t>(package.imageSize());
    std::vector<std::uint8_t> expected(package.image(), package.image() + size);
    expected.resize((size + kBlock - 1) / kBlock * kBlock, 0xFF);
    const std::string record = sim.stop();
    EXPECT_NE(record.find("\"framedImage\": {\"length\": " + std::to_string(expected.size()) +
                          ", \"sha256\": \"" + sha256Hex(expected) + "\""),
              std::string::npos)
        << record.substr(record.find("framedImage"), 200);
}

TEST(VerifyAndFramedEndToEnd, FramedScannerIsVerifiedAndCheckStopsThere) {
    REQUIRE_PROGRAMS();
    if (!carriesContainer()) {
        GTEST_SKIP() << "needs a build that carries an UPDATE container (scripts/test builds one)";
    }
    Simulator sim({"--family", "framed"});
    const CliRun run = runCli({"--silent", "--check", "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("RDQ is verified[00B2WW] !!"), std::string::npos) << run.out;
    EXPECT_NE(sim.stop().find("\"framedBlocksStored\": 0"), std::string::npos);
}
