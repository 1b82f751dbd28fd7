#include "PseudoTerminal.h"

#include "serial/Platform.h"
#include "serial/posix/PosixSerialChannel.h"

#include <gtest/gtest.h>

#include <numeric>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace orvexa;
using namespace orvexa::test;

namespace {

// Real time on a shared machine: allow twice the nominal figure before calling it a fault.
constexpr double kSlack = 2.0;

// The channel open on a pseudo-terminal whose master the test plays.
class PosixSerialPort : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(channel.openDefault(pty.slavePath())); }

    PseudoTerminal pty;
    PosixSerialChannel channel;
};

// Exclusive mode belongs to the terminal and outlives our descriptor; root could reopen regardless, so
// the terminal itself is asked.
bool stillExclusive(const PseudoTerminal& pty) {
    const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(slave, 0);
    int exclusive = -1;
    EXPECT_EQ(ioctl(slave, TIOCGEXCL, &exclusive), 0);
    ::close(slave);
    return exclusive != 0;
}

// The lines of a UART that has just been opened (the driver raises DTR and RTS), changed as the kernel
// would change them; a plain function, as the channel takes a function pointer.
int modemLines = 0;
bool modemLinesRaised = false;

int fakeModemLines(int, unsigned long request, int* lines) {
    const int before = modemLines;
    if (request == TIOCMBIC) {
        modemLines &= ~*lines;
    } else if (request == TIOCMBIS) {
        modemLines |= *lines;
    } else if (request == TIOCMSET) {
        modemLines = *lines;
    }
    modemLinesRaised = modemLinesRaised || (modemLines & ~before & (TIOCM_DTR | TIOCM_RTS)) != 0;
    return 0;
}

} // namespace

TEST_F(PosixSerialPort, EveryByteValuePassesBothWaysUnchanged) {
    EXPECT_TRUE(channel.isOpen());
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(channel.write(all.data(), 256), 256);
    EXPECT_EQ(pty.receive(256), all);

    pty.send(all);
    std::vector<std::uint8_t> back(256);
    EXPECT_EQ(channel.read(back.data(), 256), 256);
    EXPECT_EQ(back, all);
}

TEST_F(PosixSerialPort, OneByteReadOnASilentLineTakesAboutTwentyMs) {
    std::uint8_t byte = 0;
    const double start = nowMs();
    EXPECT_EQ(channel.read(&byte, 1), 0);
    const double took = nowMs() - start;
    EXPECT_GE(took, 19.0);
    EXPECT_LE(took, 20.0 * kSlack);
}

TEST_F(PosixSerialPort, ReadEndsTwoHundredMsAfterTheLastByte) {
    std::vector<std::uint8_t> buffer(100); // total limit 10 * 100 + 10 = 1010 ms
    const double start = nowMs();
    pty.send({'a', 'b', 'c', 'd', 'e'});
    EXPECT_EQ(channel.read(buffer.data(), 100), 5);
    const double took = nowMs() - start;
    EXPECT_GE(took, 195.0);
    EXPECT_LE(took, 200.0 * kSlack);
}

TEST_F(PosixSerialPort, ReadReturnsAtOnceWhenAllBytesAreThere) {
    pty.send({1, 2, 3, 4});
    std::uint8_t buffer[4];
    const double start = nowMs();
    EXPECT_EQ(channel.read(buffer, 4), 4);
    EXPECT_LT(nowMs() - start, 20.0 * kSlack); // well inside the 50 ms the read may take at most
}

TEST(PosixSerialChannel, PortIsExclusive) {
    PseudoTerminal pty;
    PosixSerialChannel first;
    PosixSerialChannel second;
    ASSERT_TRUE(first.openDefault(pty.slavePath()));
    EXPECT_FALSE(second.openDefault(pty.slavePath()));
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.lastError(), ChannelError::Busy);

    first.close();
    EXPECT_TRUE(second.openDefault(pty.slavePath())); // released by close
}

TEST_F(PosixSerialPort, FailedOpenLeavesTheChannelClosedAndReleasesTheOldPort) {
    EXPECT_FALSE(channel.openDefault("/dev/orvexa-no-such-port"));
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(channel.lastError(), ChannelError::NoSuchPort);

    PosixSerialChannel other;
    EXPECT_TRUE(other.openDefault(pty.slavePath()));
}

TEST(PosixSerialChannel, ClosedChannelReturnsZeroAtOnce) {
    PosixSerialChannel channel;
    std::uint8_t byte = 'W';
    const double start = nowMs();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(channel.write(&byte, 1), 0);
        EXPECT_EQ(channel.read(&byte, 1), 0);
    }
    channel.close(); // closing a closed channel does nothing
    // Ten silent reads alone would take 200 ms; a closed channel makes no system call at all.
    EXPECT_LT(nowMs() - start, 50.0);
    EXPECT_FALSE(channel.isOpen());
}

TEST_F(PosixSerialPort, VanishedFarEndReadsLikeASilentLineWithoutSpinning) {
    pty.hangUp();

    std::uint8_t byte = 0;
    const double cpuBefore = cpuMs();
    const double start = nowMs();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(channel.read(&byte, 1), 0);
    }
    const double took = nowMs() - start;
    EXPECT_GE(took, 10 * 19.0);           // each read waited out its 20 ms
    EXPECT_LT(cpuMs() - cpuBefore, 50.0); // and did not busy-loop meanwhile
    EXPECT_EQ(channel.lastError(), ChannelError::LineLost);
    EXPECT_TRUE(channel.isOpen()); // the tool decides what to do; the channel only reports
}

TEST_F(PosixSerialPort, CloseAndAnExitOnCtrlCLeaveThePortOpenToOthers) {
    ASSERT_TRUE(stillExclusive(pty));
    channel.close();
    EXPECT_FALSE(stillExclusive(pty));

    // A process that ends from its signal handler never reaches the close.
    ASSERT_TRUE(channel.openDefault(pty.slavePath()));
    releasePortsForExit();
    EXPECT_FALSE(stillExclusive(pty));
}

TEST(PosixSerialChannel, OpenHoldsDtrAndRtsInactive) {
    modemLines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS;
    modemLinesRaised = false;
    PseudoTerminal pty;
    PosixSerialChannel channel(fakeModemLines);
    ASSERT_TRUE(channel.openDefault(pty.slavePath()));
    EXPECT_EQ(modemLines, TIOCM_CTS);
    EXPECT_FALSE(modemLinesRaised);
}
