// What happens to orvexa-cli's output never reaches the wire: a reader that goes away, a terminal that
// hangs up or a reader that stops reading leaves every transfer under way to finish with its closing
// frame, and the run ends with its own exit code. Over pseudo-terminals with rdq-sim, one scanner and a
// fleet of two.
#include "ChildProcess.h"
#include "SimFleet.h"
#include "TextChecks.h"
#include "firmware/Sha256.h"

#include "app/ExitCodes.h"
#include "firmware/FirmwarePackage.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace orvexa;

namespace {

constexpr int kLimitMs = 60000; // far above any run here; reached only by a run that is held up
constexpr int kSmallestPipe = 4096;

// What a scanner's record says when the whole carried image and its closing frame reached it.
std::string wholeImageEntry() {
    FirmwarePackage package = FirmwarePackage::carried();
    package.patchImageHeader();
    std::vector<std::uint8_t> image(package.image(), package.image() + package.imageSize());
    image.resize((image.size() + 255) / 256 * 256, 0xFF); // the last block's tail is erased flash
    return "\"image\": {\"length\": " + std::to_string(image.size()) + ", \"sha256\": \"" + sha256Hex(image) +
           "\"";
}

// One scanner or a fleet of two, each recording what it holds, and the orvexa-cli arguments for them.
class Scanners {
public:
    explicit Scanners(int count) {
        std::vector<std::string> options = {"--scanners", std::to_string(count)};
        for (int scanner = 1; scanner <= count; ++scanner) {
            records_.push_back(scratchPath("screen-loss-" + std::to_string(scanner) + ".json"));
            options.insert(options.end(),
                           {"--scanner", std::to_string(scanner), "--record", records_.back()});
        }
        sim_ = std::make_unique<SimFleet>(options, static_cast<std::size_t>(count));
    }
    ~Scanners() {
        for (const std::string& record : records_) {
            std::remove(record.c_str());
        }
    }

    bool ready() const { return sim_->paths.size() == records_.size(); }
    std::vector<std::string> cliArgs(std::vector<std::string> args) const {
        if (records_.size() > 1) {
            args.push_back("--all");
        }
        for (const std::string& path : sim_->paths) {
            args.insert(args.end(), {"--port", path});
        }
        return args;
    }
    // Stops rdq-sim, which then writes the records.
    std::vector<std::string> takeRecords() {
        sim_->stop();
        std::vector<std::string> texts;
        for (const std::string& record : records_) {
            texts.push_back(readFile(record));
        }
        return texts;
    }

private:
    std::vector<std::string> records_;
    std::unique_ptr<SimFleet> sim_;
};

void expectEveryScannerWhole(Scanners& scanners) {
    const std::string whole = wholeImageEntry();
    for (const std::string& record : scanners.takeRecords()) {
        EXPECT_TRUE(contains(record, whole));
        EXPECT_TRUE(contains(record, "\"upgradeFinished\": true"));
    }
}

// Reads the pipe until `text` came by, at most kLimitMs.
bool readUntil(int fd, const std::string& text) {
    std::string seen;
    char buffer[4096];
    for (int waitedMs = 0; waitedMs < kLimitMs && seen.find(text) == std::string::npos;) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            waitedMs += 100;
            continue;
        }
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        seen.append(buffer, static_cast<std::size_t>(got));
    }
    return seen.find(text) != std::string::npos;
}

// How many scanner channels (not probes) the wire trace shows closed.
std::size_t mainChannelsClosed(const std::string& trace) {
    std::size_t closed = 0;
    std::istringstream lines(readFile(trace));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t label = line.find(" ms  ");
        closed += label != std::string::npos && line.compare(label + 5, 4, "main") == 0 && line.size() > 6 &&
                  line.compare(line.size() - 6, 6, " close") == 0;
    }
    return closed;
}

bool waitForClosed(const std::string& trace, std::size_t count) {
    constexpr int kLookEveryMs = 20;
    for (int waitedMs = 0; waitedMs < kLimitMs; waitedMs += kLookEveryMs) {
        if (mainChannelsClosed(trace) >= count) {
            return true;
        }
        ::usleep(kLookEveryMs * 1000);
    }
    return false;
}

void drain(int fd) {
    char buffer[4096];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            read = ends[0];
            write = ends[1];
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    void closeRead() {
        if (read >= 0) {
            ::close(read);
        }
        read = -1;
    }
    void closeWrite() {
        if (write >= 0) {
            ::close(write);
        }
        write = -1;
    }
};

} // namespace

