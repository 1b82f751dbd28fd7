// What orvexa-cli does, one function per kind of run. Each returns the process's exit code.
#pragma once

#include "cli/Options.h"

#include <cstdio>

namespace orvexa {

// --info: the firmware, language tables and fonts the program carries.
int printCarriedInfo(std::FILE* out);
// --list-ports: the ports that Step 1 would probe, in that order.
int listPorts(const CliOptions& options, std::FILE* out);
// --support-bundle FILE with no run beside it: the bundle of this machine alone.
int supportBundleAlone(const CliOptions& options, std::FILE* out, std::FILE* err);
// The workflow: Step 1, then Step 2, then Step 3 (not after --check), chained as Silent mode chains them.
int runWorkflow(const CliOptions& options, std::FILE* out, std::FILE* err, std::FILE* in);

} // namespace orvexa
