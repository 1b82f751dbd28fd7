// The parts of this machine's platform that are Linux's own: ports are found in sysfs and, for paired
// Bluetooth scanners, asked of BlueZ; the OS names itself in /etc/os-release. The POSIX rest is in
// posix/PosixPlatform.cpp.
#include "serial/Platform.h"

#include "serial/linux/Bluez.h"
#include "serial/linux/LinuxPortDiscovery.h"
#include "serial/posix/PosixSerialChannel.h"

#include <fstream>
#include <string_view>

#include <sys/utsname.h>

namespace orvexa {

namespace {

// "bt:" ports, connected through the stack.
class BluetoothSocketPorts : public SocketPorts {
public:
    bool names(const std::string& portName) const override {
        return !addressOfBluetoothPort(portName).empty();
    }
    int connect(const std::string& portName, ChannelError& error) override {
        ConnectFailure failure;
        const int fd = BluetoothConnector::instance().connect(addressOfBluetoothPort(portName), failure);
        error = failure.error;
        return fd;
    }
    void release(const std::string& portName, int fd) override {
        BluetoothConnector::instance().release(addressOfBluetoothPort(portName), fd);
    }
};

BluetoothSocketPorts bluetoothSocketPorts;

} // namespace

std::unique_ptr<SerialChannel> makeSerialChannel() {
    return std::make_unique<PosixSerialChannel>(&bluetoothSocketPorts);
}

std::unique_ptr<PortDiscovery> makePortDiscovery(std::vector<PortInfo> extraPorts) {
    BluetoothSource bluetooth{readBluetoothView, [](const std::string& address) {
                                  return BluetoothConnector::instance().lastReason(address);
                              }};
    return std::make_unique<LinuxPortDiscovery>("/sys", "/dev", std::move(extraPorts), std::move(bluetooth));
}

std::string operatingSystemName() {
    std::string name;
    std::ifstream release("/etc/os-release");
    constexpr std::string_view kPrettyName = "PRETTY_NAME=";
    for (std::string line; name.empty() && std::getline(release, line);) {
        if (line.rfind(kPrettyName, 0) == 0) {
            name = line.substr(kPrettyName.size());
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
                name = name.substr(1, name.size() - 2);
            }
        }
    }
    struct utsname kernel {};
    if (::uname(&kernel) == 0) {
        name += (name.empty() ? "" : ", ") + std::string(kernel.sysname) + " " + kernel.release + " " +
                kernel.machine;
    }
    return name.empty() ? "Linux" : name;
}

} // namespace orvexa
