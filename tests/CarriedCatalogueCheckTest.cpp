// The configure-time check of a carried catalogue (cmake/CarriedCatalogue.cmake), run as a script: it lets
// the demo catalogue through and stops at each fault a catalogue given at run time is refused for.
#include "ChildProcess.h"
#include "TextChecks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string kDemo = std::string(ORVEXA_SOURCE_DIR) + "/data/catalogue";

// The check's exit code and what it printed, with CMake's line wrapping undone.
std::pair<int, std::string> check(const std::string& folder) {
    const std::string log = orvexa::scratchPath("catalogue-check.log");
    const std::string command = "cmake -DCATALOGUE=" + folder + " -P " + ORVEXA_SOURCE_DIR +
                                "/cmake/CarriedCatalogue.cmake >" + log + " 2>&1";
    const int code = std::system(command.c_str());
    std::string text;
    for (const char c : orvexa::readFile(log)) {
        const bool blank = c == ' ' || c == '\n';
        if (!blank || (!text.empty() && text.back() != ' ')) {
            text += blank ? ' ' : c;
        }
    }
    fs::remove(log);
    return {code, text};
}

} // namespace

TEST(CarriedCatalogueCheck, TheDemoCatalogueGoesThroughAndEachFaultStopsTheConfigure) {
    if (std::system("cmake --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "cmake is not on the path";
    }
    EXPECT_EQ(check(kDemo).first, 0) << check(kDemo).second;
    const std::string image = "M307_200_A7UG.bin";
    const std::string sum = "a9d437434a487665dd36184f38143ea752f62108e9c2a6f54b399d7f59212a30";
    const std::pair<std::string, std::string> cases[] = {
        {"", "lists no image"},
        {std::string(64, '0') + "  " + image + "\n", "does not match its sum"},
        {sum + "  " + image + "\n" + sum + " *" + image + "\n", "a second time"},
        {sum + "  firmware.bin\n", "is not named IDENTITY.bin"},
        {sum + "  M307_200_A7UG\n", "is not named IDENTITY.bin"},
        {"not a sum\n", "\"not a sum\" is not \"SHA256 NAME\""},
        {sum + "  M309_200_A7UG.bin\n", "is missing"},
    };
    for (const auto& [sums, reason] : cases) {
        SCOPED_TRACE(sums);
        const fs::path folder = orvexa::scratchPath("carried-catalogue");
        fs::create_directories(folder);
        fs::copy_file(kDemo + "/" + image, folder / image);
        std::ofstream(folder / "SHA256SUMS") << sums;
        const auto [code, text] = check(folder.string());
        EXPECT_NE(code, 0);
        EXPECT_TRUE(orvexa::contains(text, reason));
        fs::remove_all(folder);
    }
}
