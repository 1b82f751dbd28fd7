// A mixed fleet through a catalogue on the virtual clock: each worker's Step 2 chooses its scanner's
// package, Step 3 writes that one (its own size on the progress bar too), and each result names it.
#include "ChildProcess.h"
#include "FleetDesk.h"
#include "SmallPackages.h"

#include "firmware/Sha256.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace orvexa;

TEST(CatalogueFleet, EachScannerIsWrittenWithItsOwnPackageAndItsResultNamesIt) {
    namespace fs = std::filesystem;
    const fs::path folder = scratchPath("fleet-catalogue");
    fs::create_directories(folder);
    const std::map<std::string, std::vector<std::uint8_t>> images = {
        {"M307_200_A7UG", smallClassicImage(6000, 3, 1)}, {"M307_200_B1XX", smallClassicImage(9000, 5, 2)}};
    std::string sums;
    for (const auto& [identity, image] : images) {
        std::ofstream(folder / (identity + ".bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        sums += sha256Hex(image) + "  " + identity + ".bin\n";
    }
    std::ofstream(folder / "SHA256SUMS") << sums;
    RunFirmware firmware;
    ASSERT_TRUE(firmware.load(folder.string(), stderr));
    fs::remove_all(folder);

    FleetDesk desk;
    SimulatedScanner& a7ug = desk.scanner("/dev/ttyUSB0");
    SimulatedScanner& b1xx = desk.scanner("/dev/ttyUSB1", scannerWith([](auto& p) {
                                              p.modelText = "RDQ200B1XX";
                                              p.versionText = "3.05_200_B1XX";
                                          }));
    std::FILE* json = std::tmpfile();
    FleetSettings settings;
    settings.firmware = &firmware;
    desk.run(settings, json);
    std::istringstream events(streamText(json));
    std::fclose(json);

    std::map<std::string, std::string> packageOf;
    std::map<std::string, std::int64_t> barOf;
    for (std::string line; std::getline(events, line);) {
        const nlohmann::json event = nlohmann::json::parse(line);
        if (event.at("event") == "result") {
            packageOf[event.at("port")] = event.value("package", "");
        } else if (event.at("event") == "progress" && event.contains("bytes_total")) {
            barOf[event.at("port")] = event.at("bytes_total");
        }
    }
    const std::map<std::string, std::string> wantedPackage = {{"/dev/ttyUSB0", "M307_200_A7UG"},
                                                              {"/dev/ttyUSB1", "M307_200_B1XX"}};
    EXPECT_EQ(packageOf, wantedPackage);
    EXPECT_EQ(barOf, (std::map<std::string, std::int64_t>{{"/dev/ttyUSB0", 6000}, {"/dev/ttyUSB1", 9000}}));
    for (const auto& [scanner, identity] :
         {std::pair{&a7ug, std::string("M307_200_A7UG")}, std::pair{&b1xx, std::string("M307_200_B1XX")}}) {
        FirmwarePackage package(identity, images.at(identity));
        package.patchImageHeader();
        std::vector<std::uint8_t> held(package.image(), package.image() + package.imageSize());
        held.resize((held.size() + 255) / 256 * 256, 0xFF);
        EXPECT_EQ(scanner->record().image(), held) << identity;
    }
    EXPECT_EQ(desk.exitCode(), 0);
}
