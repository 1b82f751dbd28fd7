#include "serial/linux/SystemFiles.h"

#include <fstream>
#include <system_error>

namespace orvexa {

std::optional<BoundedText> readBounded(const std::filesystem::path& file, std::size_t limit) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        return std::nullopt; // missing; or a fifo or directory in a tree that is not what it claims
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    BoundedText result;
    result.text.resize(limit + 1);
    in.read(result.text.data(), static_cast<std::streamsize>(result.text.size()));
    result.text.resize(static_cast<std::size_t>(in.gcount()));
    if (result.text.size() > limit) {
        result.text.resize(limit);
        result.cut = true;
    }
    return result;
}

std::optional<std::string> readLine(const std::filesystem::path& file, std::size_t limit) {
    std::optional<BoundedText> read = readBounded(file, limit);
    if (!read || read->cut) {
        return std::nullopt;
    }
    const std::size_t end = read->text.find('\n');
    if (end != std::string::npos) {
        read->text.resize(end);
    }
    return read->text;
}

} // namespace orvexa
