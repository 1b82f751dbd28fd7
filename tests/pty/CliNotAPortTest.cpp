// orvexa-cli pointed at paths that are not serial ports: a user's file, a directory, /dev/null, a typo.
// Nothing may be written to any of them, and both the search's report and the port list say why.
#include "PseudoTerminal.h"

#include "cli/CliCommands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include <unistd.h>

using namespace orvexa;
namespace fs = std::filesystem;

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

std::string contentOf(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        text += static_cast<char>(c);
    }
    return text;
}

class NotAPort : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_);
        std::ofstream(notes_) << kNotes;
    }
    void TearDown() override { fs::remove_all(dir_); }

    static constexpr const char* kNotes = "a user's notes\n";
    const fs::path dir_ = fs::temp_directory_path() / ("orvexa-not-a-port-" + std::to_string(getpid()));
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
    EXPECT_EQ(runWorkflow(options, out.get(), err.get(), in.get()), 1);

    const std::string printed = contentOf(out.get());
    for (const std::string& path : options.ports) {
        EXPECT_NE(printed.find("  " + path + " (named): cannot open (not a serial port)\n"),
                  std::string::npos)
            << printed;
    }
    std::ifstream kept(notes_);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), kNotes);
}

TEST_F(NotAPort, ListPortsMarksAMissingPathAndOneThatIsNoDevice) {
    test::PseudoTerminal pty;
    CliOptions options;
    options.ports = {dir_.string() + "/ttyUSB9", notes_, pty.slavePath()};
    File out(std::tmpfile(), std::fclose);
    EXPECT_EQ(listPorts(options, out.get()), 0);

    const std::string listed = contentOf(out.get());
    EXPECT_NE(listed.find("ttyUSB9      named (missing)\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("n.txt        named (not a serial port)\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(" named\n"), std::string::npos) << listed; // the terminal, unmarked
}
