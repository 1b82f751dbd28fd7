// The serial ports of a Linux machine, as sysfs announces them:
//   - ttyUSB (USB serial adapters), ttyACM (USB modems and CDC devices), rfcomm (Bluetooth serial);
//   - ttyS and ttyAMA only when a real device backs them. The 8250 driver registers ttyS0..ttyS31 whether
//     or not a UART is there; such a ghost has a "device" link but reports port type 0 (unknown) in its
//     "type" attribute, and opening it fails or hangs, so it is left out.
// Each is classified by its sysfs path (usb, bluetooth, platform) and shown with its /dev/serial/by-id name
// where udev made one. The list is in natural order of the device-node names (ttyUSB2 before ttyUSB10):
// that order decides which of two answering ports wins, so it must not depend on by-id names or on the
// order of directory entries. The paired Bluetooth scanners that the stack offers as "bt:" ports come
// next, in order of address; the extra ports the user names follow.
//
// Both roots are parameters, so that tests walk fake trees under a temporary directory.
#pragma once

#include "serial/BluetoothPorts.h"
#include "serial/PortDiscovery.h"

#include <functional>
#include <string>
#include <vector>

namespace orvexa {

// Where the Bluetooth ports come from: the stack's view of paired devices, and why the last connection to
// an address failed. Either may be empty: no Bluetooth ports, no reasons.
struct BluetoothSource {
    std::function<BluetoothView()> view;
    std::function<std::string(const std::string& address)> lastReason;
};

class LinuxPortDiscovery : public PortDiscovery {
public:
    explicit LinuxPortDiscovery(std::string sysRoot = "/sys", std::string devRoot = "/dev",
                                std::vector<PortInfo> extraPorts = {}, BluetoothSource bluetooth = {});

    std::vector<PortInfo> discoverPorts() override;
    // Permission: the group that owns the node (usually dialout) and how to join it, when that group may
    // read and write it; otherwise who may. Busy: another program holds the port. Not a serial port: that
    // nothing was written to it.
    std::string accessHint(const PortInfo& port, ChannelError error) const override;
    // Missing, or not a character device. /dev/null is one and passes here; the open refuses it.
    ChannelError nodeProblem(const PortInfo& port) const override;

    // The serial tty names the last discoverPorts() passed over, and why, in natural order.
    struct PassedOver {
        enum class Why { NoHardware, NoNode };
        std::string name;
        Why why;
    };
    const std::vector<PassedOver>& passedOver() const { return passedOver_; }

private:
    std::string sysRoot_;
    std::string devRoot_;
    std::vector<PortInfo> extraPorts_;
    BluetoothSource bluetooth_;
    std::vector<PassedOver> passedOver_;
};

// "ttyUSB2" < "ttyUSB10": runs of digits compare by value, everything else by character.
bool naturalLess(const std::string& a, const std::string& b);

} // namespace orvexa
