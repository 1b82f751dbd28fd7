#include "BitwiseCrc.h"

#include "firmware/FirmwarePackage.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orvexa;

namespace {

std::vector<std::uint8_t> classicImage(std::size_t size, const char* marker = "$$RDQv00") {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 131) ^ (i >> 8));
    }
    if (size >= static_cast<std::size_t>(kImageBodyOffset)) {
        std::memset(image.data() + kImageHeaderOffset, 0, kImageHeaderSize);
        std::memcpy(image.data() + kImageHeaderOffset, marker, std::strlen(marker));
    }
    return image;
}

// A container with the given records: the directory's offsets point at records from image offset 1034.
struct Record {
    char kind;
    const char* bytes; // record bytes 1 to 7
};

std::vector<std::uint8_t> container(std::int16_t count, const std::vector<Record>& records,
                                    std::vector<std::uint32_t> offsets = {}) {
    std::vector<std::uint8_t> image(1034 + 8 * records.size() + 16, 0);
    std::memcpy(image.data(), "UPDATE", 6);
    image[9] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(count) >> 8);
    image[10] = static_cast<std::uint8_t>(count & 0xFF);
    for (std::size_t i = 0; i < records.size(); ++i) {
        image[1034 + 8 * i] = static_cast<std::uint8_t>(records[i].kind);
        std::memcpy(image.data() + 1034 + 8 * i + 1, records[i].bytes, 7);
        if (offsets.size() <= i) {
            offsets.push_back(static_cast<std::uint32_t>(8 * i));
        }
    }
    for (std::size_t i = 0; i < offsets.size() && 12 + 4 * i + 4 <= image.size(); ++i) {
        for (int b = 0; b < 4; ++b) {
            image[12 + 4 * i + b] = static_cast<std::uint8_t>(offsets[i] >> (8 * b));
        }
    }
    return image;
}

DeviceInfo framedDevice() {
    DeviceInfo device;
    std::memcpy(device.firmwareText.data(), "V123.45", 7);
    std::memcpy(device.applicationText.data(), "A987.65", 7);
    return device;
}

} // namespace

