// The Bluetooth address each discovery puts on a port, so that two ports of one scanner are known as
// one: read from the text Linux's rfcomm shows, from the instance ID Windows gives the port, and carried
// by both discoveries into the port list.
#include "serial/BluetoothAddress.h"
#include "serial/SetupPortWalk.h"
#include "serial/posix/LinuxPortDiscovery.h"

#include "FakeMachine.h"

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

// A sysfs tree under a temporary directory: class/tty entries linking into devices/, and the /dev nodes.
// The Bluetooth address discovery finds for each port of a fake machine, by port name.
std::map<std::string, std::string> addresses(const FakeMachine& machine) {
    std::map<std::string, std::string> byName;
    for (const PortInfo& port : LinuxPortDiscovery(machine.sys(), machine.dev()).discoverPorts()) {
        byName[port.displayName] = port.deviceAddress;
    }
    return byName;
}

enum class Place { Own, Device, Both, Nowhere, OwnIsDirectory };

struct SysfsCase {
    const char* what;
    Place place;
    std::string contents;
    std::string address;
};

TEST(LinuxPortAddress, RfcommAddressIsReadBoundedAndNormalised) {
    const std::string line = "00:1a:7d:da:71:13\n";
    const std::vector<SysfsCase> cases = {
        {"as the kernel writes it", Place::Own, line, "00:1A:7D:DA:71:13"},
        {"on the device behind the port", Place::Device, line, "00:1A:7D:DA:71:13"},
        {"the port's own wins", Place::Both, "00:16:a4:12:34:56\n", "00:16:A4:12:34:56"},
        {"all zero: not connected", Place::Own, "00:00:00:00:00:00\n", ""},
        {"garbage", Place::Own, "hello\n", ""},
        {"two lines", Place::Own, line + line, ""},
        {"a page of it", Place::Own, line + std::string(4096, 'x'), ""},
        {"carriage return", Place::Own, "00:1a:7d:da:71:13\r\n", ""},
        {"missing", Place::Nowhere, "", ""},
        {"a directory in its place", Place::OwnIsDirectory, "", ""},
    };
    for (const SysfsCase& c : cases) {
        FakeMachine sysfs;
        const fs::path tty = sysfs.addTty("rfcomm0", "virtual");
        const fs::path behind = tty / "device";
        if (c.place == Place::Own || c.place == Place::Both) {
            std::ofstream(tty / "address", std::ios::binary) << c.contents;
        }
        if (c.place == Place::Device) {
            std::ofstream(behind / "address", std::ios::binary) << c.contents;
        }
        if (c.place == Place::Both) {
            std::ofstream(behind / "address", std::ios::binary) << "00:11:22:33:44:55\n";
        }
        if (c.place == Place::OwnIsDirectory) {
            fs::create_directory(tty / "address");
        }
        const auto found = addresses(sysfs);
        ASSERT_EQ(found.count("rfcomm0"), 1u) << c.what;
        EXPECT_EQ(found.at("rfcomm0"), c.address) << c.what;
    }
}

TEST(LinuxPortAddress, PortsOfOneDeviceShareTheAddressAndOnlyRfcommHasOne) {
    FakeMachine sysfs;
    std::ofstream(sysfs.addTty("rfcomm0", "virtual") / "address") << "00:1a:7d:da:71:13\n";
    std::ofstream(sysfs.addTty("rfcomm1", "virtual") / "address") << "00:1A:7D:DA:71:13\n";
    std::ofstream(sysfs.addTty("rfcomm2", "virtual") / "address") << "00:16:a4:12:34:56\n";
    // A USB port with the same attribute is not taken for a Bluetooth one.
    std::ofstream(sysfs.addTty("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0") / "address")
        << "00:1a:7d:da:71:13\n";

    const auto found = addresses(sysfs);
    EXPECT_EQ(found, (std::map<std::string, std::string>{{"rfcomm0", "00:1A:7D:DA:71:13"},
                                                         {"rfcomm1", "00:1A:7D:DA:71:13"},
                                                         {"rfcomm2", "00:16:A4:12:34:56"},
                                                         {"ttyUSB0", ""}}));
}

