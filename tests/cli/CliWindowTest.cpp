// orvexa-cli's terminal window on its own: what a script or a person at the terminal reads for each box,
// status change and progress step. Its streams are temporary files and its clock is virtual.
#include "ChildProcess.h"
#include "TextChecks.h"
#include "VirtualClock.h"
#include "cli/Options.h"
#include "cli/TerminalWindow.h"
#include "ui/Controls.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace orvexa;

namespace {

// A person at a terminal watching the bar of the carried firmware.
TerminalWindow::Settings liveBar(std::function<int()> columns = {}) {
    return {false, false, true, false, 174614, std::move(columns)};
}

struct Terminal : ::testing::Test {
    VirtualClock clock;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::FILE* in = std::tmpfile();
    ~Terminal() override {
        std::fclose(out);
        std::fclose(err);
        std::fclose(in);
    }
    TerminalWindow window(TerminalWindow::Settings settings) {
        return TerminalWindow(out, err, in, clock, settings);
    }
    // A bar of `range` steps, `steps` of them taken `msEach` apart.
    void runBar(TerminalWindow& bar, std::uint16_t range, int steps, std::uint32_t msEach) {
        bar.progressSetStep(1);
        bar.progressSetRange(0, range);
        for (int i = 0; i < steps; ++i) {
            clock.sleepMs(msEach);
            bar.progressStepIt();
        }
    }
};

// The lines a live progress bar drew, each without its leading carriage return and trailing blanks.
std::vector<std::string> drawnLines(const std::string& err) {
    std::vector<std::string> lines;
    std::size_t at = err.find('\r');
    while (at != std::string::npos) {
        const std::size_t next = err.find_first_of("\r\n", at + 1);
        std::string line = err.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        lines.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
        at = err.find('\r', at + 1);
    }
    return lines;
}

} // namespace

TEST_F(Terminal, BoxesArePrintedWithTheirKindAndExactLinesAndQuestionsAnsweredBySettings) {
    TerminalWindow script = window({});
    EXPECT_EQ(script.messageBox("Can't open ttyUSB0!!! Please try other port", "", box::kOk), kIdOk);
    EXPECT_EQ(
        script.messageBox("Font can't be downloaded in the bootloader!!!\nPlease download", "", box::kError),
        kIdOk);
    EXPECT_EQ(script.messageBox("Did you close all other applications?\r\nIs RDQ properly connected?",
                                "Are you ready?", box::kQuestion),
              kIdNo);
    TerminalWindow sure = window({true});
    EXPECT_EQ(sure.messageBox("Really?", "FINAL WARNING", box::kWarningQuestion), kIdYes);

    EXPECT_EQ(streamText(out), "[info]\n"
                               "Can't open ttyUSB0!!! Please try other port\n"
                               "[error]\n"
                               "Font can't be downloaded in the bootloader!!!\n"
                               "Please download\n"
                               "[question] Are you ready?\n"
                               "Did you close all other applications?\n"
                               "Is RDQ properly connected?\n"
                               "-> No (standard input is not a terminal; --yes answers Yes)\n"
                               "[warning] FINAL WARNING\n"
                               "Really?\n"
                               "-> Yes (--yes)\n");
}

TEST_F(Terminal, TypedAnswersOnlyYesGoesOn) {
    std::fputs("YES\nmaybe\n", in);
    std::rewind(in);
    TerminalWindow person = window({false, true});
    EXPECT_EQ(person.messageBox("?", "Q", box::kQuestion), kIdYes);
    EXPECT_EQ(person.messageBox("?", "Q", box::kQuestion), kIdNo);
    EXPECT_EQ(person.messageBox("?", "Q", box::kQuestion), kIdNo); // end of input
}

// The status box is rewritten whole; only what changed is printed, so the font run's progress lines
// appear one by one under a verification text printed once.
TEST_F(Terminal, StatusChangesPrintOnlyTheirNewLinesAndThePortResultOnlyWhenSet) {
    TerminalWindow script = window({});
    script.setControlText(control::kPortResult, "");
    script.setControlText(control::kPortResult, "ttyUSB0: Open Done!!!");
    script.setControlText(control::kStatus, "RDQ is verified !!\r\nFirmware: [3.05]");
    script.setControlText(control::kStatus,
                          "RDQ is verified !!\r\nFirmware: [3.05]\r\nEnglish downloading..");
    script.setControlText(control::kStatus, "RDQ is verified !!\r\nFirmware: [3.05]\r\nFrench downloading..");
    script.setControlText(control::kStatus, "RDQ is verified !!\r\nFirmware: [3.05]\r\nFrench downloading..");
    script.setControlText(control::kStatus, "");

    EXPECT_EQ(streamText(out), "ttyUSB0: Open Done!!!\n"
                               "RDQ is verified !!\n"
                               "Firmware: [3.05]\n"
                               "English downloading..\n"
                               "French downloading..\n");
    EXPECT_EQ(script.controlText(control::kStatus), "");
}

TEST_F(Terminal, ProgressWithoutATerminalIsAPlainLineEveryTenPercent) {
    TerminalWindow script = window({});
    runBar(script, 683, 683, 0);
    std::string expected;
    for (int percent = 0; percent <= 100; percent += 10) {
        expected += "progress: " + std::to_string(percent) + "%\n";
    }
    EXPECT_EQ(streamText(err), expected);
}

