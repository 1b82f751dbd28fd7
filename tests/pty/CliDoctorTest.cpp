// orvexa-cli --doctor as a user meets it: a paragraph per finding that fits the terminal, problems first,
// and for scripts one JSON event per finding with the exit code at the end.
#include "ChildProcess.h"
#include "TextChecks.h"

#include "app/ExitCodes.h"
#include "cli/DoctorReport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

using namespace orvexa;

TEST(CliDoctor, ParagraphsFitTheWidthWithProblemsFirstAndCountsLast) {
    const std::vector<Finding> findings = {
        {"brltty", FindingLevel::Fine, "brltty", "brltty is not installed.", ""},
        {"port-access", FindingLevel::Problem, "/dev/ttyUSB0",
         "You may not open /dev/ttyUSB0: it is open to the group \"dialout\", and you are not in it.",
         "sudo usermod -aG dialout $USER, then log out and in again (a new login is needed)."},
        {"bluetooth", FindingLevel::Unchecked, "", "Paired devices cannot be read.", ""},
        {"port-access", FindingLevel::Fine, "", "You may open /tmp/\x1b[2Jodd.", ""},
    };
    for (const int width : {0, 40, 80, 200}) {
        SCOPED_TRACE(width);
        const std::vector<std::string> lines = doctorLines(findings, width);
        for (const std::string& line : lines) {
            EXPECT_LE(line.size(), static_cast<std::size_t>(width == 0 ? 80 : std::clamp(width, 40, 100)));
        }
        EXPECT_EQ(lines.front().rfind("problem", 0), 0u);
    }
    EXPECT_EQ(doctorLines(findings, 80).back(), "1 problem, 1 not checked, 0 notes, 2 fine.");
    EXPECT_TRUE(contains(doctorLines(findings, 80)[2], "What to do: sudo usermod -aG dialout $USER"));
    EXPECT_TRUE(contains(doctorLines(findings, 80)[6], "You may open /tmp/?[2Jodd."));
}

TEST(CliDoctor, OnlyPrintableAsciiOfAFindingReachesTheTerminal) {
    const std::vector<Finding> findings = {{"port-access", FindingLevel::Problem, "/tmp/caf\xc3\xa9",
                                            "/tmp/caf\xc3\xa9\x7f does not exist.", ""}};
    EXPECT_EQ(doctorLines(findings, 80).front(), "problem    /tmp/caf??? does not exist.");
}

TEST(CliDoctor, JsonGivesOneEventPerFindingAndExitsOneOnAProblem) {
    const CliRun run = runCli({"--doctor", "--json", "--port", "/nonexistent/ttyUSB9"});
    EXPECT_EQ(run.exitCode, exitcode::kNotDone);
    std::istringstream lines(run.out);
    std::vector<nlohmann::json> events;
    for (std::string line; std::getline(lines, line);) {
        events.push_back(nlohmann::json::parse(line));
    }
    ASSERT_GE(events.size(), 2u);
    bool named = false;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i]["event"], "finding");
        for (const char* key : {"check", "level", "subject", "text", "fix"}) {
            EXPECT_TRUE(events[i].contains(key)) << key;
        }
        named = named || (events[i]["subject"] == "/nonexistent/ttyUSB9" && events[i]["level"] == "problem");
    }
    EXPECT_TRUE(named);
    EXPECT_EQ(events.back()["event"], "run_end");
    EXPECT_EQ(events.back()["exit_code"], exitcode::kNotDone);
}
