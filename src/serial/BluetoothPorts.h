// A paired scanner as a port of its own, "bt:AA:BB:CC:DD:EE:FF", where the OS gives it no serial device
// (Linux without a bound rfcomm node): what the Bluetooth stack tells of its adapters and devices, which of
// the devices are such ports, and how a failed connection is told to the user. The stack itself is reached
// in serial/linux/; what is here builds and is tested everywhere.
#pragma once

#include "serial/PortDiscovery.h"
#include "serial/SerialChannel.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvexa {

// The serial port profile, the one service of a scanner that carries the tool's bytes.
inline constexpr std::string_view kSerialPortProfileUuid = "00001101-0000-1000-8000-00805f9b34fb";
inline constexpr std::string_view kBluetoothPortPrefix = "bt:";

struct BluetoothAdapter {
    std::string objectPath; // "/org/bluez/hci0"
    std::string name;       // "hci0"
    std::string address;
    bool powered = false;
};

struct BluetoothDevice {
    std::string objectPath; // "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF"
    std::string adapterPath;
    std::string address; // in the common form, or empty when the stack gave none we can read
    std::string alias;   // as the stack gives it: any bytes, to be made printable before it is shown
    bool paired = false;
    bool servesSerialPort = false; // its services include the serial port profile
};

// What could be asked of the stack, and what it said.
struct BluetoothView {
    enum class Reach {
        Answered, // the stack answered: adapters and devices are what it holds
        NoStack,  // the system bus is there, the stack is not on it (not running, not installed)
        NoBus,    // no system bus could be reached
        NotBuilt, // this build of the tool has no Bluetooth support
        NoAnswer, // the stack did not answer in time, or its answer could not be read
    };
    Reach reach = Reach::NotBuilt;
    std::string detail; // for what is not Answered: what the bus said, for the doctor to show
    std::vector<BluetoothAdapter> adapters;
    std::vector<BluetoothDevice> devices;
};

// "bt:" and the address in the common form.
std::string bluetoothPortName(std::string_view address);
// The address a "bt:" port names, in the common form; empty for any other path (and for a "bt:" path
// whose address is no address).
std::string addressOfBluetoothPort(std::string_view path);
// The port a "bt:" path names, as discovery would list it but without an alias.
PortInfo bluetoothPort(std::string_view address);

// The devices that are ports: paired, offering the serial port profile, with an address. One port per
// address however many adapters it is paired with, in ascending order of address; the detail is the
// alias, made printable.
std::vector<PortInfo> bluetoothPortsOf(const BluetoothView& view);

// Why a connection did not come up, for the person at the desk: the ChannelError the steps see and a
// sentence that names the cause.
struct ConnectFailure {
    ChannelError error = ChannelError::Other;
    std::string reason;
};
// From the error a connect request was answered with (its D-Bus error name and message).
ConnectFailure connectFailureOf(std::string_view errorName, std::string_view message);
// When the stack could not be asked at all; kernelHasSockets says whether this kernel knows Bluetooth.
ConnectFailure unreachableStackFailure(const BluetoothView& view, bool kernelHasSockets);

} // namespace orvexa
