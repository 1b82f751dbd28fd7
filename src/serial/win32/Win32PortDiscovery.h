// The COM ports present on a Windows machine, found by the setup API walk, in ascending order, followed
// by the extra ports the user names.
#pragma once

#include "serial/PortDiscovery.h"
#include "serial/win32/Win32SetupApiLayer.h"
#include "serial/windows/SetupPortWalk.h"

namespace orvexa {

class Win32PortDiscovery : public PortDiscovery {
public:
    explicit Win32PortDiscovery(std::vector<PortInfo> extraPorts = {}) : extraPorts_(std::move(extraPorts)) {}

    std::vector<PortInfo> discoverPorts() override;
    std::string accessHint(const PortInfo& port, ChannelError error) const override;

private:
    Win32SetupApiLayer layer_;
    SetupPortWalk walk_{layer_};
    std::vector<PortInfo> extraPorts_;
};

} // namespace orvexa
