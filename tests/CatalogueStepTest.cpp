// Step 2 with a catalogue: each scanner of a mixed fleet gets the package that names its model, edition
// and variant, and Step 3 then writes that package; where the catalogue does not say, the refusal names
// what the scanner is, and nothing is written. On the virtual clock, as "orvexa-cli --silent --yes" runs.
#include "ScannerSession.h"
#include "SmallPackages.h"
#include "TextChecks.h"

#include "steps/StepTexts.h"
#include "steps/Steps.h"
#include "steps/Verification.h"

#include <gtest/gtest.h>

using namespace orvexa;

namespace {

FirmwareCatalogue::Entry entry(const std::string& identity, unsigned seed) {
    std::vector<std::uint8_t> image = identity[0] == 'U'
                                          ? smallFramedImage(5000, static_cast<std::uint8_t>(seed))
                                          : smallClassicImage(6000, seed, seed);
    return FirmwareCatalogue::Entry{FirmwarePackage(identity, std::move(image)), identity + ".bin", ""};
}

const FirmwareCatalogue& mixedCatalogue() {
    static const FirmwareCatalogue catalogue({entry("M307_200_A7UG", 3), entry("M305_180JA7UG", 5),
                                              entry("M305_180_A7UG", 7), entry("U500_500_B2WW", 9),
                                              entry("M307_200_B1XX", 11)});
    return catalogue;
}

// What a scanner holds once the package was written whole: a classic image with its header completed and
// its last block's tail erased flash, from the block Step 3 began at; a container as it is (the last
// block's tail is compared apart).
std::vector<std::uint8_t> heldImage(FirmwarePackage package, std::size_t fromBlock) {
    if (package.isUpdateContainer()) {
        return {package.image(), package.image() + package.imageSize()};
    }
    package.patchImageHeader();
    std::vector<std::uint8_t> image(package.image() + fromBlock * 256, package.image() + package.imageSize());
    image.resize((image.size() + 255) / 256 * 256, 0xFF);
    return image;
}

struct CatalogueRun {
    std::unique_ptr<ScannerSession<>> session;
    explicit CatalogueRun(ScannerPersonality personality, const FirmwareCatalogue* catalogue) {
        session = std::make_unique<ScannerSession<>>(
            SessionOptions{.personality = std::move(personality), .faults = {}});
        ScannerSession<>& s = *session;
        likeSilentYesCli(s.window, s.ctx);
        s.ctx.catalogue = catalogue;
        s.channel.openDefault("cable");
        verifyDevice(s.ctx);
    }
};

ScannerPersonality classicScanner(const std::string& model, const std::string& version,
                                  bool inBootloader = false) {
    return scannerWith([&](ScannerPersonality& p) {
        p.modelText = model;
        p.versionText = version;
        p.inBootloader = inBootloader;
    });
}

} // namespace

