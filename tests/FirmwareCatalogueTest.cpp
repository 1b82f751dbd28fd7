// The firmware catalogue: a folder of IDENTITY.bin images and their SHA256SUMS, refused whole with the file
// and the reason at the first fault; and the rule that picks a scanner's package from its answers.
#include "ChildProcess.h"
#include "SmallPackages.h"
#include "TextChecks.h"

#include "firmware/FirmwareCatalogue.h"
#include "firmware/Sha256.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>

using namespace orvexa;

namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> kClassic = smallClassicImage(6000, 3, 1);
const std::vector<std::uint8_t> kFramed = smallFramedImage(3000, 0x5A);

class CatalogueFolder {
public:
    CatalogueFolder() : dir_(scratchPath("catalogue")) { fs::create_directories(dir_); }
    ~CatalogueFolder() { fs::remove_all(dir_); }

    // Writes the image and, unless told otherwise, lists it with its sum.
    void add(const std::string& name, const std::vector<std::uint8_t>& bytes, bool listed = true) {
        std::ofstream(dir_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (listed) {
            list(sha256Hex(bytes) + "  " + name);
        }
    }
    void list(const std::string& line) { sums_ += line + "\n"; }
    void writeSums() const { std::ofstream(dir_ / kSumsFileName) << sums_; }
    std::string path(const std::string& name = "") const { return (dir_ / name).string(); }

private:
    fs::path dir_;
    std::string sums_;
};

} // namespace

TEST(FirmwareCatalogue, LoadsEveryListedImageAndNotesWhatIsNotListed) {
    CatalogueFolder folder;
    folder.add("M307_200_A7UG.bin", kClassic);
    folder.add("U500_500_B2WW.bin", kFramed);
    folder.add("M309_200_A7UG.bin", kClassic, false);
    folder.writeSums();

    const CatalogueLoad load = FirmwareCatalogue::load(folder.path());
    ASSERT_FALSE(load.fault) << load.fault->file << " " << load.fault->reason;
    ASSERT_EQ(load.catalogue->entries().size(), 2u);
    EXPECT_EQ(load.catalogue->entries()[0].package.identity(), "M307_200_A7UG");
    EXPECT_EQ(load.catalogue->entries()[1].sha256, sha256Hex(kFramed));
    EXPECT_EQ(load.notes, std::vector<std::string>{folder.path("M309_200_A7UG.bin") +
                                                   " is left out: SHA256SUMS does not list it."});

    // One image named alone: only it, from the sums beside it.
    const CatalogueLoad one = FirmwareCatalogue::load(folder.path("U500_500_B2WW.bin"));
    ASSERT_TRUE(one.catalogue);
    ASSERT_EQ(one.catalogue->entries().size(), 1u);
    EXPECT_EQ(one.catalogue->entries()[0].package.identity(), "U500_500_B2WW");
}

