// The desktop front ends' one option of their own (an addition): --firmware PATH (or --firmware=PATH), a
// catalogue folder or one image with its SHA256SUMS beside it, which replaces the carried firmware for
// the run. Every other argument is left to the toolkit, as before.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvexa {

struct FirmwareArgument {
    std::optional<std::string> path;
    std::string error; // the option given without its path
};

// From the arguments after the program's name; the last --firmware counts, as orvexa-cli's does.
FirmwareArgument firmwareArgument(const std::vector<std::string>& arguments);

} // namespace orvexa
