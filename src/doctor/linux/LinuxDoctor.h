// The doctor on Linux: what on this machine stands between the user and a scanner, and what to do.
//   - port-access:  whether this login may open each serial port (the node's group, the login's groups; a
//                   membership granted since the login started takes a new login);
//   - modem-manager, brltty: services that grab new serial ports, and whether a rule keeps them off;
//   - port-holder:  which process holds a port (from /proc/<pid>/fd);
//   - bluetooth:    adapters, bound rfcomm ports and their addresses, paired scanners with no port bound;
//   - passed-over:  the ttys discovery leaves out, and why;
//   - ports:        that no serial port was found at all.
// Everything is read below one root folder (/ on the machine, a fake tree in tests): /sys, /proc, /dev,
// /etc, /usr and /var/lib/bluetooth. Every read is bounded, and a file that vanishes or cannot be read is
// reported as not checked; nothing here runs another program.
#pragma once

#include "doctor/Finding.h"
#include "serial/PortDiscovery.h"
#include "serial/linux/PortAccess.h"

#include <filesystem>
#include <functional>
#include <map>
#include <set>
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

    LinuxDoctor(std::filesystem::path root, LinuxLogin login, std::vector<PortInfo> extraPorts = {},
                AccessReader access = nodeAccessOf);

    std::vector<Finding> examine();

private:
    struct Process {
        std::string pid;
        std::string name;
    };

    void checkPorts(const std::vector<PortInfo>& ports);
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
    void checkBluetooth(const std::vector<PortInfo>& ports);
    std::vector<std::string> bluetoothAdapters() const;
    // A finding per bound rfcomm port; the addresses they are bound to.
    std::set<std::string> checkBoundPorts(const std::vector<PortInfo>& ports);
    void checkPairedScanners(const std::vector<PortInfo>& ports, const std::set<std::string>& bound);
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
    std::map<unsigned, LinuxAccount> groups_;
    std::map<unsigned, LinuxAccount> users_;
    std::vector<Process> processes_;
    int unreadableProcesses_ = 0;
    std::vector<std::string> openable_;
    std::vector<Finding> findings_;
};

} // namespace orvexa
