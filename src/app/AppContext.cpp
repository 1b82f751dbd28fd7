#include "app/AppContext.h"

namespace orvexa {

AppContext::AppContext(DialogWindow& window, Clock& clock, PortDiscovery& discovery,
                       std::unique_ptr<SerialChannel> mainChannel, ChannelFactory makeProbeChannel,
                       FirmwarePackage package, LanguageData languages)
    : package_(std::move(package)), languages_(std::move(languages)), mainChannel_(std::move(mainChannel)),
      steps_{window,   *mainChannel_, clock,   discovery, std::move(makeProbeChannel),
             package_, languages_,    records_} {}

} // namespace orvexa
