#include "doctor/windows/WindowsDoctor.h"

#include "serial/BluetoothAddress.h"

#include <algorithm>
#include <array>
#include <set>

namespace orvexa {

namespace {

constexpr int kHighestOpenablePort = SetupPortWalk::kHighestPort;

constexpr const char* kRenumberFix =
    "Renumber it to 255 or less in Device Manager: Ports (COM & LPT) > the port > "
    "Properties > Port Settings > Advanced > COM Port Number.";
constexpr const char* kAddOutgoingFix =
    "Add an outgoing port for the scanner: Bluetooth settings > More "
    "Bluetooth options > COM Ports > Add > Outgoing, then choose the scanner.";
constexpr const char* kBusyFix =
    "Close the program that holds it (a terminal program, another upgrade tool, a "
    "phone or sync program) and try again.";

Finding finding(const char* check, FindingLevel level, std::string subject, std::string text,
                std::string fix = {}) {
    return {check, level, std::move(subject), std::move(text), std::move(fix)};
}

// The text a buffer holds: no more than the layer reported, no more than the buffer holds, and up to the
// first zero, so that a value stored without its terminating zero is read within bounds.
std::string textIn(const char* buffer, std::size_t capacity, std::uint32_t reported) {
    const std::size_t size = reported == 0 ? capacity : std::min<std::size_t>(reported, capacity);
    const char* end = std::find(buffer, buffer + size, '\0');
    return printableText(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

// How a device is named when its port name is unknown: what Device Manager shows, else where it stands.
std::string deviceLabel(const PortsClassDevice& device) {
    if (!device.friendlyName.empty()) {
        return device.friendlyName;
    }
    if (!device.instanceId.empty()) {
        return device.instanceId;
    }
    return "device " + std::to_string(device.index) + " of the Ports class";
}

bool isComPortInRange(const PortsClassDevice& device) {
    return device.nameRead && device.isComPort && device.number >= 1 && device.number <= kHighestOpenablePort;
}

std::string listOf(const std::vector<std::string>& names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return list;
}

} // namespace

std::vector<Finding> WindowsDoctor::examine(const std::vector<PortInfo>& extraPorts) {
    std::vector<Finding> findings;
    std::set<std::string> examinedPaths;
    if (readPortsClass(findings)) {
        SetupPortWalk walk(layer_);
        walk.discoverPorts();
        std::vector<PortsClassDevice> ports = devices_;
        // COM ports by number (a port of one number twice stays in the order of the class), then the
        // devices that could not be read; other devices of the class (printer ports) say nothing.
        const auto unread = std::stable_partition(ports.begin(), ports.end(),
                                                  [](const PortsClassDevice& d) { return d.nameRead; });
        std::stable_sort(ports.begin(), unread, [](const PortsClassDevice& a, const PortsClassDevice& b) {
            return a.isComPort && (!b.isComPort || a.number < b.number);
        });
        std::set<int> seen;
        for (auto device = ports.begin(); device != unread; ++device) {
            if (device->isComPort) {
                examinePort(*device, seen.insert(device->number).second, walk, findings);
                if (isComPortInRange(*device)) {
                    examinedPaths.insert(windowsPortPath(device->number));
                }
            }
        }
        for (auto device = unread; device != ports.end(); ++device) {
            findings.push_back(finding("com-port", FindingLevel::Unchecked, deviceLabel(*device),
                                       deviceLabel(*device) + ": " + device->unreadableWhy + "."));
        }
    }
    for (const PortInfo& port : extraPorts) {
        if (examinedPaths.insert(port.path).second) {
            examineOpen(port.path, printableText(port.displayName.empty() ? port.path : port.displayName),
                        true, findings);
        }
    }
    return findings;
}

bool WindowsDoctor::readPortsClass(std::vector<Finding>& findings) {
    devices_.clear();
    const SetupApiLayer::DeviceSet set = openPortsClass(layer_);
    if (set == SetupApiLayer::kInvalidSet) {
        findings.push_back(finding("ports-class", FindingLevel::Unchecked, {},
                                   "The Ports device class cannot be listed: which COM ports this machine "
                                   "has is unknown."));
        return false;
    }
    LoadedLibrary configManager(layer_, kConfigManagerLibrary);
    const SetupApiLayer::Procedure openKey =
        configManager.loaded() ? configManager.find(kOpenDevNodeKeyName) : 0;
    if (openKey == 0) {
        findings.push_back(
            finding("ports-class", FindingLevel::Unchecked, {},
                    "The configuration manager (cfgmgr32, CM_Open_DevNode_Key) cannot be "
                    "loaded: no port's settings can be read, and the port search finds none."));
        layer_.destroyDeviceInfoList(set);
        return false;
    }
    DeviceRecord record;
    std::uint32_t index = 0;
    for (; index < kMaxDevices && layer_.enumDeviceInfo(set, index, record); ++index) {
        devices_.push_back(readDevice(openKey, set, record, index));
        record = {};
    }
    if (index == kMaxDevices && layer_.enumDeviceInfo(set, index, record)) {
        findings.push_back(finding("ports-class", FindingLevel::Unchecked, {},
                                   "The Ports class holds more than " + std::to_string(kMaxDevices) +
                                       " devices: only the first " + std::to_string(kMaxDevices) +
                                       " were examined."));
    }
    layer_.destroyDeviceInfoList(set);
    return true;
}

PortsClassDevice WindowsDoctor::readDevice(SetupApiLayer::Procedure openKey, SetupApiLayer::DeviceSet set,
                                           const DeviceRecord& record, std::uint32_t index) {
    PortsClassDevice device;
    device.index = index;
    device.instanceId = printableText(deviceInstanceIdOf(layer_, set, record));

    std::array<char, kFriendlyNameBytes> friendly{};
    std::uint32_t required = 0;
    if (layer_.friendlyName(set, record, friendly.data(), kFriendlyNameBytes, required)) {
        device.friendlyName = textIn(friendly.data(), friendly.size(), required);
    }

    const SetupApiLayer::RegistryKey key = openHardwareKey(layer_, openKey, set, record);
    if (key == 0) {
        device.unreadableWhy = "its hardware registry key cannot be opened, so its port name is unknown";
        return device;
    }
    std::array<char, kPortNameBytes> name{};
    std::uint32_t size = kPortNameBytes;
    const bool read =
        layer_.queryValue(key, kPortNameValue, reinterpret_cast<std::uint8_t*>(name.data()), size);
    layer_.closeKey(key);
    if (!read) {
        device.unreadableWhy = "its PortName value cannot be read (missing, or longer than " +
                               std::to_string(kPortNameBytes - 1) + " bytes)";
        return device;
    }
    // Read as the port walk reads it, over the whole of what was stored.
    const std::size_t stored = std::min<std::size_t>(size, name.size());
    const std::string_view raw(
        name.data(),
        static_cast<std::size_t>(std::find(name.begin(), name.begin() + stored, '\0') - name.begin()));
    device.nameRead = true;
    device.portName = printableText(raw);
    device.isComPort = startsWithCom(raw);
    device.number = device.isComPort ? numberAfterComPrefix(raw) : 0;
    return device;
}

void WindowsDoctor::examinePort(const PortsClassDevice& device, bool firstOfNumber, const SetupPortWalk& walk,
                                std::vector<Finding>& findings) {
    const std::string& name = device.portName;
    findings.push_back(finding("com-port", FindingLevel::Fine, name,
                               device.friendlyName.empty() ? name + " (its friendly name cannot be read)"
                                                           : name + ": " + device.friendlyName));
    if (device.number < 1) {
        findings.push_back(finding("port-number", FindingLevel::Problem, name,
                                   name + " carries no port number this program can open, and the port "
                                          "search stops at it.",
                                   kRenumberFix));
        return;
    }
    if (device.number > kHighestOpenablePort) {
        findings.push_back(finding("port-number", FindingLevel::Problem, name,
                                   name + " is numbered above 255: this program cannot open it.",
                                   kRenumberFix));
        return;
    }
    const auto& sorted = walk.sortedPorts();
    const auto end = std::find(sorted.begin(), sorted.end(), 0);
    if (std::find(sorted.begin(), end, device.number) == end) {
        findings.push_back(finding(
            "port-unlisted", FindingLevel::Problem, name,
            name + " is present, but the port search stops before it (at a port it cannot read or number), "
                   "so it is never probed.",
            "Mend the port reported above as unreadable or without a number, or name " + name +
                " yourself (orvexa-cli --port " + name + ", or ORVEXA_EXTRA_PORTS=" + name +
                " for the dialog)."));
    }
    examineBluetooth(device, findings);
    if (firstOfNumber) {
        examineOpen(windowsPortPath(device.number), name, false, findings);
    }
}

void WindowsDoctor::examineBluetooth(const PortsClassDevice& device, std::vector<Finding>& findings) const {
    if (!isBluetoothPortInstance(device.instanceId)) {
        return;
    }
    const std::string& name = device.portName;
    if (!isIncomingBluetoothPort(device.instanceId)) {
        const std::string address = bluetoothAddressFromInstanceId(device.instanceId);
        findings.push_back(finding("bluetooth-port", FindingLevel::Fine, name,
                                   name + " is an outgoing Bluetooth port" +
                                       (address.empty() ? std::string() : " to " + address) +
                                       ": the kind through which a scanner answers."));
        return;
    }
    std::vector<std::string> outgoing;
    bool onlyIncoming = true;
    for (const PortsClassDevice& other : devices_) {
        if (!isComPortInRange(other)) {
            continue;
        }
        const bool incoming = isIncomingBluetoothPort(other.instanceId);
        onlyIncoming = onlyIncoming && incoming;
        if (isBluetoothPortInstance(other.instanceId) && !incoming &&
            std::find(outgoing.begin(), outgoing.end(), other.portName) == outgoing.end()) {
            outgoing.push_back(other.portName);
        }
    }
    const std::string text = name + " is an incoming Bluetooth port: it waits for a device to call it and "
                                    "never answers a probe.";
    if (!outgoing.empty()) {
        findings.push_back(finding("bluetooth-port", FindingLevel::Note, name, text,
                                   "Use the outgoing port " + listOf(outgoing) + " instead."));
    } else {
        findings.push_back(finding("bluetooth-port",
                                   onlyIncoming ? FindingLevel::Problem : FindingLevel::Note, name,
                                   text + " No outgoing Bluetooth port is set up.", kAddOutgoingFix));
    }
}

void WindowsDoctor::examineOpen(const std::string& path, const std::string& name, bool named,
                                std::vector<Finding>& findings) {
    const ChannelError error = openCheck_ ? openCheck_(path) : ChannelError::None;
    switch (error) {
    case ChannelError::None:
        if (named) {
            findings.push_back(
                finding("extra-port", FindingLevel::Fine, name, name + " (named by the user) opens."));
        }
        return;
    case ChannelError::Busy:
        findings.push_back(finding("port-busy", FindingLevel::Problem, name,
                                   name + " is held by another program.", kBusyFix));
        return;
    case ChannelError::NoSuchPort:
        findings.push_back(
            finding("port-missing", FindingLevel::Problem, name,
                    name + (named ? " (named by the user) does not exist."
                                  : " is listed, but Windows finds no such port."),
                    named ? "Check the name: COM5, or \\\\.\\COM10 above COM9."
                          : "Plug the adapter in again, or remove the port and pair the scanner again."));
        return;
    case ChannelError::NotSerialPort:
        findings.push_back(finding("port-missing", FindingLevel::Problem, name,
                                   name + " is not a COM port: nothing was written to it.",
                                   "Name a COM port: COM5, or \\\\.\\COM10 above COM9."));
        return;
    case ChannelError::PermissionDenied:
    case ChannelError::LineLost:
    case ChannelError::Other:
        break;
    }
    findings.push_back(
        finding("port-busy", FindingLevel::Unchecked, name,
                name + " did not open, so whether another program holds it is unknown (a "
                       "Bluetooth port does not open while its scanner is off or out of reach)."));
}

} // namespace orvexa
