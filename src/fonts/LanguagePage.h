// A language table as the scanner reads it from flash: one 16-byte slot per text (the text, then zeros),
// an all-zero end slot, and 0xFF (erased flash) to the end of the page.
//
// The scanner finds text n at 16 * n and relies on at least one zero byte ending each slot, so a text
// of 16 bytes or more cannot be stored, and neither can a table whose slots do not fit the page. Such
// a table is refused before anything is sent, never cut or reshaped.
#pragma once

#include "fonts/FlashLayout.h"
#include "fonts/LanguageData.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orvexa {

using LanguagePage = std::array<std::uint8_t, kPageBufferSize>;

inline constexpr std::size_t kSlotSize = 16;
inline constexpr std::size_t kLongestText = kSlotSize - 1; // one zero byte must end every slot
inline constexpr std::uint8_t kErasedByte = 0xFF;

// Why the table cannot be packed into a page of this size, named for the user; nothing when it can.
std::optional<std::string> languageTableProblem(const LanguageTable& table, std::uint32_t pageSize,
                                                const std::string& name);

// Fills the first pageSize bytes of the page; false (and the page untouched) for a table that
// languageTableProblem refuses.
bool packLanguagePage(LanguagePage& page, const LanguageTable& table, std::uint32_t pageSize);

} // namespace orvexa
