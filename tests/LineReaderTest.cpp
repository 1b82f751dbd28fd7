// The line helper under both links, against a scripted line on the virtual clock: where each wait ends
// and what it costs.
#include "device/LineReader.h"
#include "ScriptedLine.h"

#include <gtest/gtest.h>

using namespace orvexa;

TEST(LineReader, DrainEndsAtTheFirstSilentReadAtItsByteCountOrAtItsLimit) {
    VirtualClock clock;
    ScriptedLine line{clock};
    line.pending.assign(3, 'z');
    line::drain(line, clock, {3000, 512, 100});
    EXPECT_EQ(clock.tickMs(), 3u * (1 + 100) + 20); // each byte and its pause, then one silent read

    line.pending.assign(600, 'z');
    line::drain(line, clock, {3000, 512, 0});
    EXPECT_EQ(line.pending.size(), 88u);

    line.pending.assign(5000, 'z');
    const std::uint32_t before = clock.tickMs();
    line::drain(line, clock, {3000, 512, 100});
    EXPECT_GE(clock.tickMs() - before, 3000u);
    EXPECT_LT(clock.tickMs() - before, 3101u);
}

TEST(LineReader,
     ReadUntilTakesNoMoreThanWantedGivesUpAtItsLimitAndAClosedLineEndsEveryReadAtOnceOrAtTheSilentPace) {
    VirtualClock clock;
    ScriptedLine line{clock};
    line.pending.assign(5, 'z');
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(line::readUntil(line, clock, buffer, 4, 1000), 4u);
    EXPECT_EQ(line.pending.size(), 1u);
    EXPECT_EQ(line::readUntil(line, clock, buffer, 4, 1000), 1u); // the rest never comes
    EXPECT_EQ(clock.tickMs(), 1005u);                             // 4 + 1, then silent reads of 20 to 1004

    line.close();
    EXPECT_EQ(line::readUntil(line, clock, buffer, 4, 1000), 0u);
    EXPECT_FALSE(line::readByte(line, buffer[0]));
    EXPECT_EQ(clock.tickMs(), 1005u);
    EXPECT_FALSE(line::awaitByte(line, clock, buffer[0]));
    EXPECT_EQ(clock.tickMs(), 1025u);
}

TEST(LineReader, LettersGoOneAWriteWithTheirPause) {
    VirtualClock clock;
    ScriptedLine line{clock};
    line::sendLetter(line, clock, 'I', 100);
    line::sendLetter(line, clock, 'E', 0);
    EXPECT_EQ(line.writes, (std::vector<Bytes>{{'I'}, {'E'}}));
    EXPECT_EQ(clock.tickMs(), 100u);
}
