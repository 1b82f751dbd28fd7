// The doctor on a fake Linux machine: each finding present and absent, and a machine that is broken or
// hostile in the ways a real one can be.
#include "doctor/linux/LinuxDoctor.h"
#include "serial/ExtraPorts.h"

#include "FakeMachine.h"
#include "TextChecks.h"

#include <gtest/gtest.h>

#include <map>

using namespace orvexa;

namespace {

constexpr uid_t kUser = 1000;
constexpr gid_t kDialout = 20;
constexpr gid_t kUsers = 100;
const std::string kGroupFile = "root:x:0:\ndialout:x:20:\nusers:x:100:\n";

// The findings of one check, as "level: text | fix" lines, so that a failure shows all of them.
std::string findingsOf(const std::vector<Finding>& findings, const std::string& check) {
    std::string text;
    for (const Finding& finding : findings) {
        if (finding.check == check) {
            text += std::string(findingLevelName(finding.level)) + ": " + finding.text + " | " + finding.fix +
                    "\n";
        }
    }
    return text;
}

const LinuxLogin kAnn = {kUser, "ann", {kUsers}};

std::vector<Finding> examine(const FakeMachine& machine, LinuxLogin login = kAnn,
                             std::map<std::string, NodeAccess> nodes = {}, std::vector<PortInfo> extra = {}) {
    return LinuxDoctor(machine.root(), std::move(login), std::move(extra),
                       [nodes](const std::string& path) {
                           const auto found = nodes.find(path);
                           return found != nodes.end() ? std::optional<NodeAccess>(found->second)
                                                       : std::nullopt;
                       })
        .examine();
}

} // namespace

