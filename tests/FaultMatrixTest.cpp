// The fault matrix: for every phase of the conversation, the scanner hangs up the line, falls silent, or
// answers garbage, and the whole run (Step 1, then Step 2 and Step 3 chained as "orvexa-cli --silent
// --yes" chains them) is judged. Every cell must end within the bound summed from the code's limits
// (testkit/StepBounds.h). A scanner that vanished or fell silent must leave the user a clear message, a
// non-zero exit code and no success; garbage must get the outcome its reply calls for, which is
// acceptance wherever a reply is taken without being examined (a frame's reply is examined: garbage there
// moves the transfer on but ends it in the error message).
#include "StepBounds.h"

#include "Faults.h"
#include "ScannerSession.h"
#include "SmallPackages.h"

#include "app/ExitCodes.h"
#include "firmware/BlockFrame.h"
#include "steps/StepTexts.h"
#include "steps/Steps.h"
#include "steps/Verification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

namespace orvexa {
namespace {

constexpr char kPort[] = "/dev/ttyUSB0";
constexpr std::uint64_t kUsPerMs = 1000;
constexpr char kNoDownloadModeLine[] = "RDQ did not enter download mode..";
constexpr char kStoppedAnsweringLine[] = "RDQ stopped answering during the download..";

enum class Fault { Vanish, Silent, Garbage };
enum class Variant { Classic, GwQAsked, ExternalMemoryAsked, Fonts, Framed };

// A classic image with its header and 24 blocks (so that there is a middle frame), and a framed
// container of 6 blocks of 1024 bytes (the simulated scanner's version reply asks for 1024), 11 of 512.
constexpr std::int32_t kClassicBlocks = 24;
constexpr std::int32_t kFramedImageSize = 5 * 1024 + 100;

// Pages of three 4096-byte chunks each (chunks 1-18), a one-chunk Korean font (19) and a three-chunk
// Japanese font (20-22).
const LanguageData kSmallLanguages =
    smallLanguages({"         Exit", "     Top Menu"}, FontBlob(1000, 0x4B), FontBlob(9000, 0x4A));
constexpr int kChunks = 22;

struct Phase {
    const char* name;
    Variant variant;
    FaultPoint point; // where the line is hung up, or from where the scanner is silent
    std::string key;  // the command whose one occurrence gets garbage
    int occurrence;   // which occurrence of it
    Outcome garbage;  // what that garbage must end in
};

FaultPoint command(const char* key, int n = 1) {
    return {FaultPoint::Kind::Command, key, n};
}
FaultPoint at(FaultPoint::Kind kind, int n) {
    return {kind, "", n};
}

using K = FaultPoint::Kind;

// The probe is the first "W"; Step 2's ping the second. Garbage where a query decides on it: a garbled
// version text no longer fits the carried firmware; a garbled chunk answer is an unacknowledged chunk.
// Everywhere else the query reads on, asks again or takes the reply unexamined, and the run succeeds.
const Phase kPhases[] = {
    {"Probe", Variant::Classic, command("W", 1), "W", 1, Outcome::Written},
    {"Ping", Variant::Classic, command("W", 2), "W", 2, Outcome::Written},
    {"Gps", Variant::Classic, command("Gs"), "Gs", 1, Outcome::Written},
    {"Version", Variant::Classic, command("V"), "V", 1, Outcome::Refused},
    {"VersionInfo", Variant::Classic, command("Iv"), "Iv", 1, Outcome::Written},
    {"Model", Variant::Classic, command("M"), "M", 1, Outcome::Written},
    {"GwQ", Variant::GwQAsked, command("GwQ"), "GwQ", 1, Outcome::Written},
    {"It", Variant::Classic, command("It"), "It", 1, Outcome::Written},
    {"FontSupport", Variant::Classic, command("GnOLG"), "GnOLG", 1, Outcome::Written},
    {"ExternalMemory", Variant::ExternalMemoryAsked, command("GFQ"), "GFQ", 1, Outcome::Written},
    {"FramedVersions", Variant::Framed, command("framed-version"), "framed-version", 1, Outcome::Written},
    {"StartSequence", Variant::Classic, command("IEIT"), "IEIT", 1, Outcome::Written},
    {"FirstFrame", Variant::Classic, at(K::Frame, 1), "frame", 1, Outcome::TransferError},
    {"MiddleFrame", Variant::Classic, at(K::Frame, kClassicBlocks / 2), "frame", kClassicBlocks / 2,
     Outcome::TransferError},
    {"LastFrame", Variant::Classic, at(K::Frame, kClassicBlocks), "frame", kClassicBlocks,
     Outcome::TransferError},
    {"FirstPageChunk", Variant::Fonts, at(K::Chunk, 1), "GFw", 1, Outcome::ItemsNotAcknowledged},
    {"MiddlePageChunk", Variant::Fonts, at(K::Chunk, 2), "GFw", 2, Outcome::ItemsNotAcknowledged},
    {"FirstFontChunk", Variant::Fonts, at(K::Chunk, 19), "GFw", 19, Outcome::ItemsNotAcknowledged},
    {"MiddleFontChunk", Variant::Fonts, at(K::Chunk, 21), "GFw", 21, Outcome::ItemsNotAcknowledged},
    {"FramedStart", Variant::Framed, command("framed-start"), "framed-start", 1, Outcome::Written},
    {"FirstFramedBlock", Variant::Framed, at(K::Block, 0), "framed-block", 1, Outcome::Written},
    {"MiddleFramedBlock", Variant::Framed, at(K::Block, 3), "framed-block", 4, Outcome::Written},
    {"LastFramedBlock", Variant::Framed, at(K::Block, 5), "framed-block", 6, Outcome::Written},
};

const Phase& phase(std::string_view name) {
    return *std::find_if(std::begin(kPhases), std::end(kPhases),
                         [name](const Phase& p) { return p.name == name; });
}

// The machine of one cell: a scanner on a port of the simulated hub, the tool's two channels on it.
struct FaultRun : HubSession {
    FaultRun(const Phase& phase, Fault fault)
        : HubSession({{kPort}, {identityFor(phase.variant), imageFor(phase.variant)}, &kSmallLanguages}) {
        const FaultPoint& point = phase.point;
        const ScannerFaults bent =
            fault == Fault::Vanish ? faults::vanishAt(point.kind, point.n, point.command)
            : fault == Fault::Silent
                ? faults::silentFrom(point.kind, point.n, point.command)
                : faults::commands({{phase.key, {ReplyFault::Garbage, 0, phase.occurrence, 1}}});
        hub.attachScanner(kPort, personalityFor(phase.variant), bent);
        likeSilentYesCli(window, ctx);
        if (phase.variant == Variant::Fonts) {
            window.askForFonts();
        }
    }

