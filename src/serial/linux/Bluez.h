// The Linux Bluetooth stack (BlueZ), asked over the system D-Bus: its view of adapters and paired devices,
// the connection to a scanner's serial port profile, and its notices of devices paired or removed. The bus
// is the one DBUS_SYSTEM_BUS_ADDRESS names, or the system's own. Every call is bounded; a build without a
// D-Bus library answers NotBuilt everywhere (NoBluez.cpp).
#pragma once

#include "serial/BluetoothPorts.h"

#include <cstdint>
#include <memory>
#include <string>

namespace orvexa {

// How long a question to the stack may take before it counts as unanswered.
inline constexpr std::uint32_t kBluezCallMs = 2000;
// How long a connection may take to come up: longer than the stack's own page time-out (about 5 s, plus
// the service search), so that the stack's reason is the one reported when a scanner is out of reach.
inline constexpr std::uint32_t kBluetoothConnectMs = 20000;

BluetoothView readBluetoothView();

// Whether this kernel offers Bluetooth sockets at all (containers often do not).
bool kernelHasBluetoothSockets();

// Connected sockets to scanners' serial port profiles, one per scanner at a time, for the whole process:
// the stack hands each new connection to the one profile this process registers.
class BluetoothConnector {
public:
    static BluetoothConnector& instance();
    virtual ~BluetoothConnector() = default;
    // A connected stream socket to the scanner at address, or -1 with failure saying why.
    virtual int connect(const std::string& address, ConnectFailure& failure) = 0;
    // Shuts the socket down and closes it; the scanner is free for the next connection at once.
    virtual void release(const std::string& address, int fd) = 0;
    // The reason of the last failed connect to address, or empty.
    virtual std::string lastReason(const std::string& address) const = 0;
};

// Notice of devices paired, changed or removed, for a station's wait: a descriptor to poll, or -1 when
// there is none (no bus, no support).
class BluetoothWatch {
public:
    static std::unique_ptr<BluetoothWatch> open();
    virtual ~BluetoothWatch() = default;
    virtual int descriptor() const = 0;
    // Reads every notice waiting; true when any was about devices or adapters.
    virtual bool drain() = 0;
};

} // namespace orvexa