TEST(LinuxDoctor, PortAccessSaysWhichGroupToJoinAndWhenANewLoginIsNeeded) {
    struct Case {
        const char* what;
        NodeAccess node;
        std::vector<std::string> expected;
        std::string groupFile = kGroupFile;
        LinuxLogin login = kAnn;
    };
    const NodeAccess dialoutNode = {0, kDialout, 0660};
    const std::vector<Case> cases = {
        {"in the group", dialoutNode, {"fine: You may open"}, kGroupFile, {kUser, "ann", {kUsers, kDialout}}},
        {"root", {0, 0, 0600}, {"fine: You may open"}, kGroupFile, {0, "root", {0}}},
        {"owner", {kUser, kUsers, 0600}, {"fine: You may open"}},
        {"not in the group",
         dialoutNode,
         {"problem: You may not open", "group \"dialout\", and you are not in it",
          "sudo usermod -aG dialout $USER", "new login"}},
        {"added since this login",
         dialoutNode,
         {"problem:", "after this login began", "newgrp dialout"},
         "dialout:x:20:bob,ann\n"},
        {"owner only", {0, kDialout, 0600}, {"only its owner \"root\"", "udev"}},
        {"group of root", {0, 0, 0660}, {"problem:", "group \"root\"", "udev"}},
        {"no group file", dialoutNode, {"group \"20\"", "usermod -aG 20"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeMachine machine;
        machine.addTty("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0");
        machine.addFile("etc/group", c.groupFile);
        machine.addFile("etc/passwd", "root:x:0:0::/root:/bin/sh\n");
        const std::string found =
            findingsOf(examine(machine, c.login, {{machine.dev("ttyUSB0"), c.node}}), "port-access");
        for (const std::string& part : c.expected) {
            EXPECT_TRUE(contains(found, part));
        }
    }
}

TEST(LinuxDoctor, ServicesThatGrabPortsAreProblemsOnlyWhileTheyCan) {
    struct Case {
        const char* what;
        std::vector<std::string> files;
        std::vector<std::string> processes;
        std::string modemManager;
        std::string brltty;
    };
    const std::string rule = "etc/udev/rules.d/99-orvexa.rules";
    const std::vector<Case> cases = {
        {"neither", {}, {}, "fine: ModemManager is not installed", "fine: brltty is not installed"},
        {"both installed, idle", {"usr/sbin/ModemManager", "usr/bin/brltty"}, {}, "note:", "note:"},
        {"both running",
         {"usr/sbin/ModemManager", "usr/bin/brltty"},
         {"ModemManager", "brltty"},
         "problem: ModemManager is running",
         "problem: brltty"},
        {"ModemManager kept off, brltty's rule claims adapters",
         {"usr/sbin/ModemManager", rule, "usr/bin/brltty", "usr/lib/udev/rules.d/85-brltty.rules"},
         {"ModemManager"},
         "fine:",
         "problem:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeMachine machine;
        for (const std::string& file : c.files) {
            machine.addFile(file,
                            file == rule ? "KERNEL==\"ttyUSB*\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n" : "");
        }
        int pid = 300;
        for (const std::string& process : c.processes) {
            machine.addProcess(pid++, process);
        }
        const std::vector<Finding> findings = examine(machine);
        EXPECT_TRUE(contains(findingsOf(findings, "modem-manager"), c.modemManager));
        EXPECT_TRUE(contains(findingsOf(findings, "brltty"), c.brltty));
    }
}

TEST(LinuxDoctor, NamesTheProcessThatHoldsAPortOnce) {
    FakeMachine machine;
    machine.addTty("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0");
    machine.addTty("ttyUSB1", "pci0000:00/usb1/1-2/1-2:1.0");
    machine.addProcess(4321, "minicom", {"/dev/ttyUSB1", "/dev/ttyUSB1", "/dev/null"});
    machine.addProcess(4322, "bash", {"/dev/pts/0"});
    const std::string held = findingsOf(examine(machine), "port-holder");
    EXPECT_EQ(held, "problem: " + machine.dev("ttyUSB1") +
                        " is held by minicom (pid 4321). | Close minicom, or "
                        "end it: kill 4321\n");

    FakeMachine idle;
    idle.addTty("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0");
    idle.addProcess(4322, "bash", {"/dev/pts/0"});
    EXPECT_TRUE(contains(findingsOf(examine(idle), "port-holder"), "fine: No process holds a serial port"));
}

TEST(LinuxDoctor, BluetoothListsBoundPortsAndPairedScannersWithoutOne) {
    FakeMachine machine;
    machine.addFile("sys/class/bluetooth/hci0/type", "");
    machine.addFile("sys/class/bluetooth/hci0:11/type", ""); // a connection, not an adapter
    std::ofstream(machine.addTty("rfcomm1", "virtual") / "address") << "00:1a:7d:da:71:13\n";
    const std::string paired = "var/lib/bluetooth/00:1A:7D:00:00:01/";
    machine.addFile(paired + "00:1A:7D:DA:71:13/info", "[General]\nName=RDQ500 bound\n");
    machine.addFile(paired + "00:16:A4:12:34:56/info", "[General]\nName=RDQ200 \x1b[2Jspare\n");
    machine.addFile(paired + "00:16:A4:00:00:09/info", "[General]\nName=Headset\n");
    machine.addFile(paired + "settings", "[General]\n");
    const std::string found = findingsOf(examine(machine), "bluetooth");
    EXPECT_TRUE(contains(found, "fine: Bluetooth adapter: hci0."));
    EXPECT_TRUE(contains(found, "is bound to 00:1A:7D:DA:71:13"));
    EXPECT_TRUE(contains(found,
                         "note: The paired scanner \"RDQ200 ?[2Jspare\" (00:16:A4:12:34:56) has no serial "
                         "port bound. | sudo rfcomm bind 0 00:16:A4:12:34:56 1"));
    EXPECT_TRUE(lacks(found, "Headset"));
    EXPECT_TRUE(lacks(found, "RDQ500"));

    FakeMachine wired;
    EXPECT_TRUE(contains(findingsOf(examine(wired), "bluetooth"), "note: No Bluetooth adapter was found."));
}

TEST(LinuxDoctor, FinishesOnABrokenMachineAndSaysWhatItPassedOver) {
    FakeMachine machine;
    for (int slot = 0; slot < 32; ++slot) {
        machine.addTty("ttyS" + std::to_string(slot), "platform/serial8250", true, 0);
    }
    machine.addTty("ttyACM0", "pci0000:00/usb1/1-3/1-3:1.0", true, -1, false); // no node in /dev
    machine.addFile("proc/77/comm", std::string(100000, 'x'));                 // not a process name
    machine.addFile("proc/78/fd", "");                                         // a file where a folder was
    machine.addFile("proc/self/comm", "not a pid\n");
    machine.addFile("etc/group", ":::\ndialout:x:99999999999999999999:\n\n");
    const std::vector<Finding> findings = examine(machine, kAnn, {}, parseExtraPorts("/nonexistent/ttyUSB9"));
    const std::string passed = findingsOf(findings, "passed-over");
    EXPECT_TRUE(contains(passed, "no UART behind them"));
    EXPECT_TRUE(contains(passed, "ttyS0, ttyS1, ttyS2, ttyS3, ttyS4, ttyS5, ttyS6, ttyS7 and 24 more."));
    EXPECT_TRUE(contains(passed, "no node in /dev: ttyACM0."));
    EXPECT_TRUE(
        contains(findingsOf(findings, "port-access"), "problem: /nonexistent/ttyUSB9 does not exist."));

    FakeMachine empty;
    EXPECT_TRUE(contains(findingsOf(examine(empty), "ports"), "problem: No serial port was found."));
    std::filesystem::remove_all(empty.root() / "sys");
    EXPECT_TRUE(contains(findingsOf(examine(empty), "ports"), "unchecked: The kernel's list"));
}
