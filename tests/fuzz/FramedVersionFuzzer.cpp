// The framed version reply from fuzzer bytes: queryFramedVersions reads 100 to 109 bytes and takes three
// 12-character texts from fixed positions. Input: byte 0 says how many of the following bytes are
// already waiting on the line before the request (the drain must throw them away) and whether the reply
// comes late; the rest is the reply. Checked, beyond crashes: the texts are exactly reply bytes 22-33,
// 34-45 and 46-57 up to their first zero (empty for a reply under 100 bytes), nothing else in DeviceInfo
// changes, the block-size decision follows the four character tests, and the query ends within its bound.
#include "DeviceFields.h"
#include "FuzzCheck.h"
#include "ScriptedLine.h"
#include "StepBounds.h"

#include "firmware/FramedLink.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace orvexa;
using fuzz::check;

namespace {

constexpr std::uint64_t kUsPerMs = 1000;
constexpr std::uint64_t kByteAt115200Us = 87;

std::string expectedText(const std::string& reply, std::size_t at) {
    if (reply.size() < 100) {
        return "";
    }
    const std::string raw = reply.substr(at, 12);
    return raw.substr(0, raw.find('\0'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t leftoverLength = std::min<std::size_t>(data[0] & 0x0F, rest.size());
    // Late replies: after 1.9 s most of it still arrives in the 2000 ms; after 2.1 s none of it does.
    const std::uint64_t delayMs = (data[0] & 0x30) == 0x30 ? 2100 : (data[0] & 0x30) == 0x20 ? 1990 : 0;
    const std::string leftover = rest.substr(0, leftoverLength);
    const std::string reply = rest.substr(leftoverLength);

    // The leftover bytes are on the line from the start, the reply follows the request.
    VirtualClock clock;
    ScriptedLine line(clock);
    line.arriveAtUs(0, leftover);
    line.answer = [&](const Bytes&) {
        std::uint64_t due = clock.nowUs() + delayMs * kUsPerMs;
        for (char c : reply) {
            line.arriveAtUs(due += kByteAt115200Us, static_cast<std::uint8_t>(c));
        }
        return Bytes{};
    };
    fuzz::Guarded<DeviceInfo> guarded;
    DeviceInfo& device = guarded.value;
    std::memcpy(device.modelText.data(), "RDa500B2WW", 10);
    device.firmwareText.fill('f');
    device.loaderText.fill('l');
    device.applicationText.fill('a');
    device.firmwareInfoText.fill('i');
    device.bootloaderText.fill('b');
    const DeviceInfo before = device;

    FramedLink link(line, clock, device);
    const bool small = link.queryFramedVersions() == kSmallFramedBlock;

    check(clock.nowUs() <= bounds::kFramedVersions * kUsPerMs, "the query ends within its bound");
    check(line.writes.size() == 1, "one request");
    guarded.checkGuards();
    check(sameFields(before, device, &DeviceInfo::modelText, &DeviceInfo::firmwareInfoText,
                     &DeviceInfo::bootloaderText, &DeviceInfo::shortReply),
          "only the three version texts change");
    for (const auto* field : {&device.loaderText, &device.firmwareText, &device.applicationText}) {
        for (std::size_t i = 12; i < field->size(); ++i) {
            check((*field)[i] == '\0', "a version text holds at most 12 characters");
        }
    }

    // What arrived in time: the reply goes out when the request is written, after the drain.
    if (delayMs == 0) {
        const std::string got = reply.substr(0, 109);
        check(textOf(device.loaderText) == expectedText(got, 22), "loader text from bytes 22-33");
        check(textOf(device.firmwareText) == expectedText(got, 34), "firmware text from bytes 34-45");
        check(textOf(device.applicationText) == expectedText(got, 46), "application text from bytes 46-57");
        bool expectSmall = false;
        if (got.size() >= 100) {
            // The field's characters as copied, zeros included: the tests look past an early zero.
            const auto c = [&got](std::size_t i) { return static_cast<unsigned char>(got[46 + i]); };
            expectSmall = c(5) > '0' || c(6) > '2' || c(8) > '0' || c(9) > 'B';
        }
        check(small == expectSmall, "512-byte blocks exactly when one of the four tests holds");
    } else if (delayMs > 2000) {
        check(!small && textOf(device.applicationText).empty(), "a reply after the limit counts as none");
    }
    return 0;
}
