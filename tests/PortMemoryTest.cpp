// The remembered port: Step 1 probes it first and remembers the port it opens; the file that keeps it is
// ignored whenever it holds anything but what we wrote.
#include "ScannerSession.h"

#include "app/FilePortMemory.h"
#include "steps/Steps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace orvexa {
namespace {

class HeldPort : public PortMemory {
public:
    explicit HeldPort(std::string name) : name(std::move(name)) {}
    std::string recall() override { return name; }
    void remember(const PortInfo& port) override { name = stableNameOf(port); }
    std::string name;
};

std::vector<std::string> probed(const ProcessRecords& records) {
    std::vector<std::string> paths;
    for (const PortProbe& probe : records.probedPorts) {
        paths.push_back(probe.port.path);
    }
    return paths;
}

TEST(RememberedPort, IsProbedFirstThenTheOthersInTheUsualOrderWithoutIt) {
    const struct {
        const char* remembered;
        std::vector<std::string> probes;
        const char* opened;
    } cases[] = {
        {"", {"/dev/ttyS0", "/dev/ttyUSB0"}, "/dev/ttyUSB0"},             // nothing remembered
        {"/dev/ttyUSB1", {"/dev/ttyUSB1"}, "/dev/ttyUSB1"},               // found at once
        {"/dev/ttyACM7", {"/dev/ttyS0", "/dev/ttyUSB0"}, "/dev/ttyUSB0"}, // gone: costs nothing
        {"/dev/ttyS0", {"/dev/ttyS0", "/dev/ttyUSB0"}, "/dev/ttyUSB0"},   // silent now: not twice
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remembered);
        HubSession desk({{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"}});
        desk.hub.addSilentPort("/dev/ttyS0");
        desk.hub.attachScanner("/dev/ttyUSB0");
        desk.hub.attachScanner("/dev/ttyUSB1");
        HeldPort memory(c.remembered);
        desk.ctx.portMemory = &memory;
        likeSilentYesCli(desk.window, desk.ctx);
        desk.ctx.stopAfterVerification = true;
        portSelection(desk.ctx);
        EXPECT_EQ(probed(desk.records), c.probes);
        EXPECT_EQ(desk.records.selectedPort.path, c.opened);
        EXPECT_EQ(memory.name, c.opened) << "the port opened is the one remembered next";
    }
}

TEST(RememberedPort, FileKeepsWhatWasWrittenAndIgnoresAnythingElse) {
    const std::filesystem::path folder =
        std::filesystem::path(testing::TempDir()) / ("orvexa-memory-" + std::to_string(::getpid()));
    const std::filesystem::path file = folder / FilePortMemory::kFileName;
    std::filesystem::remove_all(folder);
    std::vector<std::string> notes;
    FilePortMemory memory(folder.string(), [&notes](const std::string& text) { notes.push_back(text); });
    EXPECT_EQ(memory.recall(), "") << "no file yet";

    memory.remember(PortInfo{"/dev/ttyUSB3", "ttyUSB3", "", "", "/dev/serial/by-id/usb-Cradle_01-if00"});
    EXPECT_EQ(memory.recall(), "/dev/serial/by-id/usb-Cradle_01-if00");

    const std::string garbage[] = {
        "",
        "/dev/ttyUSB0\n",
        "orvexa remembered port 1\n",
        "orvexa remembered port 1\n/dev/tty\x1b[2J\n",
        "orvexa remembered port 1\n" + std::string(5000, 'x') + "\n",
        std::string(100000, '\0'),
    };
    for (const std::string& text : garbage) {
        SCOPED_TRACE(text.substr(0, 40));
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        notes.clear();
        EXPECT_EQ(memory.recall(), "");
        EXPECT_EQ(notes.size(), 1u) << "the trace says why it was ignored";
    }

    // A folder in the file's place can be neither read nor replaced: ignored, and nothing breaks.
    std::filesystem::remove(file);
    std::filesystem::create_directories(file);
    EXPECT_EQ(memory.recall(), "");
    memory.remember(PortInfo{"/dev/ttyUSB3", "ttyUSB3", ""});
    EXPECT_TRUE(std::filesystem::is_directory(file));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace orvexa