    static std::string identityFor(Variant variant) {
        return variant == Variant::GwQAsked ? "M307_350_A7UG" : "M307_200_A7UG";
    }
    static std::vector<std::uint8_t> imageFor(Variant variant) {
        return variant == Variant::Framed ? smallFramedImage(kFramedImageSize, 0x6B)
                                          : smallClassicImage((kClassicBlocks - 1) * 256 + 40, 31, 7);
    }
    static ScannerPersonality personalityFor(Variant variant) {
        ScannerPersonality p =
            variant == Variant::Framed ? ScannerPersonality::framed() : ScannerPersonality{};
        if (variant == Variant::GwQAsked) {
            p.versionText = "3.07_350_A7UG";
        } else if (variant == Variant::ExternalMemoryAsked) {
            p.versionText = "2.05_200_A7UG";
        }
        return p;
    }

    // As orvexa-cli --silent --yes runs it, and the exit code it would end with.
    int runChain() {
        portSelection(ctx);
        return cliExitCode(window, ctx);
    }
};

std::uint64_t boundMs(const Phase& phase) {
    const std::uint64_t probe = bounds::wait(CommandLink::kProbeLimitMs, bounds::kRead);
    if (phase.variant == Variant::Framed) {
        return probe + bounds::kStep2 + bounds::step3Framed((kFramedImageSize + 511) / 512);
    }
    return probe + bounds::kStep2 +
           bounds::step3Classic(phase.variant == Variant::Fonts ? kChunks : 0, kClassicBlocks);
}

bool statusHas(const ScriptedWindow& window, const char* line) {
    return window.controlText(control::kStatus).find(line) != std::string::npos;
}

// The success message, alone or followed by what was not written.
bool isSuccess(const ShownBox& b) {
    return b.text.rfind(kFirmwareUpdatedText, 0) == 0;
}
bool sawSuccess(const ScriptedWindow& window) {
    return std::any_of(window.boxes.begin(), window.boxes.end(), isSuccess);
}

// A box that is not a question, or one of the status lines that end a step without a box, or (for a
// search that found nothing) the front end's own report of every port it tried.
bool leftClearMessage(const ScriptedWindow& window, Outcome outcome) {
    const bool box = std::any_of(window.boxes.begin(), window.boxes.end(),
                                 [](const ShownBox& b) { return !box::isQuestion(b.type) && !isSuccess(b); });
    return box || statusHas(window, kVerificationFailedText) || statusHas(window, kNoDownloadModeLine) ||
           statusHas(window, " download failed..") || outcome == Outcome::PortNotFound;
}

struct Longest {
    std::string cell;
    std::uint64_t ms = 0;
    std::uint64_t bound = 0;
    double share = 0;
    int cells = 0;
};
Longest longest;

using Cell = std::tuple<Phase, Fault>;

class FaultMatrix : public testing::TestWithParam<Cell> {
public:
    static void TearDownTestSuite() {
        std::printf("fault matrix: %d cells; longest %s took %llu ms of virtual time against its bound of "
                    "%llu ms; largest share of a bound used: %.0f%%\n",
                    longest.cells, longest.cell.c_str(), static_cast<unsigned long long>(longest.ms),
                    static_cast<unsigned long long>(longest.bound), longest.share * 100);
    }
};

const char* faultName(Fault fault) {
    static const char* const names[] = {"Vanish", "Silent", "Garbage"};
    return names[static_cast<int>(fault)];
}

TEST_P(FaultMatrix, EndsInBoundWithTheOutcomeItsRepliesCallFor) {
    const auto& [phase, fault] = GetParam();
    FaultRun run(phase, fault);
    const int exitCode = run.runChain();
    const Outcome outcome = run.ctx.outcome;

    const std::uint64_t tookMs = run.clock.nowUs() / kUsPerMs;
    const std::uint64_t bound = boundMs(phase);
    EXPECT_LE(tookMs, bound);
    ++longest.cells;
    const double share = static_cast<double>(tookMs) / static_cast<double>(bound);
    longest.share = std::max(longest.share, share);
    if (tookMs > longest.ms) {
        longest = {std::string(phase.name) + "/" + faultName(fault), tookMs, bound, longest.share,
                   longest.cells};
    }

    if (fault == Fault::Garbage) {
        EXPECT_EQ(outcome, phase.garbage);
        EXPECT_EQ(exitCode, exitCodeFor(phase.garbage, false));
        EXPECT_EQ(sawSuccess(run.window),
                  phase.garbage == Outcome::Written || phase.garbage == Outcome::ItemsNotAcknowledged);
        return;
    }
    EXPECT_NE(outcome, Outcome::Written);
    EXPECT_NE(outcome, Outcome::Verified);
    EXPECT_NE(exitCode, exitcode::kDone);
    EXPECT_FALSE(sawSuccess(run.window));
    EXPECT_TRUE(leftClearMessage(run.window, outcome)) << run.window.controlText(control::kStatus);
    EXPECT_EQ(run.window.waitCursorDepth, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, FaultMatrix,
                         testing::Combine(testing::ValuesIn(kPhases),
                                          testing::Values(Fault::Vanish, Fault::Silent, Fault::Garbage)),
                         [](const testing::TestParamInfo<Cell>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    faultName(std::get<1>(info.param));
                         });

// The cells whose outcome is more than "not a success": where the scanner stops, the run stops there.
TEST(FaultMatrixDetail, ScannerThatStopsBeforeTheStartSequenceLeavesTheAddedStatusLine) {
    FaultRun run(phase("StartSequence"), Fault::Silent);
    EXPECT_EQ(run.runChain(), exitcode::kNotDone);
    EXPECT_EQ(run.ctx.outcome, Outcome::NoDownloadMode);
    EXPECT_TRUE(statusHas(run.window, kNoDownloadModeLine));
    EXPECT_TRUE(run.hub.scanner(kPort)->record().frames.empty());
}

TEST(FaultMatrixDetail, ScannerThatStopsMidTransferGetsNoClosingFrameAndTheErrorText) {
    for (Fault fault : {Fault::Vanish, Fault::Silent}) {
        FaultRun run(phase("MiddleFrame"), fault);
        EXPECT_EQ(run.runChain(), exitcode::kTransferError);
        EXPECT_TRUE(run.window.sawBox(kFirmwareErrorText));
        EXPECT_TRUE(
            statusHas(run.window, fault == Fault::Vanish ? kDisconnectedLine : kStoppedAnsweringLine));
        const auto& frames = run.hub.scanner(kPort)->record().frames;
        EXPECT_TRUE(std::none_of(frames.begin(), frames.end(),
                                 [](const auto& f) { return f.kind == BlockFrame::kClosingKind; }));
        EXPECT_FALSE(run.channel.isOpen());
    }
}

// A line that is gone ends Step 3 where it went, instead of waiting out the limits of the waits after it.
TEST(FaultMatrixDetail, LineLostInStepThreeEndsItAtOnceAndSaysTheScannerWasDisconnected) {
    constexpr std::uint64_t kAtOnceUs = 1000 * kUsPerMs; // the framed start's own 500 ms settle included
    for (const char* name : {"StartSequence", "MiddleFrame", "MiddlePageChunk", "MiddleFontChunk",
                             "FramedStart", "MiddleFramedBlock"}) {
        SCOPED_TRACE(name);
        FaultRun run(phase(name), Fault::Vanish);
        EXPECT_NE(run.runChain(), exitcode::kDone);
        EXPECT_TRUE(statusHas(run.window, kDisconnectedLine)) << run.window.controlText(control::kStatus);
        EXPECT_FALSE(run.channel.isOpen());
        const auto vanishedAt = run.hub.scanner(kPort)->vanishedAtUs();
        ASSERT_TRUE(vanishedAt.has_value());
        EXPECT_LT(run.clock.nowUs() - *vanishedAt, kAtOnceUs);
    }
}

TEST(FaultMatrixDetail, FramedScannerThatStopsMidDownloadEndsInTheErrorTextWithTheChannelClosed) {
    FaultRun run(phase("MiddleFramedBlock"), Fault::Silent);
    EXPECT_EQ(run.runChain(), exitcode::kTransferError);
    EXPECT_TRUE(run.window.sawBox(kFirmwareErrorText));
    EXPECT_FALSE(run.channel.isOpen());
    EXPECT_EQ(run.window.progressPosition, 3); // blocks 0 to 2 answered
}

} // namespace
} // namespace orvexa
