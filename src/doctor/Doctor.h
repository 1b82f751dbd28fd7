// The doctor: what on this machine stands between the user and a scanner, one finding per fact, each with
// what to do about it; orvexa-cli --doctor prints the findings and the support bundle carries them. Each
// OS has a doctor of its own (linux/, windows/) that examines a machine through the same roots or setup
// API layer its port discovery reads, so that tests hand it a made-up machine; nothing runs another
// program. The Windows doctor builds everywhere, and win32/ points it at this machine.
#pragma once

#include "doctor/Finding.h"
#include "serial/PortDiscovery.h"

#include <vector>

namespace orvexa {

// The doctor's findings on this machine: who may open its ports, what else grabs or holds them, the
// Bluetooth ports, the ports discovery passes over. The extra ports are examined too.
std::vector<Finding> examineMachine(const std::vector<PortInfo>& extraPorts);

} // namespace orvexa
