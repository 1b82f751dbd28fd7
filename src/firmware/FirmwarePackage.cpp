#include "firmware/FirmwarePackage.h"

#include "firmware/Crc16.h"

#include <algorithm>
#include <cstring>

namespace orvexa {

namespace embedded {
extern const unsigned char carriedImage[];
extern const std::size_t carriedImageSize;
extern const char carriedIdentity[];
} // namespace embedded

namespace {

constexpr char kHeaderMarker[] = "$$RDQ";
constexpr std::int32_t kHeaderMarkerLength = 5;
constexpr std::int32_t kBootloaderVersionAt = 6; // header offsets
constexpr std::int32_t kBodyLengthAt = 8;
constexpr std::int32_t kBodyCrcAt = 12;

constexpr char kContainerMarker[] = "UPDATE";
constexpr std::size_t kContainerMarkerLength = 6;
constexpr std::size_t kEntryCountAt = 9;  // signed 16-bit, big-endian
constexpr std::size_t kEntryTableAt = 12; // 4-byte little-endian offsets
constexpr std::size_t kRecordBase = 1034; // a record lies at this base plus its entry offset
constexpr std::size_t kRecordSize = 8;

} // namespace

FirmwarePackage::FirmwarePackage(const std::string& identity, std::vector<std::uint8_t> image)
    : image_(std::move(image)) {
    const std::size_t length = std::min(identity.size(), kIdentityFieldSize - 1);
    std::memcpy(identityName_.data(), identity.data(), length);
}

FirmwarePackage FirmwarePackage::carried() {
    return FirmwarePackage(embedded::carriedIdentity,
                           std::vector<std::uint8_t>(embedded::carriedImage,
                                                     embedded::carriedImage + embedded::carriedImageSize));
}

std::string FirmwarePackage::caption() const {
    // "M307_200_A7UG": "RDQ", model digits 5-7, major digit 1, "." minor digits 2-3, variant from 9 on.
    const std::string id = identity();
    auto part = [&id](std::size_t from, std::size_t length) {
        return from < id.size() ? id.substr(from, length) : std::string();
    };
    return "RDQ" + part(5, 3) + " " + part(1, 1) + "." + part(2, 2) + " " + part(9, std::string::npos);
}

bool FirmwarePackage::isVersion3() const {
    return identityChar(1) == '3';
}

bool FirmwarePackage::isModel18() const {
    return identityChar(5) == '1' && identityChar(6) == '8';
}

bool FirmwarePackage::isModel18J() const {
    return isModel18() && identityChar(8) == 'J';
}

bool FirmwarePackage::isModel18NotJ() const {
    return isModel18() && identityChar(8) != 'J';
}

bool FirmwarePackage::offersFontOption() const {
    return isModel18() || (identityChar(1) == '3' && identityChar(3) >= '7' && identityChar(5) != '4');
}

bool FirmwarePackage::hasImageHeader() const {
    return imageSize() >= kImageBodyOffset &&
           std::memcmp(image_.data() + kImageHeaderOffset, kHeaderMarker, kHeaderMarkerLength) == 0;
}

void FirmwarePackage::patchImageHeader() {
    if (!hasImageHeader()) {
        return;
    }
    const std::int32_t bodyLength = imageSize() - kImageBodyOffset;
    const std::uint16_t bodyCrc = crc16Kermit(image_.data() + kImageBodyOffset, bodyLength);
    std::uint8_t* header = image_.data() + kImageHeaderOffset;
    header[kBodyCrcAt] = static_cast<std::uint8_t>(bodyCrc & 0xFF);
    header[kBodyCrcAt + 1] = static_cast<std::uint8_t>(bodyCrc >> 8);
    for (int i = 0; i < 4; ++i) {
        header[kBodyLengthAt + i] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(bodyLength) >> (8 * i));
    }
}

std::uint32_t FirmwarePackage::headerWord(std::int32_t headerOffset, int bytes) const {
    if (!hasImageHeader()) {
        return 0;
    }
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | image_[static_cast<std::size_t>(kImageHeaderOffset + headerOffset + i)];
    }
    return value;
}

std::array<char, 2> FirmwarePackage::bootloaderVersion() const {
    if (!hasImageHeader()) {
        return {'\0', '\0'};
    }
    const std::uint8_t* at = image_.data() + kImageHeaderOffset + kBootloaderVersionAt;
    return {static_cast<char>(at[0]), static_cast<char>(at[1])};
}

std::uint32_t FirmwarePackage::bodyLength() const {
    return headerWord(kBodyLengthAt, 4);
}

std::uint16_t FirmwarePackage::bodyCrc() const {
    return static_cast<std::uint16_t>(headerWord(kBodyCrcAt, 2));
}

bool FirmwarePackage::isUpdateContainer() const {
    return image_.size() >= kContainerMarkerLength &&
           std::memcmp(image_.data(), kContainerMarker, kContainerMarkerLength) == 0;
}

void FirmwarePackage::readContainerVersions(const DeviceInfo& device) {
    if (image_.size() < kEntryCountAt + 2) {
        return;
    }
    const auto count = static_cast<std::int16_t>((image_[kEntryCountAt] << 8) | image_[kEntryCountAt + 1]);
    for (std::size_t i = 0; i < static_cast<std::size_t>(std::max<std::int16_t>(count, 0)); ++i) {
        const std::size_t entryAt = kEntryTableAt + 4 * i;
        if (entryAt + 4 > image_.size()) {
            break; // the table itself runs past the image: no later entry can be read either
        }
        const std::uint32_t entryOffset = static_cast<std::uint32_t>(image_[entryAt]) |
                                          static_cast<std::uint32_t>(image_[entryAt + 1]) << 8 |
                                          static_cast<std::uint32_t>(image_[entryAt + 2]) << 16 |
                                          static_cast<std::uint32_t>(image_[entryAt + 3]) << 24;
        // 64-bit sums cannot overflow; an entry whose record does not lie wholly inside is passed over.
        const std::uint64_t recordAt = kRecordBase + static_cast<std::uint64_t>(entryOffset);
        if (recordAt + kRecordSize > image_.size()) {
            continue;
        }
        const std::uint8_t* record = image_.data() + recordAt;
        std::array<char, 16>* text = nullptr;
        char first = 0;
        char second = 0;
        switch (record[0]) {
        case 'L':
            text = &packageLoaderText_;
            first = static_cast<char>(record[2]);
            second = static_cast<char>(record[3]);
            break;
        case 'F':
            text = &packageFirmwareText_;
            first = device.firmwareText[2];
            second = device.firmwareText[3];
            break;
        case 'A':
            text = &packageApplicationText_;
            first = device.applicationText[2];
            second = device.applicationText[3];
            break;
        default:
            continue;
        }
        *text = {first,
                 second,
                 '.',
                 static_cast<char>(record[4]),
                 static_cast<char>(record[5]),
                 '.',
                 static_cast<char>(record[6]),
                 static_cast<char>(record[7])};
    }
}

} // namespace orvexa
