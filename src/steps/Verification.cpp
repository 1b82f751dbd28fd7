#include "steps/Verification.h"

#include "device/Family.h"
#include "firmware/FramedLink.h"
#include "steps/StepTexts.h"
#include "steps/Steps.h"
#include "ui/Controls.h"

#include <cstring>
#include <string>

namespace orvexa {

namespace {

// The verified messages show the model reply from this character on (six characters of ten).
constexpr std::size_t kModelShownFrom = 4;
// The process exit code after "Wrong RDQ500 Firmware!!!", as the original ended.
constexpr int kWrongFirmwareExitCode = 0;

// The zero-terminated text of a field from a position on, never read past the field.
template <std::size_t N> std::string textFrom(const std::array<char, N>& field, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < N && field[i] != '\0'; ++i) {
        text.push_back(field[i]);
    }
    return text;
}

std::string classicVerifiedText(const DeviceInfo& device) {
    return "RDQ is verified[" + textFrom(device.modelText, kModelShownFrom) + "] !!\r\nFirmware: [" +
           textOf(device.firmwareText) + " " + textOf(device.firmwareInfoText) + "]";
}

std::string framedVerifiedText(const DeviceInfo& device, const FirmwarePackage& package) {
    return "RDQ is verified[" + textFrom(device.modelText, kModelShownFrom) +
           "] !!\r\nLoader:       " + textOf(device.loaderText) + " => " +
           textOf(package.packageLoaderText()) + "\r\nFirmware:    " + textOf(device.firmwareText) + " => " +
           textOf(package.packageFirmwareText()) + "\r\nApplication: " + textOf(device.applicationText) +
           " => " + textOf(package.packageApplicationText());
}

void failVerification(StepContext& ctx) {
    ctx.window.setControlText(control::kStatus, kVerificationFailedText);
    ctx.outcome = Outcome::NotVerified;
}

void refuse(StepContext& ctx, const char* text) {
    ctx.window.messageBox(text, "", box::kError);
    ctx.outcome = Outcome::Refused;
}

// The verified text into the status box, Step 3 opened, and the font option by the scanner's support.
void showVerified(StepContext& ctx, const std::string& text) {
    DialogWindow& window = ctx.window;
    ctx.records.statusText = text;
    window.setControlText(control::kStatus, ctx.records.statusText);
    window.enableControl(control::kStep3, true);
    window.enableControl(control::kStatus, false);
    // With a catalogue the pages and fonts are asked for where the chosen package offers them: one that
    // offers none (a framed container) leaves them out for this scanner, which is no refusal.
    const bool packageOffersFonts = ctx.catalogue == nullptr || ctx.package.offersFontOption();
    // Asked for and taken off here: Step 3 then says that the pages and fonts were not written.
    ctx.records.fontsDeclined =
        packageOffersFonts && !ctx.records.deviceInfo.fontCapable && window.isChecked(control::kDownloadFont);
    if (packageOffersFonts && ctx.records.deviceInfo.fontCapable) {
        window.enableControl(control::kDownloadFont, true);
    } else {
        if (packageOffersFonts && window.isChecked(control::kDownloadFont)) {
            window.messageBox(kFontNeedsFirmwareText, "", box::kOk);
        }
        window.enableControl(control::kDownloadFont, false);
        window.setChecked(control::kDownloadFont, false);
    }
    ctx.outcome = Outcome::Verified;
}

// No port to talk on: said at once, where the ping would have run its 20 seconds against nothing.
void failWithoutPort(StepContext& ctx) {
    ctx.window.messageBox(kNoPortOpenText, "", box::kError);
    failVerification(ctx);
}

// The line was lost: the failure, and under it the reason, since nothing more can be learnt.
bool failedOnLostLine(StepContext& ctx, const CommandLink& link) {
    if (!link.lineLost()) {
        return false;
    }
    failVerification(ctx);
    addStatusLine(ctx.window, kDisconnectedLine);
    return true;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

// What the catalogue's refusal says under its box: what the scanner is, and what the catalogue holds.
std::string catalogueLine(const DeviceInfo& device, const FirmwareCatalogue& catalogue) {
    std::vector<std::string> held;
    for (const FirmwareCatalogue::Entry& entry : catalogue.entries()) {
        held.push_back(entry.package.identity());
    }
    const std::string part = scannerModelPart(device);
    return "This RDQ answers " + textOf(device.modelText) + " (model part " + (part.empty() ? "none" : part) +
           "); the catalogue holds " + joined(held) + ".";
}

// The framed family's refusal of its package: the process ends after it, as the original did.
void refuseFramedPackage(StepContext& ctx) {
    ctx.window.messageBox(kWrongFramedFirmwareText, "", box::kOk);
    ctx.channel.close();
    ctx.outcome = Outcome::Refused;
    ctx.window.exitProcess(kWrongFirmwareExitCode);
}

// With a catalogue of several packages, the one that names this scanner becomes the session's package,
// from the answers read so far. False, with the refusal said, when none fits (the family's own refusal,
// then what the scanner is and what the catalogue holds) or several fit equally well (they are named).
bool chooseFromCatalogue(StepContext& ctx, bool framed) {
    if (ctx.catalogue == nullptr) {
        return true;
    }
    const DeviceInfo& device = ctx.records.deviceInfo;
    const PackageChoice choice = choosePackage(*ctx.catalogue, device, framed);
    if (choice.chosen) {
        ctx.package = ctx.catalogue->entries()[*choice.chosen].package;
        ctx.records.chosenPackage = choice.chosen;
        return true;
    }
    if (!choice.candidates.empty()) {
        refuse(ctx, kSeveralPackagesFitText);
        addStatusLine(ctx.window, "Fitting: " + joined(choice.candidates) + ".");
        return false;
    }
    if (framed) {
        refuseFramedPackage(ctx);
    } else {
        refuse(ctx, kMisfitText);
    }
    addStatusLine(ctx.window, catalogueLine(device, *ctx.catalogue));
    return false;
}

// Asks the scanner what it is and judges the carried firmware against it; true when verified, with the
// verified text shown. Every other ending has told the user why.
bool examine(StepContext& ctx) {
    DeviceInfo& device = ctx.records.deviceInfo;
    CommandLink link(ctx.channel, ctx.clock, device);

    if (link.pingDevice() != CommandLink::Ping::Answered) {
        if (!failedOnLostLine(ctx, link)) {
            failVerification(ctx);
        }
        return false;
    }
    const bool gps = link.queryGps();
    if (failedOnLostLine(ctx, link)) {
        return false;
    }
    if (gps) {
        refuse(ctx, kGpsRefusedText);
        return false;
    }
    const bool versionAnswered = link.queryVersion();
    const bool modelAnswered = link.queryModel();
    if (failedOnLostLine(ctx, link)) {
        return false;
    }
    // No reply at all leaves modelText empty, which reads as the framed family; a scanner that fell
    // silent is not one, and would otherwise be sent down the framed branch to "Wrong RDQ500 Firmware".
    if (!modelAnswered) {
        failVerification(ctx);
        return false;
    }
    link.queryGwQ(); // asked for the scanner's sake; no decision rests on its answer
    if (failedOnLostLine(ctx, link)) {
        return false;
    }
    device.framedBlockSize = kSmallFramedBlock;

    if (isFramedFamily(device)) {
        FramedLink framed(ctx.channel, ctx.clock, device);
        device.framedBlockSize = framed.queryFramedVersions();
        if (failedOnLostLine(ctx, link)) {
            return false;
        }
        if (!chooseFromCatalogue(ctx, true)) {
            return false;
        }
        if (!ctx.package.isUpdateContainer()) {
            refuseFramedPackage(ctx);
            return false;
        }
        ctx.package.readContainerVersions(device);
        showVerified(ctx, framedVerifiedText(device, ctx.package));
        return true;
    }
    // A classic scanner that did not answer "V" now would be judged by the firmware text an earlier
    // scanner left behind, which can let the wrong firmware through.
    if (!versionAnswered) {
        failVerification(ctx);
        return false;
    }
    if (!chooseFromCatalogue(ctx, false)) {
        return false;
    }
    device.itAccepted = link.queryIt();
    device.fontCapable = link.queryFontSupport();
    const Compatibility verdict = checkCompatibility(link, ctx.package);
    if (failedOnLostLine(ctx, link)) {
        return false;
    }
    switch (verdict) {
    case Compatibility::Misfit:
        refuse(ctx, kMisfitText);
        return false;
    case Compatibility::ExternalMemoryUnknown:
        refuse(ctx, kExternalMemoryUnknownText);
        return false;
    case Compatibility::Fits:
        break;
    }
    showVerified(ctx, classicVerifiedText(device));
    return true;
}

} // namespace

Compatibility checkCompatibility(CommandLink& link, const FirmwarePackage& package) {
    const DeviceInfo& device = link.device();
    const auto& identity = package.identityName();
    auto firmware = [&device](std::size_t i) { return charAt(device.firmwareText, i); };
    auto carried = [&identity](std::size_t i) { return charAt(identity, i); };

    if (runsBootloader(device)) {
        return Compatibility::Fits;
    }
    if (firmware(2) != carried(2)) {
        // The one exception: a model-47 firmware for a scanner whose info text has 'F' at character 1.
        const bool model47ForF =
            carried(5) == '4' && carried(6) == '7' && charAt(device.firmwareInfoText, 1) == 'F';
        return model47ForF ? Compatibility::Fits : Compatibility::Misfit;
    }
    if (firmware(5) != carried(5) || firmware(6) != carried(6)) {
        return Compatibility::Misfit;
    }
    if (carried(1) == '3' && firmware(0) == '2' && !link.queryExternalMemory()) {
        return Compatibility::ExternalMemoryUnknown;
    }
    return Compatibility::Fits;
}

void verifyDevice(StepContext& ctx) {
    // Whatever an earlier Step 2 opened (or chose) is withdrawn until this one verifies the scanner here.
    ctx.records.verifiedOnOpenPort = false;
    ctx.records.chosenPackage.reset();
    ctx.window.enableControl(control::kStep3, false);
    if (!ctx.channel.isOpen()) {
        failWithoutPort(ctx);
        return;
    }
    if (!examine(ctx)) {
        return;
    }
    ctx.records.verifiedOnOpenPort = true;
    if (ctx.window.isChecked(control::kSilentMode) && !ctx.stopAfterVerification) {
        ctx.window.repaint();
        firmwareDownload(ctx);
    }
}

} // namespace orvexa
