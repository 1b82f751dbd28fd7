// The ports a run of orvexa-cli probes: those the user named with --port, in their order, instead of the
// ports present; otherwise the system's, with those ORVEXA_EXTRA_PORTS names. The OS's advice on ports
// that cannot be opened still comes from the system's discovery.
#pragma once

#include "cli/Options.h"
#include "serial/PortDiscovery.h"

#include <memory>
#include <vector>

namespace orvexa {

class CliPorts {
public:
    explicit CliPorts(const CliOptions& options);
    PortDiscovery& discovery() { return named_ ? *named_ : *system_; }

private:
    std::unique_ptr<PortDiscovery> system_;
    std::unique_ptr<PortDiscovery> named_;
};

// The ports ORVEXA_EXTRA_PORTS names, then those given with --port: what the doctor examines beside the
// ports it finds.
std::vector<PortInfo> namedAndExtraPorts(const CliOptions& options);

} // namespace orvexa
