// A finding as scripts meet it: the one JSON form that the --doctor --json events and the support bundle
// both write, byte for byte.
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
