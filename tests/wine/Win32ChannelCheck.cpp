// The Windows serial channel and port walk on a real Win32 system, run by scripts/test-wine with a
// silent simulated scanner behind the named port:
//   orvexa-wine-check PORT-PATH EXPECTED-PORTS
// where EXPECTED-PORTS is what the setup API walk must list, in order: "COM5=COM5:,COM10=\\.\COM10".
// Prints one line per check and the measured time of a one-byte read on the silent line; the exit code
// is the number of failed checks.
#include "doctor/Doctor.h"
#include "serial/Platform.h"
#include "serial/win32/Win32Clock.h"
#include "serial/win32/Win32PortDiscovery.h"
#include "serial/win32/Win32SerialChannel.h"
#include "serial/win32/Win32SetupApiLayer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace orvexa;

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) {
        ++failures;
    }
}

bool runningOnWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

constexpr int kSilentReads = 25;
// A one-byte read on a silent line lasts 10 x 1 + 10 ms; the tick counter has a coarse step, and Wine
// under load adds to it, so the bounds are wide but still tell a working time-out from none at all
// (0 ms) or from a blocking read.
constexpr std::uint32_t kSilentReadLowMs = 10;
constexpr std::uint32_t kSilentReadHighMs = 80;

// The instance ID of the first present device of the "Ports" class, as the walk's layer reads it.
std::string firstPortInstanceId() {
    Win32SetupApiLayer layer;
    ClassGuid guid;
    std::uint32_t required = 0;
    if (!layer.classGuidsFromName("Ports", &guid, 1, required)) {
        return {};
    }
    const SetupApiLayer::DeviceSet set = layer.getPresentClassDevices(guid);
    DeviceRecord record;
    char id[201] = {};
    const bool read = set != SetupApiLayer::kInvalidSet && layer.enumDeviceInfo(set, 0, record) &&
                      layer.deviceInstanceId(set, record, id, sizeof id, required);
    layer.destroyDeviceInfoList(set);
    return read ? std::string(std::begin(id), std::find(std::begin(id), std::end(id), '\0')) : std::string();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: orvexa-wine-check PORT-PATH EXPECTED-PORTS\n");
        return 100;
    }
    const std::string path = argv[1];
    const std::string expected = argv[2];

    Win32PortDiscovery discovery;
    const std::vector<PortInfo> ports = discovery.discoverPorts();
    std::string listed;
    for (const PortInfo& port : ports) {
        listed += (listed.empty() ? "" : ",") + port.displayName + "=" + port.path;
    }
    check(listed == expected, "the setup API walk lists " + listed + " (expected " + expected + ")");
    // The ports registered here are ROOT\PORTS devices: the layer reads their IDs, and none has an address.
    const std::string instanceId = firstPortInstanceId();
    check(instanceId.rfind("ROOT\\PORTS\\", 0) == 0, "the first port's instance ID is " + instanceId);
    check(std::all_of(ports.begin(), ports.end(),
                      [](const PortInfo& port) { return port.deviceAddress.empty(); }),
          "no port of the walk names a Bluetooth device");

    // The doctor walks the class on its own, opening each port once and closing it: it ends, and lists
    // every port the walk found.
    const std::vector<Finding> findings = examineMachine({});
    for (const Finding& finding : findings) {
        std::printf("     doctor: %s %s: %s\n", findingLevelName(finding.level), finding.check.c_str(),
                    finding.text.c_str());
    }
    for (const PortInfo& port : ports) {
        check(std::any_of(
                  findings.begin(), findings.end(),
                  [&](const Finding& f) { return f.check == "com-port" && f.subject == port.displayName; }),
              "the doctor lists " + port.displayName);
    }
    const std::string system = operatingSystemName();
    check(system.rfind("Windows ", 0) == 0 && system.find(" build ") != std::string::npos,
          "the system is " + system);

    Win32SerialChannel channel;
    std::uint8_t byte = 0;
    check(channel.read(&byte, 1) == 0 && channel.write(&byte, 1) == 0, "a closed channel reads and writes 0");
    check(!channel.open("\\\\.\\COM219", kBaudRate, kByteSize, kNoParity, kOneStopBit, kGenericReadWrite) &&
              !channel.isOpen() && channel.lastError() == ChannelError::NoSuchPort,
          "a missing port does not open, and says so");
    // What opens by name but is no COM port is refused before anything is written to it.
    char tempDir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tempDir);
    const std::string file = std::string(tempDir) + "orvexa-not-a-port.txt";
    const std::string notes = "a user's notes\r\n";
    std::ofstream(file, std::ios::binary) << notes;
    for (const std::string& notPort : {file, std::string("NUL"), std::string(tempDir)}) {
        check(!channel.openDefault(notPort) && !channel.isOpen() &&
                  channel.lastError() == ChannelError::NotSerialPort,
              "refuses " + notPort + " as not a serial port");
    }
    std::ifstream kept(file, std::ios::binary);
    check(std::string(std::istreambuf_iterator<char>(kept), {}) == notes, "the file is unchanged");
    kept.close();
    DeleteFileA(file.c_str());

    check(channel.openDefault(path), "opens " + path);

    // Windows' serial driver refuses a second open of a port; Wine lets it through, so there the check can
    // only be reported.
    Win32SerialChannel other;
    const bool secondOpenRefused = !other.openDefault(path) && !other.isOpen();
    if (runningOnWine()) {
        std::printf("note %s\n", secondOpenRefused
                                     ? "Wine refused a second open of the port"
                                     : "Wine lets a second channel open the port (Windows does not)");
        other.close();
    } else {
        check(secondOpenRefused, "a second channel cannot open the port held by the first");
    }

    Win32Clock clock;
    std::uint32_t longest = 0;
    std::uint32_t shortest = ~0u;
    const std::uint32_t start = clock.tickMs();
    int received = 0;
    for (int i = 0; i < kSilentReads; ++i) {
        const std::uint32_t before = clock.tickMs();
        received += channel.read(&byte, 1);
        const std::uint32_t took = clock.tickMs() - before;
        longest = std::max(longest, took);
        shortest = std::min(shortest, took);
    }
    const std::uint32_t average = (clock.tickMs() - start) / kSilentReads;
    std::printf("silent 1-byte read: average %u ms, shortest %u ms, longest %u ms over %d reads\n", average,
                shortest, longest, kSilentReads);
    check(received == 0, "nothing arrives on the silent line");
    check(average >= kSilentReadLowMs && average <= kSilentReadHighMs,
          "a silent 1-byte read returns after about 20 ms");

    // A failed open releases the port the channel held: the other channel can then take it.
    check(!channel.open("\\\\.\\COM219", kBaudRate, kByteSize, kNoParity, kOneStopBit, kGenericReadWrite) &&
              !channel.isOpen(),
          "a failed open leaves the channel closed");
    check(other.openDefault(path), "the port it held is free again");
    other.close();
    other.close();
    check(!other.isOpen(), "close twice is harmless");
    {
        Win32SerialChannel scoped;
        scoped.openDefault(path);
    }
    check(other.openDefault(path), "destroying an open channel releases the port");
    return failures;
}