// The "Ports" class as the walk sees it, each device with its port name and instance ID.
struct Device {
    std::string portName;
    std::optional<std::string> instanceId; // none: the call fails
    bool terminated = true;                // false: the layer fills the buffer and leaves no zero
};

class DeviceTable : public SetupApiLayer {
public:
    explicit DeviceTable(std::vector<Device> devices) : devices(std::move(devices)) {}

    std::vector<Device> devices;

    bool classGuidsFromName(const char*, ClassGuid*, std::uint32_t capacity,
                            std::uint32_t& required) override {
        required = 1;
        return capacity >= required;
    }
    DeviceSet getPresentClassDevices(const ClassGuid&) override { return kSet; }
    bool enumDeviceInfo(DeviceSet, std::uint32_t index, DeviceRecord& record) override {
        record.devInst = kFirstDevInst + index;
        return index < devices.size();
    }
    void destroyDeviceInfoList(DeviceSet) override {}
    Library loadLibrary(const char*) override { return 1; }
    Procedure findProcedure(Library, const char*) override { return 1; }
    void freeLibrary(Library) override {}
    std::uint32_t openDevNodeKey(Procedure, std::uint32_t devInst, RegistryKey& key) override {
        key = devInst;
        return kConfigSuccess;
    }
    RegistryKey openDevRegKey(DeviceSet, const DeviceRecord&) override { return 0; }
    bool queryValue(RegistryKey key, const char*, std::uint8_t* data, std::uint32_t& size) override {
        const std::string& name = deviceOf(static_cast<std::uint32_t>(key)).portName;
        const auto needed = static_cast<std::uint32_t>(name.size() + 1);
        const bool fits = needed <= size;
        if (fits) {
            std::copy(name.c_str(), name.c_str() + needed, data);
        }
        size = needed;
        return fits;
    }
    void closeKey(RegistryKey) override {}
    bool deviceInstanceId(DeviceSet set, const DeviceRecord& record, char* buffer, std::uint32_t capacity,
                          std::uint32_t& required) override {
        EXPECT_EQ(set, kSet);
        const Device& device = deviceOf(record.devInst);
        if (!device.instanceId) {
            return false;
        }
        const std::string& id = *device.instanceId;
        required = static_cast<std::uint32_t>(id.size() + 1);
        if (!device.terminated) {
            std::copy_n(id.begin(), std::min<std::size_t>(id.size(), capacity), buffer);
            return true;
        }
        if (required > capacity) {
            return false; // ERROR_INSUFFICIENT_BUFFER
        }
        std::copy(id.c_str(), id.c_str() + required, buffer);
        return true;
    }

private:
    static constexpr DeviceSet kSet = 0x5e7;
    static constexpr std::uint32_t kFirstDevInst = 100;

    const Device& deviceOf(std::uint32_t devInst) const { return devices.at(devInst - kFirstDevInst); }
};

// A layer that leaves the new call to the base, as the older scripted layers do.
class WithoutInstanceIds : public DeviceTable {
public:
    using DeviceTable::DeviceTable;
    bool deviceInstanceId(DeviceSet set, const DeviceRecord& record, char* buffer, std::uint32_t capacity,
                          std::uint32_t& required) override {
        return SetupApiLayer::deviceInstanceId(set, record, buffer, capacity, required);
    }
};

std::map<std::string, std::string> addressesByName(const std::vector<PortInfo>& ports) {
    std::map<std::string, std::string> byName;
    for (const PortInfo& port : ports) {
        byName[port.displayName] = port.deviceAddress;
    }
    return byName;
}

std::vector<int> listed(const SetupPortWalk::PortList& list) {
    return {list.begin(), std::find(list.begin(), list.end(), 0)};
}

const std::string kScanner = bthenum("7&1A2B3C4D&0&001122334455_C00000000");
const std::string kOtherScanner = bthenum("7&1A2B3C4D&0&0016A4123456_C00000000");

