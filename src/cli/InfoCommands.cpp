// --info and --list-ports: what the program carries, and the ports a run would probe.
#include "app/ExitCodes.h"
#include "cli/CliCommands.h"
#include "cli/CliPorts.h"
#include "firmware/FirmwareCatalogue.h"
#include "firmware/FirmwarePackage.h"
#include "fonts/LanguageData.h"
#include "serial/TracingChannel.h"

namespace orvexa {

int printCarriedInfo(std::FILE* out) {
    FirmwarePackage package = FirmwarePackage::carried();
    package.patchImageHeader();
    std::fprintf(out, "Identity:       %s\n", package.identity().c_str());
    std::fprintf(out, "Caption:        %s\n", package.caption().c_str());
    std::fprintf(out, "Image size:     %d bytes\n", package.imageSize());
    if (package.hasImageHeader()) {
        const auto loader = package.bootloaderVersion();
        std::fprintf(out, "Header:         classic, bootloader version %c%c\n", loader[0], loader[1]);
        std::fprintf(out, "Body length:    %u bytes\n", package.bodyLength());
        std::fprintf(out, "Body CRC:       0x%04X\n", package.bodyCrc());
    } else if (package.isUpdateContainer()) {
        std::fprintf(out, "Header:         framed-family UPDATE container\n");
    } else {
        std::fprintf(out, "Header:         none\n");
    }
    const LanguageData languages = LanguageData::carried();
    for (Language language : kLanguages) {
        std::fprintf(out, "%-15s %zu texts\n", (std::string(languageName(language)) + " table:").c_str(),
                     languages.table(language).size());
    }
    std::fprintf(out, "Korean font:    %zu bytes\n", languages.koreanFont.size());
    std::fprintf(out, "Japanese font:  %zu bytes\n", languages.japaneseFont.size());
    return exitcode::kDone;
}

namespace {

// Two lines a package, so that an 80-column terminal shows each whole.
void printPackages(const FirmwareCatalogue& catalogue, std::FILE* out) {
    for (const FirmwareCatalogue::Entry& entry : catalogue.entries()) {
        const FirmwarePackage& package = entry.package;
        std::fprintf(out, "%-15s %-18s %-8s %7d bytes  fonts: %s\n", package.identity().c_str(),
                     package.caption().c_str(), package.isUpdateContainer() ? "framed" : "classic",
                     package.imageSize(), package.offersFontOption() ? "yes" : "no");
        std::fprintf(out, "%-15s sha256 %s\n", "", entry.sha256.c_str());
    }
}

} // namespace

int printFirmwareInfo(const std::string& path, std::FILE* out, std::FILE* err) {
    if (path.empty()) {
        const std::optional<FirmwareCatalogue> carried = FirmwareCatalogue::carried();
        if (!carried) {
            return printCarriedInfo(out);
        }
        printPackages(*carried, out);
        return exitcode::kDone;
    }
    const CatalogueLoad loaded = FirmwareCatalogue::load(path);
    for (const std::string& note : loaded.notes) {
        std::fprintf(err, "orvexa-cli: %s\n", note.c_str());
    }
    if (!loaded.catalogue) {
        std::fprintf(err, "orvexa-cli: %s %s\n", loaded.fault->file.c_str(), loaded.fault->reason.c_str());
        return exitcode::kUsage;
    }
    printPackages(*loaded.catalogue, out);
    return exitcode::kDone;
}

int listPorts(const CliOptions& options, std::FILE* out) {
    CliPorts ports(options);
    const std::vector<PortInfo> found = ports.discovery().discoverPorts();
    if (found.empty()) {
        std::fputs("No serial ports found.\n", out);
    }
    for (const PortInfo& port : found) {
        // A path the user named is listed as given, so that a typo shows here rather than as a silent port.
        const ChannelError problem = ports.discovery().nodeProblem(port);
        std::string mark;
        if (problem == ChannelError::NoSuchPort) {
            mark = " (missing)";
        } else if (problem != ChannelError::None) {
            mark = std::string(" (") + channelErrorName(problem) + ")";
        }
        // A name that only repeats the path (a "bt:" port) is not said twice.
        const std::string name = port.displayName == port.path ? std::string() : port.displayName;
        std::fprintf(out, "%-24s %-12s %s%s\n", port.path.c_str(), name.c_str(), port.detail.c_str(),
                     mark.c_str());
    }
    return exitcode::kDone;
}

} // namespace orvexa
