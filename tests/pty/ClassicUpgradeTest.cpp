// The whole upgrade end to end over a real pseudo-terminal: orvexa-cli finds rdq-sim's terminal, checks
// the scanner and writes the firmware, the language pages and the fonts; rdq-sim's record then shows what
// the scanner holds. Without line pacing this takes only the pauses the exchanges mandate (a few seconds).
#include "ChildProcess.h"
#include "Sha256.h"

#include "firmware/FirmwarePackage.h"
#include "fonts/FlashLayout.h"
#include "fonts/FlashWriter.h"
#include "fonts/LanguagePage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace orvexa;

namespace {

const std::string kRdqSim = std::string(ORVEXA_BINARY_DIR) + "/sim/rdq-sim";
const std::string kCli = std::string(ORVEXA_BINARY_DIR) + "/src/cli/orvexa-cli";
constexpr int kCliLimitMs = 120000; // far above the run's few seconds; a hang fails instead of blocking CI

// Runs orvexa-cli with its output (both streams) into a file; the exit code.
int runCli(const std::vector<std::string>& args, const std::string& outputFile) {
    const int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int exitCode = waitChild(spawnChild(kCli, args, {-1, fd, fd}), kCliLimitMs).code;
    if (fd >= 0) {
        ::close(fd);
    }
    return exitCode;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string chunkEntry(std::uint32_t address, const std::uint8_t* chunk) {
    return "{\"address\": " + std::to_string(address) + ", \"stored\": true, \"sha256\": \"" +
           sha256Hex(chunk, kFlashChunkSize) + "\"";
}

// The record entries of every chunk of one item: its bytes, then erased flash to the chunk's end.
std::vector<std::string> chunkEntries(const std::uint8_t* item, std::uint32_t size, std::uint32_t address) {
    std::vector<std::string> entries;
    for (std::uint32_t offset = 0; offset < size; offset += kFlashChunkSize) {
        std::vector<std::uint8_t> chunk(kFlashChunkSize, 0xFF);
        std::copy(item + offset, item + std::min(size, offset + kFlashChunkSize), chunk.begin());
        entries.push_back(chunkEntry(address + offset, chunk.data()));
    }
    return entries;
}

} // namespace

TEST(ClassicUpgrade, OrvexaCliUpgradesRdqSimWithPagesAndFonts) {
    if (access(kRdqSim.c_str(), X_OK) != 0 || access(kCli.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "rdq-sim or orvexa-cli is not built";
    }
    const std::string dir = ::testing::TempDir();
    const std::string recordFile = dir + "/classic-upgrade-record.json";
    const std::string outputFile = dir + "/classic-upgrade-output.txt";
    RdqSimProcess sim(kRdqSim, {"--record", recordFile});
    ASSERT_FALSE(sim.path().empty());

    const int exitCode = runCli({"--silent", "--yes", "--fonts", "--port", sim.path()}, outputFile);
    ASSERT_EQ(sim.stop(), 0);
    const std::string output = readFile(outputFile);
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_NE(output.find("Firmware updated sucessfully!!!"), std::string::npos) << output;
    EXPECT_NE(output.find("Japanese font downloaded.."), std::string::npos) << output;

    const std::string record = sim.takeRecord();
    ASSERT_FALSE(record.empty());
    // The whole patched image, the last block's tail erased flash.
    FirmwarePackage package = FirmwarePackage::carried();
    package.patchImageHeader();
    std::vector<std::uint8_t> image(package.image(), package.image() + package.imageSize());
    image.resize((image.size() + 255) / 256 * 256, 0xFF);
    EXPECT_NE(record.find("\"image\": {\"length\": " + std::to_string(image.size()) + ", \"sha256\": \"" +
                          sha256Hex(image) + "\""),
              std::string::npos);
    EXPECT_NE(record.find("\"upgradeFinished\": true"), std::string::npos);

    // Every page and font, chunk by chunk, at its address. rdq-sim's scanner runs firmware 3.05, too old
    // for the flash-type query: flash type 4 lowers every address by 0x400000.
    const LanguageData languages = LanguageData::carried();
    const FlashLayout layout = setFlashLayout(package, 4);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < kLanguages.size(); ++i) {
        LanguagePage page;
        ASSERT_TRUE(packLanguagePage(page, languages.table(kLanguages[i]), layout.pageSize));
        for (auto& entry : chunkEntries(page.data(), layout.pageSize, layout.targetOf(FlashItem(i)))) {
            expected.push_back(entry);
        }
    }
    for (const auto& [item, font] : {std::pair{FlashItem::KoreanFont, &languages.koreanFont},
                                     std::pair{FlashItem::JapaneseFont, &languages.japaneseFont}}) {
        for (auto& entry :
             chunkEntries(font->data(), static_cast<std::uint32_t>(font->size()), layout.targetOf(item))) {
            expected.push_back(entry);
        }
    }
    ASSERT_EQ(expected.size(), 91u);
    for (const std::string& entry : expected) {
        EXPECT_NE(record.find(entry), std::string::npos) << entry;
    }
}
