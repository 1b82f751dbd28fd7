// What the steps work on. The process-wide records of the tool (what the scanner reported, the status
// text, the selected port, the port list) live once per process in ProcessRecords, never cleared as a
// whole; a test builds a fresh one. The steps borrow the dialog, the main device channel and the clock.
#pragma once

#include "device/DeviceInfo.h"
#include "firmware/FirmwareCatalogue.h"
#include "firmware/FirmwarePackage.h"
#include "fonts/LanguageData.h"
#include "serial/Clock.h"
#include "serial/PortDiscovery.h"
#include "serial/SerialChannel.h"
#include "steps/PortMemory.h"
#include "ui/DialogWindow.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvexa {

// How one port fared in the last probe of Step 1, so that a front end can say why nothing answered.
struct PortProbe {
    enum class Result { Answered, NoAnswer, OpenFailed };
    PortInfo port;
    Result result = Result::NoAnswer;
    ChannelError error = ChannelError::None; // why the open failed
    std::string hint;                        // what the user can do about it, when the OS edge knows
};

struct ProcessRecords {
    DeviceInfo deviceInfo;
    std::string statusText;
    PortInfo selectedPort;             // the port on which the probe last succeeded
    std::vector<PortInfo> sortedPorts; // the ports found by the last discovery, in probing order
    // How each port fared in the last probe.
    std::vector<PortProbe> probedPorts;
    // Step 2 took "Download Font" off because the scanner takes no fonts: the pages and fonts were asked
    // for, and the next Step 3 says that they were not written.
    bool fontsDeclined = false;
    // The last Step 2 verified the scanner on the port open now. Step 1 and every Step 2 withdraw it
    // first, and a Step 3 that closed the port drops it: Step 3 writes only while it holds, so a scanner
    // swapped in after a verification is never written without being checked.
    bool verifiedOnOpenPort = false;
    // With a catalogue: the entry the last Step 2 made the session's package; none before, and after a
    // Step 2 that chose none.
    std::optional<std::size_t> chosenPackage;
};

// How the last step ended, for front ends that report it as an exit code. The dialog texts stay the
// steps' own; this is only the verdict behind them.
enum class Outcome {
    None,
    PortOpened,           // Step 1 opened the found port on the main channel
    Verified,             // Step 2 verified the scanner
    Written,              // Step 3 wrote the firmware and everything else asked for
    PortNotFound,         // no port answered the probe, and none was chosen
    PortOpenFailed,       // the found port could not be opened
    NotVerified,          // no answer to the ping or the version query
    Refused,              // GPS, incompatible firmware, wrong framed package, bootloader refusals
    NoDownloadMode,       // the start sequence and its fallback brought no "X"
    TransferError,        // the transfer ended with the error message
    ItemsNotAcknowledged, // firmware written, but a page or font chunk was not acknowledged
    Cancelled,            // a question was answered No
    Interrupted,          // the front end asked Step 3 to stop (Ctrl-C): it stopped between two frames
};

// "port not found", "transfer error": an outcome as a front end names it to a script or a log.
const char* outcomeName(Outcome outcome);

// Shared by Step 3 and a front end that can be interrupted (orvexa-cli on Ctrl-C or SIGTERM). Both flags
// are lock-free atomics, so that a signal handler may read and set them.
struct Interruption {
    // Set by Step 3 from its first byte that changes the scanner (a page, a font, the start sequence)
    // until it ends: stopping in between leaves the scanner without working firmware.
    std::atomic<bool> writing{false};
    // Set by the front end: Step 3 stops after the frame or chunk under way, closes the port and ends
    // with Outcome::Interrupted. No closing frame is sent, so the scanner stays in its bootloader.
    std::atomic<bool> stopRequested{false};
};

using ChannelFactory = std::function<std::unique_ptr<SerialChannel>()>;

struct StepContext {
    DialogWindow& window;
    SerialChannel& channel; // the main dialog's device channel
    Clock& clock;
    PortDiscovery& discovery;
    ChannelFactory makeProbeChannel; // a channel of its own for each probe
    // The session's package: the carried one, or the one Step 2 chose from the catalogue.
    FirmwarePackage& package;
    const LanguageData& languages;
    ProcessRecords& records;
    Outcome outcome = Outcome::None;
    // Set by a front end that stops after Step 2 (orvexa-cli --check): the Silent chain then ends there.
    bool stopAfterVerification = false;
    // Set by a front end that cannot wait for a manual port choice (orvexa-cli): when no port answered,
    // Step 1 ends with PortNotFound instead of chaining into Step 2 in Silent mode.
    bool endWhenNoPortAnswered = false;
    // Set by a front end that can be interrupted; the steps run without one.
    Interruption* interruption = nullptr;
    // Set by a front end that remembers the port of the last successful Step 1 (an addition); none: the
    // usual probe order, and nothing remembered.
    PortMemory* portMemory = nullptr;
    // Set by a front end that says, before Step 3 writes, what it writes over what (orvexa-cli's status
    // line "3.09 on the scanner, 3.07 carried: older"). Called once per Step 3 that is about to write.
    std::function<void()> beforeWriting = {};
    // Set by a front end given a catalogue of several packages (an addition): Step 2 then makes the one
    // that names the scanner the session's package, or refuses. None, or one package: nothing is chosen.
    const FirmwareCatalogue* catalogue = nullptr;
};

} // namespace orvexa
