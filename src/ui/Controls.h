// The main dialog's control identifiers and the Windows message-box codes. The step logic addresses the
// dialog by these numbers on every front end, so that what a test asserts is what a Windows user sees.
#pragma once

namespace orvexa {

namespace control {
inline constexpr int kExit = 2; // carries the cancel identifier: Exit and Escape end the dialog
inline constexpr int kAbout = 1000;
inline constexpr int kStep1 = 1001;
inline constexpr int kStep2 = 1006;
inline constexpr int kStep3 = 1010;
inline constexpr int kProgress = 1011;
inline constexpr int kPortResult = 1022; // one-line edit: Step 1's result
inline constexpr int kStatus = 1023;     // multi-line edit: the status text
inline constexpr int kSilentMode = 1025;
inline constexpr int kDownloadFont = 1026;
} // namespace control

// Message-box types, as the numbers Windows gives them.
namespace box {
inline constexpr unsigned kOk = 0;                // MB_OK, no icon
inline constexpr unsigned kError = 16;            // MB_OK | MB_ICONHAND
inline constexpr unsigned kQuestion = 292;        // MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2
inline constexpr unsigned kWarningQuestion = 308; // MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2

inline constexpr unsigned kButtonMask = 0x0F;
inline constexpr unsigned kYesNo = 0x04;
inline constexpr unsigned kIconMask = 0xF0;
inline constexpr unsigned kIconHand = 0x10;
inline constexpr unsigned kIconQuestion = 0x20;
inline constexpr unsigned kIconExclamation = 0x30;
inline constexpr unsigned kDefaultButton2 = 0x100;

inline constexpr bool isQuestion(unsigned type) {
    return (type & kButtonMask) == kYesNo;
}

// "error", "question", "warning" or "info": a box's kind by its icon, as the CLI prints it and the JSON
// events and the support bundle carry it.
inline constexpr const char* kindName(unsigned type) {
    switch (type & kIconMask) {
    case kIconHand:
        return "error";
    case kIconQuestion:
        return "question";
    case kIconExclamation:
        return "warning";
    default:
        return "info";
    }
}
} // namespace box

// Answers of a message box or dialog.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

} // namespace orvexa
