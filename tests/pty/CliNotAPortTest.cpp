// orvexa-cli pointed at paths that are not serial ports: a user's file, a directory, /dev/null, a typo.
// Nothing may be written to any of them, and both the search's report and the port list say why.
#include "ChildProcess.h"
#include "PseudoTerminal.h"
#include "TextChecks.h"

#include "app/ExitCodes.h"
#include "cli/CliCommands.h"
#include "serial/posix/PosixSerialChannel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace orvexa;
using orvexa::test::PseudoTerminal;
namespace fs = std::filesystem;

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

class NotAPort : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_);
        std::ofstream(notes_) << kNotes;
    }
    void TearDown() override { fs::remove_all(dir_); }

    static constexpr const char* kNotes = "a user's notes\n";
    const fs::path dir_ = scratchPath("not-a-port");
    const std::string notes_ = (dir_ / "n.txt").string();
};

} // namespace

TEST_F(NotAPort, SilentUpgradeRefusesEveryPathAndLeavesTheFileAsItWas) {
    CliOptions options;
    options.silent = true;
    options.yes = true;
    options.ports = {notes_, dir_.string(), "/dev/null"};
    File out(std::tmpfile(), std::fclose);
    File err(std::tmpfile(), std::fclose);
    File in(std::fopen("/dev/null", "r"), std::fclose);
    EXPECT_EQ(runWorkflow(options, out.get(), err.get(), in.get()), exitcode::kNotDone);

    const std::string printed = streamText(out.get());
    for (const std::string& path : options.ports) {
        EXPECT_TRUE(contains(printed, "  " + path + " (named): cannot open (not a serial port)\n"));
    }
    EXPECT_EQ(readFile(notes_), kNotes);
}

TEST_F(NotAPort, ListPortsMarksAMissingPathAndOneThatIsNoDevice) {
    PseudoTerminal pty;
    CliOptions options;
    options.ports = {dir_.string() + "/ttyUSB9", notes_, pty.slavePath()};
    File out(std::tmpfile(), std::fclose);
    EXPECT_EQ(listPorts(options, out.get()), exitcode::kDone);

    const std::string listed = streamText(out.get());
    EXPECT_TRUE(contains(listed, "ttyUSB9      named (missing)\n"));
    EXPECT_TRUE(contains(listed, "n.txt        named (not a serial port)\n"));
    EXPECT_TRUE(contains(listed, " named\n")); // the terminal, unmarked
}

TEST_F(NotAPort, TheChannelRefusesEachPathAndReleasesThePortItHeld) {
    PseudoTerminal pty;
    PosixSerialChannel channel;
    for (const std::string& path :
         {notes_, dir_.string(), std::string("/dev/null"), std::string("/dev/zero")}) {
        ASSERT_TRUE(channel.openDefault(pty.slavePath())); // refusing must also release the port held
        EXPECT_FALSE(channel.openDefault(path)) << path;
        EXPECT_EQ(channel.lastError(), ChannelError::NotSerialPort) << path;
        EXPECT_FALSE(channel.isOpen());
    }
    EXPECT_EQ(readFile(notes_), kNotes);
}
