// Finding the serial ports present on the machine. Each OS has its own way; Step 1 sees only this list,
// in the order in which the ports are to be probed.
#pragma once

#include "serial/SerialChannel.h"

#include <string>
#include <vector>

namespace orvexa {

struct PortInfo {
    std::string path;        // what SerialChannel::open takes: "/dev/ttyUSB0", "COM5:", "\\.\COM10"
    std::string displayName; // what messages show in place of "COM%d": "ttyUSB0", "COM5"
    std::string detail;      // optional: how the port is attached, or a stable alias (by-id name)
    // The Bluetooth device behind the port, where the OS names it ("00:11:22:33:44:55"): ports with one
    // address reach one scanner. Empty when unknown.
    std::string deviceAddress = {};
};

class PortDiscovery {
public:
    virtual ~PortDiscovery() = default;
    // The ports present, without repeats, in the order in which they are probed (ascending).
    virtual std::vector<PortInfo> discoverPorts() = 0;
    // A line telling the user what to do about a port that could not be opened (join the port's group,
    // close the program that holds it), or nothing when this OS has no advice to give.
    virtual std::string accessHint(const PortInfo& port, ChannelError error) const {
        (void)port;
        (void)error;
        return {};
    }
    // What can be told of a port without opening it (an open can raise a real port's modem lines):
    // NoSuchPort when nothing is there, NotSerialPort when something other than a device is, and None when
    // it looks like a port or this OS cannot tell.
    virtual ChannelError nodeProblem(const PortInfo& port) const {
        (void)port;
        return ChannelError::None;
    }
};

} // namespace orvexa
