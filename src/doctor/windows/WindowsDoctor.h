// The doctor on Windows: what on this machine stands between the user and a scanner, one finding per
// fact. It walks the "Ports" class through the same SetupApiLayer as the port walk, so that tests hand
// it a scripted machine, but a walk of its own: the port walk keeps one byte per port and ends at the
// first device it cannot read, which is exactly what the doctor has to look past and report.
//
// Checks, by their stable identifiers:
//   com-port        each COM port and its friendly name (fine); a device that cannot be read (unchecked)
//   port-number     a number above 255, or none at all: this program cannot open it (problem)
//   port-unlisted   a port the port walk never reaches, as it stops at an unreadable one before it (problem)
//   bluetooth-port  an outgoing Bluetooth port (fine); an incoming one, which never answers (note, or a
//                   problem when incoming ports are all there is)
//   port-busy       a port another program holds (problem), or that would not open at all (unchecked)
//   port-missing    a port that is not there, or is no COM port (problem)
//   extra-port      a port the user named that opens (fine)
//   ports-class     the "Ports" class cannot be listed (unchecked)
#pragma once

#include "doctor/Finding.h"
#include "serial/PortDiscovery.h"
#include "serial/windows/SetupPortWalk.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvexa {

// Opens the port as Step 1 opens it and closes it at once: None when it opened, or why it did not.
using PortOpenCheck = std::function<ChannelError(const std::string& path)>;

// One device of the "Ports" class as the doctor's walk read it. Names are kept printable.
struct PortsClassDevice {
    std::uint32_t index = 0;   // its place in the class
    bool nameRead = false;     // its "portname" value could be read
    std::string portName;      // "COM5", "LPT1"
    bool isComPort = false;    // the name starts with "COM"
    int number = 0;            // the number after "COM" as the port walk reads it
    std::string friendlyName;  // empty when it cannot be read
    std::string instanceId;    // empty when it cannot be read
    std::string unreadableWhy; // what could not be read, when nameRead is false
};

class WindowsDoctor {
public:
    static constexpr std::uint32_t kMaxDevices = 1024; // a bound of our own: no machine has that many
    static constexpr std::uint32_t kPortNameBytes = 256;
    static constexpr std::uint32_t kFriendlyNameBytes = 256;

    WindowsDoctor(SetupApiLayer& layer, PortOpenCheck openCheck)
        : layer_(layer), openCheck_(std::move(openCheck)) {}

    // The findings on the ports present, then on the extra ports that are not among them.
    std::vector<Finding> examine(const std::vector<PortInfo>& extraPorts);

private:
    // Reads the class into devices_; false, with the reason in findings, when it cannot be listed.
    bool readPortsClass(std::vector<Finding>& findings);
    PortsClassDevice readDevice(SetupApiLayer::Procedure openKey, SetupApiLayer::DeviceSet set,
                                const DeviceRecord& record, std::uint32_t index);
    void examinePort(const PortsClassDevice& device, bool firstOfNumber, const SetupPortWalk& walk,
                     std::vector<Finding>& findings);
    void examineBluetooth(const PortsClassDevice& device, std::vector<Finding>& findings) const;
    void examineOpen(const std::string& path, const std::string& name, bool named,
                     std::vector<Finding>& findings);

    SetupApiLayer& layer_;
    PortOpenCheck openCheck_;
    std::vector<PortsClassDevice> devices_;
};

} // namespace orvexa
