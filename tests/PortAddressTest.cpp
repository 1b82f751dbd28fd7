// The Bluetooth address each discovery puts on a port, so that two ports of one scanner are known as
// one: read from the text Linux's rfcomm shows and from the instance ID Windows gives the port.
#include "serial/BluetoothAddress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvexa;

namespace {

struct TextCase {
    const char* what;
    std::string text;
    std::string address;
};

TEST(BluetoothAddress, TextBecomesUpperCaseColonFormOrNothing) {
    const std::vector<TextCase> cases = {
        {"as rfcomm shows it", "00:1a:7d:da:71:13", "00:1A:7D:DA:71:13"},
        {"upper case already", "00:1A:7D:DA:71:13", "00:1A:7D:DA:71:13"},
        {"mixed case", "aB:cD:eF:01:23:45", "AB:CD:EF:01:23:45"},
        {"all zero names no device", "00:00:00:00:00:00", ""},
        {"empty", "", ""},
        {"newline left on", "00:1a:7d:da:71:13\n", ""},
        {"five pairs", "00:1a:7d:da:71", ""},
        {"seven pairs", "00:1a:7d:da:71:13:14", ""},
        {"dashes", "00-1a-7d-da-71-13", ""},
        {"no separators", "001a7dda7113", ""},
        {"colon shifted", "001:a7:dd:a7:11:3", ""},
        {"not hex", "00:1a:7d:da:71:1g", ""},
        {"sign in a pair", "00:1a:7d:da:71:+1", ""},
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
        {"vendor part instead of LOCALMFG",
         std::string("BTHENUM\\") + kSerialService +
             "_VID&0001009E_PID&400A\\8&2A1B3C4D&0&E0D4E8B8A1F2_C00000000",
         "E0:D4:E8:B8:A1:F2"},
        {"lower case throughout",
         "bthenum\\{00001101-0000-1000-8000-00805f9b34fb}_localmfg&0002\\7&1a2b3c4d&0&"
         "0016a4123456_c00000000",
         "00:16:A4:12:34:56"},
        {"incoming port", bthenum("7&1A2B3C4D&0&000000000000_00000000"), ""},
        {"incoming port with a connection mark", bthenum("7&1A2B3C4D&0&000000000000_C00000000"), ""},
        {"USB adapter", "USB\\VID_0403&PID_6001\\A50285BI", ""},
        {"USB adapter's serial function", "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", ""},
        {"board port", "ACPI\\PNP0501\\1", ""},
        {"address of another enumerator", "USB\\VID_0A12&PID_0001\\7&1A2B3C4D&0&001122334455_C00000000", ""},
        {"empty", "", ""},
        {"enumerator alone", "BTHENUM", ""},
        {"enumerator and separator", "BTHENUM\\", ""},
        {"cut in the address", bthenum("7&1A2B3C4D&0&0011223344"), ""},
        {"cut after the address", bthenum("7&1A2B3C4D&0&001122334455"), ""},
        {"cut after the underscore", bthenum("7&1A2B3C4D&0&001122334455_"), ""},
        {"thirteen digits", bthenum("7&1A2B3C4D&0&0011223344556_C00000000"), ""},
        {"eleven digits", bthenum("7&1A2B3C4D&0&00112233445_C00000000"), ""},
        {"sixteen digits", bthenum("7&1A2B3C4D&0&0011223344556677_C00000000"), ""},
        {"not hex", bthenum("7&1A2B3C4D&0&00112233445G_C00000000"), ""},
        {"address not in the last part", bthenum("7&1A2B3C4D&0&001122334455_C00000000\\0000"), ""},
        {"overlong garbage", bthenum(std::string(5000, '&')), ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(bluetoothAddressFromInstanceId(c.text), c.address) << c.what;
    }
}

} // namespace
