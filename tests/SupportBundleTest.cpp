// The support bundle: what a run on the dialog leaves in it, and nothing more; the bounds of the run
// memory; and the files it refuses to write over.
#include "app/SupportBundle.h"
#include "ChildProcess.h"
#include "DialogSession.h"
#include "ProgramVersion.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

using namespace orvexa;
// Objects compare with their keys in order: the bundle's order is part of what a reader meets.
using json = nlohmann::ordered_json;

namespace {

constexpr char kPort[] = "/dev/ttyUSB0";

std::vector<std::string> keysOf(const json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    return keys;
}

using Keys = std::vector<std::string>;
const Keys kTopKeys = {"schema", "program", "carried", "system", "doctor", "ports", "last_run"};
const Keys kRunKeys = {"boxes", "boxes_dropped", "status_lines",       "status_lines_dropped",
                       "trace", "trace_cut",     "trace_bytes_dropped"};
const Keys kBoxKeys = {"kind", "type", "caption", "text", "answer"};
const Keys kPortKeys = {"path", "display_name", "detail", "device_address", "stable_name", "problem"};

struct Bundle : ::testing::Test, DialogSession {
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        std::filesystem::remove_all(path + ".part", ignored);
    }
    // Saves through the dialog's menu entry, as a user does; the file read back.
    json save() {
        window.saveAs = path;
        dialog->onSystemCommand(kSysCommandSupportBundle);
        return json::parse(readFile(path));
    }

    std::string path = scratchPath("support-bundle.json");
};

} // namespace

TEST_F(Bundle, StepsOneAndTwoLeaveEveryBoxStatusLineAndWireByteAndTheMachineFactsNothingMore) {
    DialogSession::start({kPort});
    hub.attachScanner(kPort);
    window.answer({kIdYes});
    click(control::kStep1);
    click(control::kStep2);
    ASSERT_EQ(outcome(), Outcome::Verified);
    const std::vector<ShownBox> runBoxes = window.boxes;
    const std::string status = window.controlText(control::kStatus);

    const json bundle = save();

    EXPECT_EQ(keysOf(bundle), kTopKeys);
    EXPECT_EQ(bundle["schema"], 1);
    EXPECT_EQ(bundle["program"], (json{{"name", "orvexa"}, {"version", kProgramVersion}}));
    EXPECT_EQ(bundle["carried"], (json{{"identity", "M307_200_A7UG"},
                                       {"caption", "RDQ200 3.07 A7UG"},
                                       {"image_bytes", 174614},
                                       {"header", "classic"},
                                       {"bootloader_version", "00"},
                                       {"body_bytes", 169478},
                                       {"body_crc", "0x6892"}}));
    EXPECT_EQ(keysOf(bundle["system"]), Keys{"os"});
    EXPECT_FALSE(bundle["system"]["os"].get<std::string>().empty());
    ASSERT_EQ(bundle["ports"].size(), 1u);
    EXPECT_EQ(keysOf(bundle["ports"][0]), kPortKeys);
    EXPECT_EQ(bundle["ports"][0]["path"], kPort);

    // Every box of the run, in order, with its answer: the readiness question and Step 2's verdicts; not
    // the box that says where the bundle went.
    const json& run = bundle["last_run"];
    EXPECT_EQ(keysOf(run), kRunKeys);
    ASSERT_EQ(run["boxes"].size(), runBoxes.size());
    ASSERT_FALSE(runBoxes.empty());
    for (std::size_t i = 0; i < runBoxes.size(); ++i) {
        const json& box = run["boxes"][i];
        EXPECT_EQ(keysOf(box), kBoxKeys);
        EXPECT_EQ(box["text"], runBoxes[i].text);
        EXPECT_EQ(box["caption"], runBoxes[i].caption);
        EXPECT_EQ(box["type"], runBoxes[i].type);
        EXPECT_EQ(box["kind"], box::kindName(runBoxes[i].type));
    }
    EXPECT_EQ(run["boxes"][0]["kind"], "question");
    EXPECT_EQ(run["boxes"][0]["answer"], "yes");
    EXPECT_EQ(window.boxes.size(), runBoxes.size() + 1);
    EXPECT_EQ(window.boxes.back().text, "Support bundle written to\r\n" + path);
    EXPECT_EQ(window.boxes.back().type, box::kOk);

    // The status lines are the lines of the status edit as it ended.
    std::string joined;
    for (const auto& line : run["status_lines"]) {
        joined += (joined.empty() ? "" : "\r\n") + line.get<std::string>();
    }
    EXPECT_EQ(joined, status);
    EXPECT_EQ(run["status_lines_dropped"], 0);

    // The wire: the probe's "W" and its "@", then Step 2 on the main channel.
    std::string trace;
    for (const auto& line : run["trace"]) {
        trace += line.get<std::string>() + "\n";
    }
    EXPECT_NE(trace.find("probe  open /dev/ttyUSB0"), std::string::npos) << trace;
    EXPECT_NE(trace.find("probe  >  57 "), std::string::npos);
    EXPECT_NE(trace.find("probe  <  40 "), std::string::npos);
    EXPECT_NE(trace.find("main   open /dev/ttyUSB0"), std::string::npos);
    EXPECT_EQ(run["trace_cut"], false);

    // Nothing of the user: neither their name nor their home folder.
    const std::string text = readFile(path);
    for (const char* variable : {"HOME", "USER", "LOGNAME"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && std::string(value).size() > 1) {
            EXPECT_EQ(text.find(value), std::string::npos) << variable << " " << value;
        }
    }
}

