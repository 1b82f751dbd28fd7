// What every kind of run of orvexa-cli opens first (the firmware, the wire trace when asked for, the
// channels that write into it, the ports to probe), and the kinds of run on it, each in a file of its
// own: a single run (SingleRun.cpp), a fleet (FleetCommand.cpp), a station (StationCommand.cpp).
#pragma once

#include "app/AppContext.h"
#include "cli/CliPorts.h"
#include "cli/CliSession.h"
#include "cli/Options.h"
#include "cli/RunFirmware.h"
#include "serial/TracingChannel.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace orvexa {

class RunSetup {
public:
    explicit RunSetup(const CliOptions& options);

    // The run's wire trace is kept in memory only for a support bundle that will tell of it.
    RunMemory::Limits memoryLimits() const {
        return bundleAsked_ ? RunMemory::Limits{} : RunMemory::Limits{.traceBytes = 0};
    }
    // False, with the message printed, when --firmware names no usable catalogue.
    bool loadFirmware(std::FILE* err);
    // False, with the message printed, when the trace file cannot be written.
    bool openTrace(std::FILE* err);
    // The remembered port of a single run, unless --no-remember; its notes go to the wire trace.
    void rememberPorts(AppContext& app, const CliOptions& options);
    // A channel to a port of this machine, writing into the wire trace under label when there is one.
    std::unique_ptr<SerialChannel> channel(const std::string& label);
    // What a single run's session runs on: this machine's clock, the run's ports and channels.
    CliSession::Ground ground();

    std::unique_ptr<Clock> clock;
    CliPorts ports;
    RunFirmware firmware;

private:
    std::string firmwarePath_;
    std::string traceName_;
    bool bundleAsked_;
    std::ofstream traceFile_;
    std::unique_ptr<WireTrace> trace_;
};

// A single run: Step 1, then Step 2, then Step 3 (not after --check), on a terminal or with --json.
int runSingle(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err, std::FILE* in);
// --all: every port at once.
int runFleet(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err);
// --watch: a scanner on each port that appears, until Ctrl-C.
int runStation(const CliOptions& options, RunSetup& setup, std::FILE* out, std::FILE* err);

} // namespace orvexa
