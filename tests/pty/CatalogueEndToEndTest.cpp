// orvexa-cli --all --firmware against a mixed fleet of rdq-sim scanners over pseudo-terminals: one run
// writes each scanner with the package of the demo catalogue that names it, and says which; a catalogue
// with a fault is refused before any port is opened.
#include "ChildProcess.h"
#include "SimFleet.h"
#include "TextChecks.h"

#include "firmware/FirmwareCatalogue.h"
#include "firmware/Sha256.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace orvexa;

namespace {

const std::string kCatalogue = std::string(ORVEXA_SOURCE_DIR) + "/data/catalogue";

std::string recordPath(int scanner) {
    return scratchPath("catalogue-e2e-" + std::to_string(scanner) + ".json");
}

// What a scanner holds once a package was written whole, as rdq-sim's record names it.
std::string heldSha256(FirmwarePackage package) {
    std::vector<std::uint8_t> image(package.image(), package.image() + package.imageSize());
    if (package.isUpdateContainer()) {
        image.resize((image.size() + 1023) / 1024 * 1024, 0xFF);
    } else {
        package.patchImageHeader();
        image.assign(package.image(), package.image() + package.imageSize());
        image.resize((image.size() + 255) / 256 * 256, 0xFF);
    }
    return sha256Hex(image);
}

} // namespace

TEST(CatalogueEndToEnd, AMixedFleetGetsEachScannerItsOwnPackage) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    const CatalogueLoad catalogue = FirmwareCatalogue::load(kCatalogue);
    ASSERT_TRUE(catalogue.catalogue);
    // The scanner's options for rdq-sim, and the package it must end up holding.
    const std::vector<std::pair<std::vector<std::string>, std::string>> scanners = {
        {{}, "M307_200_A7UG"},
        {{"--model-text", "RDQ180A7UG", "--firmware-text", "3.01_180JA7UG"}, "M305_180JA7UG"},
        {{"--family", "framed"}, "U500_500_B2WW"},
        {{"--model-text", "RDQ200B1XX", "--firmware-text", "3.05_200_B1XX"}, "M307_200_B1XX"},
        {{"--model-text", "RDQ200C3ZZ", "--firmware-text", "3.05_200_C3ZZ"}, ""},
    };
    std::vector<std::string> options = {"--scanners", std::to_string(scanners.size())};
    for (std::size_t i = 0; i < scanners.size(); ++i) {
        options.insert(options.end(),
                       {"--scanner", std::to_string(i + 1), "--record", recordPath(int(i + 1))});
        options.insert(options.end(), scanners[i].first.begin(), scanners[i].first.end());
    }
    SimFleet sim(options, scanners.size());
    ASSERT_EQ(sim.paths.size(), scanners.size());
    std::vector<std::string> args = {"--all", "--yes", "--json", "--firmware", kCatalogue};
    for (const std::string& path : sim.paths) {
        args.insert(args.end(), {"--port", path});
    }
    const CliRun run = runCli(args);
    ASSERT_EQ(sim.stop(), 0);
    EXPECT_EQ(run.exitCode, 1) << run.err; // the scanner no package names is refused

    std::map<std::string, nlohmann::json> resultOf;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (event.value("event", "") == "result") {
            resultOf[event.at("port")] = event;
        }
    }
    for (std::size_t i = 0; i < scanners.size(); ++i) {
        const std::string& wanted = scanners[i].second;
        SCOPED_TRACE(wanted.empty() ? "no package" : wanted);
        const nlohmann::json& result = resultOf[sim.paths[i]];
        const auto record = nlohmann::json::parse(readFile(recordPath(int(i + 1))), nullptr, false);
        std::remove(recordPath(int(i + 1)).c_str());
        ASSERT_FALSE(record.is_discarded());
        if (wanted.empty()) {
            EXPECT_EQ(result.value("verdict", ""), "failed");
            EXPECT_FALSE(result.contains("package"));
            EXPECT_TRUE(record.at("frames").empty());
            continue;
        }
        const FirmwareCatalogue::Entry* entry = nullptr;
        for (const FirmwareCatalogue::Entry& e : catalogue.catalogue->entries()) {
            entry = e.package.identity() == wanted ? &e : entry;
        }
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(result.value("verdict", ""), "written");
        EXPECT_EQ(result.value("package", ""), wanted);
        EXPECT_EQ(result.value("package_sha256", ""), entry->sha256);
        const char* image = entry->package.isUpdateContainer() ? "framedImage" : "image";
        EXPECT_EQ(record.at(image).at("sha256"), heldSha256(entry->package));
    }
}

TEST(CatalogueEndToEnd, ACatalogueWithAFaultIsRefusedBeforeAnyPortIsOpened) {
    ORVEXA_SKIP_WITHOUT_PROGRAMS();
    const std::string folder = scratchPath("bad-catalogue");
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(kCatalogue + "/M307_200_A7UG.bin", folder + "/M307_200_A7UG.bin");
    std::ofstream(folder + "/SHA256SUMS") << std::string(64, '0') << "  M307_200_A7UG.bin\n";
    const std::string recordFile = scratchPath("bad-catalogue-record.json");
    RdqSimProcess sim(rdqSimProgram(), {"--record", recordFile});
    ASSERT_FALSE(sim.path().empty());

    const CliRun run = runCli({"--silent", "--yes", "--firmware", folder, "--port", sim.path()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(contains(run.err, folder + "/M307_200_A7UG.bin does not match its sum"));
    EXPECT_TRUE(lacks(run.out, "Open Done"));
    EXPECT_TRUE(contains(sim.takeRecord(), "\"bytesIn\": 0"));
    std::filesystem::remove_all(folder);
}
