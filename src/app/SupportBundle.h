// The support bundle (orvexa-cli --support-bundle FILE, "Save support bundle..." in the dialogs): one JSON
// document that a user sends to support instead of describing a failed upgrade in their own words. It
// holds the program and the carried package, the OS, the doctor's findings, the ports as discovery lists
// them, and the last run's boxes, status lines and wire trace (RunMemory). Nothing else of the machine
// goes in: no user name, no environment, no file but the port nodes the port list names. The README
// lists its keys.
#pragma once

#include "app/RunMemory.h"
#include "doctor/Finding.h"
#include "firmware/FirmwarePackage.h"
#include "serial/PortDiscovery.h"

#include <optional>
#include <string>
#include <vector>

namespace orvexa {

// Raised when a key is added, renamed or changes its meaning.
inline constexpr int kSupportBundleSchema = 1;
inline constexpr const char* kSupportBundleDefaultName = "orvexa-support.json";

struct ListedPort {
    PortInfo port;
    ChannelError problem = ChannelError::None; // what discovery tells of it without opening it
};

// What the bundle says of the machine; a test makes it up.
struct MachineFacts {
    std::string operatingSystem;
    std::vector<Finding> findings;
    std::vector<ListedPort> ports;
};

// This machine's facts: its OS, the doctor's findings (the extra ports examined too), and the ports
// `discovery` lists, in its order.
MachineFacts examineThisMachine(PortDiscovery& discovery, const std::vector<PortInfo>& extraPorts);

// The document, as text. `program` is the front end's name ("orvexa-cli", "orvexa"); `lastRun` is null
// when there is no run to tell of (orvexa-cli --support-bundle alone, a dialog before its first step).
std::string supportBundleText(const std::string& program, const MachineFacts& machine,
                              const FirmwarePackage& package, const RunMemory* lastRun);

// Writes `text` to `path` whole, through a file beside it that is then renamed, so that no half bundle
// is ever left. Refuses a path that exists as anything but a regular file (a serial device, a directory,
// a pipe): nothing is written into it. Nothing on success, else why not, in one line.
std::optional<std::string> writeSupportBundle(const std::string& path, const std::string& text);

} // namespace orvexa
