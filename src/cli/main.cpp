// orvexa-cli: the upgrade workflow without a window, for scripts and fleets.
#include "firmware/FirmwarePackage.h"
#include "fonts/CarriedLanguages.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitUsage = 2;

void printUsage(std::FILE* out) {
    std::fputs("Usage: orvexa-cli [--info] [--version] [--help]\n"
               "\n"
               "Upgrades the firmware of an RDQ barcode scanner over a serial port.\n"
               "\n"
               "  --info      print the firmware, language tables and fonts this program carries\n"
               "  --version   print the program's version\n"
               "  --help      print this text\n",
               out);
}

void printInfo() {
    using namespace orvexa;
    FirmwarePackage package = FirmwarePackage::carried();
    package.patchImageHeader();
    std::printf("Identity:       %s\n", package.identity().c_str());
    std::printf("Caption:        %s\n", package.caption().c_str());
    std::printf("Image size:     %d bytes\n", package.imageSize());
    if (package.hasImageHeader()) {
        const auto loader = package.bootloaderVersion();
        std::printf("Header:         classic, bootloader version %c%c\n", loader[0], loader[1]);
        std::printf("Body length:    %u bytes\n", package.bodyLength());
        std::printf("Body CRC:       0x%04X\n", package.bodyCrc());
    } else if (package.isUpdateContainer()) {
        std::printf("Header:         framed-family UPDATE container\n");
    } else {
        std::printf("Header:         none\n");
    }
    const LanguageData languages = LanguageData::carried();
    for (Language language : kLanguages) {
        std::printf("%-15s %zu texts\n", (std::string(languageName(language)) + " table:").c_str(),
                    languages.table(language).size());
    }
    std::printf("Korean font:    %zu bytes\n", languages.koreanFont.size());
    std::printf("Japanese font:  %zu bytes\n", languages.japaneseFont.size());
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            printUsage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvexa-cli %s\n", ORVEXA_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--info") == 0) {
            printInfo();
            return 0;
        }
        std::fprintf(stderr, "orvexa-cli: unknown option '%s'\n", argv[i]);
        printUsage(stderr);
        return kExitUsage;
    }
    printUsage(stdout);
    return 0;
}