// What an identity tells: version 3, model 18 and its J edition, and whether the dialog offers fonts.
TEST(FirmwareIdentity, IdentityTellsModel18AndWhetherFontsAreOffered) {
    struct Row {
        const char* identity;
        const char* why;
        bool version3;
        bool model18J;
        bool model18NotJ;
        bool fonts;
    };
    const Row rows[] = {
        {"M307_200_A7UG", "the carried identity", true, false, false, true},
        {"M301_180J1234", "model 18 offers fonts whatever the version", true, true, false, true},
        {"M201_180_1234", "model 18, not the J edition", false, false, true, true},
        {"M306_200_A7UG", "minor digit below 7", true, false, false, false},
        {"M309_400_A7UG", "model 4xx", true, false, false, false},
        {"M207_200_A7UG", "version 2", false, false, false, false},
        {"M30\xA0_200_A7UG", "the minor digit compared unsigned", true, false, false, true},
        {"", "no identity", false, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const FirmwarePackage package(row.identity, {});
        EXPECT_EQ(package.isVersion3(), row.version3);
        EXPECT_EQ(package.isModel18(), row.model18J || row.model18NotJ);
        EXPECT_EQ(package.isModel18J(), row.model18J);
        EXPECT_EQ(package.isModel18NotJ(), row.model18NotJ);
        EXPECT_EQ(package.offersFontOption(), row.fonts);
    }
    EXPECT_EQ(FirmwarePackage("M307_200_A7UG", {}).caption(), "RDQ200 3.07 A7UG");
}

TEST(FirmwareIdentity, OverlongIdentityIsCutToItsField) {
    const FirmwarePackage package("M307_200_A7UG_TOO_LONG", {});
    EXPECT_EQ(package.identity(), "M307_200_A7UG_T");
    EXPECT_EQ(package.identityName()[15], '\0');
}

TEST(ImageHeader, PatchWritesBodyLengthAndIndependentCrcLowByteFirst) {
    FirmwarePackage package("M307_200_A7UG", classicImage(174614));
    ASSERT_TRUE(package.hasImageHeader());
    package.patchImageHeader();
    EXPECT_EQ(package.bodyLength(), 169478u);

    const std::uint16_t crc = bitwiseKermit(package.image() + kImageBodyOffset,
                                            static_cast<std::size_t>(package.imageSize() - kImageBodyOffset));
    EXPECT_EQ(package.bodyCrc(), crc);
    const std::uint8_t* header = package.image() + kImageHeaderOffset;
    EXPECT_EQ(header[8], 169478 & 0xFF);
    EXPECT_EQ(header[12], crc & 0xFF);
    EXPECT_EQ(header[13], crc >> 8);
    EXPECT_EQ(std::memcmp(header, "$$RDQv00", 8), 0); // marker and version untouched

    const std::vector<std::uint8_t> once(package.image(), package.image() + package.imageSize());
    package.patchImageHeader();
    EXPECT_EQ(std::vector<std::uint8_t>(package.image(), package.image() + package.imageSize()), once);
}

TEST(ImageHeader, EmptyBodyAndLooseMarker) {
    FirmwarePackage exact("M307_200_A7UG", classicImage(5136));
    exact.patchImageHeader();
    EXPECT_EQ(exact.bodyLength(), 0u);
    EXPECT_EQ(exact.bodyCrc(), 0u);

    const FirmwarePackage noV("M307_200_A7UG", classicImage(6000, "$$RDQx01"));
    EXPECT_TRUE(noV.hasImageHeader()); // only the five marker characters count
    EXPECT_EQ(noV.bootloaderVersion(), (std::array<char, 2>{'0', '1'}));
}

TEST(ImageHeader, ShortImagesNeverCountAsHavingAHeader) {
    std::vector<std::uint8_t> image = classicImage(5136);
    image.resize(5130); // marker present, header cut short
    FirmwarePackage shortImage("M307_200_A7UG", image);
    EXPECT_FALSE(shortImage.hasImageHeader());
    shortImage.patchImageHeader(); // must not write past the image (checked by the sanitizer build)
    EXPECT_FALSE(FirmwarePackage("M307_200_A7UG", {}).hasImageHeader());
    EXPECT_FALSE(FirmwarePackage("M307_200_A7UG", {}).isUpdateContainer());
}

TEST(Container, ZeroAndNegativeCountsYieldNoEntries) {
    const DeviceInfo device = framedDevice();
    for (std::int16_t count : {std::int16_t{0}, static_cast<std::int16_t>(0x8000), std::int16_t{-1}}) {
        FirmwarePackage package("M100_500_XXXX", container(count, {{'L', "x010203"}}));
        ASSERT_TRUE(package.isUpdateContainer());
        package.readContainerVersions(device);
        EXPECT_EQ(textOf(package.packageLoaderText()), "");
    }
}

TEST(Container, RecordsBuildTheThreeVersionTexts) {
    FirmwarePackage package(
        "M100_500_XXXX",
        container(4, {{'L', "x112233"}, {'F', "xAA4455"}, {'A', "xBB6677"}, {'Z', "x999999"}}));
    package.readContainerVersions(framedDevice());
    EXPECT_EQ(textOf(package.packageLoaderText()), "11.22.33");
    // "F" and "A" take their first two characters from the scanner's texts (characters 2 and 3).
    EXPECT_EQ(textOf(package.packageFirmwareText()), "23.44.55");
    EXPECT_EQ(textOf(package.packageApplicationText()), "87.66.77");
}

TEST(Container, LaterRecordOfTheSameKindWins) {
    FirmwarePackage package("M100_500_XXXX", container(2, {{'L', "x010101"}, {'L', "x020202"}}));
    package.readContainerVersions(framedDevice());
    EXPECT_EQ(textOf(package.packageLoaderText()), "02.02.02");
}

TEST(Container, EntriesPointingOutsideTheImageArePassedOver) {
    // Entry 0 points far past the end, entry 1 just past it, entry 2 at a real record; the count claims
    // more entries than the table can hold inside the image.
    auto image = container(0x7FFF, {{'L', "x010203"}}, {0xFFFFFFF0u, 0, 0});
    const std::uint32_t justPast = static_cast<std::uint32_t>(image.size() - 1034 - 7);
    for (int b = 0; b < 4; ++b) {
        image[12 + 4 + b] = static_cast<std::uint8_t>(justPast >> (8 * b));
    }
    FirmwarePackage package("M100_500_XXXX", image);
    package.readContainerVersions(framedDevice());
    EXPECT_EQ(textOf(package.packageLoaderText()), "01.02.03");

    FirmwarePackage tiny("M100_500_XXXX", {'U', 'P', 'D', 'A', 'T', 'E', 0, 0, 0, 0x00});
    tiny.readContainerVersions(framedDevice()); // too short even for the count
    EXPECT_EQ(textOf(tiny.packageLoaderText()), "");
}
