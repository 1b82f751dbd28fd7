// A classic scanner after Step 2, on the virtual clock: the simulated scanner on a direct cable, the
// scripted dialog, and DeviceInfo filled as Step 2 leaves it. Step 3 then runs as the dialog runs it.
#pragma once

#include "ScannerSession.h"
#include "TextChecks.h"

#include "firmware/BlockFrame.h"
#include "fonts/FlashLayout.h"
#include "fonts/LanguagePage.h"
#include "steps/Steps.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvexa::test {

inline const FirmwarePackage& carriedPackage() {
    static const FirmwarePackage package = FirmwarePackage::carried();
    return package;
}

// The carried image, or one of another size that keeps its header (when it is long enough to hold it).
inline std::vector<std::uint8_t> imageOfSize(std::size_t size) {
    const FirmwarePackage& carried = carriedPackage();
    std::vector<std::uint8_t> image(carried.image(),
                                    carried.image() + std::min<std::size_t>(size, carried.imageSize()));
    image.resize(size, 0x3C);
    return image;
}

inline std::vector<std::uint8_t> imageWithoutHeader() {
    std::vector<std::uint8_t> image = imageOfSize(carriedPackage().imageSize());
    image[kImageHeaderOffset] = 'x';
    return image;
}

// The scripted dialog as a front end that can be interrupted: it asks Step 3 to stop once the bar has
// moved `stopAt` steps (Ctrl-C pressed twice).
class FrontEndWindow : public ScriptedWindow {
public:
    void progressStepIt() override {
        ScriptedWindow::progressStepIt();
        if (++steps == stopAt) {
            interruption->stopRequested = true;
        }
    }

    int steps = 0;
    int stopAt = -1;
    Interruption* interruption = nullptr;
};

struct ClassicBench : ScannerSession<FrontEndWindow> {
    explicit ClassicBench(ScannerPersonality personality = {}, ScannerFaults faults = {},
                          FirmwarePackage firmware = carriedPackage(),
                          const LanguageData& languages = carriedLanguages())
        : ScannerSession({std::move(personality), std::move(faults), std::move(firmware), &languages}) {
        asAfterStep2(records, scanner.personality());
        records.statusText = "Verified";
        window.setControlText(control::kStatus, records.statusText);
        window.setChecked(control::kSilentMode, true);
    }

    void setFirmwareText(const std::string& text) { setText(records.deviceInfo.firmwareText, text); }

    Outcome run() {
        firmwareDownload(ctx);
        return ctx.outcome;
    }
    void stopAfterSteps(int steps) {
        ctx.interruption = &interruption;
        window.interruption = &interruption;
        window.stopAt = steps;
    }

    const ScannerRecord& record() const { return scanner.record(); }
    std::vector<const ScannerRecord::Frame*> dataFrames() const {
        std::vector<const ScannerRecord::Frame*> frames;
        for (const auto& frame : record().frames) {
            if (frame.kind == BlockFrame::kDataKind) {
                frames.push_back(&frame);
            }
        }
        return frames;
    }
    bool sawCommand(const std::string& text) const { return record().count(text) > 0; }
    // The image the scanner now holds from `from` on, as long as the carried one.
    std::vector<std::uint8_t> heldImage(std::int32_t from) const {
        std::vector<std::uint8_t> held = record().image(static_cast<std::uint16_t>(from / 256));
        held.resize(static_cast<std::size_t>(package.imageSize() - from));
        return held;
    }
    std::vector<std::uint8_t> imageFrom(std::int32_t from) const {
        return std::vector<std::uint8_t>(package.image() + from, package.image() + package.imageSize());
    }

    Interruption interruption;
};

inline const char kSuccess[] =
    "Firmware updated sucessfully!!!\r\n\nPlease make sure to set factory default after restart RDQ";
inline const char kFailure[] =
    "Error was detected while upgrading Firmware!!\r\nPlease reset RDQ and update Firmware again.";

} // namespace orvexa::test