TEST(FirmwareCatalogue, EveryBadInputIsRefusedWithItsFileAndReason) {
    const std::string zeros(64, '0');
    struct Case {
        const char* name;
        std::function<void(CatalogueFolder&)> make;
        std::string file; // relative to the folder
        std::string reason;
    };
    const Case cases[] = {
        {"no sums", [](CatalogueFolder& f) { f.add("M307_200_A7UG.bin", kClassic, false); }, "SHA256SUMS",
         "is missing"},
        {"malformed line",
         [](CatalogueFolder& f) {
             f.add("M307_200_A7UG.bin", kClassic);
             f.list("not a sum");
             f.writeSums();
         },
         "SHA256SUMS", "line 2 is not"},
        {"listed image missing",
         [&zeros](CatalogueFolder& f) {
             f.list(zeros + "  M307_200_A7UG.bin");
             f.writeSums();
         },
         "M307_200_A7UG.bin", "is missing"},
        {"sum does not match",
         [&zeros](CatalogueFolder& f) {
             f.add("M307_200_A7UG.bin", kClassic, false);
             f.list(zeros + "  M307_200_A7UG.bin");
             f.writeSums();
         },
         "M307_200_A7UG.bin", "lists " + zeros + ", the file has " + sha256Hex(kClassic)},
        {"name not an identity",
         [](CatalogueFolder& f) {
             f.add("firmware.bin", kClassic);
             f.writeSums();
         },
         "firmware.bin", "is not named IDENTITY.bin"},
        {"identity twice",
         [](CatalogueFolder& f) {
             f.add("M307_200_A7UG.bin", kClassic);
             f.list(sha256Hex(kClassic) + " *M307_200_A7UG.bin");
             f.writeSums();
         },
         "M307_200_A7UG.bin", "a second time"},
        {"neither family",
         [](CatalogueFolder& f) {
             f.add("M307_200_A7UG.bin", std::vector<std::uint8_t>(6000, 0));
             f.writeSums();
         },
         "M307_200_A7UG.bin", "neither a classic image"},
        {"outside the folder",
         [](CatalogueFolder& f) {
             f.list(sha256Hex(kClassic) + "  ../M307_200_A7UG.bin");
             f.writeSums();
         },
         "../M307_200_A7UG.bin", "names a path"},
        {"a link to a device",
         [](CatalogueFolder& f) {
             fs::create_symlink("/dev/null", f.path("M307_200_A7UG.bin"));
             f.list(sha256Hex(kClassic) + "  M307_200_A7UG.bin");
             f.writeSums();
         },
         "M307_200_A7UG.bin", "leads outside"},
        {"a pipe",
         [](CatalogueFolder& f) {
             ::mkfifo(f.path("M307_200_A7UG.bin").c_str(), 0600);
             f.list(sha256Hex(kClassic) + "  M307_200_A7UG.bin");
             f.writeSums();
         },
         "M307_200_A7UG.bin", "not a regular file"},
        {"empty", [](CatalogueFolder& f) { f.writeSums(); }, "SHA256SUMS", "the catalogue is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CatalogueFolder folder;
        c.make(folder);
        const CatalogueLoad load = FirmwareCatalogue::load(folder.path());
        EXPECT_FALSE(load.catalogue);
        ASSERT_TRUE(load.fault);
        EXPECT_EQ(load.fault->file, folder.path(c.file));
        EXPECT_TRUE(contains(load.fault->reason, c.reason));
    }
}

TEST(FirmwareCatalogue, AScannerGetsTheNewestPackageThatNamesItsModelEditionAndVariant) {
    auto entry = [](const std::string& identity) {
        return FirmwareCatalogue::Entry{FirmwarePackage(identity, identity[0] == 'U' ? kFramed : kClassic),
                                        identity + ".bin", ""};
    };
    const FirmwareCatalogue catalogue({entry("M305_200_A7UG"), entry("M307_200_A7UG"), entry("M306_200_B1XX"),
                                       entry("M305_180JA7UG"), entry("M305_180_A7UG"), entry("U500_500_B2WW"),
                                       entry("M301_210_A7UG"), entry("M302_210_A7UG"),
                                       entry("N302_210_A7UG")});
    struct Case {
        const char* firmwareText;
        const char* modelText;
        bool framed;
        std::string chosen;
        std::vector<std::string> candidates;
    };
    const Case cases[] = {
        {"3.05_200_A7UG", "RDQ200A7UG", false, "M307_200_A7UG", {}},
        {"3.05_180JA7UG", "RDQ180A7UG", false, "M305_180JA7UG", {}},
        {"3.05_180_A7UG", "RDQ180A7UG", false, "M305_180_A7UG", {}},
        // In its bootloader the firmware text names no model: the model reply does, with the edition open.
        {"Bootloader", "RDQ200A7UG", false, "M307_200_A7UG", {}},
        {"Bootloader", "RDQ180A7UG", false, "", {"M305_180JA7UG", "M305_180_A7UG"}},
        {"", "RDa500B2WW", true, "U500_500_B2WW", {}},
        // The framed container of model 500 is no classic image, and the other way round.
        {"", "RDa500B2WW", false, "", {}},
        {"3.05_200_A7UG", "RDQ200A7UG", true, "", {}},
        {"3.05_200_C3ZZ", "RDQ200C3ZZ", false, "", {}},
        {"3.01_210_A7UG", "RDQ210A7UG", false, "", {"M302_210_A7UG", "N302_210_A7UG"}},
        {"Bootloader", "", false, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.firmwareText) + " / " + c.modelText);
        DeviceInfo device;
        std::copy_n(c.firmwareText, std::strlen(c.firmwareText), device.firmwareText.begin());
        std::copy_n(c.modelText, std::strlen(c.modelText), device.modelText.begin());
        const PackageChoice choice = choosePackage(catalogue, device, c.framed);
        EXPECT_EQ(choice.chosen ? catalogue.entries()[*choice.chosen].package.identity() : "", c.chosen);
        EXPECT_EQ(choice.candidates, c.candidates);
    }
}

TEST(FirmwareCatalogue, SumsLinesAsSha256sumWritesThem) {
    const std::string digest(64, 'A');
    const SumsParse parse =
        parseSums(digest + "  M307_200_A7UG.bin\r\n\n" + digest + " *U500_500_B2WW.bin\n");
    ASSERT_FALSE(parse.fault);
    ASSERT_EQ(parse.sums.size(), 2u);
    EXPECT_EQ(parse.sums[0].sha256, std::string(64, 'a'));
    EXPECT_EQ(parse.sums[0].name, "M307_200_A7UG.bin");
    EXPECT_EQ(parse.sums[1].name, "U500_500_B2WW.bin");
    for (const std::string& bad : {digest + " M307.bin", digest.substr(1) + "  M307.bin", digest + "  ",
                                   std::string(63, 'a') + "g  M307.bin"}) {
        EXPECT_TRUE(parseSums(bad).fault) << bad;
    }
}
