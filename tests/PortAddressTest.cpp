// The Bluetooth address each discovery puts on a port, so that two ports of one scanner are known as
// one: read from the text Linux's rfcomm shows, from the instance ID Windows gives the port, and carried
// by both discoveries into the port list.
#include "serial/BluetoothAddress.h"
#include "serial/linux/LinuxPortDiscovery.h"
#include "serial/windows/SetupPortWalk.h"

#include "FakeMachine.h"
#include "ScriptedSetupApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace orvexa;
namespace fs = std::filesystem;

namespace {

struct TextCase {
    const char* what;
    std::string text;
    std::string address;
};

TEST(BluetoothAddress, TextBecomesUpperCaseColonFormOrNothing) {
    const std::vector<TextCase> cases = {
        {"as rfcomm shows it", "00:1a:7d:da:71:13", "00:1A:7D:DA:71:13"},
        {"mixed case", "aB:cD:eF:01:23:45", "AB:CD:EF:01:23:45"},
        {"all zero names no device", "00:00:00:00:00:00", ""},
        {"newline left on", "00:1a:7d:da:71:13\n", ""},
        {"seven pairs", "00:1a:7d:da:71:13:14", ""},
        {"dashes", "00-1a-7d-da-71-13", ""},
        {"colon shifted", "001:a7:dd:a7:11:3", ""},
        {"not hex", "00:1a:7d:da:71:1g", ""},
        {"zero byte inside", "00:1a:7d:da:" + std::string(1, '\0') + "1:13", ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(bluetoothAddressFromText(c.text), c.address) << c.what;
    }
}

constexpr const char* kSerialService = "{00001101-0000-1000-8000-00805F9B34FB}";

std::string bthenum(const std::string& instance) {
    return std::string("BTHENUM\\") + kSerialService + "_LOCALMFG&0002\\" + instance;
}

TEST(BluetoothAddress, InstanceIdNamesTheRemoteDeviceOfAnOutgoingPortOnly) {
    const std::vector<TextCase> cases = {
        {"outgoing port", bthenum("7&1A2B3C4D&0&001122334455_C00000000"), "00:11:22:33:44:55"},
        {"vendor and product in place of LOCALMFG",
         std::string("BTHENUM\\") + kSerialService +
             "_VID&0001009E_PID&400A\\8&2A1B3C4D&0&E0D4E8B8A1F2_C00000000",
         "E0:D4:E8:B8:A1:F2"},
        {"lower case throughout",
         "bthenum\\{00001101-0000-1000-8000-00805f9b34fb}_localmfg&0002\\7&1a2b3c4d&0&"
         "0016a4123456_c00000000",
         "00:16:A4:12:34:56"},
        {"incoming port", bthenum("7&1A2B3C4D&0&000000000000_00000000"), ""},
        {"USB adapter", "USB\\VID_0403&PID_6001\\A50285BI", ""},
        {"address of another enumerator", "USB\\VID_0A12&PID_0001\\7&1A2B3C4D&0&001122334455_C00000000", ""},
        {"empty", "", ""},
        {"enumerator and separator", "BTHENUM\\", ""},
        {"cut in the address", bthenum("7&1A2B3C4D&0&0011223344"), ""},
        {"cut after the address", bthenum("7&1A2B3C4D&0&001122334455"), ""},
        {"thirteen digits", bthenum("7&1A2B3C4D&0&0011223344556_C00000000"), ""},
        {"eleven digits", bthenum("7&1A2B3C4D&0&00112233445_C00000000"), ""},
        {"not hex", bthenum("7&1A2B3C4D&0&00112233445G_C00000000"), ""},
        {"address not in the last segment", bthenum("7&1A2B3C4D&0&001122334455_C00000000\\0000"), ""},
        {"overlong garbage", bthenum(std::string(5000, '&')), ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(bluetoothAddressFromInstanceId(c.text), c.address) << c.what;
    }
}

using ByName = std::map<std::string, std::string>;

// The Bluetooth address (or another field) each port carries, by port name.
ByName byName(const std::vector<PortInfo>& ports, std::string PortInfo::*field = &PortInfo::deviceAddress) {
    ByName values;
    for (const PortInfo& port : ports) {
        values[port.displayName] = port.*field;
    }
    return values;
}

ByName addresses(const FakeMachine& machine) {
    return byName(LinuxPortDiscovery(machine.sys(), machine.dev()).discoverPorts());
}

TEST(LinuxPortAddress, RfcommAddressIsReadBoundedAndNormalised) {
    const std::string line = "00:1a:7d:da:71:13\n";
    struct SysfsCase {
        const char* what;
        std::optional<std::string> own;    // the port's own attribute; none: absent
        std::optional<std::string> device; // the attribute of the device behind the port
        std::string address;
    };
    const std::vector<SysfsCase> cases = {
        {"as the kernel writes it", line, {}, "00:1A:7D:DA:71:13"},
        {"on the device behind the port", {}, line, "00:1A:7D:DA:71:13"},
        {"the port's own wins", "00:16:a4:12:34:56\n", "00:11:22:33:44:55\n", "00:16:A4:12:34:56"},
        {"all zero: not connected", "00:00:00:00:00:00\n", {}, ""},
        {"garbage", "hello\n", {}, ""},
        {"two lines", line + line, {}, ""},
        {"a page of it", line + std::string(4096, 'x'), {}, ""},
        {"carriage return", "00:1a:7d:da:71:13\r\n", {}, ""},
        {"missing", {}, {}, ""},
    };
    for (const SysfsCase& c : cases) {
        FakeMachine sysfs;
        const fs::path tty = sysfs.addTty("rfcomm0", "virtual");
        for (const auto& [folder, contents] : {std::pair{tty, c.own}, std::pair{tty / "device", c.device}}) {
            if (contents) {
                std::ofstream(folder / "address", std::ios::binary) << *contents;
            }
        }
        EXPECT_EQ(addresses(sysfs), (ByName{{"rfcomm0", c.address}})) << c.what;
    }
    FakeMachine sysfs;
    fs::create_directory(sysfs.addTty("rfcomm0", "virtual") / "address");
    EXPECT_EQ(addresses(sysfs), (ByName{{"rfcomm0", ""}})) << "a directory in its place";
}

TEST(LinuxPortAddress, PortsOfOneDeviceShareTheAddressAndOnlyRfcommHasOne) {
    FakeMachine sysfs;
    std::ofstream(sysfs.addTty("rfcomm0", "virtual") / "address") << "00:1a:7d:da:71:13\n";
    std::ofstream(sysfs.addTty("rfcomm1", "virtual") / "address") << "00:1A:7D:DA:71:13\n";
    std::ofstream(sysfs.addTty("rfcomm2", "virtual") / "address") << "00:16:a4:12:34:56\n";
    // A USB port with the same attribute is not taken for a Bluetooth one.
    std::ofstream(sysfs.addTty("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0") / "address")
        << "00:1a:7d:da:71:13\n";

    EXPECT_EQ(addresses(sysfs), (ByName{{"rfcomm0", "00:1A:7D:DA:71:13"},
                                        {"rfcomm1", "00:1A:7D:DA:71:13"},
                                        {"rfcomm2", "00:16:A4:12:34:56"},
                                        {"ttyUSB0", ""}}));
}

// A "Ports" class device with its port name and instance ID (none: the call fails); unterminated: the
// layer fills the buffer and leaves no zero.
ScriptedDevice port(const char* name, std::optional<std::string> instanceId, bool terminated = true) {
    return {.portName = name, .instanceId = std::move(instanceId), .instanceIdTerminated = terminated};
}

// A layer that leaves the instance ID call to the base, as the older layers do.
class WithoutInstanceIds : public ScriptedSetupApi {
public:
    bool deviceInstanceId(DeviceSet set, const DeviceRecord& record, char* buffer, std::uint32_t capacity,
                          std::uint32_t& required) override {
        return SetupApiLayer::deviceInstanceId(set, record, buffer, capacity, required);
    }
};

std::vector<int> listed(const SetupPortWalk::PortList& list) {
    return {list.begin(), std::find(list.begin(), list.end(), 0)};
}

const std::string kScanner = bthenum("7&1A2B3C4D&0&001122334455_C00000000");
const std::string kOtherScanner = bthenum("7&1A2B3C4D&0&0016A4123456_C00000000");
const std::string kUsb = "USB\\VID_0403&PID_6001\\A50285BI";

TEST(WindowsPortAddress, WalkReadsTheAddressOfEachBluetoothPortWithoutChangingTheLists) {
    // As much of an ID as the buffer holds (MAX_DEVICE_ID_LEN and one), and no zero after it.
    std::string fillsTheBuffer = bthenum("7&1A2B3C4D&0&E0D4E8B8A1F2_C");
    fillsTheBuffer.resize(201, '0');
    const std::vector<ScriptedDevice> devices = {
        port("COM12", kScanner),
        port("COM3", kUsb),
        port("COM4", bthenum("7&1A2B3C4D&0&000000000000_00000000")), // incoming
        port("LPT1", kOtherScanner),                                 // not a COM port: not listed
        port("COM13", kScanner),                                     // a second service of the same scanner
        port("COM5", std::nullopt),
        port("COM6", bthenum(std::string(300, 'A') + "&0&0016A4123456_C00000000")), // too long for the buffer
        port("COM7", fillsTheBuffer, false),
        // Cut off by the buffer, the address with it.
        port("COM8", bthenum(std::string(300, 'A') + "&0&0016A4123456_C00000000"), false),
        port("COM9", kScanner),
        port("COM9", kOtherScanner), // one number, two devices: which one an open reaches is unknown
        port("COM10", kOtherScanner),
        port("COM10", kOtherScanner),
        port("COM11", std::nullopt),
        port("COM11", kOtherScanner), // one device of the number names none
        port("COM300", kOtherScanner),
    };

    ScriptedSetupApi api;
    api.devices = devices;
    SetupPortWalk walk(api);
    walk.discoverPorts();
    WithoutInstanceIds plain;
    plain.devices = devices;
    SetupPortWalk plainWalk(plain);
    plainWalk.discoverPorts();

    EXPECT_EQ(listed(walk.rawPorts()), (std::vector<int>{12, 3, 4, 13, 5, 6, 7, 8, 9, 9, 10, 10, 11, 11}));
    EXPECT_EQ(walk.rawPorts(), plainWalk.rawPorts());
    EXPECT_EQ(walk.sortedPorts(), plainWalk.sortedPorts());

    const std::string scanner = "00:11:22:33:44:55";
    EXPECT_EQ(byName(windowsPorts(walk)), (ByName{{"COM3", ""},
                                                  {"COM4", ""},
                                                  {"COM5", ""},
                                                  {"COM6", ""},
                                                  {"COM7", "E0:D4:E8:B8:A1:F2"},
                                                  {"COM8", ""},
                                                  {"COM9", ""},
                                                  {"COM10", "00:16:A4:12:34:56"},
                                                  {"COM11", ""},
                                                  {"COM12", scanner},
                                                  {"COM13", scanner}}));
    for (const PortInfo& port : windowsPorts(plainWalk)) {
        EXPECT_EQ(port.deviceAddress, "") << port.displayName;
        EXPECT_EQ(port.stableName, "") << port.displayName;
    }
    // The port comes back under its name and instance; two devices of one number name neither.
    const auto stable = byName(windowsPorts(walk), &PortInfo::stableName);
    EXPECT_EQ(stable.at("COM3"), "COM3 " + kUsb);
    EXPECT_EQ(stable.at("COM9"), "");
    EXPECT_EQ(stable.at("COM5"), "");

    // The scanner is gone and a USB adapter took its first number: the next walk keeps nothing of it.
    api.devices = {port("COM12", kUsb)};
    walk.discoverPorts();
    EXPECT_EQ(byName(windowsPorts(walk)), (ByName{{"COM12", ""}}));
    EXPECT_EQ(walk.deviceAddresses()[13], "");
}

} // namespace
