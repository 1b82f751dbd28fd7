// A firmware catalogue (an addition): several packages, so that one run can write each scanner of a mixed
// fleet with the firmware that names its model, edition and variant. On disk it is a folder of images
// named IDENTITY.bin and a SHA256SUMS file in the form sha256sum writes, which lists each of them. Every
// listed image is read and checked against its sum when the catalogue is loaded, before any port is
// opened: a catalogue with any fault is not used at all, and the fault names its file and why.
//
// Choosing a package for a scanner is a rule of the firmware, from the answers Step 2 already read: the
// family picks classic images or framed containers; then a package fits when its identity after the
// version ("_200_A7UG" in "M307_200_A7UG") equals the scanner's firmware text after its version
// ("_200_A7UG" in "3.05_200_A7UG"), or, where that text names none (a scanner in its bootloader, a framed
// scanner), the model and variant of its model reply ("200" and "A7UG" in "RDQ200A7UG"), which cannot tell
// the J edition of a model-18 firmware from the other. Of those that fit, the newest version wins; two of
// one version, or answers that leave two editions open, are refused with the candidates named, never
// guessed.
#pragma once

#include "device/DeviceInfo.h"
#include "firmware/FirmwarePackage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvexa {

inline constexpr const char* kSumsFileName = "SHA256SUMS";
// No image of either family comes near this; a larger file is refused before it is read.
inline constexpr std::uintmax_t kLargestCatalogueImage = 64 * 1024 * 1024;
// The classic blocks, the closing frame's number and the progress range travel in 16 bits.
inline constexpr std::uintmax_t kLargestClassicImage = 65535 * 256 - 1;

// One line of SHA256SUMS: the digest, lowercase, and the file name it names.
struct ListedSum {
    std::string sha256;
    std::string name;
};

// What went wrong, in the words a user reads after "orvexa-cli: ".
struct CatalogueFault {
    std::string file;
    std::string reason;
};

struct SumsParse {
    std::vector<ListedSum> sums;
    std::optional<CatalogueFault> fault;
};

// SHA256SUMS as sha256sum writes it: 64 hexadecimal digits, a space, a space or "*", the name. Blank lines
// are passed over; anything else is a fault that names the line.
SumsParse parseSums(const std::string& text);

// "M307_200_A7UG": a letter, three version digits, "_", three model digits, "_" or "J" (the J edition),
// and a variant of letters and digits; at most 15 characters in all.
bool isIdentity(const std::string& text);

struct CatalogueLoad;

class FirmwareCatalogue {
public:
    struct Entry {
        FirmwarePackage package;
        std::string file; // the file it came from, for messages
        std::string sha256;
    };

    // The catalogue from a folder, or from one image with its SHA256SUMS beside it.
    static CatalogueLoad load(const std::string& path);

    explicit FirmwareCatalogue(std::vector<Entry> entries) : entries_(std::move(entries)) {}
    // The catalogue compiled into the program (ORVEXA_FIRMWARE_CATALOGUE, checked when it was configured);
    // none when it carries only its one package.
    static std::optional<FirmwareCatalogue> carried();
    const std::vector<Entry>& entries() const { return entries_; }

private:
    std::vector<Entry> entries_;
};

// A loaded catalogue, or the fault that refused it; notes tell of files in the folder that SHA256SUMS does
// not list, which are left out.
struct CatalogueLoad {
    std::optional<FirmwareCatalogue> catalogue;
    std::optional<CatalogueFault> fault;
    std::vector<std::string> notes;
};

// The version digits of an identity ("307" of "M307_200_A7UG"), and what follows them ("_200_A7UG").
std::string identityVersion(const std::string& identity);
std::string identityModelPart(const std::string& identity);

// The model part a scanner's answers name, in the identity's form: from the firmware text after its
// version, else from the model reply, with '?' where the edition is left open ("_200?A7UG"); empty when
// the answers name none.
std::string scannerModelPart(const DeviceInfo& device);

struct PackageChoice {
    std::optional<std::size_t> chosen; // an index into the catalogue's entries
    // When none is chosen: the identities that fit equally well (two or more), or none at all.
    std::vector<std::string> candidates;
    std::string scanner; // what the scanner's answers name, for the refusal's line
};

PackageChoice choosePackage(const FirmwareCatalogue& catalogue, const DeviceInfo& device, bool framedFamily);

} // namespace orvexa
