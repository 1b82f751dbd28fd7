#include "firmware/FirmwareCatalogue.h"

#include "firmware/Sha256.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace orvexa {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kDigestDigits = 64;
constexpr const char* kImageEnding = ".bin";
constexpr std::size_t kVersionEnd = 4;        // identity "M307" | "_200_A7UG"; firmware text "3.05" | ...
constexpr std::size_t kEditionInPart = 4;     // "_200" | "_" or "J" | "A7UG"
constexpr std::size_t kModelReplyLength = 10; // "RDQ" or "RDa", three model digits, four of variant
constexpr char kEditionOpen = '?';

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
bool isVariantChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}
bool allOf(const std::string& text, std::size_t from, std::size_t to, bool (*test)(char)) {
    return to <= text.size() && std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                                            text.begin() + static_cast<std::ptrdiff_t>(to), test);
}

// "_200_A7UG": "_", three model digits, "_" or "J", a variant of letters and digits.
bool isModelPart(const std::string& part) {
    return part.size() > kEditionInPart + 1 && part[0] == '_' && allOf(part, 1, kEditionInPart, isDigit) &&
           (part[kEditionInPart] == '_' || part[kEditionInPart] == 'J') &&
           allOf(part, kEditionInPart + 1, part.size(), isVariantChar);
}

bool fits(const std::string& packagePart, const std::string& scannerPart) {
    if (packagePart.size() != scannerPart.size()) {
        return false;
    }
    for (std::size_t i = 0; i < packagePart.size(); ++i) {
        const bool open = i == kEditionInPart && scannerPart[i] == kEditionOpen;
        if (!open && packagePart[i] != scannerPart[i]) {
            return false;
        }
    }
    return true;
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<std::vector<std::uint8_t>> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

// A listed name that stays a plain file of the folder: no path of its own, and once links are followed
// still inside the folder and a regular file (never a device, a pipe or a folder).
std::optional<std::string> nameProblem(const fs::path& folder, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos) {
        return "names a path, not a file of the catalogue's folder";
    }
    std::error_code error;
    const fs::path target = fs::canonical(folder / name, error);
    if (error) {
        return "is missing";
    }
    if (target.parent_path() != fs::canonical(folder, error)) {
        return "leads outside the catalogue's folder";
    }
    if (!fs::is_regular_file(target, error)) {
        return "is not a regular file (a folder, a device or a pipe)";
    }
    if (fs::file_size(target, error) > kLargestCatalogueImage) {
        return "is larger than any firmware image";
    }
    return std::nullopt;
}

std::optional<std::string> imageProblem(const FirmwarePackage& package) {
    if (package.hasImageHeader()) {
        if (static_cast<std::uintmax_t>(package.imageSize()) > kLargestClassicImage) {
            return "is a classic image too large for its blocks to be counted in 16 bits";
        }
        return std::nullopt;
    }
    if (package.isUpdateContainer()) {
        return std::nullopt;
    }
    return "is neither a classic image (\"$$RDQ\" at 5120) nor a framed container (\"UPDATE\" at its start)";
}

} // namespace

SumsParse parseSums(const std::string& text) {
    SumsParse parse;
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        const bool wellFormed = line.size() > kDigestDigits + 2 &&
                                std::all_of(line.begin(), line.begin() + kDigestDigits,
                                            [](unsigned char c) { return std::isxdigit(c) != 0; }) &&
                                line[kDigestDigits] == ' ' &&
                                (line[kDigestDigits + 1] == ' ' || line[kDigestDigits + 1] == '*');
        if (!wellFormed) {
            parse.sums.clear();
            parse.fault =
                CatalogueFault{kSumsFileName, "line " + std::to_string(number) +
                                                  " is not \"SHA256  NAME\" as sha256sum writes it"};
            return parse;
        }
        parse.sums.push_back({lowercase(line.substr(0, kDigestDigits)), line.substr(kDigestDigits + 2)});
    }
    return parse;
}

bool isIdentity(const std::string& text) {
    return text.size() <= kIdentityFieldSize - 1 && text.size() > kVersionEnd &&
           std::isupper(static_cast<unsigned char>(text[0])) != 0 && allOf(text, 1, kVersionEnd, isDigit) &&
           isModelPart(text.substr(kVersionEnd));
}

std::string identityVersion(const std::string& identity) {
    return identity.size() >= kVersionEnd ? identity.substr(1, kVersionEnd - 1) : "";
}

std::string identityModelPart(const std::string& identity) {
    return identity.size() > kVersionEnd ? identity.substr(kVersionEnd) : "";
}

std::string scannerModelPart(const DeviceInfo& device) {
    std::string firmware = textOf(device.firmwareText);
    firmware = firmware.substr(0, firmware.find(' '));
    if (firmware.size() > kVersionEnd && isModelPart(firmware.substr(kVersionEnd))) {
        return firmware.substr(kVersionEnd);
    }
    const std::string model = textOf(device.modelText);
    if (model.size() == kModelReplyLength && model.compare(0, 2, "RD") == 0) {
        // Appended piece by piece: GCC 12 at -O3 takes "_" + a temporary for an overlapping copy.
        std::string part(1, '_');
        part.append(model, 3, 3);
        part += kEditionOpen;
        part.append(model, 6);
        if (allOf(part, 1, kEditionInPart, isDigit) &&
            allOf(part, kEditionInPart + 1, part.size(), isVariantChar)) {
            return part;
        }
    }
    return "";
}

