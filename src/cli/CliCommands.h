// What orvexa-cli does, one function per kind of run, each in the file of its job: --info and --list-ports
// in InfoCommands.cpp, the run itself (single, fleet or station, see RunSetup.h) from CliCommands.cpp. Each
// returns the process's exit code.
#pragma once

#include "cli/CliPorts.h" // namedAndExtraPorts: what --doctor examines beside the ports it finds
#include "cli/Options.h"

#include <cstdio>

namespace orvexa {

// --info: the firmware, language tables and fonts the program carries.
int printCarriedInfo(std::FILE* out);
// --info: the carried firmware as printCarriedInfo says it, or every package of the catalogue that
// --firmware PATH names (exit 2 when it is refused) or that the program carries.
int printFirmwareInfo(const std::string& path, std::FILE* out, std::FILE* err);
// --list-ports: the ports that Step 1 would probe, in that order.
int listPorts(const CliOptions& options, std::FILE* out);
// --support-bundle FILE with no run beside it: the bundle of this machine alone.
int supportBundleAlone(const CliOptions& options, std::FILE* out, std::FILE* err);
// The workflow: a single run (Step 1, then Step 2, then Step 3, not after --check, chained as Silent mode
// chains them), a fleet (--all) or a station (--watch); then the support bundle when asked for.
int runWorkflow(const CliOptions& options, std::FILE* out, std::FILE* err, std::FILE* in);

} // namespace orvexa
