// The line helper under both links, against a scripted line on the virtual clock: where each wait ends
// and what it costs.
#include "device/LineReader.h"
#include "ScriptedLine.h"

#include <gtest/gtest.h>

using namespace orvexa;

namespace {

struct LineReaderTest : ::testing::Test {
    VirtualClock clock;
    ScriptedLine line{clock};

    void arrive(std::size_t count) { line.pending.assign(count, 'z'); }
};

} // namespace

TEST_F(LineReaderTest, DrainEndsAtTheFirstSilentReadAtItsByteCountOrAtItsLimit) {
    arrive(3);
    line::drain(line, clock, {3000, 512, 100});
    EXPECT_TRUE(line.pending.empty());
    EXPECT_EQ(clock.tickMs(), 3u * (1 + 100) + 20); // each byte and its pause, then one silent read

    arrive(600);
    line::drain(line, clock, {3000, 512, 0});
    EXPECT_EQ(line.pending.size(), 88u);

    arrive(5000);
    const std::uint32_t before = clock.tickMs();
    line::drain(line, clock, {3000, 512, 100});
    EXPECT_GE(clock.tickMs() - before, 3000u);
    EXPECT_LT(clock.tickMs() - before, 3101u);
}

TEST_F(LineReaderTest, ReadUntilTakesNoMoreThanWantedAndGivesUpAtItsLimitOrAtOnceWhenClosed) {
    arrive(5);
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(line::readUntil(line, clock, buffer, 4, 1000), 4u);
    EXPECT_EQ(line.pending.size(), 1u);

    EXPECT_EQ(line::readUntil(line, clock, buffer, 4, 1000), 1u);
    EXPECT_GE(clock.tickMs(), 1000u);
    EXPECT_LT(clock.tickMs(), 1030u);

    line.close();
    const std::uint32_t before = clock.tickMs();
    EXPECT_EQ(line::readUntil(line, clock, buffer, 4, 1000), 0u);
    EXPECT_EQ(clock.tickMs(), before);
    EXPECT_TRUE(line::gone(line));
}

TEST_F(LineReaderTest, LettersGoOneAWriteWithTheirPauseAndAClosedLineIsReadAtTheSilentPace) {
    line::sendLetter(line, clock, 'I', 100);
    line::sendLetter(line, clock, 'E', 0);
    EXPECT_EQ(line.writes, (std::vector<Bytes>{{'I'}, {'E'}}));
    EXPECT_EQ(clock.tickMs(), 100u);

    line.close();
    std::uint8_t byte = 0;
    EXPECT_FALSE(line::readByte(line, byte));
    EXPECT_EQ(clock.tickMs(), 100u);
    EXPECT_FALSE(line::awaitByte(line, clock, byte));
    EXPECT_EQ(clock.tickMs(), 120u);
}
