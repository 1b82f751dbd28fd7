// The Windows port walk, run against the kit's scripted setup API.
#include "serial/windows/SetupPortWalk.h"

#include "ScriptedSetupApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace orvexa;

namespace {

using Ports = std::vector<int>;

Ports listed(const SetupPortWalk::PortList& list) {
    return {list.begin(), std::find(list.begin(), list.end(), 0)};
}

// Whatever way the walk ended, every resource it took was given back, and the set once.
void expectEverythingReleased(const ScriptedSetupApi& api) {
    EXPECT_EQ(api.librariesLoaded, api.librariesFreed);
    EXPECT_EQ(api.keysOpened, api.keysClosed);
    EXPECT_EQ(api.setsDestroyed, 1);
}

class SetupPortWalkTest : public ::testing::Test {
protected:
    ScriptedSetupApi api;
    SetupPortWalk walk{api};

    Ports discover(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            api.add(name);
        }
        walk.discoverPorts();
        return listed(walk.sortedPorts());
    }
};

} // namespace

// Each row: the "portname" values of the devices in order, then the ports listed and the list as stored.
// One byte per port: COM256 would be stored as 0 (ending the list) and COM257 as 1.
TEST(SetupPortWalkNames, EachNameIsListedOnceAscendingAndABadOneEndsTheWalk) {
    struct Row {
        const char* why;
        std::vector<const char*> names;
        Ports sorted;
        Ports raw;
    };
    const Row rows[] = {
        {"no port at all", {}, {}, {}},
        {"repeats, case and high numbers",
         {"COM4", "com7", "COM200", "COM4", "cOm 9"},
         {4, 7, 9, 200},
         {4, 7, 200, 4, 9}},
        {"other devices of the class", {"COM2", "LPT1", "ECP", "COM6"}, {2, 6}, {2, 6}},
        {"a value too long for the buffer", {"COM5", "COM1000", "COM6"}, {5}, {5}},
        {"numbers above one byte", {"COM256", "COM4", "COM257", "COM999", "COM255"}, {4, 255}, {4, 255}},
        {"no number", {"COM8", "COM1", "COM", "COM2"}, {1, 8}, {8, 1}},
        {"zero", {"COM8", "COM1", "COM0", "COM2"}, {1, 8}, {8, 1}},
        {"a negative number", {"COM8", "COM1", "COM-3", "COM2"}, {1, 8}, {8, 1}},
        {"not a number", {"COM8", "COM1", "COMx", "COM2"}, {1, 8}, {8, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        ScriptedSetupApi api;
        for (const char* name : row.names) {
            api.add(name);
        }
        SetupPortWalk walk(api);
        walk.discoverPorts();
        EXPECT_EQ(listed(walk.sortedPorts()), row.sorted);
        EXPECT_EQ(listed(walk.rawPorts()), row.raw);
        expectEverythingReleased(api);
    }
}

TEST_F(SetupPortWalkTest, PortsAreListedAscendingWhateverTheOrderOfTheDevices) {
    EXPECT_EQ(discover({"COM10", "COM3", "COM1"}), (Ports{1, 3, 10}));
    EXPECT_EQ(listed(walk.rawPorts()), (Ports{10, 3, 1}));
    EXPECT_EQ(api.visited, (std::vector<std::uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(api.lastValueName, "portname");
    expectEverythingReleased(api);

    std::vector<std::string> paths;
    for (const PortInfo& port : windowsPorts(walk.sortedPorts())) {
        paths.push_back(port.displayName + " " + port.path);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"COM1 COM1:", "COM3 COM3:", "COM10 \\\\.\\COM10"}));
}

TEST_F(SetupPortWalkTest, AValueOfSevenBytesWithoutTerminatorIsReadWithinTheBuffer) {
    api.devices.push_back({std::string("COM12 4"), NodeKey::Opens, true, false});
    api.add("COM2");
    walk.discoverPorts();
    EXPECT_EQ(listed(walk.sortedPorts()), (Ports{2, 12}));
}

TEST_F(SetupPortWalkTest, CollectingStopsWhenTheListIsFull) {
    for (int i = 0; i < 300; ++i) {
        api.add(i % 2 == 0 ? "COM7" : "COM9");
    }
    walk.discoverPorts();
    const std::size_t stored = listed(walk.rawPorts()).size();
    EXPECT_EQ(stored, SetupPortWalk::kMaxPorts);
    EXPECT_EQ(walk.rawPorts().back(), 0);
    EXPECT_EQ(listed(walk.sortedPorts()), (Ports{7, 9}));
    EXPECT_LT(api.visited.size(), 300u);
    expectEverythingReleased(api);
}

TEST_F(SetupPortWalkTest, WinesEmptySuccessFallsBackToTheSetupKey) {
    api.devices.push_back({std::string("COM5"), NodeKey::SucceedsWithoutKey});
    api.devices.push_back({std::string("COM3"), NodeKey::Opens});
    walk.discoverPorts();
    EXPECT_EQ(listed(walk.sortedPorts()), (Ports{3, 5}));
    EXPECT_EQ(api.devRegKeyCalls, 1);
    expectEverythingReleased(api);
}

TEST_F(SetupPortWalkTest, AHardwareKeyThatCannotBeOpenedEndsTheWalk) {
    api.add("COM4");
    api.devices.push_back({std::string("COM5"), NodeKey::SucceedsWithoutKey, false});
    api.add("COM6");
    walk.discoverPorts();
    EXPECT_EQ(listed(walk.sortedPorts()), Ports{4});

    api.devices[1] = {std::string("COM5"), NodeKey::Fails};
    walk.discoverPorts();
    EXPECT_EQ(listed(walk.sortedPorts()), Ports{4});
    EXPECT_EQ(api.devRegKeyCalls, 1) << "a failed configuration-manager call is not retried another way";

    api.devices[1] = {std::nullopt}; // no "portname" value
    walk.discoverPorts();
    EXPECT_EQ(listed(walk.sortedPorts()), Ports{4});
    EXPECT_EQ(api.keysOpened, api.keysClosed);
}

TEST_F(SetupPortWalkTest, NothingIsListedWithoutTheClassOrTheConfigurationManager) {
    const auto check = [](ScriptedSetupApi& scripted, const char* why) {
        scripted.add("COM1");
        SetupPortWalk failing(scripted);
        failing.discoverPorts();
        EXPECT_EQ(failing.sortedPorts()[0], 0) << why;
        EXPECT_EQ(scripted.librariesLoaded, scripted.librariesFreed) << why;
        EXPECT_EQ(scripted.setsDestroyed, 1) << why;
    };
    ScriptedSetupApi noClass;
    noClass.classCount = 0;
    check(noClass, "no class identifier");
    ScriptedSetupApi noSet;
    noSet.classDevicesFail = true;
    check(noSet, "no device set");
    ScriptedSetupApi noLibrary;
    noLibrary.libraryLoads = false;
    check(noLibrary, "cfgmgr32 missing");
    ScriptedSetupApi noProcedure;
    noProcedure.procedureFound = false;
    check(noProcedure, "CM_Open_DevNode_Key missing");
    EXPECT_EQ(noProcedure.librariesLoaded, 1);
}

TEST_F(SetupPortWalkTest, EachDiscoveryStartsAfresh) {
    EXPECT_EQ(discover({"COM3", "COM1"}), (Ports{1, 3}));
    api.devices = {{std::string("COM2")}};
    walk.discoverPorts();
    EXPECT_EQ(listed(walk.sortedPorts()), Ports{2});
    EXPECT_EQ(listed(walk.rawPorts()), Ports{2});
    EXPECT_EQ(api.visited.back(), 1u) << "the device index starts again at 0";
}

TEST(WindowsPortNames, ShortFormUpToNineBackslashFormAbove) {
    EXPECT_EQ(windowsPortPath(5), "COM5:");
    EXPECT_EQ(windowsPortPath(9), "COM9:");
    EXPECT_EQ(windowsPortPath(10), "\\\\.\\COM10");
    EXPECT_EQ(windowsPortPath(255), "\\\\.\\COM255");
    EXPECT_EQ(windowsPortName(10), "COM10");
}
