#include "fonts/LanguagePage.h"
#include "fonts/FlashLayout.h"

#include "TextChecks.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvexa;

namespace {

bool allEqual(const LanguagePage& page, std::size_t from, std::size_t to, std::uint8_t value) {
    return std::all_of(page.begin() + static_cast<std::ptrdiff_t>(from),
                       page.begin() + static_cast<std::ptrdiff_t>(to),
                       [value](std::uint8_t b) { return b == value; });
}

} // namespace

TEST(LanguagePage, EmptyFirstEntryPacksToTheEndSlotAndErasedFlash) {
    LanguagePage page;
    page.fill(0x5A);
    ASSERT_TRUE(packLanguagePage(page, {"", "     Top Menu"}, 12288));
    EXPECT_TRUE(allEqual(page, 0, 16, 0));
    EXPECT_TRUE(allEqual(page, 16, 12288, 0xFF));
}

TEST(LanguagePage, TextsTakeOneSlotEachAndSmallPagesLeaveTheBufferTail) {
    LanguagePage page;
    page.fill(0x5A);
    ASSERT_TRUE(packLanguagePage(page, {"     Top Menu", "ab", "123456789012345"}, 11264));
    EXPECT_EQ(std::string(page.begin(), page.begin() + 13), "     Top Menu");
    EXPECT_TRUE(allEqual(page, 13, 16, 0)); // a 13-byte text: 13 bytes and 3 zeros
    EXPECT_EQ(std::string(page.begin() + 16, page.begin() + 18), "ab");
    EXPECT_TRUE(allEqual(page, 18, 32, 0));
    EXPECT_EQ(std::string(page.begin() + 32, page.begin() + 47), "123456789012345");
    EXPECT_EQ(page[47], 0);
    EXPECT_TRUE(allEqual(page, 48, 64, 0)); // end slot
    EXPECT_TRUE(allEqual(page, 64, 11264, 0xFF));
    EXPECT_TRUE(allEqual(page, 11264, 12288, 0x5A)); // the model-18 page ends at 11264
}

TEST(LanguagePage, CarriedTablesAllLoadWithTheEndSlotAt10176) {
    const LanguageData carried = LanguageData::carried();
    for (Language language : kLanguages) {
        const LanguageTable& table = carried.table(language);
        ASSERT_EQ(table.size(), 636u) << languageName(language);
        for (std::uint32_t pageSize : {12288u, 11264u}) {
            EXPECT_FALSE(languageTableProblem(table, pageSize, languageName(language)));
            LanguagePage page;
            ASSERT_TRUE(packLanguagePage(page, table, pageSize));
            for (std::size_t n = 0; n < table.size(); ++n) {
                ASSERT_EQ(std::string(reinterpret_cast<const char*>(page.data()) + 16 * n), table[n]);
            }
            EXPECT_TRUE(allEqual(page, 10176, 10192, 0));
            EXPECT_TRUE(allEqual(page, 10192, pageSize, 0xFF));
        }
    }
}

TEST(LanguagePage, LongTextsAndOverfullTablesAreRefusedAndNothingIsWritten) {
    LanguagePage page;
    page.fill(0x5A);
    const LanguageTable longText = {"ok", "1234567890123456"};
    const auto problem = languageTableProblem(longText, 12288, "French");
    ASSERT_TRUE(problem);
    EXPECT_TRUE(contains(*problem, "French"));
    EXPECT_TRUE(contains(*problem, "text 1 is 16 bytes"));
    EXPECT_FALSE(packLanguagePage(page, longText, 12288));
    EXPECT_TRUE(allEqual(page, 0, page.size(), 0x5A));

    // 703 texts fit an 11264-byte page with the end slot, 704 do not; 767 and 768 for 12288 bytes.
    EXPECT_FALSE(languageTableProblem(LanguageTable(703, "x"), 11264, "English"));
    EXPECT_TRUE(languageTableProblem(LanguageTable(704, "x"), 11264, "English"));
    EXPECT_FALSE(languageTableProblem(LanguageTable(767, "x"), 12288, "English"));
    EXPECT_TRUE(languageTableProblem(LanguageTable(768, "x"), 12288, "English"));
    EXPECT_FALSE(packLanguagePage(page, LanguageTable(768, "x"), 12288));
    EXPECT_TRUE(allEqual(page, 0, page.size(), 0x5A));

    // Packing stops at the first empty text, so what follows it is neither checked nor written.
    EXPECT_FALSE(languageTableProblem({"a", "", std::string(40, 'z')}, 12288, "English"));
}
