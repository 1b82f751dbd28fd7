// The Windows doctor on a scripted machine: the "Ports" class of the scripted setup API, and an open
// check that answers from a table of ports and says which it was asked about.
#include "doctor/windows/WindowsDoctor.h"
#include "serial/ExtraPorts.h"

#include "ScriptedSetupApi.h"
#include "TextChecks.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace orvexa;

namespace {

const std::string kBluetooth = "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1A2B3C4D&0&";
const std::string kIncoming = kBluetooth + "000000000000_00000000";
const std::string kOutgoing = kBluetooth + "001122334455_C00000000";
const std::string kUsb = "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000";

// A device per word: "COM5" behind a USB adapter, "COM5/in" and "COM5/out" Bluetooth ports, "COM5/nokey"
// one whose hardware key does not open, "?" one without a port name; "!busy", "!gone" or "!other" after
// it: what an open of the port meets.
struct Machine {
    explicit Machine(const std::string& words = {}) {
        std::istringstream in(words);
        for (std::string word; in >> word;) {
            const std::string open =
                word.find('!') == std::string::npos ? "" : word.substr(word.find('!') + 1);
            word = word.substr(0, word.find('!'));
            const std::string name = word.substr(0, word.find('/'));
            const std::string kind = word.size() > name.size() ? word.substr(name.size() + 1) : "";
            ScriptedDevice device{.portName = name,
                                  .instanceId = kind == "in"    ? kIncoming
                                                : kind == "out" ? kOutgoing
                                                                : kUsb};
            device.nodeKey = kind == "nokey" ? NodeKey::Fails : NodeKey::Opens;
            if (name == "?") {
                device = {.portName = std::nullopt, .friendlyName = "Mystery port"};
            }
            api.devices.push_back(device);
            const std::map<std::string, ChannelError> errors = {{"busy", ChannelError::Busy},
                                                                {"gone", ChannelError::NoSuchPort},
                                                                {"other", ChannelError::Other}};
            if (errors.count(open) != 0) {
                openErrors[name + ":"] = errors.at(open);
            }
        }
    }

    ScriptedSetupApi api;
    std::map<std::string, ChannelError> openErrors; // by path; any other port opens
    std::string opened;                             // the paths the doctor tried, in order

    std::vector<Finding> examine(const std::vector<PortInfo>& extraPorts = {}) {
        WindowsDoctor doctor(api, [this](const std::string& path) {
            opened += (opened.empty() ? "" : " ") + path;
            const auto found = openErrors.find(path);
            return found == openErrors.end() ? ChannelError::None : found->second;
        });
        return doctor.examine(extraPorts);
    }
};

// "check level subject" of each finding, joined by "; ": a row states the whole list, so that a finding
// that should not be there fails it as surely as one that is missing.
std::string summary(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings) {
        text += (text.empty() ? "" : "; ") + finding.check + " " + findingLevelName(finding.level) + " " +
                finding.subject;
    }
    return text;
}

} // namespace

TEST(WindowsDoctor, EachMachineGetsItsFindingsAndNoOthers) {
    const std::string rows[][2] = {
        {"COM3", "com-port fine COM3"},
        {"COM12 LPT1 COM4", "com-port fine COM4; com-port fine COM12"},
        {"COM5/in COM6/out",
         "com-port fine COM5; bluetooth-port note COM5; com-port fine COM6; bluetooth-port fine COM6"},
        {"COM4/in", "com-port fine COM4; bluetooth-port problem COM4"},
        {"COM3 COM4/in", "com-port fine COM3; com-port fine COM4; bluetooth-port note COM4"},
        {"COM3 COM7!busy", "com-port fine COM3; com-port fine COM7; port-busy problem COM7"},
        {"COM6!other", "com-port fine COM6; port-busy unchecked COM6"},
        {"COM8!gone", "com-port fine COM8; port-missing problem COM8"},
        // The port walk passes over COM256 and goes on, but stops at COM1000, whose name does not fit it.
        {"COM256 COM3 COM1000 COM4",
         "com-port fine COM3; com-port fine COM4; port-unlisted problem COM4; "
         "com-port fine COM256; port-number problem COM256; com-port fine COM1000; "
         "port-number problem COM1000"},
        {"COMx COM4",
         "com-port fine COMx; port-number problem COMx; com-port fine COM4; port-unlisted problem COM4"},
        {"? COM4", "com-port fine COM4; port-unlisted problem COM4; com-port unchecked Mystery port"},
        {"COM4 COM9/nokey", "com-port fine COM4; com-port unchecked " + kUsb},
    };
    for (const auto& [devices, findings] : rows) {
        SCOPED_TRACE(devices);
        Machine machine(devices);
        EXPECT_EQ(summary(machine.examine()), findings);
        EXPECT_EQ(machine.api.keysOpened, machine.api.keysClosed);
        EXPECT_EQ(machine.api.librariesLoaded, machine.api.librariesFreed);
        EXPECT_EQ(machine.api.setsDestroyed, 2) << "the doctor's walk and the port walk's";
    }
    Machine numbers("COM256 COM3 COM12 COM1000 COM12");
    numbers.examine();
    EXPECT_EQ(numbers.opened, "COM3: \\\\.\\COM12") << "each port that can be opened, once";
}

