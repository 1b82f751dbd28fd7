#include "cli/CliCommands.h"

#include "app/ExitCodes.h"
#include "app/UpgradeDialog.h"
#include "cli/Interrupts.h"
#include "cli/TerminalWindow.h"
#include "cli/VersionReport.h"
#include "serial/ExtraPorts.h"
#include "serial/Platform.h"
#include "serial/TracingChannel.h"
#include "ui/Controls.h"

#include <fstream>
#include <memory>

namespace orvexa {

namespace {

// After a run stopped mid-transfer: what the scanner is left with, and the way back.
const char* const kStoppedMidTransferLines[] = {
    "Stopped mid-transfer: the scanner may be in its bootloader, without firmware.",
    "To recover, run the same command again: Steps 2 and 3 take the bootloader path.",
};

// The ports the user named with --port, in their order, probed instead of the ports present; the OS's
// advice on ports that cannot be opened still comes from the system's discovery.
class CliPorts {
public:
    explicit CliPorts(const CliOptions& options) : system_(makePortDiscovery(extraPortsFromEnvironment())) {
        if (!options.ports.empty()) {
            std::vector<PortInfo> named;
            for (const std::string& path : options.ports) {
                appendExtraPorts(named, {namedPort(path)});
            }
            named_ = std::make_unique<FixedPortDiscovery>(std::move(named), system_.get());
        }
    }
    PortDiscovery& discovery() { return named_ ? *named_ : *system_; }

private:
    std::unique_ptr<PortDiscovery> system_;
    std::unique_ptr<PortDiscovery> named_;
};

std::string describe(const PortInfo& port) {
    std::string text = port.path;
    if (!port.detail.empty()) {
        text += " (" + port.detail + ")";
    }
    return text;
}

// Where the GUI's port dialog would wait for a manual choice, say what was tried and why nothing answered.
void reportNoAnswer(TerminalWindow& window, const ProcessRecords& records) {
    if (records.probedPorts.empty()) {
        window.note("No serial port found: name one with --port PATH (or in ORVEXA_EXTRA_PORTS).");
        return;
    }
    window.note("No scanner answered on any port. Ports tried:");
    for (const PortProbe& probe : records.probedPorts) {
        std::string line = "  " + describe(probe.port) + ": ";
        if (probe.result == PortProbe::Result::OpenFailed) {
            line += std::string("cannot open (") + channelErrorName(probe.error) + ")";
        } else {
            line += "no answer";
        }
        window.note(line);
        if (!probe.hint.empty()) {
            window.note("    " + probe.hint);
        }
    }
}

} // namespace

int printCarriedInfo(std::FILE* out) {
    FirmwarePackage package = FirmwarePackage::carried();
    package.patchImageHeader();
    std::fprintf(out, "Identity:       %s\n", package.identity().c_str());
    std::fprintf(out, "Caption:        %s\n", package.caption().c_str());
    std::fprintf(out, "Image size:     %d bytes\n", package.imageSize());
    if (package.hasImageHeader()) {
        const auto loader = package.bootloaderVersion();
        std::fprintf(out, "Header:         classic, bootloader version %c%c\n", loader[0], loader[1]);
        std::fprintf(out, "Body length:    %u bytes\n", package.bodyLength());
        std::fprintf(out, "Body CRC:       0x%04X\n", package.bodyCrc());
    } else if (package.isUpdateContainer()) {
        std::fprintf(out, "Header:         framed-family UPDATE container\n");
    } else {
        std::fprintf(out, "Header:         none\n");
    }
    const LanguageData languages = LanguageData::carried();
    for (Language language : kLanguages) {
        std::fprintf(out, "%-15s %zu texts\n", (std::string(languageName(language)) + " table:").c_str(),
                     languages.table(language).size());
    }
    std::fprintf(out, "Korean font:    %zu bytes\n", languages.koreanFont.size());
    std::fprintf(out, "Japanese font:  %zu bytes\n", languages.japaneseFont.size());
    return exitcode::kDone;
}

int listPorts(const CliOptions& options, std::FILE* out) {
    CliPorts ports(options);
    const std::vector<PortInfo> found = ports.discovery().discoverPorts();
    if (found.empty()) {
        std::fputs("No serial ports found.\n", out);
    }
    for (const PortInfo& port : found) {
        // A path the user named is listed as given, so that a typo shows here rather than as a silent port.
        const ChannelError problem = ports.discovery().nodeProblem(port);
        std::string mark;
        if (problem == ChannelError::NoSuchPort) {
            mark = " (missing)";
        } else if (problem != ChannelError::None) {
            mark = std::string(" (") + channelErrorName(problem) + ")";
        }
        std::fprintf(out, "%-24s %-12s %s%s\n", port.path.c_str(), port.displayName.c_str(),
                     port.detail.c_str(), mark.c_str());
    }
    return exitcode::kDone;
}

int runWorkflow(const CliOptions& options, std::FILE* out, std::FILE* err, std::FILE* in) {
    Interruption interruption;
    InterruptResponse interruptResponse(interruption);
    InterruptHandlers interruptHandlers(interruptResponse);
    SteadyClock clock;
    std::ofstream traceFile;
    std::unique_ptr<WireTrace> trace;
    if (!options.traceFile.empty()) {
        traceFile.open(options.traceFile, std::ios::out | std::ios::trunc);
        if (!traceFile) {
            std::fprintf(err, "orvexa-cli: cannot write the trace file '%s'\n", options.traceFile.c_str());
            return exitcode::kUsage;
        }
        trace = std::make_unique<WireTrace>(traceFile, clock);
    }
    auto channel = [&trace](const char* label) -> std::unique_ptr<SerialChannel> {
        std::unique_ptr<SerialChannel> system = makeSerialChannel();
        if (!trace) {
            return system;
        }
        return std::make_unique<TracingChannel>(std::move(system), *trace, label);
    };

    CliPorts ports(options);
    FirmwarePackage package = FirmwarePackage::carried();
    TerminalWindow::Settings settings;
    settings.answerYes = options.yes;
    settings.askOnTerminal = isTerminal(in);
    settings.liveProgress = isTerminal(err);
    settings.echoAnswers = !isTerminal(out);
    settings.imageBytes = package.imageSize();
    settings.columns = [err] { return terminalColumns(err); };
    TerminalWindow window(out, err, in, clock, settings);

    AppContext app(
        window, clock, ports.discovery(), channel("main"), [&channel] { return channel("probe"); },
        std::move(package));
    StepContext& steps = app.steps();
    steps.stopAfterVerification = options.check;
    steps.endWhenNoPortAnswered = true;
    steps.interruption = &interruption;
    steps.beforeWriting = [&window, &steps] {
        window.note(versionReport(steps.records.deviceInfo, steps.package));
    };

    UpgradeDialog dialog(app);
    dialog.initDialog();
    window.setChecked(control::kSilentMode, options.silent);
    if (options.fonts) {
        window.setChecked(control::kDownloadFont, true);
    }

    // With Silent mode the steps chain themselves; without it they run one after another here, each only
    // when the one before reached its goal.
    dialog.step1();
    if (!options.silent && steps.outcome == Outcome::PortOpened) {
        dialog.step2();
        if (steps.outcome == Outcome::Verified && !options.check && !window.exitRequest()) {
            dialog.step3();
        }
    }
    if (steps.outcome == Outcome::PortNotFound) {
        reportNoAnswer(window, app.records());
    }
    if (steps.outcome == Outcome::Interrupted) {
        for (const char* line : kStoppedMidTransferLines) {
            window.note(line);
        }
    }
    // Step 2 ends the process with 0 on a wrong framed-family package: for a script that is a refusal.
    if (window.exitRequest()) {
        return exitcode::kNotDone;
    }
    return exitCodeFor(steps.outcome, options.check);
}

} // namespace orvexa
