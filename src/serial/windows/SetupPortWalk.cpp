#include "serial/windows/SetupPortWalk.h"

#include "serial/BluetoothAddress.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace orvexa {

namespace {

constexpr const char* kPortsClassName = "Ports";

// "COM" and at most three digits with the terminating zero: a longer value does not fit and ends the walk.
constexpr std::uint32_t kPortNameBytes = 7;
constexpr std::size_t kComPrefixLength = 3;
// MAX_DEVICE_ID_LEN characters and a terminating zero; a longer ID fails the call and names no address.
constexpr std::uint32_t kInstanceIdBytes = 200 + 1;
// Far above any port number (COM ports end at 256 on Windows), far below where an int overflows.
constexpr int kNumberBound = 1000000;

std::string_view whole(const std::array<char, kPortNameBytes>& name) {
    return {name.data(), name.size()};
}

} // namespace

bool startsWithCom(std::string_view name) {
    static constexpr char kPrefix[] = "com";
    if (name.size() < kComPrefixLength) {
        return false;
    }
    for (std::size_t i = 0; i < kComPrefixLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != kPrefix[i]) {
            return false;
        }
    }
    return true;
}

// A value of exactly seven bytes has no terminating zero in it: the view's end is the buffer's.
int numberAfterComPrefix(std::string_view name) {
    std::size_t i = kComPrefixLength;
    while (i < name.size() && std::isspace(static_cast<unsigned char>(name[i])) != 0) {
        ++i;
    }
    bool negative = false;
    if (i < name.size() && (name[i] == '+' || name[i] == '-')) {
        negative = name[i] == '-';
        ++i;
    }
    int value = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        value = std::min(kNumberBound, value * 10 + (name[i] - '0'));
    }
    return negative ? -value : value;
}

SetupApiLayer::DeviceSet openPortsClass(SetupApiLayer& layer) {
    std::uint32_t required = 0;
    layer.classGuidsFromName(kPortsClassName, nullptr, 0, required);
    if (required == 0) {
        return SetupApiLayer::kInvalidSet;
    }
    std::vector<ClassGuid> guids(required);
    if (!layer.classGuidsFromName(kPortsClassName, guids.data(), required, required)) {
        return SetupApiLayer::kInvalidSet;
    }
    return layer.getPresentClassDevices(guids.front());
}

SetupApiLayer::RegistryKey openHardwareKey(SetupApiLayer& layer, SetupApiLayer::Procedure openKey,
                                           SetupApiLayer::DeviceSet set, const DeviceRecord& record) {
    SetupApiLayer::RegistryKey key = 0;
    if (layer.openDevNodeKey(openKey, record.devInst, key) != SetupApiLayer::kConfigSuccess) {
        return 0;
    }
    // Wine's configuration manager reports success without opening anything. The setup API's own way
    // to the same key works there, and on Windows as well.
    if (key == 0) {
        key = layer.openDevRegKey(set, record);
    }
    return key;
}

std::string deviceInstanceIdOf(SetupApiLayer& layer, SetupApiLayer::DeviceSet set,
                               const DeviceRecord& record) {
    std::array<char, kInstanceIdBytes> id{};
    std::uint32_t required = 0;
    if (!layer.deviceInstanceId(set, record, id.data(), kInstanceIdBytes, required)) {
        return {};
    }
    // The ID ends at its zero, or at the end of the buffer should the layer have left none.
    const auto end = std::find(id.begin(), id.end(), '\0');
    return std::string(id.data(), static_cast<std::size_t>(end - id.begin()));
}

void SetupPortWalk::discoverPorts() {
    rawPorts_.fill(0);
    sortedPorts_.fill(0);
    deviceAddresses_.fill({});
    instanceIds_.fill({});
    collectPorts();

    std::size_t count = 0;
    for (int candidate = 1; candidate <= kHighestPort; ++candidate) {
        const auto end = std::find(rawPorts_.begin(), rawPorts_.end(), 0);
        if (std::find(rawPorts_.begin(), end, candidate) != end) {
            sortedPorts_[count++] = static_cast<std::uint8_t>(candidate);
        }
    }
}