TEST(CatalogueStep, EachScannerOfAMixedFleetIsWrittenWithItsOwnPackage) {
    struct Case {
        const char* name;
        ScannerPersonality scanner;
        std::string package;
        std::size_t fromBlock;
    };
    const Case cases[] = {
        {"RDQ200 A7UG", classicScanner("RDQ200A7UG", "3.05_200_A7UG"), "M307_200_A7UG", 0},
        {"RDQ200 B1XX", classicScanner("RDQ200B1XX", "3.05_200_B1XX"), "M307_200_B1XX", 0},
        {"model 18, J edition", classicScanner("RDQ180A7UG", "3.01_180JA7UG"), "M305_180JA7UG", 0},
        {"model 18", classicScanner("RDQ180A7UG", "3.01_180_A7UG"), "M305_180_A7UG", 0},
        // In its bootloader the model reply names the model; the image goes from block 20 on.
        {"RDQ200 in its bootloader", classicScanner("RDQ200A7UG", "3.05_200_A7UG", true), "M307_200_A7UG",
         20},
        {"RDQ500", ScannerPersonality::framed(), "U500_500_B2WW", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CatalogueRun run(c.scanner, &mixedCatalogue());
        const ScannerSession<>& s = *run.session;
        EXPECT_EQ(s.ctx.outcome, Outcome::Written);
        EXPECT_EQ(s.ctx.package.identity(), c.package);
        const FirmwarePackage* chosen = nullptr;
        for (const FirmwareCatalogue::Entry& e : mixedCatalogue().entries()) {
            chosen = e.package.identity() == c.package ? &e.package : chosen;
        }
        ASSERT_NE(chosen, nullptr);
        std::vector<std::uint8_t> held =
            chosen->isUpdateContainer() ? s.scanner.record().framedImage()
                                        : s.scanner.record().image(static_cast<std::uint16_t>(c.fromBlock));
        if (chosen->isUpdateContainer() && held.size() > static_cast<std::size_t>(chosen->imageSize())) {
            held.resize(static_cast<std::size_t>(chosen->imageSize()));
        }
        EXPECT_EQ(held, heldImage(*chosen, c.fromBlock));
    }
}

TEST(CatalogueStep, WhereTheCatalogueDoesNotSayNothingIsWritten) {
    struct Case {
        const char* name;
        ScannerPersonality scanner;
        std::string box;
        std::string line;
    };
    const Case cases[] = {
        {"no package of its variant", classicScanner("RDQ200C3ZZ", "3.05_200_C3ZZ"), kMisfitText,
         "This RDQ answers RDQ200C3ZZ (model part _200_C3ZZ); the catalogue holds M307_200_A7UG, "
         "M305_180JA7UG, M305_180_A7UG, U500_500_B2WW, M307_200_B1XX."},
        {"a framed scanner of another variant", scannerWith([](ScannerPersonality& p) {
             p = ScannerPersonality::framed();
             p.modelText = "RDa500Q9QQ";
         }),
         kWrongFramedFirmwareText, "This RDQ answers RDa500Q9QQ (model part _500?Q9QQ)"},
        // Its bootloader leaves the edition open, and the catalogue holds both.
        {"model 18 in its bootloader", classicScanner("RDQ180A7UG", "3.01_180JA7UG", true),
         kSeveralPackagesFitText, "Fitting: M305_180JA7UG, M305_180_A7UG."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CatalogueRun run(c.scanner, &mixedCatalogue());
        const ScannerSession<>& s = *run.session;
        EXPECT_EQ(s.ctx.outcome, Outcome::Refused);
        ASSERT_EQ(s.window.boxes.size(), 1u);
        EXPECT_EQ(s.window.boxes[0].text, c.box);
        EXPECT_TRUE(contains(s.window.controlText(control::kStatus), c.line));
        EXPECT_TRUE(s.scanner.record().frames.empty());
        EXPECT_TRUE(s.scanner.record().framedBlocks.empty());
    }
}

// The choice costs no exchange: the scanner hears the same bytes as when the chosen package is carried.
TEST(CatalogueStep, Step2SendsTheSameBytesWithACatalogueAsWithItsChosenPackageAlone) {
    for (const ScannerPersonality& scanner :
         {classicScanner("RDQ180A7UG", "3.01_180JA7UG"), ScannerPersonality::framed()}) {
        ScannerSession<> withCatalogue({.personality = scanner, .faults = {}});
        withCatalogue.ctx.catalogue = &mixedCatalogue();
        withCatalogue.channel.openDefault("cable");
        verifyDevice(withCatalogue.ctx);
        ASSERT_EQ(withCatalogue.ctx.outcome, Outcome::Verified);

        ScannerSession<> alone({.personality = scanner, .faults = {}, .package = withCatalogue.ctx.package});
        alone.channel.openDefault("cable");
        verifyDevice(alone.ctx);
        EXPECT_EQ(withCatalogue.scanner.record().bytesIn, alone.scanner.record().bytesIn);
        EXPECT_EQ(withCatalogue.window.controlText(control::kStatus),
                  alone.window.controlText(control::kStatus));
    }
}

// Pages and fonts asked for the whole fleet: a package that offers none (the framed container) leaves
// them out for its scanner without a refusal, and its firmware is written.
TEST(CatalogueStep, FontsAskedForAreLeftOutWhereTheChosenPackageOffersNone) {
    ScannerSession<> s({.personality = ScannerPersonality::framed(), .faults = {}});
    likeSilentYesCli(s.window, s.ctx);
    s.window.setChecked(control::kDownloadFont, true);
    s.ctx.catalogue = &mixedCatalogue();
    s.channel.openDefault("cable");
    verifyDevice(s.ctx);
    EXPECT_EQ(s.ctx.package.identity(), "U500_500_B2WW");
    EXPECT_EQ(s.ctx.outcome, Outcome::Written);
    EXPECT_FALSE(s.records.fontsDeclined);
    EXPECT_FALSE(s.window.isChecked(control::kDownloadFont));
}
