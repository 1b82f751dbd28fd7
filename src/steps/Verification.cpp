#include "steps/Verification.h"

#include "device/Family.h"
#include "firmware/FramedLink.h"
#include "steps/Steps.h"
#include "ui/Controls.h"

#include <cstring>
#include <string>

namespace orvexa {

namespace {

// The verified messages show the model reply from this character on (six characters of ten).
constexpr std::size_t kModelShownFrom = 4;
// A scanner running its bootloader reports this in place of its firmware version.
constexpr char kBootloaderMark[] = "Bootloader";
constexpr std::size_t kBootloaderMarkLength = 10;
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

} // namespace

Compatibility checkCompatibility(CommandLink& link, const FirmwarePackage& package) {
    const DeviceInfo& device = link.device();
    const auto& identity = package.identityName();
    auto firmware = [&device](std::size_t i) { return charAt(device.firmwareText, i); };
    auto carried = [&identity](std::size_t i) { return charAt(identity, i); };

    if (std::memcmp(device.firmwareText.data(), kBootloaderMark, kBootloaderMarkLength) == 0) {
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
    DeviceInfo& device = ctx.records.deviceInfo;
    CommandLink link(ctx.channel, ctx.clock, device);

    if (link.pingDevice() != 0) {
        failVerification(ctx);
        return;
    }
    if (link.queryGps()) {
        refuse(ctx, kGpsRefusedText);
        return;
    }
    const bool versionAnswered = link.queryVersion();
    link.queryModel();
    link.queryGwQ(); // asked for the scanner's sake; no decision rests on its answer
    device.framedBlockSize = kSmallFramedBlock;

    if (isFramedFamily(device)) {
        FramedLink framed(ctx.channel, ctx.clock, device);
        if (!framed.queryFramedVersions()) {
            device.framedBlockSize = kLargeFramedBlock;
        }
        if (!ctx.package.isUpdateContainer()) {
            ctx.window.messageBox(kWrongFramedFirmwareText, "", box::kOk);
            ctx.channel.close();
            ctx.outcome = Outcome::Refused;
            ctx.window.exitProcess(kWrongFirmwareExitCode);
            return;
        }
        ctx.package.readContainerVersions(device);
        showVerified(ctx, framedVerifiedText(device, ctx.package));
    } else {
        // A classic scanner that did not answer "V" now would be judged by the firmware text an earlier
        // scanner left behind, which can let the wrong firmware through.
        if (!versionAnswered) {
            failVerification(ctx);
            return;
        }
        device.itAccepted = link.queryIt();
        device.fontCapable = link.queryFontSupport();
        switch (checkCompatibility(link, ctx.package)) {
        case Compatibility::Misfit:
            refuse(ctx, kMisfitText);
            return;
        case Compatibility::ExternalMemoryUnknown:
            refuse(ctx, kExternalMemoryUnknownText);
            return;
        case Compatibility::Fits:
            break;
        }
        showVerified(ctx, classicVerifiedText(device));
    }

    if (ctx.window.isChecked(control::kSilentMode) && !ctx.stopAfterVerification) {
        ctx.window.repaint();
        firmwareDownload(ctx);
    }
}

} // namespace orvexa
