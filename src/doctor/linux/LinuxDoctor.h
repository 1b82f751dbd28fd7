// The doctor on Linux: what on this machine stands between the user and a scanner, and what to do.
//   - port-access:  whether this login may open each serial port (the node's group, the login's groups; a
//                   membership granted since the login started takes a new login);
//   - modem-manager, brltty: services that grab new serial ports, and whether a rule keeps them off;
//   - port-holder:  which process holds a port (from /proc/<pid>/fd);
//   - bluetooth:    the paired scanners reachable as bt: ports, as BlueZ lists them, and the adapters; bound
//                   rfcomm ports and their addresses; or why BlueZ could not be asked (not running, no
//                   system bus, no Bluetooth in this kernel or in this build);
//   - passed-over:  the ttys discovery leaves out, and why;
//   - ports:        that no serial port was found at all.
// Files are read below one root folder (/ on the machine, a fake tree in tests): /sys, /proc, /dev, /etc
// and /usr. BlueZ's view comes from a reader, the system bus on the machine and a made-up view in tests.
// Every read is bounded, and a file that vanishes or cannot be read is reported as not checked; nothing
// here runs another program.
#pragma once

#include "doctor/Finding.h"
#include "serial/BluetoothPorts.h"
#include "serial/PortDiscovery.h"
#include "serial/linux/Bluez.h"
#include "serial/linux/PortAccess.h"

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace orvexa {

// The login the doctor speaks for: its uid and the groups its processes carry now.
struct LinuxLogin {
    uid_t uid = 0;
    std::string name; // to find it in the group file, where a membership granted since is listed
    std::vector<gid_t> groups;
};
LinuxLogin currentLogin();

// A line of the group or passwd file: its name, and (for a group) its members.
struct LinuxAccount {
    std::string name;
    std::vector<std::string> members;
};

class LinuxDoctor {
public:
    // How a node's owner, group and mode are read: stat on the machine; a table in tests, which cannot
    // give their files to other owners.
    using AccessReader = std::function<std::optional<NodeAccess>(const std::string& path)>;
    // What BlueZ holds, and whether this kernel has Bluetooth sockets: asked of the machine, or made up.
    using BluetoothReader = std::function<BluetoothView()>;
    using SocketProbe = std::function<bool()>;

    LinuxDoctor(std::filesystem::path root, LinuxLogin login, std::vector<PortInfo> extraPorts = {},
                AccessReader access = nodeAccessOf, BluetoothReader bluetooth = readBluetoothView,
                SocketProbe kernelHasSockets = kernelHasBluetoothSockets);

    std::vector<Finding> examine();

private:
    struct Process {
        std::string pid;
        std::string name;
    };

    void checkPorts(const std::vector<PortInfo>& ports, const std::vector<PortInfo>& btPorts);
    void checkPortAccess(const PortInfo& port);
    // A service that grabs new serial ports, and whether it can now.
    struct Grabber {
        const char* check;
        std::string name;
        bool installed = false;
        bool running = false;
        bool armed = false;   // it grabs new ports even while not running (a udev rule starts it)
        bool keptOff = false; // a rule keeps it off the ports
        std::string keptOffText;
        std::string grabsText;
        std::string idleText;
        std::string fix;
    };
    void checkGrabbers();
    void judge(const Grabber& grabber);
    // The processes that hold each port, by its path; an entry may be empty.
    std::map<std::string, std::vector<const Process*>> holdersOf(const std::vector<PortInfo>& ports) const;
    void checkHolders(const std::vector<PortInfo>& ports);
    // ports are the ttys, named the bt: ports among the ports the user named.
    void checkBluetooth(const BluetoothView& view, const std::vector<PortInfo>& ports,
                        const std::vector<PortInfo>& named);
    // Why BlueZ could not be asked, and what the kernel lists instead.
    void checkUnreachableStack(const BluetoothView& view, bool noOtherPort);
    void checkAdapters(const BluetoothView& view, bool noOtherPort);
    void checkBluetoothPorts(const BluetoothView& view, const std::vector<PortInfo>& btPorts);
    // Scanners BlueZ knows that are no port: paired without the serial port profile, or not paired. True
    // when it told of any.
    bool checkScannersWithoutPort(const BluetoothView& view, const std::vector<PortInfo>& btPorts);
    void checkNamedBluetoothPorts(const std::vector<PortInfo>& named, const std::vector<PortInfo>& btPorts);
    std::vector<std::string> kernelAdapters() const;
    // A finding per bound rfcomm port; btPorts tells which of them reach a scanner that is a bt: port too.
    void checkBoundPorts(const std::vector<PortInfo>& ports, const std::vector<PortInfo>& btPorts);
    void checkPassedOver(const std::vector<std::string>& noHardware, const std::vector<std::string>& noNode);

    void readAccounts();
    void readProcesses();
    bool running(const std::string& name) const;
    bool anyFileHolds(const std::vector<std::filesystem::path>& folders, const std::string& text) const;
    bool exists(const std::filesystem::path& relative) const;
    void add(const char* check, FindingLevel level, std::string subject, std::string text,
             std::string fix = {});

    std::filesystem::path root_;
    LinuxLogin login_;
    std::vector<PortInfo> extraPorts_;
    AccessReader access_;
    BluetoothReader bluetooth_;
    SocketProbe kernelHasSockets_;
    std::map<unsigned, LinuxAccount> groups_;
    std::map<unsigned, LinuxAccount> users_;
    std::vector<Process> processes_;
    int unreadableProcesses_ = 0;
    std::vector<std::string> openable_;
    std::vector<Finding> findings_;
};

} // namespace orvexa
