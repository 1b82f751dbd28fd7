#include "serial/BluetoothPorts.h"
#include "serial/ExtraPorts.h"
#include "serial/linux/LinuxPortDiscovery.h"
#include "serial/posix/PosixSerialChannel.h"

#include "FakeMachine.h"
#include "TextChecks.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

using namespace orvexa;

namespace {

constexpr const char* kSpp = "00001101-0000-1000-8000-00805f9b34fb";

BluetoothView machineWith(std::vector<BluetoothDevice> devices) {
    return {BluetoothView::Reach::Answered,
            {},
            {{"/org/bluez/hci0", "hci0", "00:1A:7D:00:00:01", true}, {"/org/bluez/hci1", "hci1", "", false}},
            std::move(devices)};
}

BluetoothDevice device(std::string address, std::string alias, bool paired, bool serial,
                       std::string adapter = "/org/bluez/hci0") {
    return {adapter + "/dev_x", adapter, std::move(address), std::move(alias), paired, serial};
}

} // namespace

TEST(BluetoothPorts, OnlyPairedDevicesWithTheSerialProfileArePortsOncePerAddressInOrder) {
    const BluetoothView view = machineWith({
        device("CC:00:00:00:00:03", "RDQ 300", true, true),
        device("aa:00:00:00:00:01", "Desk \"A\"\x1b[2J\xc3\xa9", true, true), // lower case, odd alias
        device("BB:00:00:00:00:02", "Headset", true, false),                  // no serial port profile
        device("DD:00:00:00:00:04", "Not paired", false, true),
        device("CC:00:00:00:00:03", "RDQ 300 (second adapter)", true, true, "/org/bluez/hci1"),
        device("", "No address", true, true),
    });
    const std::vector<PortInfo> ports = bluetoothPortsOf(view);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].path, "bt:AA:00:00:00:00:01");
    EXPECT_EQ(ports[0].displayName, "bt:AA:00:00:00:00:01");
    EXPECT_EQ(ports[0].detail, "Desk \"A\"?[2J??");
    EXPECT_EQ(ports[0].deviceAddress, "AA:00:00:00:00:01");
    EXPECT_EQ(ports[1].path, "bt:CC:00:00:00:00:03");
    EXPECT_EQ(ports[1].detail, "RDQ 300");
    EXPECT_TRUE(bluetoothPortsOf(BluetoothView{}).empty());
}