TEST_F(Terminal, ProgressOnATerminalShowsBytesThroughputAndTimeLeftAndEndsItsLine) {
    TerminalWindow person = window(liveBar());
    runBar(person, 683, 341, 20); // 256 bytes every 20 ms: 12.8 kB/s
    const std::string half = streamText(err);
    const std::string last = half.substr(half.rfind('\r'));
    EXPECT_TRUE(contains(last, "] 49%  87.2 kB / 174.6 kB  12.8 kB/s  0:06 left"));
    EXPECT_EQ(half.find('\n'), std::string::npos);

    person.messageBox("interrupting", "", box::kOk); // the bar's line is ended before anything else
    EXPECT_EQ(streamText(err).back(), '\n');
    std::fseek(err, 0, SEEK_END);
    for (int i = 0; i < 342; ++i) {
        person.progressStepIt();
    }
    const std::string full = streamText(err);
    EXPECT_TRUE(contains(full, "] 100%  174.6 kB / 174.6 kB"));
    EXPECT_EQ(full.back(), '\n');
}

TEST_F(Terminal, ProgressLineFitsTheTerminalWidthToTheEnd) {
    for (const int columns : {80, 40, 12}) {
        std::FILE* err = std::tmpfile();
        TerminalWindow person(out, err, in, clock, liveBar([columns] { return columns; }));
        runBar(person, 683, 683, 20);
        const std::string drawn = streamText(err);
        std::fclose(err);
        EXPECT_EQ(drawn.find('\n'), drawn.size() - 1) << columns; // one line, ended once at 100 %
        for (const std::string& line : drawnLines(drawn)) {
            ASSERT_LT(line.size(), static_cast<std::size_t>(columns)) << line;
        }
    }
}

// The steps before the first come after the scanner got ready (seconds): no estimate until a second of
// steps has been timed.
TEST_F(Terminal, TimeLeftIsShownOnlyOnceTheRateIsKnown) {
    TerminalWindow person = window(liveBar());
    clock.sleepMs(3000);
    runBar(person, 683, 60, 20);
    const std::vector<std::string> lines = drawnLines(streamText(err));
    EXPECT_TRUE(lacks(lines[49], "left"));
    EXPECT_TRUE(contains(lines[59], "12.8 kB/s  0:12 left"));
}

TEST_F(Terminal, PagesAndFontsAreCountedUnderTheirNameAndTheFirmwareInBytes) {
    TerminalWindow person = window(liveBar());
    person.progressSetUnits("pages and fonts", 4096);
    runBar(person, 91, 12, 100); // 4096 bytes every 100 ms: 41 kB/s
    const std::string pages = drawnLines(streamText(err)).back();
    EXPECT_TRUE(contains(pages, "pages and fonts [###......"));
    EXPECT_TRUE(contains(pages, "] 13%  12/91  41.0 kB/s  0:07 left"));

    person.progressSetUnits("firmware", 256);
    person.progressSetRange(0, 683);
    person.progressStepIt(); // counted from none, not from where the pages and fonts left the bar
    const std::string firmware = drawnLines(streamText(err)).back();
    EXPECT_EQ(firmware.rfind("firmware [", 0), 0u);
    EXPECT_TRUE(contains(firmware, "] 0%  0.3 kB / 174.6 kB"));
}

TEST(CliOptions, EveryOptionAndItsValueForms) {
    const char* argv[] = {"orvexa-cli", "--port",  "/dev/ttyUSB0", "--port=/dev/pts/3", "--silent",
                          "--yes",      "--fonts", "--check",      "--trace=t.txt",     "--list-ports"};
    CliOptions options;
    std::string error;
    ASSERT_TRUE(parseOptions(10, argv, options, error)) << error;
    EXPECT_EQ(options.ports, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/pts/3"}));
    EXPECT_TRUE(options.silent && options.yes && options.fonts && options.check && options.listPorts);
    EXPECT_EQ(options.traceFile, "t.txt");

    const std::pair<const char*, const char*> bad[] = {{"--port=", "--port needs a path"},
                                                       {"--trace", "--trace needs a file name"},
                                                       {"--yes=no", "--yes takes no value"}};
    for (const auto& [arg, message] : bad) {
        const char* badArgv[] = {"orvexa-cli", arg};
        CliOptions other;
        EXPECT_FALSE(parseOptions(2, badArgv, other, error));
        EXPECT_EQ(error, message);
    }
}

// The pages and fonts name each item as they go: each name takes the bar's place instead of leaving a
// stale bar behind, and the bar's line is ended once, when it is full.
TEST_F(Terminal, StatusLinesDuringTheBarLeaveNoStaleBarBehind) {
    TerminalWindow person = window({false, false, true, false, 0, [] { return 80; }});
    person.progressSetUnits("pages and fonts", 4096);
    person.progressSetStep(1);
    person.progressSetRange(0, 3);
    for (const char* item : {"English downloading..", "French downloading..", "Italian downloading.."}) {
        person.setControlText(control::kStatus, item);
        person.progressStepIt();
    }
    const std::string drawn = streamText(err);
    EXPECT_EQ(drawn.find('\n'), drawn.size() - 1);
    EXPECT_EQ(streamText(out), "English downloading..\nFrench downloading..\nItalian downloading..\n");
}
