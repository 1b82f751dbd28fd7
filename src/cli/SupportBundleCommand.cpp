#include "cli/SupportBundleCommand.h"

#include "app/SupportBundle.h"
#include "cli/CliCommands.h"

namespace orvexa {

namespace {

constexpr const char* kProgramName = "orvexa-cli";

} // namespace

bool bundleGoesWithRun(const CliOptions& options) {
    return !options.ports.empty() || options.silent || options.yes || options.fonts || options.check ||
           options.all || options.watch || !options.traceFile.empty();
}

bool writeRunBundle(const CliOptions& options, PortDiscovery& discovery, const FirmwarePackage& package,
                    const RunMemory* run, std::FILE* out, std::FILE* err) {
    if (options.supportBundle.empty()) {
        return true;
    }
    const std::string text = supportBundleText(
        kProgramName, examineThisMachine(discovery, namedAndExtraPorts(options)), package, run);
    if (const auto failure = writeSupportBundle(options.supportBundle, text)) {
        std::fprintf(err, "orvexa-cli: the support bundle was not written: %s\n", failure->c_str());
        return false;
    }
    std::fprintf(options.json ? err : out, "Support bundle written to %s\n", options.supportBundle.c_str());
    return true;
}

} // namespace orvexa