TEST(WindowsPortAddress, WalkReadsTheAddressOfEachBluetoothPortWithoutChangingTheLists) {
    // As much of an ID as the buffer holds (MAX_DEVICE_ID_LEN and one), and no zero after it.
    std::string fillsTheBuffer = bthenum("7&1A2B3C4D&0&E0D4E8B8A1F2_C");
    fillsTheBuffer.resize(201, '0');
    const std::vector<Device> devices = {
        {"COM12", kScanner},
        {"COM3", std::string("USB\\VID_0403&PID_6001\\A50285BI")},
        {"COM4", bthenum("7&1A2B3C4D&0&000000000000_00000000")}, // incoming
        {"LPT1", kOtherScanner},                                 // not a COM port: not listed
        {"COM13", kScanner},                                     // a second service of the same scanner
        {"COM5", std::nullopt},
        {"COM6", bthenum(std::string(300, 'A') + "&0&0016A4123456_C00000000")}, // too long for the buffer
        {"COM7", fillsTheBuffer, false},
        // Cut off by the buffer, the address with it.
        {"COM8", bthenum(std::string(300, 'A') + "&0&0016A4123456_C00000000"), false},
        {"COM9", kScanner},
        {"COM9", kOtherScanner}, // one number, two devices: which one an open reaches is unknown
        {"COM10", kOtherScanner},
        {"COM10", kOtherScanner},
        {"COM11", std::nullopt},
        {"COM11", kOtherScanner}, // one device of the number names none
        {"COM300", kOtherScanner},
    };

    DeviceTable table(devices);
    SetupPortWalk walk(table);
    walk.discoverPorts();
    WithoutInstanceIds plain(devices);
    SetupPortWalk plainWalk(plain);
    plainWalk.discoverPorts();

    EXPECT_EQ(listed(walk.rawPorts()), (std::vector<int>{12, 3, 4, 13, 5, 6, 7, 8, 9, 9, 10, 10, 11, 11}));
    EXPECT_EQ(walk.rawPorts(), plainWalk.rawPorts());
    EXPECT_EQ(walk.sortedPorts(), plainWalk.sortedPorts());

    const std::string scanner = "00:11:22:33:44:55";
    EXPECT_EQ(addressesByName(windowsPorts(walk)), (std::map<std::string, std::string>{
                                                       {"COM3", ""},
                                                       {"COM4", ""},
                                                       {"COM5", ""},
                                                       {"COM6", ""},
                                                       {"COM7", "E0:D4:E8:B8:A1:F2"},
                                                       {"COM8", ""},
                                                       {"COM9", ""},
                                                       {"COM10", "00:16:A4:12:34:56"},
                                                       {"COM11", ""},
                                                       {"COM12", scanner},
                                                       {"COM13", scanner},
                                                   }));
    for (const PortInfo& port : windowsPorts(plainWalk)) {
        EXPECT_EQ(port.deviceAddress, "") << port.displayName;
        EXPECT_EQ(port.stableName, "") << port.displayName;
    }
    // The port comes back under its name and instance; two devices of one number name neither.
    std::map<std::string, std::string> stable;
    for (const PortInfo& port : windowsPorts(walk)) {
        stable[port.displayName] = port.stableName;
    }
    EXPECT_EQ(stable["COM3"], "COM3 USB\\VID_0403&PID_6001\\A50285BI");
    EXPECT_EQ(stable["COM9"], "");
    EXPECT_EQ(stable["COM5"], "");

    // The scanner is gone and a USB adapter took its first number: the next walk keeps nothing of it.
    table.devices = {{"COM12", std::string("USB\\VID_0403&PID_6001\\A50285BI")}};
    walk.discoverPorts();
    ASSERT_EQ(windowsPorts(walk).size(), 1u);
    EXPECT_EQ(windowsPorts(walk)[0].deviceAddress, "");
    EXPECT_EQ(walk.deviceAddresses()[13], "");
}

} // namespace
