// The firmware a run of orvexa-cli writes: the carried package, or with --firmware a catalogue, loaded
// and checked whole before any port is opened. One package (the carried one, or --firmware naming one
// image) is simply the run's package; with several, each session's Step 2 chooses from the catalogue.
#pragma once

#include "app/AppContext.h"
#include "cli/ScannerResult.h"
#include "firmware/FirmwareCatalogue.h"

#include <cstdio>
#include <optional>
#include <string>

namespace orvexa {

// The package a scanner's session ended on, as the summary and the result event name it.
struct PackageName {
    std::string identity;
    std::string sha256; // of the image as stored (before Step 3 completes a classic header)
};

class RunFirmware {
public:
    // The carried package, or the carried catalogue when the program was built with one.
    RunFirmware();
    // False, with the file and the reason printed, when --firmware names no usable catalogue; its notes
    // (files SHA256SUMS does not list) are printed on err too.
    bool load(const std::string& path, std::FILE* err);

    // The package every session starts on: the catalogue's only one, or the carried one.
    const FirmwarePackage& package() const { return package_; }
    void applyTo(AppContext& app) const;
    PackageName nameOf(const ProcessRecords& records) const;
    // Whether --firmware gave the run its firmware: only then do the results name each scanner's package,
    // so that a run without it reports as it always did.
    bool named() const { return catalogue_.has_value(); }

private:
    void use(FirmwareCatalogue catalogue);
    bool several() const { return catalogue_ && catalogue_->entries().size() > 1; }

    FirmwarePackage package_;
    std::string packageSha256_;
    std::optional<FirmwareCatalogue> catalogue_;
};

// With --firmware, the result names the package its session ended on.
void nameThePackage(ScannerResult& result, const RunFirmware* firmware, const ProcessRecords& records);

} // namespace orvexa
