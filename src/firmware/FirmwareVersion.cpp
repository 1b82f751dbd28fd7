#include "firmware/FirmwareVersion.h"

#include "device/Family.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace orvexa {

namespace {

// A classic firmware text begins with its version: "3.05_200_A7UG".
constexpr char kClassicVersionEnd[] = "_ ";
// A framed firmware text holds its three version fields at these positions: "F500_03_0C00" is 00.03.0C,
// as the container's versions are written ("00.04.05").
constexpr std::size_t kFramedFieldAt[] = {2, 5, 8};
constexpr std::size_t kFramedFieldLength = 2;

// "3.05" as {3, 5}; nothing for a text that is not dot-separated hexadecimal fields. Decimal fields order
// the same read as hexadecimal.
std::optional<std::vector<unsigned long>> fieldsOf(const std::string& version) {
    std::vector<unsigned long> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(version.find('.', start), version.size());
        const std::string field = version.substr(start, end - start);
        if (field.empty() || field.size() > 8 ||
            !std::all_of(field.begin(), field.end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) {
            return std::nullopt;
        }
        fields.push_back(std::stoul(field, nullptr, 16));
        if (end == version.size()) {
            return fields;
        }
        start = end + 1;
    }
}

} // namespace

std::string carriedVersion(const DeviceInfo& device, const FirmwarePackage& package) {
    if (isFramedFamily(device)) {
        return textOf(package.packageFirmwareText());
    }
    const std::string identity = package.identity(); // "M307_200_A7UG"
    return identity.size() >= 4 ? identity.substr(1, 1) + "." + identity.substr(2, 2) : identity;
}

std::string scannerVersion(const DeviceInfo& device) {
    const std::string text = textOf(device.firmwareText);
    if (!isFramedFamily(device)) {
        return text.substr(0, text.find_first_of(kClassicVersionEnd));
    }
    std::string version;
    for (std::size_t at : kFramedFieldAt) {
        if (at + kFramedFieldLength > text.size()) {
            return text;
        }
        if (!version.empty()) {
            version += '.';
        }
        version.append(text, at, kFramedFieldLength);
    }
    return version;
}

std::optional<std::strong_ordering> compareVersions(const std::string& left, const std::string& right) {
    const auto leftFields = fieldsOf(left);
    const auto rightFields = fieldsOf(right);
    if (!leftFields || !rightFields) {
        return std::nullopt;
    }
    return *leftFields <=> *rightFields;
}

bool holdsCarriedFirmware(const DeviceInfo& device, const FirmwarePackage& package) {
    if (runsBootloader(device)) {
        return false;
    }
    return compareVersions(scannerVersion(device), carriedVersion(device, package)) ==
           std::strong_ordering::equal;
}

} // namespace orvexa
