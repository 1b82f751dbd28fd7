// orvexa-cli --support-bundle FILE: alone, the bundle of this machine with no run in it; beside a run,
// the bundle written at the run's end whatever its outcome, the exit code staying the run's. A fleet
// (--all) or a station (--watch) runs many sessions at once: their bundle tells of none of them (their
// wire goes to --trace FILE).
#pragma once

#include "app/RunMemory.h"
#include "cli/Options.h"
#include "firmware/FirmwarePackage.h"
#include "serial/PortDiscovery.h"

#include <cstdio>

namespace orvexa {

// True when the options ask for a run that the bundle goes with. --support-bundle with nothing else (but
// --json or --no-remember) runs nothing: a bare orvexa-cli would ask the readiness question.
bool bundleGoesWithRun(const CliOptions& options);

// Writes the bundle when --support-bundle was given; `run` is null when there is no single run to tell
// of. Says where it went on one line (on `err` with --json, which keeps `out` for events), or why not on
// `err`. False when it was asked for and not written.
bool writeRunBundle(const CliOptions& options, PortDiscovery& discovery, const FirmwarePackage& package,
                    const RunMemory* run, std::FILE* out, std::FILE* err);

} // namespace orvexa
