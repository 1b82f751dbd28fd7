// Every query of the command link against the simulated scanner on the virtual clock: the normal answer,
// a refusal and silence, with the exact virtual time each costs, and what the scanner received.
#include "device/CommandLink.h"

#include "DeviceFields.h"
#include "Faults.h"
#include "ScannerSession.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

using namespace orvexa;

namespace {

// One scanner on a cable to the link, with the tool's record of it.
struct Bench : ScannerSession<> {
    explicit Bench(ScannerPersonality personality = {}, ScannerFaults faults = {})
        : ScannerSession({std::move(personality), std::move(faults)}) {}

    std::uint64_t elapsedMs() {
        const std::uint64_t now = clock.nowUs();
        const std::uint64_t elapsed = now - markUs;
        markUs = now;
        return elapsed / 1000;
    }
    int sent(const std::string& key) const { return scanner.record().count(key); }
    bool nothingSent() const { return scanner.record().bytesIn.empty(); }

    DeviceInfo& device = records.deviceInfo;
    CommandLink link{channel, clock, device};
    std::uint64_t markUs = 0;
};

const ScannerPersonality kGps = scannerWith([](auto& p) { p.gps = true; });

// What one query came to: its answer, how often the scanner was asked, and the virtual time it took.
struct Asked {
    bool answer;
    int sends;
    std::uint64_t ms;
    bool operator==(const Asked&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Asked& a) {
    return out << (a.answer ? "yes" : "no") << ", asked " << a.sends << " times, " << a.ms << " ms";
}
Asked ask(Bench& bench, bool (CommandLink::*query)(), const std::string& key) {
    const bool answer = (bench.link.*query)();
    return {answer, bench.sent(key), bench.elapsedMs()};
}

} // namespace

TEST(CommandLinkScanner, ProbeAndPingKeepTheirPausesAndGiveUpAfterOneAndTwentySeconds) {
    Bench healthy;
    EXPECT_TRUE(probeDevice(healthy.channel, healthy.clock));
    EXPECT_EQ(healthy.elapsedMs(), 0u);
    EXPECT_EQ(healthy.link.pingDevice(), CommandLink::Ping::Answered);
    EXPECT_EQ(healthy.elapsedMs(), 200u); // the pause after "W" is not shortened by an early "@"

    Bench silent({}, faults::silentOn("W"));
    EXPECT_FALSE(probeDevice(silent.channel, silent.clock));
    EXPECT_EQ(silent.elapsedMs(), 1000u);
    EXPECT_EQ(silent.link.pingDevice(), CommandLink::Ping::Unanswered);
    EXPECT_EQ(silent.elapsedMs(), 20020u); // 91 passes of "W", 200 ms and a 20 ms read
}

TEST(CommandLinkScanner, GpsIsAskedTwiceEvenAfterACompleteReplyButNotAfterARefusal) {
    Bench gps(kGps), plain, refused(kGps, faults::reply("Gs", ReplyFault::Refuse, 1));
    EXPECT_EQ(ask(gps, &CommandLink::queryGps, "Gs"), (Asked{true, 2, 2 * 200}));
    EXPECT_EQ(gps.device.shortReply[4], '@');
    EXPECT_EQ(ask(plain, &CommandLink::queryGps, "Gs"), (Asked{false, 2, 2 * 200}));
    EXPECT_EQ(ask(refused, &CommandLink::queryGps, "Gs"), (Asked{false, 1, 200}));
}

TEST(CommandLinkScanner, SilentGpsKeepsWhatTheLastReplyLeft) {
    // The first run reports GPS; then the scanner falls silent and the old reply still decides.
    Bench bench(kGps, faults::silentOn("Gs", 3));
    EXPECT_TRUE(bench.link.queryGps());
    bench.elapsedMs();
    EXPECT_TRUE(bench.link.queryGps());
    EXPECT_EQ(bench.elapsedMs(), 2u * (200u + 2000u));

    Bench fresh({}, faults::silentOn("Gs"));
    EXPECT_FALSE(fresh.link.queryGps());
}

TEST(CommandLinkScanner, VersionTextsLoseTheirLastByte) {
    Bench bench;
    bench.link.queryVersion();
    EXPECT_EQ(textOf(bench.device.firmwareText), "3.05_200_A7UG");
    EXPECT_EQ(textOf(bench.device.firmwareInfoText), "RDQ200 BT Imager A7UG");
    EXPECT_EQ(bench.scanner.record().commandTexts(), (std::vector<std::string>{"V", "Iv"}));
    // "V" 100; 14 bytes in 14 polls of 10 ms, 20 quiet polls of 30 ms; "I","v" 200; 22 polls; 20 quiet.
    EXPECT_EQ(bench.elapsedMs(), 100u + 140u + 600u + 200u + 220u + 600u);
}

TEST(CommandLinkScanner, SilentVersionKeepsTheOldTexts) {
    Bench bench({}, faults::silentOn("V"));
    std::strcpy(bench.device.firmwareText.data(), "2.81_200");
    std::strcpy(bench.device.firmwareInfoText.data(), "older info");
    bench.link.queryVersion();
    EXPECT_EQ(textOf(bench.device.firmwareText), "2.81_200");
    EXPECT_EQ(textOf(bench.device.firmwareInfoText), "older info");
    EXPECT_EQ(bench.elapsedMs(), 100u + 3000u + 200u + 3000u);
}

TEST(CommandLinkScanner, RefusedVersionIsAnEmptyText) {
    Bench bench({}, faults::reply("V", ReplyFault::Refuse));
    bench.link.queryVersion();
    EXPECT_EQ(textOf(bench.device.firmwareText), ""); // the one byte "!" was the last one
    EXPECT_EQ(textOf(bench.device.firmwareInfoText), "RDQ200 BT Imager A7UG");
}

TEST(CommandLinkScanner, ModelQueryKeepsARefusalAndClearsTheTextAfterTwoSilentTries) {
    Bench bench, refused({}, faults::reply("M", ReplyFault::Refuse)), silent({}, faults::silentOn("M"));
    // The drain's one silent read; the reply is there at once.
    EXPECT_EQ(ask(bench, &CommandLink::queryModel, "M"), (Asked{true, 1, 20}));
    EXPECT_EQ(textOf(bench.device.modelText), "RDQ200A7UG");
    EXPECT_EQ(ask(refused, &CommandLink::queryModel, "M"), (Asked{true, 1, 20}));
    EXPECT_EQ(textOf(refused.device.modelText), "!");

    std::strcpy(silent.device.modelText.data(), "RDQ200A7UG");
    EXPECT_EQ(ask(silent, &CommandLink::queryModel, "M"), (Asked{false, 2, 20 + 2 * (2000 + 1000)}));
    EXPECT_EQ(silent.device.modelText, (std::array<char, 11>{}));
}

TEST(CommandLinkScanner, ModelAnsweredOnlyTheSecondTime) {
    Bench bench({}, faults::reply("M", ReplyFault::Silent, 1));
    EXPECT_EQ(ask(bench, &CommandLink::queryModel, "M"), (Asked{true, 2, 20 + 2000 + 1000}));
    EXPECT_EQ(textOf(bench.device.modelText), "RDQ200A7UG");
}

TEST(CommandLinkScanner, ExternalMemoryIsTakenForGrantedFromVersionThreeAndSilenceClosesThePort) {
    Bench version3;
    version3.device.firmwareText[0] = '3';
    EXPECT_TRUE(version3.link.queryExternalMemory());
    EXPECT_TRUE(version3.nothingSent());

    Bench accepted, refused(scannerWith([](auto&p) { p.externalMemoryAnswer = '!'; })),
        silent(scannerWith([](auto&p) { p.externalMemoryAnswer = 0; }));
    accepted.device.firmwareText[0] = refused.device.firmwareText[0] = silent.device.firmwareText[0] = '2';
    EXPECT_EQ(ask(accepted, &CommandLink::queryExternalMemory, "GFQ"), (Asked{true, 1, 300}));
    EXPECT_EQ(ask(refused, &CommandLink::queryExternalMemory, "GFQ"), (Asked{false, 1, 300}));
    EXPECT_TRUE(refused.channel.isOpen());
    // 300 ms of letters and a 20 ms read per pass.
    EXPECT_EQ(ask(silent, &CommandLink::queryExternalMemory, "GFQ"), (Asked{false, 7, 7 * 320}));
    EXPECT_FALSE(silent.channel.isOpen());
}

TEST(CommandLinkScanner, ItQueryIsTriedFiveTimesInSilenceAndOnceWhenRefused) {
    Bench accepted, refused(scannerWith([](auto&p) { p.itAccepted = false; })),
        silent({}, faults::silentOn("It"));
    EXPECT_EQ(ask(accepted, &CommandLink::queryIt, "It"), (Asked{true, 1, 20 + 200}));
    EXPECT_EQ(ask(refused, &CommandLink::queryIt, "It"), (Asked{false, 1, 20 + 200}));
    EXPECT_EQ(ask(silent, &CommandLink::queryIt, "It"), (Asked{false, 5, 20 + 5 * 220}));
    EXPECT_TRUE(silent.channel.isOpen());
}

TEST(CommandLinkScanner, FontSupportWaitsOneSecondForAFiveByteReplyEndingInAt) {
    // Two drains (the query's own and the paced sender's), then "GnOLG" at 100 ms a letter.
    constexpr std::uint64_t kBeforeWaitMs = 20 + 20 + 500;

    Bench accepted, refused(scannerWith([](auto&p) { p.fontSupport = false; })),
        silent({}, faults::silentOn("GnOLG")), garbled({}, faults::reply("GnOLG", ReplyFault::Garbage));
    EXPECT_EQ(ask(accepted, &CommandLink::queryFontSupport, "GnOLG"), (Asked{true, 1, kBeforeWaitMs}));
    EXPECT_EQ(ask(refused, &CommandLink::queryFontSupport, "GnOLG"), (Asked{false, 1, kBeforeWaitMs}));
    EXPECT_EQ(ask(silent, &CommandLink::queryFontSupport, "GnOLG"), (Asked{false, 1, kBeforeWaitMs + 1000}));
    // Five bytes whose fifth is not "@" do not end the wait.
    EXPECT_EQ(ask(garbled, &CommandLink::queryFontSupport, "GnOLG"), (Asked{false, 1, kBeforeWaitMs + 1000}));
}

TEST(CommandLinkScanner, GwQShortCutsSendNothing) {
    for (char family : {'Z', 'X'}) {
        Bench bench;
        bench.device.modelText[2] = family;
        EXPECT_TRUE(bench.link.queryGwQ());
        EXPECT_TRUE(bench.nothingSent());
        EXPECT_EQ(bench.elapsedMs(), 0u);
    }
    for (const char* digits : {"20", "30", "45", "\0\0"}) {
        Bench bench;
        bench.device.firmwareText[5] = digits[0];
        bench.device.firmwareText[6] = digits[1];
        EXPECT_FALSE(bench.link.queryGwQ()) << digits;
        EXPECT_TRUE(bench.nothingSent());
    }
}

TEST(CommandLinkScanner, GwQIsAskedOfModel35AndWaitsOneSecondForItsReply) {
    // Two silent drains, then "GwQ" at 100 ms a letter.
    constexpr std::uint64_t kBeforeWaitMs = 20 + 20 + 300;
    Bench accepted, refused(scannerWith([](auto&p) { p.gwqAccepted = false; })),
        silent({}, faults::silentOn("GwQ")), unknown({}, faults::reply("GwQ", ReplyFault::UnknownLetter));
    for (Bench* bench : {&accepted, &refused, &silent, &unknown}) {
        std::strcpy(bench->device.firmwareText.data(), "3.05_350");
    }
    EXPECT_EQ(ask(accepted, &CommandLink::queryGwQ, "GwQ"), (Asked{true, 1, kBeforeWaitMs}));
    EXPECT_EQ(ask(refused, &CommandLink::queryGwQ, "GwQ"), (Asked{false, 1, kBeforeWaitMs}));
    EXPECT_EQ(ask(silent, &CommandLink::queryGwQ, "GwQ"), (Asked{false, 1, kBeforeWaitMs + 1000}));
    // Only the first byte decides: an unknown letter leaves the query waiting out its limit.
    EXPECT_EQ(ask(unknown, &CommandLink::queryGwQ, "GwQ"), (Asked{false, 1, kBeforeWaitMs + 1000}));
}

TEST(CommandLinkScanner, BootloaderTextKeepsItsOldValueWhenTheScannerIsSilent) {
    Bench bench;
    EXPECT_TRUE(bench.link.queryBootloader());
    EXPECT_EQ(textOf(bench.device.bootloaderText), "v00");
    EXPECT_EQ(bench.scanner.record().commandTexts(), (std::vector<std::string>{"W", "IB"}));
    // Ping 200, drain 20, "I","B" 200, 4 polls of 10 ms, 20 quiet polls.
    EXPECT_EQ(bench.elapsedMs(), 200u + 20u + 200u + 40u + 600u);

    Bench none(scannerWith([](auto& p) { p.bootloaderText = ""; }));
    EXPECT_FALSE(none.link.queryBootloader());

    Bench silent({}, faults::silentOn("IB"));
    std::strcpy(silent.device.bootloaderText.data(), "v07");
    EXPECT_TRUE(silent.link.queryBootloader()); // nothing came: the old text still says "v"
    EXPECT_EQ(textOf(silent.device.bootloaderText), "v07");
    EXPECT_EQ(silent.elapsedMs(), 200u + 20u + 200u + 3000u);
}

// Over-long and garbage replies into every field: each query writes its own field and nothing else.
TEST(CommandLinkScanner, OverLongAndGarbageRepliesStayInTheirFields) {
    for (ReplyFault kind : {ReplyFault::Overlong, ReplyFault::Garbage}) {
        ScannerFaults faults;
        for (const char* key : {"V", "Iv", "M", "Gs", "GnOLG", "GwQ", "IB", "It"}) {
            faults.commands[key] = CommandFault{kind, 0, 1, -1};
        }
        Bench bench({}, faults);
        bench.device = patternedDevice();
        const DeviceInfo before = bench.device;

        bench.link.queryVersion();
        bench.link.queryModel();
        bench.link.queryGps();
        bench.link.queryFontSupport();
        bench.link.queryIt();
        bench.link.queryBootloader();

        EXPECT_EQ(bench.device.modelText[10], '\0');
        if (kind == ReplyFault::Overlong) { // each text filled its field and ends on its last byte
            EXPECT_EQ(textOf(bench.device.firmwareText).size(), 15u);
            EXPECT_EQ(textOf(bench.device.firmwareInfoText).size(), 31u);
            EXPECT_EQ(bench.device.bootloaderText[13], '\0');
        }
        EXPECT_TRUE(onlyFieldsChanged(before, bench.device, &DeviceInfo::firmwareText,
                                      &DeviceInfo::firmwareInfoText, &DeviceInfo::modelText,
                                      &DeviceInfo::shortReply, &DeviceInfo::bootloaderText));
    }
}

// A scanner that babbles without end after its reply cannot hold the link past the bounds.
TEST(CommandLinkScanner, BabblingScannerIsCutOff) {
    Bench bench({}, faults::reply("V", ReplyFault::Babble));
    bench.link.queryVersion();
    EXPECT_EQ(textOf(bench.device.firmwareText), "3.05_200_A7UG\r~");
    // "V" 100, the text to its bound after the first byte, then "I","v" whose reply is drowned in the
    // babble and cut off the same way.
    const std::uint64_t versionMs = bench.elapsedMs();
    EXPECT_LE(versionMs,
              100u + CommandLink::kCollectTextLimitMs + 30u + 200u + CommandLink::kCollectTextLimitMs + 30u);

    bench.link.drainWithoutPauses();
    EXPECT_LT(bench.elapsedMs(), 100u);
    bench.link.drainWithPauses();
    EXPECT_LE(bench.elapsedMs(), CommandLink::kDrainLimitMs + CommandLink::kDrainPauseMs);
    bench.link.queryModel();
    EXPECT_LE(bench.elapsedMs(), CommandLink::kDrainLimitMs);
}

// A line that hung up ends each wait at the first read that finds it gone, and nothing more is sent: the
// whole round of queries below costs what one silent ping pass would, where silence costs minutes.
TEST(CommandLinkScanner, LostLineEndsEveryWaitAtOnce) {
    Bench bench({}, faults::vanishOn("W"));
    EXPECT_EQ(bench.link.pingDevice(), CommandLink::Ping::Unanswered);
    EXPECT_EQ(bench.elapsedMs(), 220u); // the pause after "W", then one read
    ASSERT_TRUE(bench.link.lineLost());
    const std::size_t sent = bench.scanner.record().bytesIn.size();

    std::strcpy(bench.device.firmwareText.data(), "2.05_350"); // so that "GwQ" and "G","F","Q" are asked
    bench.link.queryGps();
    bench.link.queryVersion();
    EXPECT_FALSE(bench.link.queryModel());
    bench.link.queryGwQ();
    bench.link.queryIt();
    bench.link.queryFontSupport();
    bench.link.queryExternalMemory();
    bench.link.queryBootloader();
    EXPECT_FALSE(probeDevice(bench.channel, bench.clock));
    EXPECT_LE(bench.elapsedMs(), 500u);
    EXPECT_EQ(bench.scanner.record().bytesIn.size(), sent);
}
