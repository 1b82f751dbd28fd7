#include "serial/linux/LinuxPortDiscovery.h"
#include "serial/ExtraPorts.h"

#include "FakeMachine.h"
#include "TextChecks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace orvexa;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// Each port as a user sees it in the list: "name (detail)".
Names shown(const std::vector<PortInfo>& ports) {
    Names result;
    for (const PortInfo& port : ports) {
        result.push_back(port.displayName + " (" + port.detail + ")");
    }
    return result;
}

} // namespace

TEST(LinuxPortDiscovery, EmptyOrMissingTreeFindsOnlyTheNamedPorts) {
    FakeMachine machine;
    EXPECT_TRUE(LinuxPortDiscovery(machine.sys(), machine.dev()).discoverPorts().empty());
    EXPECT_TRUE(LinuxPortDiscovery("/nonexistent/sys", "/nonexistent/dev").discoverPorts().empty());

    const auto ports =
        LinuxPortDiscovery("/nonexistent/sys", "/nonexistent/dev", parseExtraPorts("/dev/pts/7"))
            .discoverPorts();
    ASSERT_EQ(shown(ports), Names{"pts/7 (named)"});
    EXPECT_EQ(ports[0].path, "/dev/pts/7");
}

TEST(LinuxPortDiscovery, ListsUsbAcmAndBluetoothPortsAndRealUartsButNoGhosts) {
    FakeMachine machine;
    machine.addTty("ttyUSB0", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0", true);
    machine.addTty("ttyACM0", "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0", true);
    machine.addTty("rfcomm0", "virtual", false);
    machine.addTty("ttyS0", "platform/serial8250", true, 0); // a UART slot with nothing behind it
    machine.addTty("ttyS4", "pnp0/00:05", true, 4);          // a 16550A on the board
    machine.addTty("ttyS9", "virtual", false);               // no device at all
    machine.addTty("ttyAMA0", "platform/fe201000.serial", true);
    machine.addTty("tty0", "virtual", false);      // a console, not a serial port
    machine.addTty("ttySAC0", "platform/x", true); // another driver's prefix, not ttyS
    machine.addTty("ttyUSB1", "pci0000:00/usb1/1-3/1-3:1.0/ttyUSB1", true, -1, false); // no /dev node

    const auto ports = LinuxPortDiscovery(machine.sys(), machine.dev()).discoverPorts();
    EXPECT_EQ(shown(ports), (Names{"rfcomm0 (bluetooth)", "ttyACM0 (usb)", "ttyAMA0 (platform)",
                                   "ttyS4 (platform)", "ttyUSB0 (usb)"}));
    for (const PortInfo& port : ports) {
        EXPECT_EQ(port.path, machine.dev() + "/" + port.displayName);
    }
}

// The order decides which of two answering ports wins, so it is the natural order of the node names,
// whatever the by-id names or the directory order say; the named ports follow, without repeats.
TEST(LinuxPortDiscovery, NaturalOrderByNodeNameWithByIdNamesShownAndNamedPortsLast) {
    FakeMachine machine;
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB1"}) {
        machine.addTty(name, std::string("pci0000:00/usb1/") + name, true);
    }
    machine.addById("usb-Zeta_Adapter_9-if00-port0", "ttyUSB1");
    machine.addById("usb-Alpha_Adapter_1-if00-port0", "ttyUSB10");
    machine.addById("usb-Tevanor_RDQ_200_B-if00", "ttyUSB2");
    machine.addById("usb-Tevanor_RDQ_200_A-if00", "ttyUSB2"); // two aliases: the first by name is shown
    machine.addById("pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyUSB1", "by-path");

    const std::string usb2 = machine.dev() + "/ttyUSB2";
    const auto ports = LinuxPortDiscovery(machine.sys(), machine.dev(), parseExtraPorts(usb2 + ":/dev/pts/3"))
                           .discoverPorts();
    ASSERT_EQ(shown(ports), (Names{"ttyUSB1 (usb usb-Zeta_Adapter_9-if00-port0)",
                                   "ttyUSB2 (usb usb-Tevanor_RDQ_200_A-if00)",
                                   "ttyUSB10 (usb usb-Alpha_Adapter_1-if00-port0)", "pts/3 (named)"}));
    // What Step 1 remembers: the by-id name, which follows the adapter to its next ttyUSB number, else the
    // by-path one.
    EXPECT_EQ(ports[0].stableName, machine.dev() + "/serial/by-id/usb-Zeta_Adapter_9-if00-port0");
    EXPECT_EQ(ports[3].stableName, "");
    FakeMachine bare; // an adapter without a serial number has only its socket's name
    bare.addTty("ttyUSB0", "pci0000:00/usb1/ttyUSB0", true);
    bare.addById("pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyUSB0", "by-path");
    EXPECT_EQ(LinuxPortDiscovery(bare.sys(), bare.dev(), {}).discoverPorts().at(0).stableName,
              bare.dev() + "/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
}

TEST(LinuxPortDiscovery, NaturalLessComparesDigitRunsByValue) {
    EXPECT_TRUE(naturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(naturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(naturalLess("ttyACM9", "ttyUSB0"));
    EXPECT_TRUE(naturalLess("ttyS", "ttyS0"));
    EXPECT_FALSE(naturalLess("ttyS3", "ttyS3"));
    EXPECT_TRUE(naturalLess("ttyUSB99999999999999999999", "ttyUSB100000000000000000000")); // no overflow
    EXPECT_TRUE(naturalLess("ttyUSB1", "ttyUSB01") != naturalLess("ttyUSB01", "ttyUSB1")); // strict order
}

TEST(ExtraPorts, ColonSeparatedListKeepsOrderAndDropsEmptiesAndRepeats) {
    const auto ports = parseExtraPorts("::/dev/pts/3::/tmp/sim/link:/dev/pts/3:");
    ASSERT_EQ(shown(ports), (Names{"pts/3 (named)", "link (named)"}));
    EXPECT_EQ(ports[0].path, "/dev/pts/3");
    EXPECT_EQ(ports[1].path, "/tmp/sim/link");
    EXPECT_TRUE(parseExtraPorts("").empty());
    EXPECT_EQ(namedPort("\\\\.\\COM10").displayName, "COM10");
    EXPECT_EQ(namedPort("COM5:").displayName, "COM5");
}

TEST(LinuxPortDiscovery, HintsNameTheGroupToJoinAndTheBusyPort) {
    const LinuxPortDiscovery discovery("/nonexistent/sys", "/nonexistent/dev");
    const PortInfo port{"/nonexistent/dev/ttyUSB0", "ttyUSB0", "usb"};
    const std::string permission = discovery.accessHint(port, ChannelError::PermissionDenied);
    EXPECT_TRUE(contains(permission, "/nonexistent/dev/ttyUSB0"));
    EXPECT_TRUE(contains(permission, "join the group \"dialout\""));
    EXPECT_TRUE(contains(discovery.accessHint(port, ChannelError::Busy), "Another program holds"));
    EXPECT_TRUE(discovery.accessHint(port, ChannelError::Other).empty());
    EXPECT_TRUE(contains(discovery.accessHint(port, ChannelError::NotSerialPort), "nothing was written"));
}

// Joining the node's group is advice only when the group may read and write the node.
constexpr gid_t kDaemonGroup = 1;
TEST(LinuxPortDiscovery, PermissionHintNamesAGroupOnlyWhenTheGroupCanOpenThePort) {
    FakeMachine machine;
    const PortInfo port{machine.dev() + "/ttyUSB0", "ttyUSB0", "usb"};
    std::ofstream(port.path).put('\0');
    const LinuxPortDiscovery discovery(machine.sys(), machine.dev());
    const fs::perms ownerAndGroup =
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write;
    fs::permissions(port.path, ownerAndGroup);
    if (::getuid() == 0) {
        // No one is sent to join root's own group; the file root made is in it, so give it another first.
        EXPECT_TRUE(lacks(discovery.accessHint(port, ChannelError::PermissionDenied), "join the group"));
        ASSERT_EQ(::chown(port.path.c_str(), 0, kDaemonGroup), 0);
    }
    EXPECT_TRUE(contains(discovery.accessHint(port, ChannelError::PermissionDenied), "join the group"));

    for (const fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write, fs::perms::owner_read,
                                 fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read}) {
        fs::permissions(port.path, mode);
        const std::string refused = discovery.accessHint(port, ChannelError::PermissionDenied);
        EXPECT_TRUE(lacks(refused, "join the group"));
        EXPECT_TRUE(contains(refused, port.path));
    }
    fs::permissions(port.path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(contains(discovery.accessHint(port, ChannelError::PermissionDenied), "only its owner"));
}

TEST(LinuxPortDiscovery, NodeProblemTellsAMissingPathAndOneThatIsNoDevice) {
    FakeMachine machine;
    const LinuxPortDiscovery discovery(machine.sys(), machine.dev());
    std::ofstream(machine.dev() + "/notes.txt") << "notes";
    EXPECT_EQ(discovery.nodeProblem(namedPort(machine.dev() + "/ttyUSB7")), ChannelError::NoSuchPort);
    EXPECT_EQ(discovery.nodeProblem(namedPort(machine.dev() + "/notes.txt/x")), ChannelError::NoSuchPort);
    EXPECT_EQ(discovery.nodeProblem(namedPort(machine.dev() + "/notes.txt")), ChannelError::NotSerialPort);
    EXPECT_EQ(discovery.nodeProblem(namedPort(machine.dev())), ChannelError::NotSerialPort);
    EXPECT_EQ(discovery.nodeProblem(namedPort("/dev/null")), ChannelError::None); // the open refuses it
}
