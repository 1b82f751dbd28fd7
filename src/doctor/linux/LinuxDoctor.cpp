#include "doctor/linux/LinuxDoctor.h"

#include "doctor/Doctor.h"
#include "serial/BluetoothAddress.h"
#include "serial/linux/LinuxPortDiscovery.h"
#include "serial/linux/SystemFiles.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace orvexa {

namespace fs = std::filesystem;

namespace {

// A process's name is at most 15 characters; a group file line and a udev rules file are short. Anything
// longer is read only this far.
constexpr std::size_t kProcessNameLimit = 64;
constexpr std::size_t kAccountFileLimit = 1 << 20;
constexpr std::size_t kRulesFileLimit = 256 * 1024;
// What the bus said of a stack it could not reach is shown only this far.
constexpr std::size_t kStackDetailShown = 200;
// A finding lists at most this many names, then says how many more.
constexpr std::size_t kNamesListed = 8;
// The getgroups limit on Linux (NGROUPS_MAX).
constexpr int kMaxGroups = 65536;

constexpr const char* kScannerNameMark = "RDQ";
constexpr const char* kModemManagerIgnore = "ID_MM_DEVICE_IGNORE";

bool allDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kNamesListed; ++i) {
        text += (i == 0 ? "" : ", ") + names[i];
    }
    if (names.size() > kNamesListed) {
        text += " and " + std::to_string(names.size() - kNamesListed) + " more";
    }
    return text;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == separator) {
        parts.emplace_back();
    }
    return parts;
}

bool containsNoCase(const std::string& text, const std::string& part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           }) != text.end();
}

bool isBluetoothPortPath(const std::string& path) {
    return path.rfind(kBluetoothPortPrefix, 0) == 0;
}

// A device as a finding names it: its alias, made printable, and its address.
std::string deviceNamed(const BluetoothDevice& device, const std::string& address) {
    return device.alias.empty() ? address : "\"" + printableText(device.alias) + "\" (" + address + ")";
}

const BluetoothAdapter* adapterAt(const BluetoothView& view, const std::string& path) {
    const auto found =
        std::find_if(view.adapters.begin(), view.adapters.end(),
                     [&](const BluetoothAdapter& adapter) { return adapter.objectPath == path; });
    return found != view.adapters.end() ? &*found : nullptr;
}

std::string adapterName(const BluetoothAdapter& adapter) {
    return printableText(adapter.name.empty() ? adapter.objectPath : adapter.name);
}

// How to switch an adapter on: bluetoothctl's "power on" acts on its default adapter, the only one when
// there is one.
std::string powerOnFix(const BluetoothView& view, const BluetoothAdapter& adapter) {
    if (view.adapters.size() == 1 || adapter.address.empty()) {
        return "bluetoothctl power on";
    }
    return "In bluetoothctl: select " + printableText(adapter.address) + ", then power on";
}

// The accounts of a group or passwd file by number: name:password:number:fourth field (a group's members).
std::map<unsigned, LinuxAccount> accountsIn(const fs::path& file) {
    std::map<unsigned, LinuxAccount> accounts;
    const std::optional<BoundedText> read = readBounded(file, kAccountFileLimit);
    if (!read) {
        return accounts;
    }
    std::istringstream in(read->text);
    constexpr std::size_t kMaxDigits = 9;
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> fields = split(line, ':');
        if (fields.size() >= 4 && allDigits(fields[2]) && fields[2].size() <= kMaxDigits) {
            accounts[static_cast<unsigned>(std::stoul(fields[2]))] = {printableText(fields[0]),
                                                                      split(fields[3], ',')};
        }
    }
    return accounts;
}

std::string nameOf(const std::map<unsigned, LinuxAccount>& accounts, unsigned id) {
    const auto found = accounts.find(id);
    return found != accounts.end() ? found->second.name : std::to_string(id);
}

} // namespace

