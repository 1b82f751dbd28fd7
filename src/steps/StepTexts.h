// Texts that more than one step shows, and the one way a step adds a line under the status text. All are
// additions: the original ended silently in these places, or ran on against a port it did not have.
#pragma once

#include "ui/Controls.h"
#include "ui/DialogWindow.h"

#include <string>

namespace orvexa {

// The line was lost (the port hung up or vanished) while a step talked to the scanner.
inline constexpr const char* kDisconnectedLine = "RDQ was disconnected..";
// A step that needs the scanner's port, run while none is open.
inline constexpr const char* kNoPortOpenText = "No serial port is open.\r\nPlease run Step 1 first.";
// Step 3 run on a scanner that the last Step 2 did not verify on the port open now.
inline constexpr const char* kNotVerifiedText =
    "RDQ is not verified on the open port.\r\nPlease run Step 2 before downloading firmware.";

// Adds one line under what the status box shows now; the status text itself is left as it was.
inline void addStatusLine(DialogWindow& window, const std::string& line) {
    window.setControlText(control::kStatus, window.controlText(control::kStatus) + "\r\n" + line);
}

} // namespace orvexa
