// Everything one run of the tool holds once per process: the records the steps fill (what the scanner
// reported, the status text, the selected port and the port lists), the carried firmware, language tables
// and fonts, and the main dialog's device channel. A front end makes one at start; a test makes a fresh
// one for each scenario. The steps see it through the StepContext built here.
//
// The steps talk to the front end's window through a recording one, and every channel traces into the
// run memory, so that a support bundle can tell of the last run whichever front end made the context.
#pragma once

#include "app/RecordingWindow.h"
#include "app/RunMemory.h"
#include "steps/StepContext.h"

#include <memory>

namespace orvexa {

class AppContext {
public:
    // The main channel starts closed; Step 1 opens it and it is closed when the context goes.
    AppContext(DialogWindow& window, Clock& clock, PortDiscovery& discovery,
               std::unique_ptr<SerialChannel> mainChannel, ChannelFactory makeProbeChannel,
               FirmwarePackage package = FirmwarePackage::carried(),
               LanguageData languages = LanguageData::carried(), RunMemory::Limits memoryLimits = {});
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    StepContext& steps() { return steps_; }
    ProcessRecords& records() { return records_; }
    SerialChannel& mainChannel() { return *mainChannel_; }
    FirmwarePackage& package() { return package_; }
    const LanguageData& languages() const { return languages_; }
    // The recording window in front of the front end's own.
    DialogWindow& window() { return steps_.window; }
    RunMemory& runMemory() { return runMemory_; }
    const RunMemory& runMemory() const { return runMemory_; }
    // Step 1 probes the remembered port first and remembers the one it opens (an addition); without it,
    // the usual order and nothing kept.
    // A catalogue (an addition), which the caller keeps for the context's life (a fleet's workers share
    // one): with several packages Step 2 chooses the session's package from it; one package simply becomes
    // the session's package, and nothing is chosen.
    void useCatalogue(const FirmwareCatalogue& catalogue);
    const FirmwareCatalogue* catalogue() const { return steps_.catalogue; }
    void rememberPortsWith(std::unique_ptr<PortMemory> memory) {
        portMemory_ = std::move(memory);
        steps_.portMemory = portMemory_.get();
    }

private:
    ChannelFactory tracedProbes(ChannelFactory make);

    ProcessRecords records_;
    FirmwarePackage package_;
    LanguageData languages_;
    RunMemory runMemory_;
    RecordingWindow recordingWindow_;
    std::unique_ptr<SerialChannel> mainChannel_;
    std::unique_ptr<PortMemory> portMemory_;
    StepContext steps_;
};

} // namespace orvexa
