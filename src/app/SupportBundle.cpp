#include "app/SupportBundle.h"
#include "app/AtomicFile.h"

#include "doctor/Doctor.h"
#include "doctor/FindingJson.h"
#include "serial/Platform.h"
#include "serial/TracingChannel.h"
#include "ui/Controls.h"

#include "ProgramVersion.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <system_error>

namespace orvexa {

namespace {

// Keys stay in the order written, so that a person reading the file meets the versions first.
using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

// Beside the bundle while it is written; renamed onto it once whole.
constexpr const char* kPartSuffix = ".part";

json carriedJson(FirmwarePackage package) {
    // As --info shows it: the header's length and CRC are those of the image as it is sent.
    package.patchImageHeader();
    json carried = {{"identity", package.identity()},
                    {"caption", package.caption()},
                    {"image_bytes", package.imageSize()}};
    if (package.hasImageHeader()) {
        const auto loader = package.bootloaderVersion();
        char crc[8];
        std::snprintf(crc, sizeof crc, "0x%04X", package.bodyCrc());
        carried["header"] = "classic";
        carried["bootloader_version"] = std::string{loader[0], loader[1]};
        carried["body_bytes"] = package.bodyLength();
        carried["body_crc"] = crc;
    } else {
        carried["header"] = package.isUpdateContainer() ? "framed-family UPDATE container" : "none";
    }
    return carried;
}

const char* answerName(int answer) {
    switch (answer) {
    case kIdYes:
        return "yes";
    case kIdNo:
        return "no";
    case kIdCancel:
        return "cancel";
    default:
        return "ok";
    }
}

json lastRunJson(const RunMemory& run) {
    json boxes = json::array();
    for (const RememberedBox& box : run.boxes()) {
        boxes.push_back({{"kind", box::kindName(box.type)},
                         {"type", box.type},
                         {"caption", box.caption},
                         {"text", box.text},
                         {"answer", answerName(box.answer)}});
    }
    json trace = json::array();
    const std::string text = run.trace();
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        trace.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return {{"boxes", boxes},
            {"boxes_dropped", run.boxesDropped()},
            {"status_lines", run.statusLines()},
            {"status_lines_dropped", run.statusLinesDropped()},
            {"trace", trace},
            {"trace_cut", run.traceBytesDropped() > 0},
            {"trace_bytes_dropped", run.traceBytesDropped()}};
}

std::string whatItIs(const fs::file_status& status) {
    switch (status.type()) {
    case fs::file_type::directory:
        return "a directory";
    case fs::file_type::character:
    case fs::file_type::block:
        return "a device";
    case fs::file_type::fifo:
        return "a pipe";
    case fs::file_type::socket:
        return "a socket";
    default:
        return "not a regular file";
    }
}

// Why nothing may be written at `path`, or nothing when it is free or a regular file. `followLinks`: the
// name the user chose may be a link to a file; the part file beside it must be nothing but a file.
std::optional<std::string> refusal(const fs::path& path, bool followLinks) {
    std::error_code error;
    const fs::file_status status = followLinks ? fs::status(path, error) : fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found || fs::is_regular_file(status)) {
        return std::nullopt;
    }
    if (error) {
        return "cannot look at '" + path.string() + "': " + error.message();
    }
    // Appended piece by piece: mingw's GCC 12 takes the one-expression form for an overlapping copy.
    std::string why = "'";
    why.append(path.string()).append("' is ").append(whatItIs(status));
    return why.append(", not a file: nothing is written into it");
}

std::optional<std::string> writeWhole(const std::string& path, const std::string& text) {
    const fs::path target(path);
    const fs::path part(path + kPartSuffix);
    for (const auto& [name, followLinks] : {std::pair{target, true}, std::pair{part, false}}) {
        if (auto why = refusal(name, followLinks)) {
            return why;
        }
    }
    return writeFileAtomically(target, part, text);
}

} // namespace

MachineFacts examineThisMachine(PortDiscovery& discovery, const std::vector<PortInfo>& extraPorts) {
    MachineFacts facts;
    facts.operatingSystem = operatingSystemName();
    facts.findings = examineMachine(extraPorts);
    for (PortInfo& port : discovery.discoverPorts()) {
        const ChannelError problem = discovery.nodeProblem(port);
        facts.ports.push_back({std::move(port), problem});
    }
    return facts;
}

std::string supportBundleText(const std::string& program, const MachineFacts& machine,
                              const FirmwarePackage& package, const RunMemory* lastRun) {
    json findings = json::array();
    for (const Finding& finding : machine.findings) {
        findings.push_back(findingJson(finding));
    }
    json ports = json::array();
    for (const ListedPort& listed : machine.ports) {
        const PortInfo& port = listed.port;
        ports.push_back(
            {{"path", port.path},
             {"display_name", port.displayName},
             {"detail", port.detail},
             {"device_address", port.deviceAddress},
             {"stable_name", port.stableName},
             {"problem", listed.problem == ChannelError::None ? json(nullptr)
                                                              : json(channelErrorName(listed.problem))}});
    }
    const json bundle = {
        {"schema", kSupportBundleSchema},
        {"program", {{"name", program}, {"version", kProgramVersion}}},
        {"carried", carriedJson(package)},
        {"system", {{"os", machine.operatingSystem}}},
        {"doctor", findings},
        {"ports", ports},
        {"last_run", lastRun != nullptr && lastRun->hasRun() ? lastRunJson(*lastRun) : json(nullptr)}};
    // Texts come from the scanner's replies too: a byte that is no UTF-8 becomes U+FFFD, not an exception.
    return bundle.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<std::string> writeSupportBundle(const std::string& path, const std::string& text) {
    // A name that the file system's encoding cannot hold ends here, with its reason, not in an exception.
    try {
        return writeWhole(path, text);
    } catch (const std::exception& error) {
        return "cannot write '" + path + "': " + error.what();
    }
}

} // namespace orvexa
