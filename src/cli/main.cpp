// orvexa-cli: the upgrade workflow without a window, for scripts and fleets.
#include "app/ExitCodes.h"
#include "cli/CliCommands.h"
#include "cli/DoctorReport.h"
#include "cli/Interrupts.h"
#include "cli/Options.h"
#include "cli/ScreenRelay.h"
#include "cli/SupportBundleCommand.h"
#include "doctor/Doctor.h"

#include "ProgramVersion.h"

#include <cstdio>
#include <string>

namespace {

int run(int argc, char** argv) {
    using namespace orvexa;
    CliOptions options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "orvexa-cli: %s\n", error.c_str());
        printUsage(stderr);
        return exitcode::kUsage;
    }
    if (options.help) {
        printUsage(stdout);
        return exitcode::kDone;
    }
    if (options.version) {
        std::printf("orvexa-cli %s\n", kProgramVersion);
        return exitcode::kDone;
    }
    if (options.info || options.doctor || options.listPorts) {
        const int exitCode = options.info     ? printFirmwareInfo(options.firmware, stdout, stderr)
                             : options.doctor ? runDoctor(examineMachine(namedAndExtraPorts(options)),
                                                          options.json, stdout, terminalColumns(stdout))
                                              : listPorts(options, stdout);
        // A bundle asked for beside them holds the machine alone: they ran no scanner session to record.
        if (!options.supportBundle.empty() &&
            supportBundleAlone(options, stdout, stderr) != exitcode::kDone) {
            return exitcode::kNotDone;
        }
        return exitCode;
    }
    if (!options.supportBundle.empty() && !bundleGoesWithRun(options)) {
        return supportBundleAlone(options, stdout, stderr);
    }
    return runWorkflow(options, stdout, stderr, stdin);
}

} // namespace

int main(int argc, char** argv) {
    // From the first line on, what happens to the output (a reader gone, a paused terminal) stays there.
    const orvexa::ScreenRelay screen;
    return run(argc, argv);
}
