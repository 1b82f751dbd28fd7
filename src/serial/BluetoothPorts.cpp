#include "serial/BluetoothPorts.h"

#include "serial/BluetoothAddress.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace orvexa {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// An alias is the device's own name, any bytes it chose: shown printable, as every name read from the
// machine is.
std::string printableAlias(std::string_view alias) {
    std::string shown;
    for (const char c : alias) {
        shown += std::isprint(static_cast<unsigned char>(c)) != 0 ? c : '?';
    }
    return shown;
}

} // namespace

std::string bluetoothPortName(std::string_view address) {
    return std::string(kBluetoothPortPrefix) + bluetoothAddressFromText(address);
}

std::string addressOfBluetoothPort(std::string_view path) {
    if (!startsWith(path, kBluetoothPortPrefix)) {
        return {};
    }
    return bluetoothAddressFromText(path.substr(kBluetoothPortPrefix.size()));
}

PortInfo bluetoothPort(std::string_view address) {
    const std::string name = bluetoothPortName(address);
    // The address is what stays the same: it names the scanner whichever adapter reaches it.
    return PortInfo{name, name, "Bluetooth", bluetoothAddressFromText(address), name};
}

std::vector<PortInfo> bluetoothPortsOf(const BluetoothView& view) {
    std::map<std::string, PortInfo> byAddress; // ordered: the ports come out in ascending address
    for (const BluetoothDevice& device : view.devices) {
        const std::string address = bluetoothAddressFromText(device.address);
        if (!device.paired || !device.servesSerialPort || address.empty() || byAddress.count(address) > 0) {
            continue;
        }
        PortInfo port = bluetoothPort(address);
        if (!device.alias.empty()) {
            port.detail = printableAlias(device.alias);
        }
        byAddress.emplace(address, std::move(port));
    }
    std::vector<PortInfo> ports;
    for (auto& entry : byAddress) {
        ports.push_back(std::move(entry.second));
    }
    return ports;
}

ConnectFailure connectFailureOf(std::string_view errorName, std::string_view message) {
    // The stack names most causes in the message of a plain Failed: "br-connection-page-timeout",
    // "br-connection-refused", "Host is down".
    if (contains(message, "page-timeout") || contains(message, "Host is down") ||
        contains(message, "timeout") || contains(message, "Timeout")) {
        return {ChannelError::NoSuchPort,
                "the scanner did not answer the call: it is out of range or switched off"};
    }
    if (contains(message, "refused") || contains(message, "Refused") ||
        errorName == "org.bluez.Error.Rejected" || errorName == "org.bluez.Error.NotAuthorized" ||
        errorName == "org.bluez.Error.AuthenticationFailed") {
        return {ChannelError::PermissionDenied,
                "the scanner refused the connection: pair it with this computer again"};
    }
    if (errorName == "org.bluez.Error.InProgress" || errorName == "org.bluez.Error.AlreadyConnected" ||
        contains(message, "busy") || contains(message, "Busy")) {
        return {ChannelError::Busy, "another program is connected to the scanner's serial port"};
    }
    if (errorName == "org.bluez.Error.NotReady" || contains(message, "not powered") ||
        contains(message, "adapter-not-powered")) {
        return {ChannelError::NoSuchPort, "the Bluetooth adapter is switched off: bluetoothctl power on"};
    }
    if (errorName == "org.freedesktop.DBus.Error.UnknownObject" ||
        errorName == "org.freedesktop.DBus.Error.UnknownMethod" ||
        errorName == "org.bluez.Error.DoesNotExist") {
        return {ChannelError::NoSuchPort, "no scanner with this address is paired with this computer"};
    }
    if (errorName == "org.freedesktop.DBus.Error.NoReply" ||
        errorName == "org.freedesktop.DBus.Error.Timeout") {
        return {ChannelError::NoSuchPort, "the connection did not come up in time"};
    }
    if (errorName == "org.bluez.Error.NotAvailable" || errorName == "org.bluez.Error.NotSupported" ||
        contains(message, "profile-unavailable")) {
        return {ChannelError::NotSerialPort, "the scanner offers no serial port now"};
    }
    std::string reason = "the connection failed";
    if (!message.empty() || !errorName.empty()) {
        reason += " (" + printableAlias(message.empty() ? errorName : message) + ")";
    }
    return {ChannelError::Other, reason};
}

ConnectFailure unreachableStackFailure(const BluetoothView& view, bool kernelHasSockets) {
    constexpr const char* kNoSockets = "this kernel offers no Bluetooth sockets (a container, say)";
    switch (view.reach) {
    case BluetoothView::Reach::NotBuilt:
        return {ChannelError::NoSuchPort, "this build of Orvexa has no Bluetooth support"};
    case BluetoothView::Reach::NoBus:
        return {ChannelError::NoSuchPort,
                std::string("the system D-Bus cannot be reached, so BlueZ cannot be asked") +
                    (kernelHasSockets ? "" : std::string("; ") + kNoSockets)};
    case BluetoothView::Reach::NoStack:
        return {ChannelError::NoSuchPort,
                kernelHasSockets ? std::string("BlueZ is not running: sudo systemctl start bluetooth")
                                 : std::string("BlueZ cannot run here: ") + kNoSockets};
    default:
        return {ChannelError::NoSuchPort, "BlueZ did not answer in time"};
    }
}

} // namespace orvexa
