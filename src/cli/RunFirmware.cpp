#include "cli/RunFirmware.h"

#include "firmware/Sha256.h"

namespace orvexa {

RunFirmware::RunFirmware()
    : package_(FirmwarePackage::carried()),
      packageSha256_(sha256Hex(package_.image(), package_.imageSize())) {
    if (std::optional<FirmwareCatalogue> carried = FirmwareCatalogue::carried()) {
        use(std::move(*carried));
    }
}

void RunFirmware::use(FirmwareCatalogue catalogue) {
    catalogue_ = std::move(catalogue);
    package_ = catalogue_->entries().front().package;
    packageSha256_ = catalogue_->entries().front().sha256;
}

bool RunFirmware::load(const std::string& path, std::FILE* err) {
    CatalogueLoad loaded = FirmwareCatalogue::load(path);
    for (const std::string& note : loaded.notes) {
        std::fprintf(err, "orvexa-cli: %s\n", note.c_str());
    }
    if (!loaded.catalogue) {
        std::fprintf(err, "orvexa-cli: %s %s\n", loaded.fault->file.c_str(), loaded.fault->reason.c_str());
        return false;
    }
    use(std::move(*loaded.catalogue));
    return true;
}

void RunFirmware::applyTo(AppContext& app) const {
    if (catalogue_) {
        app.useCatalogue(*catalogue_);
    }
}

PackageName RunFirmware::nameOf(const ProcessRecords& records) const {
    if (several()) {
        if (!records.chosenPackage) {
            return {};
        }
        const FirmwareCatalogue::Entry& entry = catalogue_->entries()[*records.chosenPackage];
        return {entry.package.identity(), entry.sha256};
    }
    return {package_.identity(), packageSha256_};
}

void nameThePackage(ScannerResult& result, const RunFirmware* firmware, const ProcessRecords& records) {
    if (firmware == nullptr || !firmware->named() || result.verdict == ScannerResult::Verdict::NoScanner ||
        result.verdict == ScannerResult::Verdict::Skipped) {
        return;
    }
    const PackageName name = firmware->nameOf(records);
    result.package = name.identity;
    result.packageSha256 = name.sha256;
}

} // namespace orvexa
