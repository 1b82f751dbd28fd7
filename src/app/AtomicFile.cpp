#include "app/AtomicFile.h"

#include <cerrno>
#include <fstream>
#include <system_error>

namespace orvexa {

namespace fs = std::filesystem;

std::optional<std::string> writeFileAtomically(const fs::path& target, const fs::path& part,
                                               const std::string& text) {
    std::error_code error;
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (!out) {
            return "cannot create '" + part.string() + "': " + std::generic_category().message(errno);
        }
        out << text;
        out.close();
        if (!out) {
            fs::remove(part, error);
            return "cannot write '" + part.string() + "' (is the disk full?)";
        }
    }
    fs::rename(part, target, error);
    if (error) {
        const std::string why = "cannot write '" + target.string() + "': " + error.message();
        fs::remove(part, error);
        return why;
    }
    return std::nullopt;
}

} // namespace orvexa
