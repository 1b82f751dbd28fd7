#include "cli/RunSetup.h"

#include "app/FilePortMemory.h"
#include "serial/Platform.h"

namespace orvexa {

RunSetup::RunSetup(const CliOptions& options)
    : clock(makeSystemClock()), ports(options), firmwarePath_(options.firmware),
      traceName_(options.traceFile), bundleAsked_(!options.supportBundle.empty()) {}

bool RunSetup::loadFirmware(std::FILE* err) {
    return firmwarePath_.empty() || firmware.load(firmwarePath_, err);
}

bool RunSetup::openTrace(std::FILE* err) {
    if (traceName_.empty()) {
        return true;
    }
    traceFile_.open(traceName_, std::ios::out | std::ios::trunc);
    if (!traceFile_) {
        std::fprintf(err, "orvexa-cli: cannot write the trace file '%s'\n", traceName_.c_str());
        return false;
    }
    trace_ = std::make_unique<WireTrace>(traceFile_, *clock);
    return true;
}

void RunSetup::rememberPorts(AppContext& app, const CliOptions& options) {
    if (options.noRemember) {
        return;
    }
    app.rememberPortsWith(
        std::make_unique<FilePortMemory>(userSettingsFolder(), [this](const std::string& text) {
            if (trace_) {
                trace_->event("memory", text);
            }
        }));
}

std::unique_ptr<SerialChannel> RunSetup::channel(const std::string& label) {
    std::unique_ptr<SerialChannel> system = makeSerialChannel();
    if (!trace_) {
        return system;
    }
    return std::make_unique<TracingChannel>(std::move(system), *trace_, label);
}

CliSession::Ground RunSetup::ground() {
    return {*clock, ports.discovery(), [this](const char* role) { return channel(role); }};
}

} // namespace orvexa
