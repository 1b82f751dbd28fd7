// A finding as scripts meet it: the one JSON form that the --doctor --json events and the support bundle
// both write, byte for byte; and the one rule that keeps what a finding shows printable.
#include "doctor/FindingJson.h"

#include <gtest/gtest.h>

using namespace orvexa;

TEST(FindingJson, EveryLevelKeepsTheFiveKeysInOrderAndEmptyFieldsAsEmptyTexts) {
    const struct {
        FindingLevel level;
        const char* name;
    } levels[] = {{FindingLevel::Fine, "fine"},
                  {FindingLevel::Note, "note"},
                  {FindingLevel::Problem, "problem"},
                  {FindingLevel::Unchecked, "unchecked"}};
    for (const auto& [level, name] : levels) {
        SCOPED_TRACE(name);
        const Finding finding{"port-access", level, "", "You may open /dev/ttyUSB0.", ""};
        EXPECT_EQ(findingJson(finding).dump(),
                  std::string(R"({"check":"port-access","level":")") + name +
                      R"(","subject":"","text":"You may open /dev/ttyUSB0.","fix":""})");
    }
    const Finding withFix{"port-holder", FindingLevel::Problem, "/dev/ttyUSB0", "Held by minicom (pid 7).",
                          "Close minicom."};
    EXPECT_EQ(findingJson(withFix).dump(),
              R"({"check":"port-holder","level":"problem","subject":"/dev/ttyUSB0",)"
              R"("text":"Held by minicom (pid 7).","fix":"Close minicom."})");
}

// The one rule for what of a name reaches a terminal or a JSON reader: printable ASCII, else '?' a byte.
TEST(PrintableText, OnlyPrintableAsciiPassesAndEveryOtherByteBecomesOneQuestionMark) {
    const struct {
        std::string raw;
        std::string shown;
    } cases[] = {
        {"COM5: USB Serial Port", "COM5: USB Serial Port"},
        {" ~", " ~"},                            // the two ends of printable ASCII
        {"/tmp/\x1b[2Jodd", "/tmp/?[2Jodd"},     // a cursor move
        {"a\tb\nc\rd", "a?b?c?d"},               // no line or column of its own
        {"del\x7f", "del?"},                     // DEL
        {"caf\xc3\xa9", "caf??"},                // UTF-8, which the report once let through
        {std::string("nul\0end", 7), "nul?end"}, // a zero inside a name
        {"\x80\xff", "??"},                      // an ANSI code page's upper half
    };
    for (const auto& [raw, shown] : cases) {
        EXPECT_EQ(printableText(raw), shown) << raw;
    }
}
