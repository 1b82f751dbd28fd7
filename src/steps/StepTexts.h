// Texts that more than one step shows, and the one way a step adds a line under the status text.
#pragma once

#include "ui/Controls.h"
#include "ui/DialogWindow.h"

#include <string>

namespace orvexa {

// The readiness question, before Step 1 probes the ports and before Step 3 changes a classic scanner;
// each asks it under a caption of its own.
inline constexpr const char* kReadyText =
    "Did you close all other applications?\r\nIs RDQ properly connected?";

// The two texts that end every firmware transfer, framed or classic.
inline constexpr const char* kFirmwareErrorText =
    "Error was detected while upgrading Firmware!!\r\nPlease reset RDQ and update Firmware again.";
inline constexpr const char* kFirmwareUpdatedText =
    "Firmware updated sucessfully!!!\r\n\nPlease make sure to set factory default after restart RDQ";

// Additions from here on: the original ended silently in these places, or ran on against a port it did
// not have.

// The line was lost (the port hung up or vanished) while a step talked to the scanner.
inline constexpr const char* kDisconnectedLine = "RDQ was disconnected..";
// A step that needs the scanner's port, run while none is open.
inline constexpr const char* kNoPortOpenText = "No serial port is open.\r\nPlease run Step 1 first.";
// Step 3 run on a scanner that the last Step 2 did not verify on the port open now.
inline constexpr const char* kNotVerifiedText =
    "RDQ is not verified on the open port.\r\nPlease run Step 2 before downloading firmware.";

// With a catalogue: more than one package fits the scanner equally well, and none is guessed.
inline constexpr const char* kSeveralPackagesFitText =
    "More than one firmware of the catalogue fits this RDQ.\r\nPlease name the one to write with --firmware "
    "FILE.";

// Adds one line under what the status box shows now; the status text itself is left as it was.
inline void addStatusLine(DialogWindow& window, const std::string& line) {
    window.setControlText(control::kStatus, window.controlText(control::kStatus) + "\r\n" + line);
}

} // namespace orvexa
