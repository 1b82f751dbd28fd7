// The user-interface text tables and the two bitmap fonts that the program carries for classic scanners.
// A table is the ordered list of a language's texts in the scanner's own encoding (an 8-bit Western code
// page, EUC-KR or Shift-JIS), copied to the scanner unchanged; entry n is the same message in every
// language. A font is an opaque block written to flash as it stands.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orvexa {

// The order in which tables are written, and their shown names.
enum class Language { English, French, Italian, Spanish, Korean, Japanese };
inline constexpr std::array<Language, 6> kLanguages = {Language::English, Language::French,
                                                       Language::Italian, Language::Spanish,
                                                       Language::Korean,  Language::Japanese};
const char* languageName(Language language);

// Texts in entry order; the empty text that ends a table on the scanner is not stored here.
using LanguageTable = std::vector<std::string>;
using FontBlob = std::vector<std::uint8_t>;

struct LanguageData {
    std::array<LanguageTable, 6> tables;
    FontBlob koreanFont;
    FontBlob japaneseFont;

    const LanguageTable& table(Language language) const { return tables[static_cast<std::size_t>(language)]; }

    // The tables and fonts compiled into the program.
    static LanguageData carried();
};

// Splits a table as stored in data/: every text ends with a line feed, a byte that none of the three
// encodings uses inside a text.
LanguageTable parseLanguageTable(const std::uint8_t* bytes, std::size_t size);

} // namespace orvexa
