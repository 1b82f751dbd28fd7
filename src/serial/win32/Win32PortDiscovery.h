// The COM ports present on a Windows machine, found by the setup API walk, in ascending order.
#pragma once

#include "serial/PortDiscovery.h"
#include "serial/SetupPortWalk.h"
#include "serial/win32/Win32SetupApiLayer.h"

namespace orvexa {

class Win32PortDiscovery : public PortDiscovery {
public:
    std::vector<PortInfo> discoverPorts() override;

private:
    Win32SetupApiLayer layer_;
    SetupPortWalk walk_{layer_};
};

} // namespace orvexa
