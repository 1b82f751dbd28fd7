// The remembered port, an addition to Step 1: the port on which Step 1 last succeeded is probed first the
// next time, then the others in the usual order without it. On a PC with many serial ports (two for every
// paired Bluetooth device, some of which block for seconds on open) this saves most of a small upgrade's
// Step 1. Nothing else about Step 1 changes, and a remembered port that is gone costs nothing.
#pragma once

#include "serial/PortDiscovery.h"

#include <string>
#include <vector>

namespace orvexa {

class PortMemory {
public:
    virtual ~PortMemory() = default;
    // The stable name of the remembered port; empty when there is none (or it could not be read).
    virtual std::string recall() = 0;
    virtual void remember(const PortInfo& port) = 0;
};

// What stays the same when the port comes back: its stable name where the OS gives one, else its path.
std::string stableNameOf(const PortInfo& port);

// The ports in the usual order, with the remembered one (by stable name or path) moved to the front.
std::vector<PortInfo> probeOrder(std::vector<PortInfo> ports, const std::string& remembered);

} // namespace orvexa
