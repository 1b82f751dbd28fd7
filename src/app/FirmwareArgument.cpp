#include "app/FirmwareArgument.h"

namespace orvexa {

namespace {

constexpr const char* kOption = "--firmware";
constexpr const char* kMissingPath = "--firmware needs a catalogue folder or an image";

} // namespace

FirmwareArgument firmwareArgument(const std::vector<std::string>& arguments) {
    FirmwareArgument found;
    const std::string joinedForm = std::string(kOption) + "=";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::optional<std::string> path;
        if (argument == kOption) {
            if (i + 1 < arguments.size()) {
                path = arguments[++i];
            }
        } else if (argument.rfind(joinedForm, 0) == 0) {
            path = argument.substr(joinedForm.size());
        } else {
            continue;
        }
        if (!path || path->empty()) {
            return FirmwareArgument{std::nullopt, kMissingPath};
        }
        found.path = std::move(path);
    }
    return found;
}

} // namespace orvexa
