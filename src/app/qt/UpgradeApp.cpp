#include "UpgradeApp.h"

#include "UpgradeSession.h"
#include "serial/ExtraPorts.h"
#include "serial/Platform.h"

namespace orvexa {

int UpgradeApp::run() {
    SteadyClock clock;
    const std::unique_ptr<PortDiscovery> discovery = makePortDiscovery(extraPortsFromEnvironment());
    UpgradeSession session(clock, *discovery, makeSerialChannel(), [] { return makeSerialChannel(); });
    session.dialog().exec();
    return session.window().requestedExit().value_or(0);
}

} // namespace orvexa
