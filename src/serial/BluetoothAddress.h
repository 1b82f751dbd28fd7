// Bluetooth device addresses as each OS names them, brought to one form so that the ports of one scanner
// can be told apart from the ports of two: six upper-case hex pairs joined by colons ("00:11:22:AA:BB:CC").
// What is not such an address comes back empty, as unknown; so does the all-zero address, which names no
// device (an incoming port before anyone has connected), since two such ports need not reach one scanner.
#pragma once

#include <string>
#include <string_view>

namespace orvexa {

// The address as text, either case: "00:11:22:aa:bb:cc", as Linux's rfcomm shows it.
std::string bluetoothAddressFromText(std::string_view text);

// The remote device's address in the instance ID Windows gives a Bluetooth serial port: the twelve hex
// digits before "_C" in its last segment,
//   BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\7&1A2B3C4D&0&001122334455_C00000000.
// Any other device (USB\VID_..., ACPI\...) has none.
std::string bluetoothAddressFromInstanceId(std::string_view instanceId);

// True for any Bluetooth serial port (BTHENUM\...), whichever way it runs.
bool isBluetoothPortInstance(std::string_view instanceId);
// True for an incoming Bluetooth port: one that waits for a device to call, and so never answers a probe.
// Its ID names the all-zero address, "7&1A2B3C4D&0&000000000000_00000000", since no device is behind it.
bool isIncomingBluetoothPort(std::string_view instanceId);

} // namespace orvexa
