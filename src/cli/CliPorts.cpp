#include "cli/CliPorts.h"

#include "serial/ExtraPorts.h"
#include "serial/Platform.h"

namespace orvexa {

namespace {

// The ports given with --port, in the order given, without repeats.
std::vector<PortInfo> namedPorts(const CliOptions& options) {
    std::vector<PortInfo> named;
    for (const std::string& path : options.ports) {
        appendExtraPorts(named, {namedPort(path)});
    }
    return named;
}

} // namespace

CliPorts::CliPorts(const CliOptions& options) : system_(makePortDiscovery(extraPortsFromEnvironment())) {
    if (!options.ports.empty()) {
        named_ = std::make_unique<FixedPortDiscovery>(namedPorts(options), system_.get());
    }
}

std::vector<PortInfo> namedAndExtraPorts(const CliOptions& options) {
    std::vector<PortInfo> ports = extraPortsFromEnvironment();
    appendExtraPorts(ports, namedPorts(options));
    return ports;
}

} // namespace orvexa