PackageChoice choosePackage(const FirmwareCatalogue& catalogue, const DeviceInfo& device, bool framedFamily) {
    PackageChoice choice;
    choice.scanner = scannerModelPart(device);
    if (choice.scanner.empty()) {
        return choice;
    }
    std::vector<std::size_t> fitting;
    for (std::size_t i = 0; i < catalogue.entries().size(); ++i) {
        const FirmwarePackage& package = catalogue.entries()[i].package;
        if (package.isUpdateContainer() == framedFamily &&
            fits(identityModelPart(package.identity()), choice.scanner)) {
            fitting.push_back(i);
        }
    }
    if (fitting.empty()) {
        return choice;
    }
    auto versionOf = [&catalogue](std::size_t i) {
        return identityVersion(catalogue.entries()[i].package.identity());
    };
    const std::string newest =
        versionOf(*std::max_element(fitting.begin(), fitting.end(), [&](std::size_t a, std::size_t b) {
            return versionOf(a) < versionOf(b);
        }));
    for (const std::size_t i : fitting) {
        if (versionOf(i) == newest) {
            choice.candidates.push_back(catalogue.entries()[i].package.identity());
        }
    }
    if (choice.candidates.size() == 1) {
        choice.chosen = *std::find_if(fitting.begin(), fitting.end(),
                                      [&](std::size_t i) { return versionOf(i) == newest; });
        choice.candidates.clear();
    }
    return choice;
}

CatalogueLoad FirmwareCatalogue::load(const std::string& path) {
    CatalogueLoad load;
    std::error_code error;
    const fs::path given(path);
    const bool oneImage = fs::is_regular_file(given, error);
    if (!oneImage && !fs::is_directory(given, error)) {
        load.fault = CatalogueFault{path, "is neither a catalogue folder nor a firmware image"};
        return load;
    }
    const fs::path folder =
        oneImage ? given.parent_path().empty() ? fs::path(".") : given.parent_path() : given;
    const fs::path sumsPath = folder / kSumsFileName;
    const std::optional<std::vector<std::uint8_t>> sumsBytes =
        fs::is_regular_file(sumsPath, error) ? readWhole(sumsPath) : std::nullopt;
    if (!sumsBytes) {
        load.fault =
            CatalogueFault{sumsPath.string(), "is missing: a catalogue lists its images with their sums"};
        return load;
    }
    SumsParse sums = parseSums(std::string(sumsBytes->begin(), sumsBytes->end()));
    if (sums.fault) {
        load.fault = CatalogueFault{sumsPath.string(), sums.fault->reason};
        return load;
    }
    const std::string onlyName = oneImage ? given.filename().string() : "";
    std::vector<Entry> entries;
    std::set<std::string> identities;
    std::set<std::string> listed;
    for (const ListedSum& sum : sums.sums) {
        listed.insert(sum.name);
        if (oneImage && sum.name != onlyName) {
            continue;
        }
        const std::string file = (folder / sum.name).string();
        auto fault = [&load, &file](const std::string& reason) {
            load.fault = CatalogueFault{file, reason};
            return load;
        };
        if (const std::optional<std::string> problem = nameProblem(folder, sum.name)) {
            return fault(*problem);
        }
        const std::size_t stemLength =
            sum.name.size() - std::min(sum.name.size(), std::string(kImageEnding).size());
        const std::string identity = sum.name.substr(0, stemLength);
        if (sum.name.substr(stemLength) != kImageEnding || !isIdentity(identity)) {
            return fault(
                "is not named IDENTITY.bin (such as M307_200_A7UG.bin, at most 15 characters before .bin)");
        }
        if (!identities.insert(identity).second) {
            return fault("names the identity " + identity + " a second time");
        }
        std::optional<std::vector<std::uint8_t>> image = readWhole(folder / sum.name);
        if (!image) {
            return fault("cannot be read");
        }
        const std::string actual = sha256Hex(*image);
        if (actual != sum.sha256) {
            return fault("does not match its sum: " + std::string(kSumsFileName) + " lists " + sum.sha256 +
                         ", the file has " + actual);
        }
        FirmwarePackage package(identity, std::move(*image));
        if (const std::optional<std::string> problem = imageProblem(package)) {
            return fault(*problem);
        }
        entries.push_back(Entry{std::move(package), file, actual});
    }
    if (oneImage && entries.empty()) {
        load.fault = CatalogueFault{path, "is not listed in " + sumsPath.string()};
        return load;
    }
    if (entries.empty()) {
        load.fault = CatalogueFault{sumsPath.string(), "lists no image: the catalogue is empty"};
        return load;
    }
    if (!oneImage) {
        for (const fs::directory_entry& file : fs::directory_iterator(folder, error)) {
            const std::string name = file.path().filename().string();
            if (name != kSumsFileName && listed.count(name) == 0) {
                load.notes.push_back(file.path().string() + " is left out: " + kSumsFileName +
                                     " does not list it.");
            }
        }
        std::sort(load.notes.begin(), load.notes.end());
    }
    load.catalogue = FirmwareCatalogue(std::move(entries));
    return load;
}

} // namespace orvexa
