// The port list a test hands to Step 1: the paths given, in that order, each shown as the OS would show
// it. A test that needs the OS's advice on a port that would not open gives a hint of its own, and one
// that unplugs a port between the listing and the probe does it in afterListing.
#pragma once

#include "serial/ExtraPorts.h"
#include "serial/PortDiscovery.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvexa {

class FakePorts : public PortDiscovery {
public:
    using Hint = std::function<std::string(const PortInfo&, ChannelError)>;

    FakePorts() = default;
    explicit FakePorts(std::vector<std::string> paths, Hint hint = {})
        : paths(std::move(paths)), hint(std::move(hint)) {}

    std::vector<PortInfo> discoverPorts() override {
        std::vector<PortInfo> found;
        for (const std::string& path : paths) {
            found.push_back({path, namedPort(path).displayName, ""});
        }
        if (afterListing) {
            afterListing();
        }
        return found;
    }
    std::string accessHint(const PortInfo& port, ChannelError error) const override {
        return hint ? hint(port, error) : std::string();
    }

    std::vector<std::string> paths;
    Hint hint;
    std::function<void()> afterListing;
};

} // namespace orvexa