void SetupPortWalk::collectPorts() {
    deviceIndex_ = 0;
    const SetupApiLayer::DeviceSet set = openPortsClass(layer_);
    std::size_t count = 0;
    int port = 0;
    std::string instanceId;
    // The lists hold one byte per port and end with a zero: a number above 255 would be stored cut
    // short (COM256 as 0, ending the list; COM257 as 1), so such a port is left out and the walk goes on;
    // and the walk stops once the list is full rather than write past it.
    while (count < kMaxPorts && nextPort(set, port, instanceId)) {
        if (port <= kHighestPort) {
            const auto seen = rawPorts_.begin() + static_cast<std::ptrdiff_t>(count);
            const bool first = std::find(rawPorts_.begin(), seen, port) == seen;
            const std::string address = bluetoothAddressFromInstanceId(instanceId);
            // A second device of the same number keeps the address (and the instance) only when it names
            // the same one.
            if (first) {
                deviceAddresses_[port] = address;
                instanceIds_[port] = instanceId;
            } else {
                if (deviceAddresses_[port] != address) {
                    deviceAddresses_[port].clear();
                }
                if (instanceIds_[port] != instanceId) {
                    instanceIds_[port].clear();
                }
            }
            rawPorts_[count++] = static_cast<std::uint8_t>(port);
        }
    }
    layer_.destroyDeviceInfoList(set);
}

bool SetupPortWalk::nextPort(SetupApiLayer::DeviceSet set, int& port, std::string& instanceId) {
    std::array<char, kPortNameBytes> portName{};
    LoadedLibrary configManager(layer_, kConfigManagerLibrary);
    if (!configManager.loaded()) {
        return false;
    }
    const SetupApiLayer::Procedure openKey = configManager.find(kOpenDevNodeKeyName);
    if (openKey == 0) {
        return false;
    }
    for (;;) {
        portName.fill(0);
        DeviceRecord record;
        if (set == SetupApiLayer::kInvalidSet || !layer_.enumDeviceInfo(set, deviceIndex_, record)) {
            return false;
        }
        const SetupApiLayer::RegistryKey key = openHardwareKey(layer_, openKey, set, record);
        if (key == 0) {
            return false;
        }
        std::uint32_t size = kPortNameBytes;
        const bool read =
            layer_.queryValue(key, kPortNameValue, reinterpret_cast<std::uint8_t*>(portName.data()), size);
        layer_.closeKey(key);
        if (!read) {
            return false;
        }
        ++deviceIndex_;
        if (startsWithCom(whole(portName))) {
            const int number = numberAfterComPrefix(whole(portName));
            if (number <= 0) {
                return false;
            }
            port = number;
            instanceId = deviceInstanceIdOf(layer_, set, record);
            return true;
        }
        // Another device of the class (a printer port such as LPT1): on to the next device.
    }
}

std::string windowsPortPath(int port) {
    char path[32];
    std::snprintf(path, sizeof path, port <= 9 ? "COM%d:" : "\\\\.\\COM%d", port);
    return path;
}

std::string windowsPortName(int port) {
    return "COM" + std::to_string(port);
}

std::vector<PortInfo> windowsPorts(const SetupPortWalk& walk) {
    std::vector<PortInfo> ports = windowsPorts(walk.sortedPorts());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const int port = walk.sortedPorts()[i];
        ports[i].deviceAddress = walk.deviceAddresses()[port];
        if (!walk.instanceIds()[port].empty()) {
            ports[i].stableName = windowsPortName(port) + " " + walk.instanceIds()[port];
        }
    }
    return ports;
}

std::vector<PortInfo> windowsPorts(const SetupPortWalk::PortList& sortedPorts) {
    std::vector<PortInfo> ports;
    for (std::uint8_t port : sortedPorts) {
        if (port == 0) {
            break;
        }
        ports.push_back({windowsPortPath(port), windowsPortName(port), {}});
    }
    return ports;
}

} // namespace orvexa
