// The whole upgrade end to end over a real pseudo-terminal: orvexa-cli finds rdq-sim's terminal, checks
// the scanner and writes the firmware, the language pages and the fonts; rdq-sim's record then shows what
// the scanner holds. Without line pacing this takes only the pauses the exchanges mandate (a few seconds).
#include "ChildProcess.h"
#include "TextChecks.h"
#include "firmware/Sha256.h"

#include "app/ExitCodes.h"
#include "firmware/FirmwarePackage.h"
#include "fonts/FlashLayout.h"
#include "fonts/FlashWriter.h"
#include "fonts/LanguagePage.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace orvexa;

namespace {

// Far above the run's few seconds; a hang fails instead of blocking CI.
constexpr int kCliLimitMs = 120000;

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Adds the record entries of every chunk of one item: its bytes, then erased flash to the chunk's end.
void addChunkEntries(std::vector<std::string>& entries, const std::uint8_t* item, std::uint32_t size,
                     std::uint32_t address) {
    for (std::uint32_t offset = 0; offset < size; offset += kFlashChunkSize) {
        std::vector<std::uint8_t> chunk(kFlashChunkSize, 0xFF);
        std::copy(item + offset, item + std::min(size, offset + kFlashChunkSize), chunk.begin());
        entries.push_back("{\"address\": " + std::to_string(address + offset) +
                          ", \"stored\": true, \"sha256\": \"" + sha256Hex(chunk) + "\"");
    }
}

} // namespace

TEST(ClassicUpgrade, OrvexaCliUpgradesRdqSimWithPagesAndFonts) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    const std::string recordFile = scratchPath("classic-upgrade-record.json");
    RdqSimProcess sim(rdqSimProgram(), {"--record", recordFile});
    ASSERT_FALSE(sim.path().empty());

    const CliRun run = runCli({"--silent", "--yes", "--fonts", "--port", sim.path()});
    ASSERT_EQ(sim.stop(), 0);
    const std::string output = run.out + run.err;
    EXPECT_EQ(run.exitCode, exitcode::kDone) << output;
    EXPECT_TRUE(contains(output, "Firmware updated sucessfully!!!"));
    EXPECT_TRUE(contains(output, "Japanese font downloaded.."));

    const std::string record = sim.takeRecord();
    ASSERT_FALSE(record.empty());
    // The whole patched image, the last block's tail erased flash.
    FirmwarePackage package = FirmwarePackage::carried();
    package.patchImageHeader();
    std::vector<std::uint8_t> image(package.image(), package.image() + package.imageSize());
    image.resize((image.size() + 255) / 256 * 256, 0xFF);
    EXPECT_TRUE(contains(record, "\"image\": {\"length\": " + std::to_string(image.size()) +
                                     ", \"sha256\": \"" + sha256Hex(image) + "\""));
    EXPECT_TRUE(contains(record, "\"upgradeFinished\": true"));

    // Every page and font, chunk by chunk, at its address. rdq-sim's scanner runs firmware 3.05, too old
    // for the flash-type query: flash type 4 lowers every address by 0x400000.
    const LanguageData languages = LanguageData::carried();
    const FlashLayout layout = setFlashLayout(package, 4);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < kLanguages.size(); ++i) {
        LanguagePage page;
        ASSERT_TRUE(packLanguagePage(page, languages.table(kLanguages[i]), layout.pageSize));
        addChunkEntries(expected, page.data(), layout.pageSize, layout.targetOf(FlashItem(i)));
    }
    for (const auto& [item, font] : {std::pair{FlashItem::KoreanFont, &languages.koreanFont},
                                     std::pair{FlashItem::JapaneseFont, &languages.japaneseFont}}) {
        addChunkEntries(expected, font->data(), static_cast<std::uint32_t>(font->size()),
                        layout.targetOf(item));
    }
    ASSERT_EQ(expected.size(), 91u);
    for (const std::string& entry : expected) {
        EXPECT_TRUE(contains(record, entry));
    }
}

// Ctrl-C twice in the middle of the transfer: the first only warns, the second stops after the frame under
// way. Run again at once, the scanner is found in its bootloader and written from block 20.
TEST(ClassicUpgrade, InterruptedTransferEndsWith130AndARunAgainRecoversTheScanner) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    const std::string recordFile = scratchPath("interrupted-record.json");
    const std::string outputFile = scratchPath("interrupted-output.txt");
    const std::string settings = scratchPath("interrupted-settings");
    // 4 ms a reply: the transfer lasts about three seconds, time enough to be interrupted in it.
    RdqSimProcess sim(rdqSimProgram(), {"--latency", "4", "--record", recordFile});
    ASSERT_FALSE(sim.path().empty());

    const int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t cli = spawnChild(cliProgram(), {"--silent", "--yes", "--port", sim.path()}, {-1, fd, fd},
                                 {{"XDG_CONFIG_HOME", settings}});
    ::close(fd);
    ASSERT_GT(cli, 0);
    const bool transferring = waitForText(outputFile, "progress: ", kCliLimitMs);
    ::kill(cli, SIGINT);
    const bool warned = transferring && waitForText(outputFile, "The transfer goes on.", kCliLimitMs);
    ::kill(cli, SIGINT);
    const int exitCode = waitChild(cli, kCliLimitMs).code;
    const std::string output = readFile(outputFile);
    ASSERT_TRUE(warned) << output;
    EXPECT_EQ(exitCode, exitcode::kInterrupted) << output;
    EXPECT_TRUE(contains(output, "Stopping after the frame under way"));
    EXPECT_TRUE(contains(output, "To recover, run the same command again"));
    EXPECT_TRUE(lacks(output, "Firmware updated sucessfully!!!"));

    const CliRun runAgain = runCli({"--silent", "--yes", "--port", sim.path()});
    const std::string again = runAgain.out + runAgain.err;
    EXPECT_EQ(runAgain.exitCode, exitcode::kDone) << again;
    EXPECT_TRUE(contains(again, "The scanner runs its bootloader"));
    EXPECT_TRUE(contains(again, "Firmware updated sucessfully!!!"));
    const std::string record = sim.takeRecord();
    EXPECT_EQ(occurrences(record, "\"block\": 0,"), 1u);   // written once, by the interrupted run
    EXPECT_EQ(occurrences(record, "\"block\": 682,"), 1u); // reached by the run again only
    EXPECT_TRUE(contains(record, "\"upgradeFinished\": true"));
    std::filesystem::remove_all(settings);
}
