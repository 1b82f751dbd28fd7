// What orvexa-cli does, one function per kind of run. Each returns the process's exit code.
#pragma once

#include "cli/Options.h"

#include "serial/PortDiscovery.h"

#include <cstdio>
#include <vector>

namespace orvexa {

// --info: the firmware, language tables and fonts the program carries.
int printCarriedInfo(std::FILE* out);
// --list-ports: the ports that Step 1 would probe, in that order.
int listPorts(const CliOptions& options, std::FILE* out);
// The ports ORVEXA_EXTRA_PORTS names, then those given with --port: what the doctor examines beside the
// ports it finds.
std::vector<PortInfo> namedAndExtraPorts(const CliOptions& options);
// --support-bundle FILE with no run beside it: the bundle of this machine alone.
int supportBundleAlone(const CliOptions& options, std::FILE* out, std::FILE* err);
// The workflow: Step 1, then Step 2, then Step 3 (not after --check), chained as Silent mode chains them.
int runWorkflow(const CliOptions& options, std::FILE* out, std::FILE* err, std::FILE* in);

} // namespace orvexa
