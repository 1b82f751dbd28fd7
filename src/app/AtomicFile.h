// A file written under another name and renamed onto its own once whole, so that a reader never sees
// half of it, nor an old one half overwritten, and a run that stops half way leaves the old one as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orvexa {

// Writes text to `part`, then renames it onto `target`. Nothing on success, else why not, in one line;
// `part` is not left behind after a failure.
std::optional<std::string> writeFileAtomically(const std::filesystem::path& target,
                                               const std::filesystem::path& part, const std::string& text);

} // namespace orvexa
