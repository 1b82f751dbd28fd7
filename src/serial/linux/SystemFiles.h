// Reading the small text files of /sys, /proc and /etc without trusting them: a file may vanish between
// listing and reading (a process that ends), be unreadable, or be far longer than anything it should hold.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace orvexa {

// At most limit bytes of a regular file, and whether there was more; nullopt when it is missing,
// unreadable or not a regular file. Sysfs reports every attribute as 4096 bytes long, so the size is told
// by reading, never by asking.
struct BoundedText {
    std::string text;
    bool cut = false;
};
std::optional<BoundedText> readBounded(const std::filesystem::path& file, std::size_t limit);

// The first line of such a file, without its newline; nullopt as above, and when it is longer than limit.
std::optional<std::string> readLine(const std::filesystem::path& file, std::size_t limit);

} // namespace orvexa
