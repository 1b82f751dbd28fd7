#include "UpgradeApp.h"

#include "UpgradeSession.h"
#include "app/ExitCodes.h"
#include "app/FirmwareArgument.h"
#include "serial/ExtraPorts.h"
#include "serial/Platform.h"

#include <cstdio>

namespace orvexa {

int UpgradeApp::run() {
    SteadyClock clock;
    const std::unique_ptr<PortDiscovery> discovery = makePortDiscovery(extraPortsFromEnvironment());
    UpgradeSession session(clock, *discovery, makeSerialChannel(), [] { return makeSerialChannel(); });
    if (const int refused = start(session); refused != 0) {
        return refused;
    }
    session.dialog().exec();
    return session.window().requestedExit().value_or(0);
}

int UpgradeApp::start(UpgradeSession& session) const {
    const FirmwareArgument firmware = firmwareArgument(arguments_);
    if (!firmware.error.empty()) {
        std::fprintf(stderr, "orvexa: %s\n", firmware.error.c_str());
        session.window().messageBox(firmware.error, "", box::kError);
        return exitcode::kUsage;
    }
    if (!firmware.path) {
        session.useCarriedCatalogue();
        return 0;
    }
    const FirmwareOpening opening = session.openFirmware(*firmware.path);
    for (const std::string& note : opening.notes) {
        std::fprintf(stderr, "orvexa: %s\n", note.c_str());
    }
    if (!opening.refusal.empty()) {
        // The box has said it already; a script that started the program reads it here.
        std::fprintf(stderr, "orvexa: %s\n", opening.refusal.c_str());
        return exitcode::kUsage;
    }
    return 0;
}

} // namespace orvexa
