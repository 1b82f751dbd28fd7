#include "serial/linux/LinuxPortDiscovery.h"

#include "serial/BluetoothAddress.h"
#include "serial/ExtraPorts.h"
#include "serial/linux/PortAccess.h"
#include "serial/linux/SystemFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string_view>
#include <system_error>

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>

namespace orvexa {

namespace fs = std::filesystem;

namespace {

// Serial core's "type" attribute: 0 is PORT_UNKNOWN, a UART slot with no UART behind it.
constexpr int kPortTypeUnknown = 0;
constexpr const char* kUsualSerialGroup = "dialout";
// An address attribute is one line of 18 bytes; a file longer than this holds no address.
constexpr std::size_t kAddressAttributeLimit = 32;
constexpr std::string_view kRfcommPrefix = "rfcomm";

enum class Family { Attached, OnBoard };

struct TtyPrefix {
    std::string_view prefix;
    Family family;
};

constexpr std::array<TtyPrefix, 5> kSerialPrefixes{{
    {"ttyUSB", Family::Attached},
    {"ttyACM", Family::Attached},
    {kRfcommPrefix, Family::Attached},
    {"ttyS", Family::OnBoard},
    {"ttyAMA", Family::OnBoard},
}};

// The name must be the prefix followed by a number and nothing else ("ttyS" and "ttySAC0" are not ttyS).
const TtyPrefix* serialPrefixOf(const std::string& name) {
    for (const TtyPrefix& candidate : kSerialPrefixes) {
        if (name.size() > candidate.prefix.size() &&
            name.compare(0, candidate.prefix.size(), candidate.prefix) == 0 &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(candidate.prefix.size()), name.end(),
                        [](unsigned char c) { return std::isdigit(c) != 0; })) {
            return &candidate;
        }
    }
    return nullptr;
}

// The class entry is a link into /sys/devices; its target tells how the port is attached.
std::string sysfsPathOf(const fs::path& entry) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(entry, ec);
    if (ec) {
        return entry.string();
    }
    return (entry.parent_path() / target).lexically_normal().string();
}

std::string kindOf(const std::string& name, const std::string& sysfsPath) {
    if (name.rfind("rfcomm", 0) == 0 || sysfsPath.find("/bluetooth/") != std::string::npos) {
        return "bluetooth";
    }
    if (sysfsPath.find("/usb") != std::string::npos) {
        return "usb";
    }
    return "platform";
}

// A ttyS or ttyAMA slot is real when it has a device behind it and serial core knows the UART's type.
bool backedByDevice(const fs::path& entry) {
    std::error_code ec;
    if (!fs::exists(entry / "device", ec)) {
        return false;
    }
    std::ifstream typeFile(entry / "type");
    int type = kPortTypeUnknown;
    if (!(typeFile >> type)) {
        return true; // drivers without serial core's attributes (ttyAMA on some boards) are taken as real
    }
    return type != kPortTypeUnknown;
}

// rfcomm puts the remote device's address on the port's own class device ("address", lower-case hex);
// a tree that has it on the device behind the port is read there.
std::string rfcommAddress(const fs::path& entry) {
    for (const fs::path& file : {entry / "address", entry / "device" / "address"}) {
        if (std::optional<BoundedText> read = readBounded(file, kAddressAttributeLimit)) {
            if (read->cut) {
                return {}; // there, but not an address
            }
            if (!read->text.empty() && read->text.back() == '\n') {
                read->text.pop_back();
            }
            return bluetoothAddressFromText(read->text);
        }
    }
    return {};
}

// udev's stable names in a folder of them, by the node each points at: /dev/serial/by-id/<name> ->
// ../../ttyUSB0.
std::map<std::string, std::string> aliasesIn(const fs::path& folder) {
    std::map<std::string, std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError) {
            const std::string node = target.filename().string();
            const std::string alias = it->path().filename().string();
            // Several aliases may point at one node (interfaces of one adapter); keep the first by name.
            auto found = names.find(node);
            if (found == names.end() || alias < found->second) {
                names[node] = alias;
            }
        }
    }
    return names;
}

// Joining the node's group helps only when its mode lets the group read and write, and when that group is
// not root's own; a node left at 0600 by a driver or a udev rule opens for its owner alone, and saying
// "join dialout" then sends the user on a fruitless errand.
std::string permissionHint(const std::string& path) {
    const std::optional<NodeAccess> node = nodeAccessOf(path);
    const AccountNames names = systemAccountNames();
    const std::optional<gid_t> group = node ? groupToJoin(*node) : std::nullopt;
    if (node && !group) {
        return "You may not open " + path + ": " + whoMayOpen(*node, names) +
               " A udev rule (or the owner) must give a group such as \"" + kUsualSerialGroup +
               "\" read and write access.";
    }
    const std::string name = group ? names.group(*group) : kUsualSerialGroup; // cannot look: the usual advice
    return "You may not open " + path + ": join the group \"" + name + "\" (" + joinGroupCommand(name) +
           "), then log in again.";
}

} // namespace

bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) {
                ++endA;
            }
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) {
                ++endB;
            }
            // Compare by value without converting: skip leading zeros, then the longer run is larger.
            std::size_t startA = i;
            std::size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0') {
                ++startA;
            }
            while (startB + 1 < endB && b[startB] == '0') {
                ++startB;
            }
            const std::string_view runA(a.data() + startA, endA - startA);
            const std::string_view runB(b.data() + startB, endB - startB);
            if (runA.size() != runB.size()) {
                return runA.size() < runB.size();
            }
            if (runA != runB) {
                return runA < runB;
            }
            if (endA - i != endB - j) {
                return endA - i < endB - j; // "1" before "01": some order, but a fixed one
            }
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j]) {
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

LinuxPortDiscovery::LinuxPortDiscovery(std::string sysRoot, std::string devRoot,
                                       std::vector<PortInfo> extraPorts, BluetoothSource bluetooth)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), extraPorts_(std::move(extraPorts)),
      bluetooth_(std::move(bluetooth)) {}

std::vector<PortInfo> LinuxPortDiscovery::discoverPorts() {
    const fs::path classDir = fs::path(sysRoot_) / "class" / "tty";
    const fs::path devRoot(devRoot_);
    const fs::path byId = devRoot / "serial" / "by-id";
    const fs::path byPath = devRoot / "serial" / "by-path";
    const std::map<std::string, std::string> aliases = aliasesIn(byId);
    // A port without a by-id name (an adapter with no serial number) may still have one by the USB
    // socket it hangs on: stable as long as it stays in that socket.
    const std::map<std::string, std::string> socketAliases = aliasesIn(byPath);

    std::vector<PortInfo> ports;
    passedOver_.clear();
    std::error_code ec;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const TtyPrefix* prefix = serialPrefixOf(name);
        if (prefix == nullptr) {
            continue; // consoles, pseudo-terminals: not serial ports at all
        }
        if (prefix->family == Family::OnBoard && !backedByDevice(it->path())) {
            passedOver_.push_back({name, PassedOver::Why::NoHardware});
            continue;
        }
        std::error_code nodeError;
        const fs::path node = devRoot / name;
        if (!fs::exists(node, nodeError)) {
            passedOver_.push_back({name, PassedOver::Why::NoNode}); // a container without the node
            continue;
        }
        std::string detail = kindOf(name, sysfsPathOf(it->path()));
        std::string stableName;
        const auto alias = aliases.find(name);
        if (alias != aliases.end()) {
            detail += " " + alias->second;
            // The by-id name follows the adapter to whichever ttyUSB number it gets next time.
            stableName = (byId / alias->second).string();
        } else if (const auto socket = socketAliases.find(name); socket != socketAliases.end()) {
            stableName = (byPath / socket->second).string();
        }
        const bool rfcomm = prefix->prefix == kRfcommPrefix;
        ports.push_back(
            PortInfo{node.string(), name, detail, rfcomm ? rfcommAddress(it->path()) : "", stableName});
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return naturalLess(a.displayName, b.displayName); });
    std::sort(passedOver_.begin(), passedOver_.end(),
              [](const PassedOver& a, const PassedOver& b) { return naturalLess(a.name, b.name); });
    if (bluetooth_.view) {
        appendExtraPorts(ports, bluetoothPortsOf(bluetooth_.view()));
    }
    appendExtraPorts(ports, extraPorts_);
    return ports;
}

std::string LinuxPortDiscovery::accessHint(const PortInfo& port, ChannelError error) const {
    if (const std::string address = addressOfBluetoothPort(port.path); !address.empty()) {
        std::string reason = bluetooth_.lastReason ? bluetooth_.lastReason(address) : std::string();
        if (reason.empty()) {
            return {};
        }
        reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
        return port.displayName + ": " + reason + ".";
    }
    switch (error) {
    case ChannelError::PermissionDenied:
        return permissionHint(port.path);
    case ChannelError::Busy:
        return "Another program holds " + port.path + ": close it and try again.";
    case ChannelError::NotSerialPort:
        return port.path + " is not a serial port (not a terminal device): nothing was written to it.";
    default:
        return {};
    }
}

ChannelError LinuxPortDiscovery::nodeProblem(const PortInfo& port) const {
    if (!addressOfBluetoothPort(port.path).empty()) {
        return ChannelError::None; // no node: only a connection tells
    }
    struct stat info {};
    if (::stat(port.path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? ChannelError::NoSuchPort : ChannelError::None;
    }
    return S_ISCHR(info.st_mode) ? ChannelError::None : ChannelError::NotSerialPort;
}

} // namespace orvexa
