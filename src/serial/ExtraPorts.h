// Ports the user names: the ports of ORVEXA_EXTRA_PORTS, listed after the discovered ones, and the ports
// of orvexa-cli's --port, probed instead of discovery. Either way a port no driver announces (the
// pseudo-terminal of rdq-sim, a socat link) can be probed like any other.
//
// ORVEXA_EXTRA_PORTS is a deliberate addition: the tool otherwise reads no environment variable. It is
// how the GUI, which has no command line of its own, is pointed at rdq-sim.
#pragma once

#include "serial/PortDiscovery.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvexa {

inline constexpr const char* kExtraPortsVariable = "ORVEXA_EXTRA_PORTS";

// A port known only by its path. Its name in messages is the path without "/dev/" ("pts/3"), or the
// last part of any other path ("COM10" of "\\.\COM10", a trailing colon dropped).
PortInfo namedPort(const std::string& path);

// A colon-separated list of paths; empty entries and repeats are dropped, the order is kept.
std::vector<PortInfo> parseExtraPorts(std::string_view list);

// The ports of ORVEXA_EXTRA_PORTS, or none when it is not set.
std::vector<PortInfo> extraPortsFromEnvironment();

// Appends the extra ports that are not listed already (by path) to the discovered ones.
void appendExtraPorts(std::vector<PortInfo>& ports, const std::vector<PortInfo>& extra);

// A discovery that finds exactly the ports it was given, in that order (orvexa-cli --port).
class FixedPortDiscovery : public PortDiscovery {
public:
    FixedPortDiscovery(std::vector<PortInfo> ports, const PortDiscovery* hints = nullptr)
        : ports_(std::move(ports)), hints_(hints) {}

    std::vector<PortInfo> discoverPorts() override { return ports_; }
    // The OS's own advice and look at the node still apply to a port the user named.
    std::string accessHint(const PortInfo& port, ChannelError error) const override {
        return hints_ ? hints_->accessHint(port, error) : std::string();
    }
    ChannelError nodeProblem(const PortInfo& port) const override {
        return hints_ ? hints_->nodeProblem(port) : ChannelError::None;
    }

private:
    std::vector<PortInfo> ports_;
    const PortDiscovery* hints_;
};

} // namespace orvexa
