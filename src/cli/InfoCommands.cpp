// --info and --list-ports: what the program carries, and the ports a run would probe.
#include "app/ExitCodes.h"
#include "cli/CliCommands.h"
#include "cli/CliPorts.h"
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
        std::fprintf(out, "%-24s %-12s %s%s\n", port.path.c_str(), port.displayName.c_str(),
                     port.detail.c_str(), mark.c_str());
    }
    return exitcode::kDone;
}

} // namespace orvexa
