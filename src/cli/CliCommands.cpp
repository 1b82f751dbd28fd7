#include "cli/CliCommands.h"

#include "app/ExitCodes.h"
#include "cli/RunSetup.h"
#include "cli/SupportBundleCommand.h"

namespace orvexa {

int supportBundleAlone(const CliOptions& options, std::FILE* out, std::FILE* err) {
    CliPorts ports(options);
    return writeRunBundle(options, ports.discovery(), FirmwarePackage::carried(), nullptr, out, err)
               ? exitcode::kDone
               : exitcode::kNotDone;
}

int runWorkflow(const CliOptions& options, std::FILE* out, std::FILE* err, std::FILE* in) {
    RunSetup setup(options);
    // A catalogue is checked whole before any port is opened, and before a trace file is written.
    if (!setup.loadFirmware(err) || !setup.openTrace(err)) {
        return exitcode::kUsage;
    }
    if (options.all || options.watch) {
        const int exitCode =
            options.all ? runFleet(options, setup, out, err) : runStation(options, setup, out, err);
        writeRunBundle(options, setup.ports.discovery(), setup.firmware.package(), nullptr, out, err);
        return exitCode;
    }
    return runSingle(options, setup, out, err, in);
}

} // namespace orvexa
