// Windows: the setup API is walked again at the end of each wait. Device-change notices need a window to
// receive them, which the command-line tool has not; a walk costs milliseconds, once a second.
#include "serial/PortWatcher.h"

#include <windows.h>

namespace orvexa {

namespace {

class RescanWatcher : public PortWatcher {
public:
    explicit RescanWatcher(Clock& clock) : clock_(clock) {}
    void waitForChange(std::uint32_t maxMs) override { clock_.sleepMs(maxMs); }

private:
    Clock& clock_;
};

} // namespace

std::unique_ptr<PortWatcher> makePortWatcher(Clock& clock) {
    return std::make_unique<RescanWatcher>(clock);
}

} // namespace orvexa