TEST(WindowsDoctor, ExtraPortsAreExaminedOnceAndEvenWithoutThePortsClass) {
    Machine machine("COM3");
    machine.openErrors = {{"COM11:", ChannelError::NoSuchPort}, {"C:\\n.txt", ChannelError::NotSerialPort}};
    EXPECT_EQ(
        summary(machine.examine(
            {namedPort("COM3:"), namedPort("\\\\.\\COM10"), namedPort("COM11:"), namedPort("C:\\n.txt")})),
        "com-port fine COM3; extra-port fine COM10; port-missing problem COM11; port-missing problem n.txt");
    EXPECT_EQ(machine.opened, "COM3: \\\\.\\COM10 COM11: C:\\n.txt");

    Machine noClass;
    noClass.api.classCount = 0;
    EXPECT_EQ(summary(noClass.examine({namedPort("COM7:")})), "ports-class unchecked ; extra-port fine COM7");
    Machine noConfigManager("COM3");
    noConfigManager.api.procedureFound = false;
    EXPECT_EQ(summary(noConfigManager.examine()), "ports-class unchecked ");
    EXPECT_EQ(noConfigManager.api.librariesLoaded, noConfigManager.api.librariesFreed);
}

TEST(WindowsDoctor, TheFindingsSayWhatToDo) {
    Machine machine("COM5/in COM6/out COM9/out COM300");
    machine.api.devices[0].friendlyName = "Standard Serial over Bluetooth link (COM5)";
    const std::vector<Finding> findings = machine.examine();
    ASSERT_EQ(findings.size(), 8u);
    EXPECT_EQ(findings[0].text, "COM5: Standard Serial over Bluetooth link (COM5)");
    EXPECT_EQ(findings[1].fix, "Use the outgoing port COM6 or COM9 instead.");
    EXPECT_TRUE(contains(findings[3].text, "outgoing Bluetooth port to 00:11:22:33:44:55"));
    EXPECT_TRUE(contains(findings[7].fix, "Port Settings > Advanced > COM Port Number"));

    Machine alone("COM4/in");
    EXPECT_TRUE(contains(alone.examine()[1].fix, "COM Ports > Add > Outgoing"));
}

// Names as a registry may hold them: longer than any buffer, without their zero, with bytes that are not
// text. Nothing is read beyond a buffer (the sanitizer build watches) and every name prints.
TEST(WindowsDoctor, OddNamesAreReadWithinTheirBuffersAndPrintable) {
    const std::string longName(300, 'N');
    Machine machine("COM3 COM4 COM5 COM6 COM7");
    machine.api.devices[0].friendlyName = "P\xe9riph\xe9rique\tCOM3\x1b[2J";
    machine.api.devices[1].friendlyName = longName;
    machine.api.devices[2].friendlyName = longName;
    machine.api.devices[2].friendlyNameTerminated = false;
    machine.api.devices[3].storedWithTerminator = false;
    machine.api.devices[4].portName = "COM7" + std::string(300, ' ');
    const std::vector<Finding> findings = machine.examine();
    EXPECT_EQ(summary(findings), "com-port fine COM3; com-port fine COM4; com-port fine COM5; com-port fine "
                                 "COM6; com-port unchecked " +
                                     kUsb);
    EXPECT_EQ(findings[0].text, "COM3: P?riph?rique?COM3?[2J");
    EXPECT_EQ(findings[1].text, "COM4 (its friendly name cannot be read)");
    EXPECT_EQ(findings[2].text, "COM5: " + std::string(WindowsDoctor::kFriendlyNameBytes, 'N'));
}

TEST(WindowsDoctor, AVeryLongPortsClassIsExaminedUpToItsBoundAndSaysSo) {
    Machine machine;
    for (std::uint32_t i = 0; i < WindowsDoctor::kMaxDevices + 500; ++i) {
        machine.api.add(i % 2 == 0 ? "COM7" : "COM9");
    }
    const std::vector<Finding> findings = machine.examine();
    EXPECT_EQ(findings.size(), WindowsDoctor::kMaxDevices + 1);
    EXPECT_EQ(summary({findings.front()}), "ports-class unchecked ");
    EXPECT_EQ(machine.opened, "COM7: COM9:") << "each port is opened once";
    EXPECT_EQ(machine.api.keysOpened, machine.api.keysClosed);
}
