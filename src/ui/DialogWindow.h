// The toolkit-free face of the main dialog that the steps talk to. Every message box, progress step and
// control change of a step goes through here; each front end (Qt, Win32, the terminal) implements it, and
// tests implement it with a scripted window that records every call and answers from a script.
#pragma once

#include "serial/PortDiscovery.h"
#include "ui/Controls.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvexa {

class DialogWindow {
public:
    virtual ~DialogWindow() = default;

    // Controls, by the identifiers of Controls.h.
    virtual void setControlText(int controlId, const std::string& text) = 0;
    virtual std::string controlText(int controlId) const = 0;
    virtual void enableControl(int controlId, bool enable) = 0;
    virtual bool isControlEnabled(int controlId) const = 0;
    virtual bool isChecked(int controlId) const = 0;
    virtual void setChecked(int controlId, bool checked) = 0;

    // A message box of the given Windows type; returns kIdOk, kIdYes or kIdNo. An empty caption means
    // the application's default title.
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned type) = 0;

    // The progress bar, as its three messages: set-step, set-range (16-bit bounds), step-it.
    virtual void progressSetStep(int step) = 0;
    virtual void progressSetRange(std::uint16_t lower, std::uint16_t upper) = 0;
    virtual void progressStepIt() = 0;
    // An addition, said just before progressSetRange: what each step of the next range stands for, for
    // front ends that show more than a bar (orvexa-cli: "pages and fonts 12/91", rate, time left). The bar
    // starts again from empty: one Step 3 fills it once for the pages and fonts and once for the firmware,
    // and a Windows bar left where the last range ended would start the next one part full and wrap.
    virtual void progressSetUnits(const std::string& name, std::int64_t bytesPerStep) = 0;

    // Invalidate the whole dialog with erase and repaint it at once, so that a blocking step shows its
    // latest texts.
    virtual void repaint() = 0;

    virtual void beginWaitCursor() = 0;
    virtual void restoreWaitCursor() = 0;
    virtual void endWaitCursor() = 0;

    // Ends the process with this exit code. A front end may return from it (a test window records the
    // request); the caller returns at once after asking.
    virtual void exitProcess(int exitCode) = 0;

    // Shows the port dialog after no port answered the probe, offering the discovered ports for a manual
    // choice. Returns the index of the chosen port (OK), or nothing (Cancel, Enter or Escape).
    virtual std::optional<std::size_t> runPortDialog(const std::vector<PortInfo>& ports) = 0;

    // Shows the About box modally: its caption and its text lines. A front end without a box of its own
    // shows the lines as an information box.
    virtual void showAbout(const std::string& caption, const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) {
            text += (text.empty() ? "" : "\r\n") + line;
        }
        messageBox(text, caption, box::kOk);
    }

    // Asks where to save a file (the support bundle), offering `suggestedName`: the chosen path, or
    // nothing when the user cancels. A front end without a file dialog saves nothing.
    virtual std::optional<std::string> askSaveFileName(const std::string& suggestedName) {
        (void)suggestedName;
        return std::nullopt;
    }

    // Asks which firmware to open (an addition): an image, or a catalogue folder's SHA256SUMS, which
    // stands for its folder. The chosen path, or nothing when the user cancels; a front end without a
    // file dialog opens nothing.
    virtual std::optional<std::string> askFirmwareFileName() { return std::nullopt; }
};

} // namespace orvexa