TEST_F(Bundle, BeforeAnyStepThereIsNoRunAndStepOneForgetsTheRunBeforeWhileStepsTwoAndThreeGoOn) {
    DialogSession::start({kPort});
    hub.attachScanner(kPort);
    EXPECT_TRUE(save()["last_run"].is_null());

    click(control::kStep2); // no port open yet: its refusal begins a run of its own
    ASSERT_EQ(save()["last_run"]["boxes"].size(), 1u);
    window.answer({kIdYes});
    click(control::kStep1);
    click(control::kStep2);
    const json run = save()["last_run"];
    ASSERT_EQ(run["boxes"].size(), 1u);
    EXPECT_EQ(run["boxes"][0]["kind"], "question"); // Step 1's; the refused Step 2's is forgotten
    EXPECT_NE(run["trace"].dump().find("main   >  "), std::string::npos);
}

TEST(SupportBundleText, EachFindingAndPortCarriesItsFieldsAndBadBytesBecomeReplacementCharacters) {
    MachineFacts machine;
    machine.operatingSystem = "Test OS 1";
    machine.findings = {{"port-access", FindingLevel::Problem, "/dev/ttyUSB0",
                         "Only group dialout may open it.", "Join the group dialout."},
                        {"modem-manager", FindingLevel::Fine, "", "Nothing grabs new ports.", ""}};
    machine.ports = {{{"/dev/ttyUSB0", "ttyUSB0", "usb", "00:11:22:33:44:55", "/dev/serial/by-id/x"},
                      ChannelError::PermissionDenied},
                     {{"/dev/rfcomm0", "rfcomm0", "", "", ""}, ChannelError::None}};
    VirtualClock clock;
    RunMemory memory(clock);
    memory.beginRun();
    memory.boxShown(box::kError, "", "Firmware: [\xFF\xFE]", kIdOk);

    const auto bundle =
        json::parse(supportBundleText("orvexa-cli", machine, FirmwarePackage::carried(), &memory));

    EXPECT_EQ(bundle["system"]["os"], "Test OS 1");
    EXPECT_EQ(bundle["doctor"], (json::array({{{"check", "port-access"},
                                               {"level", "problem"},
                                               {"subject", "/dev/ttyUSB0"},
                                               {"text", "Only group dialout may open it."},
                                               {"fix", "Join the group dialout."}},
                                              {{"check", "modem-manager"},
                                               {"level", "fine"},
                                               {"subject", ""},
                                               {"text", "Nothing grabs new ports."},
                                               {"fix", ""}}})));
    EXPECT_EQ(keysOf(bundle["doctor"][0]), (Keys{"check", "level", "subject", "text", "fix"}));
    EXPECT_EQ(bundle["ports"][0], (json{{"path", "/dev/ttyUSB0"},
                                        {"display_name", "ttyUSB0"},
                                        {"detail", "usb"},
                                        {"device_address", "00:11:22:33:44:55"},
                                        {"stable_name", "/dev/serial/by-id/x"},
                                        {"problem", "permission denied"}}));
    EXPECT_TRUE(bundle["ports"][1]["problem"].is_null());
    EXPECT_EQ(bundle["last_run"]["boxes"][0]["text"], "Firmware: [\xEF\xBF\xBD\xEF\xBF\xBD]");
    EXPECT_EQ(bundle["last_run"]["boxes"][0]["kind"], "error");
    EXPECT_EQ(bundle["last_run"]["boxes"][0]["answer"], "ok");
    EXPECT_TRUE(
        json::parse(supportBundleText("orvexa-cli", machine, FirmwarePackage::carried(), nullptr))["last_run"]
            .is_null());
}

