// The one firmware the program carries: an identity text (e.g. "M307_200_A7UG": version 3.07, model 200,
// variant A7UG) and the image bytes. The identity's characters decide what is allowed and what is
// written; inside the image only two structures are read: the classic header, which is completed in
// memory before a classic download, and the directory of a framed-family "UPDATE" container.
//
// The image may be any file chosen at build time, so every read and write here stays inside the image,
// whatever its header, count or entry table claim.
#pragma once

#include "device/DeviceInfo.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orvexa {

// Layout of a classic-family image.
inline constexpr std::int32_t kBootloaderAreaSize = 5120;
inline constexpr std::int32_t kImageHeaderOffset = 5120;
inline constexpr std::int32_t kImageHeaderSize = 16;
inline constexpr std::int32_t kImageBodyOffset = kImageHeaderOffset + kImageHeaderSize;

inline constexpr std::size_t kIdentityFieldSize = 16; // 15 characters and a zero

class FirmwarePackage {
public:
    // The identity is cut to 15 characters; the build refuses longer ones before it gets here.
    FirmwarePackage(const std::string& identity, std::vector<std::uint8_t> image);

    // The package compiled into the program.
    static FirmwarePackage carried();

    const std::array<char, kIdentityFieldSize>& identityName() const { return identityName_; }
    std::string identity() const { return textOf(identityName_); }
    std::int32_t imageSize() const { return static_cast<std::int32_t>(image_.size()); }
    const std::uint8_t* image() const { return image_.data(); }

    // The dialog caption named by the identity: "M307_200_A7UG" gives "RDQ200 3.07 A7UG".
    std::string caption() const;

    bool isVersion3() const;
    bool isModel18() const;
    bool isModel18J() const;
    bool isModel18NotJ() const;
    bool offersFontOption() const;

    // Classic header: "$$RDQ" at image offset 5120, in an image long enough to hold the whole header.
    bool hasImageHeader() const;
    // Writes the body's length and CRC into the header; the same bytes on every run.
    void patchImageHeader();
    // The two characters of the header's bootloader version ("00" as carried).
    std::array<char, 2> bootloaderVersion() const;
    std::uint32_t bodyLength() const;
    std::uint16_t bodyCrc() const;

    // Framed-family container: the image begins with "UPDATE".
    bool isUpdateContainer() const;
    // Fills the three package version texts from the container's directory; "F" and "A" take their
    // first two characters from the scanner's own texts.
    void readContainerVersions(const DeviceInfo& device);

    const std::array<char, 16>& packageLoaderText() const { return packageLoaderText_; }
    const std::array<char, 16>& packageFirmwareText() const { return packageFirmwareText_; }
    const std::array<char, 16>& packageApplicationText() const { return packageApplicationText_; }

private:
    unsigned char identityChar(std::size_t position) const { return charAt(identityName_, position); }
    std::uint32_t headerWord(std::int32_t headerOffset, int bytes) const;

    std::array<char, kIdentityFieldSize> identityName_{};
    std::vector<std::uint8_t> image_;
    std::array<char, 16> packageLoaderText_{};
    std::array<char, 16> packageFirmwareText_{};
    std::array<char, 16> packageApplicationText_{};
};

} // namespace orvexa