class ScreenLoss : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (!programsBuilt() || FirmwarePackage::carried().isUpdateContainer()) {
            GTEST_SKIP() << "needs orvexa-cli and rdq-sim with the carried classic image";
        }
    }
};

INSTANTIATE_TEST_SUITE_P(OneAndTwo, ScreenLoss, testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "OneScanner" : "FleetOfTwo"; });

// `orvexa-cli ... 2>&1 | head`: the reader goes away once it saw the transfer begin.
TEST_P(ScreenLoss, AReaderThatClosesMidTransferStopsOnlyThePrinting) {
    Scanners scanners(GetParam());
    ASSERT_TRUE(scanners.ready());
    Pipe output;
    const pid_t cli =
        spawnChild(cliProgram(), scanners.cliArgs({"--silent", "--yes"}), {-1, output.write, output.write});
    output.closeWrite();
    ASSERT_TRUE(readUntil(output.read, "firmware"));
    output.closeRead();
    EXPECT_EQ(waitChild(cli, kLimitMs).code, exitcode::kDone);
    expectEveryScannerWhole(scanners);
}

// The terminal closes, or the SSH session drops, while the scanners are written.
TEST_P(ScreenLoss, AHangUpMidTransferLetsEveryTransferFinish) {
    Scanners scanners(GetParam());
    ASSERT_TRUE(scanners.ready());
    const std::string outputFile = scratchPath("screen-loss-hangup.txt");
    const int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t cli = spawnChild(cliProgram(), scanners.cliArgs({"--silent", "--yes"}), {-1, fd, fd});
    ::close(fd);
    ASSERT_TRUE(waitForText(outputFile, "firmware", kLimitMs));
    ::kill(cli, SIGHUP);
    EXPECT_EQ(waitChild(cli, kLimitMs).code, exitcode::kDone) << readFile(outputFile);
    std::remove(outputFile.c_str());
    expectEveryScannerWhole(scanners);
}

// A pipe nobody reads: JSON events (a line every percent) fill the smallest pipe the OS makes long
// before the transfer ends, and the transfer still ends while nobody reads. The wire trace, a file of its
// own, shows when the scanner's port was closed after the last frame.
TEST_P(ScreenLoss, AReaderThatStopsReadingHoldsUpNoTransfer) {
    Scanners scanners(GetParam());
    ASSERT_TRUE(scanners.ready());
    const std::string trace = scratchPath("screen-loss-trace.txt");
    Pipe output;
    ASSERT_GE(::fcntl(output.write, F_SETPIPE_SZ, kSmallestPipe), kSmallestPipe);
    const pid_t cli =
        spawnChild(cliProgram(), scanners.cliArgs({"--silent", "--yes", "--json", "--trace", trace}),
                   {-1, output.write, -1});
    output.closeWrite();
    const bool transfersEnded = waitForClosed(trace, static_cast<std::size_t>(GetParam()));
    drain(output.read);
    EXPECT_TRUE(transfersEnded);
    EXPECT_EQ(waitChild(cli, kLimitMs).code, exitcode::kDone);
    std::remove(trace.c_str());
    expectEveryScannerWhole(scanners);
}

// Before the first write, a lost terminal ends the run as Ctrl-C does there: nothing written, 128 + SIGHUP.
TEST(ScreenLossBeforeWriting, AHangUpWhileVerifyingEndsTheRunWith129AndWritesNothing) {
    if (!programsBuilt() || FirmwarePackage::carried().isUpdateContainer()) {
        GTEST_SKIP() << "needs orvexa-cli and rdq-sim with the carried classic image";
    }
    const std::string recordFile = scratchPath("screen-loss-early.json");
    const std::string outputFile = scratchPath("screen-loss-early.txt");
    // 300 ms a reply: Step 2 takes a few seconds, time enough to hang up in it.
    RdqSimProcess sim(rdqSimProgram(), {"--latency", "300", "--record", recordFile});
    ASSERT_FALSE(sim.path().empty());
    const int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t cli = spawnChild(cliProgram(), {"--silent", "--yes", "--port", sim.path()}, {-1, fd, fd});
    ::close(fd);
    ASSERT_TRUE(waitForText(outputFile, "Open Done!!!", kLimitMs));
    ::kill(cli, SIGHUP);
    EXPECT_EQ(waitChild(cli, kLimitMs).code, exitcode::kHungUp) << readFile(outputFile);
    const std::string record = sim.takeRecord();
    EXPECT_TRUE(contains(record, "\"blocksStored\": 0"));
    EXPECT_TRUE(contains(record, "\"upgradeFinished\": false"));
    std::remove(outputFile.c_str());
}