// The bounds: the newest boxes and status lines stay, the trace keeps its end from a line's start, and
// each says how much went.
TEST(RunMemory, KeepsTheNewestWithinItsBoundsAndCountsWhatWent) {
    VirtualClock clock;
    RunMemory memory(clock, {/*traceBytes=*/1000, /*boxes=*/3, /*statusLines=*/4});
    memory.boxShown(box::kOk, "", "before any run", kIdOk);
    memory.statusSet("before any run");
    EXPECT_TRUE(memory.boxes().empty());
    EXPECT_TRUE(memory.statusLines().empty());

    memory.beginRun();
    for (int i = 1; i <= 10; ++i) {
        memory.boxShown(box::kOk, "", "box " + std::to_string(i), kIdOk);
    }
    ASSERT_EQ(memory.boxes().size(), 3u);
    EXPECT_EQ(memory.boxes().front().text, "box 8");
    EXPECT_EQ(memory.boxes().back().text, "box 10");
    EXPECT_EQ(memory.boxesDropped(), 7u);

    // The steps add a line, or replace the last one (each language page's), by setting the whole text
    // again; a text that starts afresh adds all of its own.
    memory.statusSet("a");
    memory.statusSet("a\r\nb");
    memory.statusSet("a\r\nb\r\nc");
    memory.statusSet("x\r\n\r\ny");
    memory.statusSet("x\r\n\r\ny\r\nEnglish downloading..");
    memory.statusSet("x\r\n\r\ny\r\nFrench downloading..");
    EXPECT_EQ(std::vector<std::string>(memory.statusLines().begin(), memory.statusLines().end()),
              (std::vector<std::string>{"x", "y", "English downloading..", "French downloading.."}));
    EXPECT_EQ(memory.statusLinesDropped(), 3u);

    {
        RunMemory::BoxRecordPause pause(memory);
        memory.boxShown(box::kOk, "", "while paused", kIdOk);
    }
    EXPECT_EQ(memory.boxes().back().text, "box 10");

    memory.beginRun();
    EXPECT_TRUE(memory.boxes().empty());
    EXPECT_EQ(memory.boxesDropped(), 0u);
    EXPECT_TRUE(memory.statusLines().empty());
}

TEST(TailBuffer, KeepsTheLastBytesFromTheFirstWholeLineAndCountsTheRest) {
    for (std::size_t limit : {std::size_t{1}, std::size_t{64}, std::size_t{1000}, std::size_t{5000}}) {
        TailBuffer buffer(limit);
        std::ostream out(&buffer);
        std::string all;
        for (int i = 0; i < 300; ++i) {
            const std::string line = "line " + std::to_string(i) + "\n";
            out << line;
            all += line;
        }
        const std::string kept = buffer.text();
        SCOPED_TRACE(limit);
        EXPECT_LE(kept.size(), limit);
        EXPECT_EQ(all.substr(all.size() - kept.size()), kept);
        EXPECT_EQ(buffer.droppedBytes(), all.size() - kept.size());
        if (limit >= all.size()) {
            EXPECT_EQ(kept, all);
        } else if (limit >= 9) {
            EXPECT_EQ(kept.rfind("line ", 0), 0u) << kept;                   // a whole line leads
            EXPECT_GT(kept.size() + 9, std::min(limit, all.size())) << kept; // less than a line lost
        }
    }
}

// A name that is no regular file gets a box that says why, and stays as it was: the port named as the
// bundle's file is never opened, a directory is never replaced, and a pipe never blocks the dialog.
TEST_F(Bundle, RefusesToWriteOverAnythingButARegularFile) {
    namespace fs = std::filesystem;
    DialogSession::start({kPort});
    const std::string folder = path + ".d";
    const std::string pipe = path + ".pipe";
    fs::create_directory(folder);
    ::mkfifo(pipe.c_str(), 0600);
    fs::create_directory(path + ".part"); // beside `path`: the part file cannot be written
    const std::pair<std::string, std::string> cases[] = {{"/dev/null", "is a device"},
                                                         {folder, "is a directory"},
                                                         {pipe, "is a pipe"},
                                                         {path, ".part' is a directory"}};
    for (const auto& [name, says] : cases) {
        window.saveAs = name;
        dialog->onSystemCommand(kSysCommandSupportBundle);
        ASSERT_FALSE(window.boxes.empty());
        EXPECT_EQ(window.boxes.back().type, box::kError);
        EXPECT_EQ(window.boxes.back().text.rfind("The support bundle was not written:\r\n", 0), 0u);
        EXPECT_NE(window.boxes.back().text.find(says), std::string::npos) << window.boxes.back().text;
        EXPECT_FALSE(fs::is_regular_file(name)) << name;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_fifo(pipe));
    fs::remove_all(folder);
    fs::remove(pipe);

    // A regular file is replaced whole; Cancel writes nothing and shows nothing.
    TearDown();
    std::ofstream(path) << std::string(100000, 'x');
    EXPECT_EQ(writeSupportBundle(path, "{}\n"), std::nullopt);
    EXPECT_EQ(readFile(path), "{}\n");
    EXPECT_FALSE(fs::exists(path + ".part"));
    const std::size_t shown = window.boxes.size();
    window.saveAs.reset();
    dialog->onSystemCommand(kSysCommandSupportBundle);
    EXPECT_EQ(window.boxes.size(), shown);
}
