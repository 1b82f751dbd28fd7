// What a fleet (--all) and a station (--watch) share around their sessions: the workers on this machine,
// the board's display, the JSON events, the settings from the options, and the closing summary.
#pragma once

#include "cli/EventLog.h"
#include "cli/Fleet.h"
#include "cli/FleetBoard.h"
#include "cli/RunSetup.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace orvexa {

// Each worker a clock of its own, and channels that name their port in the trace.
WorkerPlatformFactory systemWorkers(RunSetup& setup);
// A live table on a terminal, plain lines elsewhere, nothing with --json (its events tell instead).
FleetBoard::Display displayFor(const CliOptions& options, std::FILE* err);
// With --json, the events of a fleet or a station, begun.
std::unique_ptr<EventLog> fleetEvents(const CliOptions& options, RunSetup& setup, std::FILE* out);
FleetSettings fleetSettings(const CliOptions& options, const RunFirmware& firmware);
// The closing table, and for scanners stopped mid-transfer the way back.
void printSummary(const std::vector<ScannerResult>& results, std::FILE* out);

} // namespace orvexa
