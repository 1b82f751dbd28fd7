#include "firmware/FirmwarePackage.h"
#include "fonts/LanguageData.h"

#include "TextChecks.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orvexa;

TEST(CarriedPackage, IsTheClassicImageTheDialogIsNamedAfter) {
    FirmwarePackage package = FirmwarePackage::carried();
    EXPECT_EQ(package.identity(), "M307_200_A7UG");
    EXPECT_EQ(package.caption(), "RDQ200 3.07 A7UG");
    EXPECT_EQ(package.imageSize(), 174614);
    EXPECT_TRUE(package.hasImageHeader());
    EXPECT_FALSE(package.isUpdateContainer());
    EXPECT_EQ(package.bootloaderVersion(), (std::array<char, 2>{'0', '0'}));
    EXPECT_EQ(package.bodyLength(), 0u); // as carried, completed only before a download
    package.patchImageHeader();
    EXPECT_EQ(package.bodyLength(), 169478u);
}

TEST(CarriedLanguages, SixTablesOf636TextsOfTwoToFifteenBytes) {
    const LanguageData data = LanguageData::carried();
    for (Language language : kLanguages) {
        const LanguageTable& table = data.table(language);
        ASSERT_EQ(table.size(), 636u) << languageName(language);
        std::size_t thirteen = 0;
        for (const std::string& text : table) {
            EXPECT_GE(text.size(), 2u) << languageName(language);
            EXPECT_LE(text.size(), 15u) << languageName(language);
            EXPECT_EQ(text.find('\0'), std::string::npos);
            thirteen += text.size() == 13;
        }
        EXPECT_GT(thirteen, table.size() / 2) << "most texts are 13 bytes: " << languageName(language);
    }
}

TEST(CarriedLanguages, ExampleEntriesByteForByte) {
    const LanguageData data = LanguageData::carried();
    EXPECT_EQ(data.table(Language::English)[0], "         Exit");
    EXPECT_EQ(data.table(Language::French)[0], "       Retour");
    EXPECT_EQ(data.table(Language::Italian)[0], "         Esci");
    EXPECT_EQ(data.table(Language::Spanish)[0], "        Salir");
    EXPECT_EQ(data.table(Language::French)[2], "Param. D\xE9"
                                               "faut"); // é as one Western byte
    EXPECT_EQ(data.table(Language::English)[1], "     Top Menu");
    EXPECT_EQ(data.table(Language::English)[7], "    Scan     ");
    EXPECT_EQ(data.table(Language::English)[22], "  No data !!!");
    // Two Italian texts carry UTF-8 sequences for their accented letters, and go to the scanner so.
    EXPECT_TRUE(contains(data.table(Language::Italian)[14], "\xC3\xA0"));
    EXPECT_TRUE(contains(data.table(Language::Italian)[15], "\xC3\xAC"));
}

TEST(CarriedLanguages, FontsHaveTheirSizes) {
    const LanguageData data = LanguageData::carried();
    EXPECT_EQ(data.koreanFont.size(), 70500u);
    EXPECT_EQ(data.japaneseFont.size(), 224864u);
}

TEST(CarriedLanguages, TableParsingKeepsEveryByteButTheSeparator) {
    const std::uint8_t bytes[] = {'a', 0xE9, '\n', 0x82, 0xA0, '\n', 'z', 'z'};
    const LanguageTable table = parseLanguageTable(bytes, sizeof bytes);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0], "a\xE9");
    EXPECT_EQ(table[1], "\x82\xA0");
    EXPECT_EQ(table[2], "zz"); // a last text without its line feed still counts
}
