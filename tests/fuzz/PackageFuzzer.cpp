// The carried package built from fuzzer bytes: any file can be carried with ORVEXA_FIRMWARE_IMAGE, so its
// identity, classic header and container directory are untrusted input. Checks, beyond the absence of
// crashes and out-of-bounds access: the header patch writes only the header and gives the same bytes
// twice; the container walk leaves every version text zero-terminated inside its field.
#include "FuzzCheck.h"

#include "device/DeviceInfo.h"
#include "firmware/FirmwarePackage.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace orvexa;

using fuzz::check;
using fuzz::terminatedInside;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // Byte 0: identity length (0..31, so that over-long identities are tried too); then the identity,
    // then 16 bytes of the scanner's texts for the "F" and "A" records, then the image. Small images
    // are stretched over the 5136-byte header offset now and then so that the header path is reached.
    const std::size_t identityLength = std::min<std::size_t>(data[0] & 0x1F, size - 1);
    const std::string identity(reinterpret_cast<const char*>(data + 1), identityLength);
    std::size_t at = 1 + identityLength;

    DeviceInfo device;
    const std::size_t textBytes = std::min<std::size_t>(16, size - at);
    std::memcpy(device.firmwareText.data(), data + at, std::min<std::size_t>(textBytes, 8));
    if (textBytes > 8) {
        std::memcpy(device.applicationText.data(), data + at + 8, textBytes - 8);
    }
    at += textBytes;

    std::vector<std::uint8_t> image(data + at, data + size);
    if (!image.empty() && (image[0] & 0x80) != 0 && image.size() < 6000) {
        // Stretch with a classic header at 5120 built from the fuzzer's bytes.
        std::vector<std::uint8_t> stretched(5136 + image.size(), 0xFF);
        std::memcpy(stretched.data() + 5120, "$$RDQ", 5);
        std::memcpy(stretched.data() + 5125, image.data(), std::min<std::size_t>(image.size(), 11));
        std::memcpy(stretched.data() + 5136, image.data(), image.size());
        image = std::move(stretched);
    }

    FirmwarePackage package(identity, image);
    check(package.identity().size() <= 15, "identity cut to its field");
    (void)package.caption();
    (void)package.isVersion3();
    (void)package.isModel18J();
    (void)package.isModel18NotJ();
    (void)package.offersFontOption();
    (void)package.bootloaderVersion();

    package.patchImageHeader();
    const std::vector<std::uint8_t> patched(package.image(), package.image() + package.imageSize());
    check(patched.size() == image.size(), "the patch keeps the size");
    for (std::size_t i = 0; i < image.size(); ++i) {
        const bool inHeader = package.hasImageHeader() && i >= 5128 && i < 5134;
        check(inHeader || patched[i] == image[i], "the patch writes only the header");
    }
    if (package.hasImageHeader()) {
        check(package.bodyLength() == image.size() - 5136, "the body follows the header");
    }
    package.patchImageHeader();
    check(std::equal(patched.begin(), patched.end(), package.image()), "patching twice changes nothing");

    package.readContainerVersions(device);
    check(terminatedInside(package.packageLoaderText()), "loader text terminated");
    check(terminatedInside(package.packageFirmwareText()), "firmware text terminated");
    check(terminatedInside(package.packageApplicationText()), "application text terminated");
    return 0;
}
