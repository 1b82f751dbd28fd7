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

// A machine whose BlueZ holds view (by default, a build without Bluetooth).
std::vector<Finding> examine(const FakeMachine& machine, LinuxLogin login = kAnn,
                             std::map<std::string, NodeAccess> nodes = {}, std::vector<PortInfo> extra = {},
                             BluetoothView view = {}, bool kernelHasSockets = true) {
    return LinuxDoctor(
               machine.root(), std::move(login), std::move(extra),
               [nodes](const std::string& path) {
                   const auto found = nodes.find(path);
                   return found != nodes.end() ? std::optional<NodeAccess>(found->second) : std::nullopt;
               },
               [view] { return view; }, [kernelHasSockets] { return kernelHasSockets; })
        .examine();
}

std::string bluetoothOf(const FakeMachine& machine, BluetoothView view, bool kernelHasSockets = true) {
    return findingsOf(examine(machine, kAnn, {}, {}, std::move(view), kernelHasSockets), "bluetooth");
}

const std::string kScanner = "00:1A:7D:DA:71:13";

// Adapter hciN, and a device paired with it.
BluetoothAdapter hci(int n, bool powered) {
    return {"/org/bluez/hci" + std::to_string(n), "hci" + std::to_string(n),
            "00:1A:7D:00:00:0" + std::to_string(n), powered};
}
BluetoothDevice pairedWith(int n, std::string alias = "RDQ500", std::string address = kScanner,
                           bool paired = true, bool servesSerialPort = true) {
    return {"",
            "/org/bluez/hci" + std::to_string(n),
            std::move(address),
            std::move(alias),
            paired,
            servesSerialPort};
}
BluetoothView answered(std::vector<BluetoothAdapter> adapters, std::vector<BluetoothDevice> devices) {
    return {BluetoothView::Reach::Answered, "", std::move(adapters), std::move(devices)};
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

TEST(LinuxDoctor, BluetoothSaysWhyBlueZCouldNotBeAsked) {
    using Reach = BluetoothView::Reach;
    struct Case {
        Reach reach;
        bool kernelHasSockets;
        bool wired; // a tty, and an adapter the kernel lists
        std::string expected;
    };
    const std::vector<Case> cases = {
        {Reach::NoStack, true, false,
         "problem: BlueZ (bluetoothd) is not running (gone): paired scanners are not "
         "listed as bt: ports. | sudo systemctl start bluetooth"},
        {Reach::NoStack, true, true, "note: BlueZ (bluetoothd) is not running"},
        {Reach::NoStack, false, false, "problem: This kernel has no Bluetooth sockets"},
        {Reach::NoBus, true, true, "note: The system D-Bus cannot be reached (gone)"},
        {Reach::NoBus, false, true, "note: This kernel has no Bluetooth sockets"},
        {Reach::NotBuilt, false, false, "note: This build of Orvexa has no Bluetooth support"},
        {Reach::NoAnswer, true, false, "unchecked: BlueZ did not answer in time (gone)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        FakeMachine machine;
        if (c.wired) {
            machine.addTty("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0");
            machine.addFile("sys/class/bluetooth/hci0/type", "");
            machine.addFile("sys/class/bluetooth/hci0:11/type", ""); // a connection, not an adapter
        }
        const std::string found = bluetoothOf(machine, {c.reach, "gone", {}, {}}, c.kernelHasSockets);
        EXPECT_TRUE(contains(found, c.expected));
        EXPECT_TRUE(contains(found, c.wired ? "fine: The kernel lists Bluetooth adapter: hci0."
                                            : "note: No Bluetooth adapter was found."));
    }
}

TEST(LinuxDoctor, BluetoothSaysWhichPairedScannersAreReachableAsPorts) {
    struct Case {
        BluetoothView view;
        std::string expected;
    };
    const std::string scanner = "The paired scanner \"RDQ500\" (" + kScanner + ")";
    const std::string reachable = scanner + " is reachable as port bt:" + kScanner + ". | \n";
    const std::vector<Case> cases = {
        {answered({hci(0, true)}, {pairedWith(0)}),
         "fine: Bluetooth adapter: hci0 (on). | \nfine: " + reachable},
        {answered({hci(0, false)}, {pairedWith(0)}),
         "problem: No Bluetooth adapter is switched on: hci0 (off). | bluetoothctl power on\nnote: " +
             scanner + " is port bt:" + kScanner +
             ", but its adapter hci0 is switched off. | bluetoothctl power on\n"},
        // Paired with both adapters: one port, reachable while either is on.
        {answered({hci(0, false), hci(1, true)}, {pairedWith(0), pairedWith(1)}),
         "fine: Bluetooth adapters: hci0 (off), hci1 (on). | \nfine: " + reachable},
        {answered({hci(0, true), hci(1, false)}, {pairedWith(1)}),
         "adapter hci1 is switched off. | In bluetoothctl: select 00:1A:7D:00:00:01, then power on"},
        {answered({hci(0, true)}, {pairedWith(0, "RDQ\x1b[2J\xc3\xa9")}), "\"RDQ?[2J??\""},
        // A headset is not ours to mention.
        {answered({hci(0, true)}, {pairedWith(0, "Headset", "00:16:A4:00:00:09", true, false),
                                   pairedWith(0, "RDQ200", kScanner, true, false)}),
         "fine: Bluetooth adapter: hci0 (on). | \nnote: The paired scanner \"RDQ200\" (" + kScanner +
             ") offers no serial port profile, so it is no port (a scanner paired as a keyboard does not "
             "offer "
             "it). | Set the scanner to its serial port mode, then pair it again: bluetoothctl remove " +
             kScanner + ", then pair it.\n"},
        {answered({hci(0, true)}, {}), "note: No paired device offers the serial port profile."},
        {answered({hci(0, true)}, {pairedWith(0, "RDQ300", kScanner, false)}),
         "note: The scanner \"RDQ300\" (" + kScanner +
             ") is known to BlueZ but not paired. | bluetoothctl pair " + kScanner},
        {answered({}, {}), "problem: BlueZ is running but lists no Bluetooth adapter."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        FakeMachine machine;
        EXPECT_TRUE(contains(bluetoothOf(machine, c.view), c.expected));
    }
}

TEST(LinuxDoctor, BluetoothTellsABoundPortAndTheBtPortOfOneScannerAsOne) {
    FakeMachine machine;
    std::ofstream(machine.addTty("rfcomm1", "virtual") / "address") << "00:1a:7d:da:71:13\n";
    std::ofstream(machine.addTty("rfcomm2", "virtual") / "address") << "00:16:a4:12:34:56\n";
    const std::string found = bluetoothOf(machine, answered({hci(0, true)}, {pairedWith(0)}));
    EXPECT_TRUE(contains(found, "is bound to " + kScanner + ", the scanner that is port bt:" + kScanner +
                                    " too: one scanner, written once."));
    EXPECT_TRUE(contains(found, "is bound to 00:16:A4:12:34:56."));
}

TEST(LinuxDoctor, BluetoothPortsTheUserNamedAreLookedUpInBlueZ) {
    FakeMachine machine;
    const std::vector<Finding> findings =
        examine(machine, kAnn, {},
                {namedPort("bt:" + kScanner), namedPort("bt:zz"), namedPort("bt:00:16:A4:12:34:56")},
                answered({hci(0, true)}, {pairedWith(0)}));
    const std::string found = findingsOf(findings, "bluetooth");
    EXPECT_TRUE(contains(found, "problem: bt:zz names no Bluetooth address."));
    EXPECT_TRUE(contains(
        found, "problem: bt:00:16:A4:12:34:56 is no paired scanner that offers the serial port "
               "profile. | Pair the scanner with this computer: bluetoothctl pair 00:16:A4:12:34:56"));
    EXPECT_EQ(findingsOf(findings, "port-access") + findingsOf(findings, "ports"),
              ""); // a bt: port is no node
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