TEST(BluetoothPorts, APathNamesAnAddressOnlyAfterBtColon) {
    const struct {
        const char* path;
        const char* address;
    } cases[] = {
        {"bt:aa:bb:cc:dd:ee:ff", "AA:BB:CC:DD:EE:FF"},
        {"bt:AA:BB:CC:DD:EE:FF", "AA:BB:CC:DD:EE:FF"},
        {"bt:00:00:00:00:00:00", ""},
        {"bt:AA:BB:CC", ""},
        {"bt:", ""},
        {"/dev/rfcomm0", ""},
        {"AA:BB:CC:DD:EE:FF", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(addressOfBluetoothPort(c.path), c.address) << c.path;
    }
    // A port named on the command line is the same port discovery lists, so one scanner is one port.
    const PortInfo named = namedPort("bt:aa:bb:cc:dd:ee:ff");
    EXPECT_EQ(named.path, "bt:AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(named.deviceAddress, "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(named.stableName, named.path);
}

TEST(BluetoothPorts, EachCauseOfAFailedConnectionIsNamed) {
    const struct {
        const char* errorName;
        const char* message;
        ChannelError error;
        const char* says;
    } cases[] = {
        {"org.bluez.Error.Failed", "br-connection-page-timeout", ChannelError::NoSuchPort, "out of range"},
        {"org.bluez.Error.Failed", "Host is down", ChannelError::NoSuchPort, "out of range"},
        {"org.bluez.Error.Failed", "br-connection-refused", ChannelError::PermissionDenied, "refused"},
        {"org.bluez.Error.NotAuthorized", "", ChannelError::PermissionDenied, "refused"},
        {"org.bluez.Error.InProgress", "In Progress", ChannelError::Busy, "another program"},
        {"org.bluez.Error.NotReady", "Resource Not Ready", ChannelError::NoSuchPort, "switched off"},
        {"org.freedesktop.DBus.Error.UnknownObject", "", ChannelError::NoSuchPort, "paired"},
        {"org.freedesktop.DBus.Error.NoReply", "", ChannelError::NoSuchPort, "in time"},
        {"org.bluez.Error.NotAvailable", "Operation currently not available", ChannelError::NotSerialPort,
         "no serial port"},
        {"org.bluez.Error.Failed", "weird\x07", ChannelError::Other, "failed (weird?)"},
    };
    for (const auto& c : cases) {
        const ConnectFailure failure = connectFailureOf(c.errorName, c.message);
        EXPECT_EQ(failure.error, c.error) << c.errorName << " " << c.message;
        EXPECT_TRUE(contains(failure.reason, c.says)) << failure.reason;
    }
}

TEST(BluetoothPorts, AStackThatCannotBeAskedSaysWhyAndTheKernelsPart) {
    using Reach = BluetoothView::Reach;
    const struct {
        Reach reach;
        bool kernelHasSockets;
        const char* says;
        const char* lacks;
    } cases[] = {
        {Reach::NoBus, true, "D-Bus cannot be reached", "kernel"},
        {Reach::NoBus, false, "no Bluetooth sockets", "systemctl"},
        {Reach::NoStack, true, "BlueZ is not running: sudo systemctl start bluetooth", "kernel"},
        {Reach::NoStack, false, "BlueZ cannot run here: this kernel offers no Bluetooth sockets",
         "systemctl"},
        {Reach::NoAnswer, true, "did not answer in time", "kernel"},
        {Reach::NotBuilt, false, "no Bluetooth support", "kernel"},
    };
    for (const auto& c : cases) {
        const ConnectFailure failure = unreachableStackFailure({c.reach, {}, {}, {}}, c.kernelHasSockets);
        EXPECT_EQ(failure.error, ChannelError::NoSuchPort);
        EXPECT_TRUE(contains(failure.reason, c.says)) << failure.reason;
        EXPECT_TRUE(lacks(failure.reason, c.lacks)) << failure.reason;
    }
}

TEST(LinuxPortDiscovery, BluetoothPortsFollowTheTtysAndAnOpenFailureGivesTheStacksReason) {
    FakeMachine machine;
    machine.addTty("rfcomm0", "virtual", false);
    BluetoothSource source{[] { return machineWith({device("AA:00:00:00:00:01", "RDQ", true, true)}); },
                           [](const std::string& address) {
                               return address == "AA:00:00:00:00:01" ? "the scanner refused the connection"
                                                                     : "";
                           }};
    LinuxPortDiscovery discovery(machine.sys(), machine.dev(), parseExtraPorts("/dev/pts/9"), source);
    const std::vector<PortInfo> ports = discovery.discoverPorts();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].displayName, "rfcomm0");
    EXPECT_EQ(ports[1].path, "bt:AA:00:00:00:00:01");
    EXPECT_EQ(ports[2].path, "/dev/pts/9");
    EXPECT_EQ(discovery.accessHint(ports[1], ChannelError::PermissionDenied),
              "bt:AA:00:00:00:00:01: The scanner refused the connection.");
    // No device node stands for it: only a connection can tell whether it is there.
    EXPECT_EQ(discovery.nodeProblem(ports[1]), ChannelError::None);
}

namespace {

// Socket ports over a socket pair: the far end stands for the scanner.
class PairPorts : public SocketPorts {
public:
    bool names(const std::string& portName) const override { return portName.rfind("bt:", 0) == 0; }
    int connect(const std::string&, ChannelError& error) override {
        if (refuse) {
            error = ChannelError::Busy;
            return -1;
        }
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) {
            return -1;
        }
        farEnd = pair[1];
        return pair[0];
    }
    void release(const std::string&, int fd) override {
        ::close(fd);
        ++released;
    }
    bool refuse = false;
    int farEnd = -1;
    int released = 0;
};

} // namespace

TEST(PosixSerialChannel, ASocketPortIsReadAndWrittenLikeATtyAndAHangUpIsALostLine) {
    PairPorts ports;
    PosixSerialChannel channel(&ports);
    ports.refuse = true;
    EXPECT_FALSE(channel.openDefault("bt:AA:00:00:00:00:01"));
    EXPECT_EQ(channel.lastError(), ChannelError::Busy);
    ports.refuse = false;
    ASSERT_TRUE(channel.openDefault("bt:AA:00:00:00:00:01"));
    const std::uint8_t hello[] = {0x02, 'H', 'i', 0x03};
    EXPECT_EQ(channel.write(hello, 4), 4);
    std::uint8_t got[8] = {};
    ASSERT_EQ(::read(ports.farEnd, got, sizeof got), 4);
    ASSERT_EQ(::write(ports.farEnd, "OK", 2), 2);
    EXPECT_EQ(channel.read(got, 2), 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 2), "OK");
    // The far end goes away: what was sent before is still read, then the line is lost, not a crash
    // or a SIGPIPE.
    ASSERT_EQ(::write(ports.farEnd, "Z", 1), 1);
    ::close(ports.farEnd);
    EXPECT_EQ(channel.read(got, 1), 1);
    EXPECT_EQ(channel.write(hello, 4), 0);
    EXPECT_EQ(channel.lastError(), ChannelError::LineLost);
    channel.close();
    EXPECT_EQ(ports.released, 1);
    EXPECT_FALSE(channel.isOpen());
}
