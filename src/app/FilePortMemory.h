// The remembered port kept in a small file of the user's: Linux under $XDG_CONFIG_HOME/orvexa/ (by default
// ~/.config/orvexa/), Windows under the user's application-data folder. The file holds a header line and
// the port's stable name. A file that cannot be read or written, or holds anything else, is ignored: Step 1
// then probes in the usual order, with no message box; the reason goes to the note function (the CLI's
// wire trace).
#pragma once

#include "steps/PortMemory.h"

#include <functional>
#include <string>

namespace orvexa {

class FilePortMemory : public PortMemory {
public:
    static constexpr const char* kFileName = "remembered-port";

    // folder: where the file lives; empty: nothing is remembered.
    explicit FilePortMemory(std::string folder, std::function<void(const std::string&)> note = {})
        : folder_(std::move(folder)), note_(std::move(note)) {}

    std::string recall() override;
    void remember(const PortInfo& port) override;

private:
    void say(const std::string& text) const;

    std::string folder_;
    std::function<void(const std::string&)> note_;
};

} // namespace orvexa
