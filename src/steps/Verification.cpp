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
    // Asked for and taken off here: Step 3 then says that the pages and fonts were not written.
    ctx.records.fontsDeclined =
        !ctx.records.deviceInfo.fontCapable && window.isChecked(control::kDownloadFont);
    if (ctx.records.deviceInfo.fontCapable) {
        window.enableControl(control::kDownloadFont, true);
    } else {
        if (window.isChecked(control::kDownloadFont)) {
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
        if (!ctx.package.isUpdateContainer()) {
            ctx.window.messageBox(kWrongFramedFirmwareText, "", box::kOk);
            ctx.channel.close();
            ctx.outcome = Outcome::Refused;
            ctx.window.exitProcess(kWrongFirmwareExitCode);
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
    // Whatever an earlier Step 2 opened is withdrawn until this one verifies the scanner on this port.
    ctx.records.verifiedOnOpenPort = false;
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
