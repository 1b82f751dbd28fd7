#include "fonts/LanguageData.h"

namespace orvexa {

namespace embedded {
#define ORVEXA_EMBEDDED(symbol)                                                                              \
    extern const unsigned char symbol[];                                                                     \
    extern const std::size_t symbol##Size;
ORVEXA_EMBEDDED(englishTable)
ORVEXA_EMBEDDED(frenchTable)
ORVEXA_EMBEDDED(italianTable)
ORVEXA_EMBEDDED(spanishTable)
ORVEXA_EMBEDDED(koreanTable)
ORVEXA_EMBEDDED(japaneseTable)
ORVEXA_EMBEDDED(koreanFont)
ORVEXA_EMBEDDED(japaneseFont)
#undef ORVEXA_EMBEDDED
} // namespace embedded

const char* languageName(Language language) {
    switch (language) {
    case Language::English:
        return "English";
    case Language::French:
        return "French";
    case Language::Italian:
        return "Italian";
    case Language::Spanish:
        return "Spanish";
    case Language::Korean:
        return "Korean";
    case Language::Japanese:
        return "Japanese";
    }
    return "";
}

LanguageTable parseLanguageTable(const std::uint8_t* bytes, std::size_t size) {
    LanguageTable table;
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\n') {
            table.push_back(text);
            text.clear();
        } else {
            text.push_back(static_cast<char>(bytes[i]));
        }
    }
    if (!text.empty()) {
        table.push_back(text);
    }
    return table;
}

LanguageData LanguageData::carried() {
    namespace e = embedded;
    LanguageData data;
    data.tables = {parseLanguageTable(e::englishTable, e::englishTableSize),
                   parseLanguageTable(e::frenchTable, e::frenchTableSize),
                   parseLanguageTable(e::italianTable, e::italianTableSize),
                   parseLanguageTable(e::spanishTable, e::spanishTableSize),
                   parseLanguageTable(e::koreanTable, e::koreanTableSize),
                   parseLanguageTable(e::japaneseTable, e::japaneseTableSize)};
    data.koreanFont.assign(e::koreanFont, e::koreanFont + e::koreanFontSize);
    data.japaneseFont.assign(e::japaneseFont, e::japaneseFont + e::japaneseFontSize);
    return data;
}

} // namespace orvexa
