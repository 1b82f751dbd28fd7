#include "app/FilePortMemory.h"
#include "app/AtomicFile.h"

#include <filesystem>
#include <fstream>

namespace orvexa {

namespace {

namespace fs = std::filesystem;

constexpr char kHeader[] = "orvexa remembered port 1";
// A port's name is a path; anything longer than this is not ours.
constexpr std::size_t kLongestName = 1024;

bool printable(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

} // namespace

void FilePortMemory::say(const std::string& text) const {
    if (note_) {
        note_(text);
    }
}

std::string FilePortMemory::recall() {
    if (folder_.empty()) {
        return {};
    }
    const fs::path file = fs::path(folder_) / kFileName;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return {}; // nothing remembered yet
    }
    std::string header;
    std::string name;
    // getline stops at the bound: a huge file is read no further than a name could be long.
    char line[kLongestName + 2] = {};
    if (in.getline(line, sizeof line)) {
        header = line;
    }
    if (in.getline(line, sizeof line)) {
        name = line;
    }
    if (header != kHeader || name.empty() || name.size() > kLongestName || !printable(name)) {
        say("remembered port: " + file.string() + " holds no port we wrote; probing in the usual order");
        return {};
    }
    say("remembered port: " + name + " is probed first");
    return name;
}

void FilePortMemory::remember(const PortInfo& port) {
    const std::string name = stableNameOf(port);
    if (folder_.empty() || name.empty() || name.size() > kLongestName || !printable(name)) {
        return;
    }
    std::error_code error;
    fs::create_directories(folder_, error);
    const fs::path file = fs::path(folder_) / kFileName;
    const fs::path written = fs::path(folder_) / (std::string(kFileName) + ".new");
    // Replaced whole: a run that stops half way never leaves half a name behind.
    if (const auto failure = writeFileAtomically(file, written, std::string(kHeader) + '\n' + name + '\n')) {
        say("remembered port: " + *failure);
    }
}

} // namespace orvexa
