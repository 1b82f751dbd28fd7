#include "fonts/LanguagePage.h"

#include <algorithm>

namespace orvexa {

namespace {

// Packing stops at the first empty text, as the scanner's own end slot would.
std::size_t packedTextCount(const LanguageTable& table) {
    const auto end =
        std::find_if(table.begin(), table.end(), [](const std::string& text) { return text.empty(); });
    return static_cast<std::size_t>(end - table.begin());
}

} // namespace

std::optional<std::string> languageTableProblem(const LanguageTable& table, std::uint32_t pageSize,
                                                const std::string& name) {
    const std::string prefix = "The " + name + " language table can't be downloaded: ";
    if (pageSize > kPageBufferSize) {
        return prefix + "its page of " + std::to_string(pageSize) + " bytes is larger than " +
               std::to_string(kPageBufferSize) + ".";
    }
    const std::size_t count = packedTextCount(table);
    for (std::size_t n = 0; n < count; ++n) {
        if (table[n].size() > kLongestText) {
            return prefix + "text " + std::to_string(n) + " is " + std::to_string(table[n].size()) +
                   " bytes long, and a text may have at most " + std::to_string(kLongestText) + ".";
        }
    }
    const std::size_t needed = (count + 1) * kSlotSize; // the texts and the end slot
    if (needed > pageSize) {
        return prefix + "its " + std::to_string(count) + " texts need " + std::to_string(needed) +
               " bytes, and a page holds " + std::to_string(pageSize) + ".";
    }
    return std::nullopt;
}

bool packLanguagePage(LanguagePage& page, const LanguageTable& table, std::uint32_t pageSize) {
    if (languageTableProblem(table, pageSize, "")) {
        return false;
    }
    std::fill(page.begin(), page.begin() + pageSize, kErasedByte);
    std::size_t offset = 0;
    const std::size_t count = packedTextCount(table);
    for (std::size_t n = 0; n < count; ++n) {
        const std::string& text = table[n];
        std::copy(text.begin(), text.end(), page.begin() + static_cast<std::ptrdiff_t>(offset));
        offset += text.size();
        while (offset % kSlotSize != 0) {
            page[offset++] = 0;
        }
    }
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(offset),
              page.begin() + static_cast<std::ptrdiff_t>(offset + kSlotSize), 0);
    return true;
}

} // namespace orvexa
