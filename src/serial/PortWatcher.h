// How a station learns that serial ports may have come or gone: the OS's own notice where it gives one
// (Linux: udev's monitor of the tty subsystem), else a rescan at the end of each wait (Windows: the setup
// API is cheap to walk once a second; extra ports and pseudo-terminals announce nothing anywhere).
#pragma once

#include "serial/Clock.h"

#include <cstdint>
#include <memory>

namespace orvexa {

class PortWatcher {
public:
    virtual ~PortWatcher() = default;
    // Returns when the OS says a port may have come or gone, or after maxMs at the latest; a wait with no
    // notice to wait for is the clock's.
    virtual void waitForChange(std::uint32_t maxMs) = 0;
};

std::unique_ptr<PortWatcher> makePortWatcher(Clock& clock);

} // namespace orvexa
