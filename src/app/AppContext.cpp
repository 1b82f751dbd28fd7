#include "app/AppContext.h"

namespace orvexa {

AppContext::AppContext(DialogWindow& window, Clock& clock, PortDiscovery& discovery,
                       std::unique_ptr<SerialChannel> mainChannel, ChannelFactory makeProbeChannel,
                       FirmwarePackage package, LanguageData languages, RunMemory::Limits memoryLimits)
    : package_(std::move(package)), languages_(std::move(languages)), runMemory_(clock, memoryLimits),
      recordingWindow_(window, runMemory_), mainChannel_(runMemory_.traced(std::move(mainChannel), "main")),
      steps_{recordingWindow_, *mainChannel_, clock,   discovery, tracedProbes(std::move(makeProbeChannel)),
             package_,         languages_,    records_} {}

void AppContext::useCatalogue(const FirmwareCatalogue& catalogue) {
    if (catalogue.entries().size() == 1) {
        package_ = catalogue.entries().front().package;
        steps_.catalogue = nullptr;
        return;
    }
    steps_.catalogue = &catalogue;
}

ChannelFactory AppContext::tracedProbes(ChannelFactory make) {
    if (!make) {
        return make; // no probe channels: Step 1 sees none either way
    }
    return [this, make = std::move(make)] { return runMemory_.traced(make(), "probe"); };
}

} // namespace orvexa