LinuxLogin currentLogin() {
    LinuxLogin login;
    login.uid = ::getuid();
    if (const struct passwd* entry = ::getpwuid(login.uid)) {
        login.name = entry->pw_name;
    }
    const int count = ::getgroups(0, nullptr);
    if (count > 0 && count <= kMaxGroups) {
        login.groups.resize(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, login.groups.data());
        login.groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    login.groups.push_back(::getgid());
    return login;
}

std::vector<Finding> examineMachine(const std::vector<PortInfo>& extraPorts) {
    return LinuxDoctor("/", currentLogin(), extraPorts).examine();
}

LinuxDoctor::LinuxDoctor(fs::path root, LinuxLogin login, std::vector<PortInfo> extraPorts,
                         AccessReader access, BluetoothReader bluetooth, SocketProbe kernelHasSockets)
    : root_(std::move(root)), login_(std::move(login)), extraPorts_(std::move(extraPorts)),
      access_(std::move(access)), bluetooth_(std::move(bluetooth)),
      kernelHasSockets_(std::move(kernelHasSockets)) {}

std::vector<Finding> LinuxDoctor::examine() {
    findings_.clear();
    openable_.clear();
    readAccounts();
    readProcesses();
    LinuxPortDiscovery discovery((root_ / "sys").string(), (root_ / "dev").string(), extraPorts_);
    // A bt: port the user named is no node: the Bluetooth check looks at it, not the checks of ttys.
    std::vector<PortInfo> ports;
    std::vector<PortInfo> namedBluetooth;
    for (PortInfo& port : discovery.discoverPorts()) {
        (isBluetoothPortPath(port.path) ? namedBluetooth : ports).push_back(std::move(port));
    }
    const BluetoothView view = bluetooth_();
    checkPorts(ports, bluetoothPortsOf(view));
    for (const PortInfo& port : ports) {
        // Only a path the user named can be something other than a device; discovery lists device nodes.
        const bool named = std::any_of(extraPorts_.begin(), extraPorts_.end(),
                                       [&](const PortInfo& extra) { return extra.path == port.path; });
        const ChannelError problem = named ? discovery.nodeProblem(port) : ChannelError::None;
        if (problem == ChannelError::NoSuchPort) {
            add("port-access", FindingLevel::Problem, port.path, port.path + " does not exist.",
                "Check the name, or plug in the scanner.");
        } else if (problem == ChannelError::NotSerialPort) {
            add("port-access", FindingLevel::Problem, port.path,
                port.path + " is not a serial port (not a terminal device).",
                "Name the scanner's port instead.");
        } else {
            checkPortAccess(port);
        }
    }
    // One line for all the ports that open, however many there are; one each for those that do not.
    if (!openable_.empty()) {
        add("port-access", FindingLevel::Fine, openable_.size() == 1 ? openable_.front() : "",
            "You may open " + listed(openable_) + ".");
    }
    checkHolders(ports);
    checkGrabbers();
    checkBluetooth(view, ports, namedBluetooth);
    std::vector<std::string> noHardware;
    std::vector<std::string> noNode;
    for (const LinuxPortDiscovery::PassedOver& passed : discovery.passedOver()) {
        (passed.why == LinuxPortDiscovery::PassedOver::Why::NoHardware ? noHardware : noNode)
            .push_back(passed.name);
    }
    checkPassedOver(noHardware, noNode);
    return findings_;
}

void LinuxDoctor::checkPorts(const std::vector<PortInfo>& ports, const std::vector<PortInfo>& btPorts) {
    std::error_code ec;
    if (!fs::is_directory(root_ / "sys" / "class" / "tty", ec)) {
        add("ports", FindingLevel::Unchecked, "",
            "The kernel's list of serial ports (/sys/class/tty) cannot be read: only the ports named were "
            "examined.");
    } else if (ports.empty() && btPorts.empty()) {
        add("ports", FindingLevel::Problem, "", "No serial port was found.",
            "Plug in the scanner's USB cable, or pair it with this computer over Bluetooth (see the "
            "Bluetooth findings).");
    }
}

void LinuxDoctor::checkPortAccess(const PortInfo& port) {
    const std::optional<NodeAccess> node = access_(port.path);
    if (!node) {
        add("port-access", FindingLevel::Unchecked, port.path,
            "Could not look at who may open " + port.path + ".");
        return;
    }
    if (mayReadWrite(*node, login_.uid, login_.groups)) {
        openable_.push_back(port.path);
        return;
    }
    const std::optional<gid_t> group = groupToJoin(*node);
    if (!group) {
        const AccountNames names{[this](gid_t gid) { return nameOf(groups_, gid); },
                                 [this](uid_t uid) { return nameOf(users_, uid); }};
        add("port-access", FindingLevel::Problem, port.path,
            "You may not open " + port.path + ": " + whoMayOpen(*node, names),
            "A rule in /etc/udev/rules.d such as SUBSYSTEM==\"tty\", KERNEL==\"" + port.displayName +
                "\", GROUP=\"dialout\", MODE=\"0660\", then: sudo udevadm control --reload, and plug the "
                "port in again.");
        return;
    }
    const std::string name = nameOf(groups_, *group);
    const auto entry = groups_.find(*group);
    const bool grantedSince = !login_.name.empty() && entry != groups_.end() &&
                              std::find(entry->second.members.begin(), entry->second.members.end(),
                                        login_.name) != entry->second.members.end();
    if (grantedSince) {
        add("port-access", FindingLevel::Problem, port.path,
            "You may not open " + port.path + " yet: you were added to the group \"" + name +
                "\" after this login began.",
            "Log out and in again (a new login is needed), or start a shell in the group: newgrp " + name);
        return;
    }
    add("port-access", FindingLevel::Problem, port.path,
        "You may not open " + port.path + ": it is open to the group \"" + name +
            "\", and you are not in it.",
        joinGroupCommand(name) + ", then log out and in again (a new login is needed).");
}

std::map<std::string, std::vector<const LinuxDoctor::Process*>>
LinuxDoctor::holdersOf(const std::vector<PortInfo>& ports) const {
    std::map<std::string, std::vector<const Process*>> holders;
    for (const Process& process : processes_) {
        std::error_code ec;
        for (fs::directory_iterator it(root_ / "proc" / process.pid / "fd", ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(it->path(), linkError).string();
            for (const PortInfo& port : ports) {
                std::vector<const Process*>& holding = holders[port.path];
                if (!linkError && (target == port.path || target == "/dev/" + port.displayName) &&
                    std::find(holding.begin(), holding.end(), &process) == holding.end()) {
                    holding.push_back(&process);
                }
            }
        }
    }
    return holders;
}

void LinuxDoctor::checkHolders(const std::vector<PortInfo>& ports) {
    if (ports.empty()) {
        return;
    }
    const std::map<std::string, std::vector<const Process*>> holders = holdersOf(ports);
    bool held = false;
    for (const auto& [path, holding] : holders) {
        if (holding.empty()) {
            continue;
        }
        held = true;
        std::vector<std::string> names;
        std::string pids;
        for (const Process* process : holding) {
            names.push_back(process->name + " (pid " + process->pid + ")");
            if (names.size() <= kNamesListed) {
                pids += " " + process->pid;
            }
        }
        add("port-holder", FindingLevel::Problem, path, path + " is held by " + listed(names) + ".",
            "Close " + (holding.size() == 1 ? holding.front()->name : "them") + ", or end " +
                (holding.size() == 1 ? "it" : "them") + ": kill" + pids);
    }
    if (!held) {
        std::string text = "No process holds a serial port.";
        if (unreadableProcesses_ > 0 && login_.uid != 0) {
            text = "No process of yours holds a serial port; " + std::to_string(unreadableProcesses_) +
                   " processes of other users could not be looked into (a port one of them holds shows as "
                   "busy).";
        }
        add("port-holder", FindingLevel::Fine, "", text);
    }
}

void LinuxDoctor::checkGrabbers() {
    const std::string ignoreRule = "SUBSYSTEM==\"tty\", KERNEL==\"ttyACM*|ttyUSB*|rfcomm*\", ENV{" +
                                   std::string(kModemManagerIgnore) + "}=\"1\"";
    const Grabber modemManager{
        .check = "modem-manager",
        .name = "ModemManager",
        .installed = exists("usr/sbin/ModemManager") || exists("usr/bin/ModemManager"),
        .running = running("ModemManager"),
        .armed = false,
        .keptOff = anyFileHolds({"etc/udev/rules.d", "run/udev/rules.d"}, kModemManagerIgnore),
        .keptOffText =
            "ModemManager is installed; a rule in /etc/udev/rules.d keeps it off the ports it marks.",
        .grabsText =
            "ModemManager is running: it probes every new ttyACM and ttyUSB port for a modem, writing "
            "to the scanner in its first seconds.",
        .idleText = "ModemManager is installed but not running; once started, it probes every new ttyACM and "
                    "ttyUSB port.",
        .fix = "If no modem is used here: sudo systemctl disable --now ModemManager. Otherwise put this line "
               "in /etc/udev/rules.d/99-orvexa.rules: " +
               ignoreRule + ", then: sudo udevadm control --reload"};
    const Grabber brltty{
        .check = "brltty",
        .name = "brltty",
        .installed = exists("usr/bin/brltty") || exists("bin/brltty") || exists("usr/sbin/brltty"),
        .running = running("brltty"),
        .armed = exists("usr/lib/udev/rules.d/85-brltty.rules") || exists("lib/udev/rules.d/85-brltty.rules"),
        .keptOff = false,
        .keptOffText = "", // nothing keeps it off but removing it
        .grabsText = "brltty is installed and claims USB serial adapters it takes for braille displays: the "
                     "scanner's ttyUSB port vanishes moments after it appears.",
        .idleText = "brltty is installed but neither running nor claiming adapters.",
        .fix = "If no braille display is used here: sudo apt remove brltty. Otherwise: sudo systemctl mask "
               "brltty-udev.service, then plug the adapter in again."};
    judge(modemManager);
    judge(brltty);
}

void LinuxDoctor::judge(const Grabber& grabber) {
    if (!grabber.installed && !grabber.running) {
        add(grabber.check, FindingLevel::Fine, grabber.name, grabber.name + " is not installed.");
    } else if (grabber.keptOff) {
        add(grabber.check, FindingLevel::Fine, grabber.name, grabber.keptOffText);
    } else if (grabber.running || grabber.armed) {
        add(grabber.check, FindingLevel::Problem, grabber.name, grabber.grabsText, grabber.fix);
    } else {
        add(grabber.check, FindingLevel::Note, grabber.name, grabber.idleText, grabber.fix);
    }
}

void LinuxDoctor::checkBluetooth(const BluetoothView& view, const std::vector<PortInfo>& ports,
                                 const std::vector<PortInfo>& named) {
    const std::vector<PortInfo> btPorts = bluetoothPortsOf(view);
    checkBoundPorts(ports, btPorts);
    if (view.reach != BluetoothView::Reach::Answered) {
        checkUnreachableStack(view, ports.empty());
        return;
    }
    checkAdapters(view, ports.empty());
    checkBluetoothPorts(view, btPorts);
    // A scanner told of by name says more than that no device is a port.
    if (!checkScannersWithoutPort(view, btPorts) && btPorts.empty() && !view.adapters.empty()) {
        add("bluetooth", FindingLevel::Note, "", "No paired device offers the serial port profile.",
            "To use a scanner over Bluetooth, pair it with this computer: in bluetoothctl, scan on, then "
            "pair its address; or from the desktop's Bluetooth settings.");
    }
    checkNamedBluetoothPorts(named, btPorts);
}

void LinuxDoctor::checkUnreachableStack(const BluetoothView& view, bool noOtherPort) {
    using Reach = BluetoothView::Reach;
    const FindingLevel level = noOtherPort ? FindingLevel::Problem : FindingLevel::Note;
    const std::string detail =
        view.detail.empty() ? "" : " (" + printableText(view.detail.substr(0, kStackDetailShown)) + ")";
    // Without Bluetooth in the kernel, starting the stack or the bus would not help: say so instead.
    if ((view.reach == Reach::NoStack || view.reach == Reach::NoBus) && !kernelHasSockets_()) {
        add("bluetooth", level, "",
            "This kernel has no Bluetooth sockets (in a container, say): no scanner can be reached over "
            "Bluetooth here.",
            "Run Orvexa on the host, or connect the scanner by its USB cable.");
    } else if (view.reach == Reach::NoStack) {
        add("bluetooth", level, "",
            "BlueZ (bluetoothd) is not running" + detail + ": paired scanners are not listed as bt: ports.",
            "sudo systemctl start bluetooth");
    } else if (view.reach == Reach::NoBus) {
        add("bluetooth", level, "",
            "The system D-Bus cannot be reached" + detail +
                ", so BlueZ cannot be asked which scanners are paired.",
            "sudo systemctl start dbus; in a container, pass in the host's (docker run --volume "
            "/run/dbus:/run/dbus).");
    } else if (view.reach == Reach::NotBuilt) {
        add("bluetooth", FindingLevel::Note, "",
            "This build of Orvexa has no Bluetooth support: paired scanners are not listed as bt: ports.",
            "Connect the scanner by its USB cable, or install a build with Bluetooth support.");
    } else {
        add("bluetooth", FindingLevel::Unchecked, "",
            "BlueZ did not answer in time" + detail + ": the paired scanners were not checked.");
    }
    // The kernel still tells whether there is an adapter to reach a scanner with.
    const std::vector<std::string> adapters = kernelAdapters();
    if (adapters.empty()) {
        add("bluetooth", FindingLevel::Note, "", "No Bluetooth adapter was found.",
            "A scanner on its USB cable needs none; for Bluetooth, plug in or switch on an adapter.");
    } else {
        add("bluetooth", FindingLevel::Fine, "",
            "The kernel lists Bluetooth adapter: " + listed(adapters) + ".");
    }
}

void LinuxDoctor::checkAdapters(const BluetoothView& view, bool noOtherPort) {
    const FindingLevel level = noOtherPort ? FindingLevel::Problem : FindingLevel::Note;
    if (view.adapters.empty()) {
        add("bluetooth", level, "", "BlueZ is running but lists no Bluetooth adapter.",
            "A scanner on its USB cable needs none; for Bluetooth, plug in an adapter, or unblock it: rfkill "
            "unblock bluetooth");
        return;
    }
    std::vector<std::string> names;
    bool anyPowered = false;
    for (const BluetoothAdapter& adapter : view.adapters) {
        names.push_back(adapterName(adapter) + (adapter.powered ? " (on)" : " (off)"));
        anyPowered = anyPowered || adapter.powered;
    }
    if (anyPowered) {
        add("bluetooth", FindingLevel::Fine, "",
            std::string(names.size() == 1 ? "Bluetooth adapter: " : "Bluetooth adapters: ") + listed(names) +
                ".");
    } else {
        add("bluetooth", level, "", "No Bluetooth adapter is switched on: " + listed(names) + ".",
            "bluetoothctl power on");
    }
}

void LinuxDoctor::checkBluetoothPorts(const BluetoothView& view, const std::vector<PortInfo>& btPorts) {
    for (const PortInfo& port : btPorts) {
        // A scanner paired with two adapters is one port, reachable while either of them is on.
        const BluetoothDevice* named = nullptr;
        const BluetoothAdapter* off = nullptr;
        bool reachable = false;
        for (const BluetoothDevice& device : view.devices) {
            if (!device.paired || !device.servesSerialPort ||
                bluetoothAddressFromText(device.address) != port.deviceAddress) {
                continue;
            }
            named = named != nullptr ? named : &device;
            const BluetoothAdapter* adapter = adapterAt(view, device.adapterPath);
            if (adapter == nullptr || adapter->powered) {
                reachable = true;
            } else {
                off = off != nullptr ? off : adapter;
            }
        }
        if (named == nullptr) {
            continue; // not a device of this view
        }
        const std::string scanner = "The paired scanner " + deviceNamed(*named, port.deviceAddress);
        if (reachable) {
            add("bluetooth", FindingLevel::Fine, port.path,
                scanner + " is reachable as port " + port.path + ".");
        } else {
            add("bluetooth", FindingLevel::Note, port.path,
                scanner + " is port " + port.path + ", but its adapter " + adapterName(*off) +
                    " is switched off.",
                powerOnFix(view, *off));
        }
    }
}

bool LinuxDoctor::checkScannersWithoutPort(const BluetoothView& view, const std::vector<PortInfo>& btPorts) {
    std::set<std::string> told;
    bool any = false;
    for (const PortInfo& port : btPorts) {
        told.insert(port.deviceAddress);
    }
    for (const BluetoothDevice& device : view.devices) {
        const std::string address = bluetoothAddressFromText(device.address);
        // A headset or a phone is not ours to mention; a device paired with two adapters is told once.
        if (address.empty() || !containsNoCase(device.alias, kScannerNameMark) ||
            !told.insert(address).second) {
            continue;
        }
        if (!device.paired) {
            add("bluetooth", FindingLevel::Note, address,
                "The scanner " + deviceNamed(device, address) + " is known to BlueZ but not paired.",
                "bluetoothctl pair " + address);
            any = true;
        } else if (!device.servesSerialPort) {
            add("bluetooth", FindingLevel::Note, address,
                "The paired scanner " + deviceNamed(device, address) +
                    " offers no serial port profile, so it is no port (a scanner paired as a keyboard does "
                    "not offer it).",
                "Set the scanner to its serial port mode, then pair it again: bluetoothctl remove " +
                    address + ", then pair it.");
            any = true;
        }
    }
    return any;
}

void LinuxDoctor::checkNamedBluetoothPorts(const std::vector<PortInfo>& named,
                                           const std::vector<PortInfo>& btPorts) {
    for (const PortInfo& port : named) {
        const std::string address = addressOfBluetoothPort(port.path);
        if (address.empty()) {
            add("bluetooth", FindingLevel::Problem, port.path,
                printableText(port.path) + " names no Bluetooth address.",
                "Name it as bt: and six hex pairs joined by colons: bt:00:11:22:AA:BB:CC");
        } else if (std::none_of(btPorts.begin(), btPorts.end(),
                                [&](const PortInfo& bt) { return bt.deviceAddress == address; })) {
            add("bluetooth", FindingLevel::Problem, port.path,
                printableText(port.path) + " is no paired scanner that offers the serial port profile.",
                "Pair the scanner with this computer: bluetoothctl pair " + address);
        }
    }
}

std::vector<std::string> LinuxDoctor::kernelAdapters() const {
    std::vector<std::string> adapters;
    std::error_code ec;
    for (fs::directory_iterator it(root_ / "sys" / "class" / "bluetooth", ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.find(':') == std::string::npos) { // hci0:11 is a connection, not an adapter
            adapters.push_back(printableText(name));
        }
    }
    return adapters;
}

void LinuxDoctor::checkBoundPorts(const std::vector<PortInfo>& ports, const std::vector<PortInfo>& btPorts) {
    for (const PortInfo& port : ports) {
        if (port.displayName.rfind("rfcomm", 0) != 0) {
            continue;
        }
        if (port.deviceAddress.empty()) {
            add("bluetooth", FindingLevel::Note, port.path,
                port.path + " is bound, but its address cannot be read.");
            continue;
        }
        // The fleet groups ports by address: the two ports of one scanner never write it twice.
        const bool alsoBt = std::any_of(btPorts.begin(), btPorts.end(), [&](const PortInfo& bt) {
            return bt.deviceAddress == port.deviceAddress;
        });
        add("bluetooth", FindingLevel::Fine, port.path,
            port.path + " is bound to " + port.deviceAddress +
                (alsoBt ? ", the scanner that is port " + bluetoothPortName(port.deviceAddress) +
                              " too: one scanner, written once."
                        : "."));
    }
}

void LinuxDoctor::checkPassedOver(const std::vector<std::string>& noHardware,
                                  const std::vector<std::string>& noNode) {
    if (!noHardware.empty()) {
        add("passed-over", FindingLevel::Note, "",
            "Passed over, no UART behind them (the driver registers these slots whatever is fitted): " +
                listed(noHardware) + ".");
    }
    if (!noNode.empty()) {
        add("passed-over", FindingLevel::Note, "",
            "Passed over, announced by the kernel but with no node in /dev: " + listed(noNode) + ".",
            "In a container, pass the device in (docker run --device, say).");
    }
}

void LinuxDoctor::readAccounts() {
    groups_ = accountsIn(root_ / "etc" / "group");
    users_ = accountsIn(root_ / "etc" / "passwd");
}

void LinuxDoctor::readProcesses() {
    processes_.clear();
    unreadableProcesses_ = 0;
    std::error_code ec;
    for (fs::directory_iterator it(root_ / "proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (!allDigits(pid)) {
            continue;
        }
        const std::optional<std::string> name = readLine(it->path() / "comm", kProcessNameLimit);
        if (!name) {
            continue; // ended while we looked
        }
        std::error_code fdError;
        fs::directory_iterator fds(it->path() / "fd", fdError);
        if (fdError == std::errc::permission_denied) {
            ++unreadableProcesses_;
        }
        processes_.push_back({pid, printableText(*name)});
    }
}

bool LinuxDoctor::running(const std::string& name) const {
    return std::any_of(processes_.begin(), processes_.end(),
                       [&](const Process& p) { return p.name == name; });
}

bool LinuxDoctor::anyFileHolds(const std::vector<fs::path>& folders, const std::string& text) const {
    for (const fs::path& folder : folders) {
        std::error_code ec;
        for (fs::directory_iterator it(root_ / folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::optional<BoundedText> file = readBounded(it->path(), kRulesFileLimit);
            if (file && file->text.find(text) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

bool LinuxDoctor::exists(const fs::path& relative) const {
    std::error_code ec;
    return fs::exists(root_ / relative, ec);
}

void LinuxDoctor::add(const char* check, FindingLevel level, std::string subject, std::string text,
                      std::string fix) {
    findings_.push_back({check, level, std::move(subject), std::move(text), std::move(fix)});
}

} // namespace orvexa
