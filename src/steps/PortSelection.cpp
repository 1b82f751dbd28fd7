#include "steps/PortSelection.h"

#include "device/CommandLink.h"
#include "steps/StepTexts.h"
#include "steps/Steps.h"
#include "ui/Controls.h"

namespace orvexa {

namespace {

constexpr const char* kReadyCaption = "Are you ready?";

} // namespace

std::string openDoneText(const PortInfo& port) {
    return port.displayName + ": Open Done!!!";
}

std::string openFailedText(const PortInfo& port) {
    return "Can't open " + port.displayName + "!!! Please try other port";
}

PortSelectDialog::PortSelectDialog(StepContext& ctx)
    : ctx_(ctx), probeChannel_(ctx.makeProbeChannel ? ctx.makeProbeChannel() : nullptr) {}

bool PortSelectDialog::probe(const PortInfo& port) {
    PortProbe report{port, PortProbe::Result::NoAnswer, ChannelError::None, {}};
    bool answered = false;
    // A port that cannot be opened (absent, held by another program or by our own main channel) is
    // skipped; only the report keeps why, for a front end that explains an empty search.
    if (!probeChannel_->openDefault(port.path)) {
        report.result = PortProbe::Result::OpenFailed;
        report.error = probeChannel_->lastError();
        report.hint = ctx_.discovery.accessHint(port, report.error);
    } else if (probeDevice(*probeChannel_, ctx_.clock)) {
        report.result = PortProbe::Result::Answered;
        answered = true;
    }
    probeChannel_->close();
    ctx_.records.probedPorts.push_back(report);
    return answered;
}

int PortSelectDialog::doModal() {
    ProcessRecords& records = ctx_.records;
    records.sortedPorts = ctx_.discovery.discoverPorts();
    records.probedPorts.clear();
    if (probeChannel_) {
        const std::string remembered = ctx_.portMemory ? ctx_.portMemory->recall() : std::string();
        for (const PortInfo& port : probeOrder(records.sortedPorts, remembered)) {
            if (probe(port)) {
                records.selectedPort = port;
                return kIdOk;
            }
        }
    }
    const std::optional<std::size_t> choice = ctx_.window.runPortDialog(records.sortedPorts);
    if (!choice || *choice >= records.sortedPorts.size()) {
        return kIdCancel;
    }
    portIndex_ = static_cast<int>(*choice);
    records.selectedPort = records.sortedPorts[*choice];
    return kIdOk;
}

void portSelection(StepContext& ctx) {
    DialogWindow& window = ctx.window;
    PortSelectDialog dialog(ctx);

    if (!window.isChecked(control::kSilentMode) &&
        window.messageBox(kReadyText, kReadyCaption, box::kQuestion) == kIdNo) {
        ctx.outcome = Outcome::Cancelled;
        return;
    }

    window.setControlText(control::kPortResult, "");
    window.setControlText(control::kStatus, "");
    // Whichever port ends up open, no scanner on it has been verified yet.
    ctx.records.verifiedOnOpenPort = false;
    window.enableControl(control::kStep3, false);

    if (dialog.doModal() == kIdOk) {
        const PortInfo port = ctx.records.selectedPort;
        if (!ctx.channel.openDefault(port.path)) {
            std::string text = openFailedText(port);
            const std::string hint = ctx.discovery.accessHint(port, ctx.channel.lastError());
            if (!hint.empty()) {
                text += "\r\n" + hint; // an added line; the message itself stays as users know it
            }
            window.messageBox(text, "", box::kOk);
            ctx.outcome = Outcome::PortOpenFailed;
            return;
        }
        window.setControlText(control::kPortResult, openDoneText(port));
        ctx.outcome = Outcome::PortOpened;
        if (ctx.portMemory) {
            ctx.portMemory->remember(port);
        }
    } else {
        ctx.outcome = Outcome::PortNotFound;
    }

    window.enableControl(control::kStep2, true);
    window.enableControl(control::kPortResult, false);

    if (window.isChecked(control::kSilentMode)) {
        if (ctx.outcome == Outcome::PortNotFound && ctx.endWhenNoPortAnswered) {
            return;
        }
        window.repaint();
        verifyDevice(ctx);
    }
}

} // namespace orvexa
