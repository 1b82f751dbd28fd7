// A scanner whose every reply the fuzzer chooses: after each write of the tool, the next bytes of the
// input say what comes back (how many bytes, after how long, which bytes), or that the scanner falls
// silent, babbles without end, or hangs up the line. Step 2 and Step 3 of both families run against it
// (the classic one also with its language pages and fonts), in virtual time, with a small package and
// small tables so that one execution costs little.
//
// Checked, beyond crashes and out-of-bounds access:
//   - every step ends within its bound (StepBounds.h) in virtual time;
//   - no reply byte lands outside its field: guards around DeviceInfo, every text field terminated
//     inside itself, and the fields a step does not own unchanged by it;
//   - the transfer's outcome is the one its replies call for: a classic frame is judged by the first
//     byte read after it ("X" accepted, "C"/"O" refused and resent ten times at most since the last "X",
//     anything else accepted), a framed block by whether 14 bytes came back at all. So a run whose
//     scanner fell silent or hung up before the end never shows the success text, a refused frame whose
//     resends ran out always ends in the error text, and replies that count as acceptance stay so.
//
// Input: byte 0 picks the scenario and its options; then one reply per write of the tool:
//   0xFF  the line hangs up after this write        0xFE  silent from here on
//   0xFD v  the scanner sends v every millisecond, for ever
//   h [d] bytes...  h & 0x7F reply bytes; when h & 0x80, byte d gives the delay before them
//                   (d < 128: d * 10 ms; otherwise (d - 128) * 250 ms, up to about 32 s)
// An input that runs out leaves the scanner silent.
#include "DeviceFields.h"
#include "FuzzCheck.h"
#include "ScriptedLine.h"
#include "ScriptedWindow.h"
#include "SimulatedChannel.h"
#include "SimulatedScanner.h"
#include "SmallPackages.h"
#include "StepBounds.h"

#include "FakePorts.h"

#include "device/Family.h"
#include "firmware/BlockFrame.h"
#include "firmware/FramedLink.h"
#include "firmware/FramedPacket.h"
#include "steps/FramedDownload.h"
#include "steps/Steps.h"
#include "ui/Controls.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace orvexa;
using fuzz::check;

namespace {

constexpr std::uint64_t kUsPerMs = 1000;
constexpr std::uint64_t kByteSpacingUs = 100; // reply bytes follow each other closely
constexpr std::uint64_t kBabbleSpacingUs = 1000;

// The tool's writes that the oracle follows.
enum class WriteKind { Other, ClassicFrame, FramedStart, FramedBlock };

struct WriteRecord {
    WriteKind kind = WriteKind::Other;
    int block = -1;
    bool whole = true;                      // the write went out whole
    std::size_t bytesAfter = 0;             // bytes the tool read after it, before its next write
    std::optional<std::uint8_t> firstAfter; // the first of them
};

// The scanner's end of the line, answering from the fuzzer's bytes, with what the oracle follows.
class FuzzedLine : public ScriptedLine {
public:
    FuzzedLine(VirtualClock& clock, const std::uint8_t* data, std::size_t size)
        : ScriptedLine(clock), clock_(clock), data_(data), size_(size) {
        answer = [this](const Bytes&) {
            replyFromInput();
            return Bytes{};
        };
    }

    std::int32_t write(const std::uint8_t* buffer, std::int32_t count) override {
        if (isOpen() && count > 0) {
            records_.push_back({classify(buffer, count), blockOf(buffer, count), !hungUp(), 0, {}});
        }
        return ScriptedLine::write(buffer, count);
    }
    std::int32_t read(std::uint8_t* buffer, std::int32_t count) override {
        const std::int32_t received = ScriptedLine::read(buffer, count);
        if (received > 0 && !records_.empty()) {
            WriteRecord& last = records_.back();
            if (last.bytesAfter == 0) {
                last.firstAfter = buffer[0];
            }
            last.bytesAfter += static_cast<std::size_t>(received);
        }
        return received;
    }

    const std::vector<WriteRecord>& records() const { return records_; }
    void setFramedBlockSize(std::size_t size) { framedBlockSize_ = size; }

private:
    WriteKind classify(const std::uint8_t* buffer, std::int32_t count) const {
        if (count == BlockFrame::kFrameSize && buffer[2] == BlockFrame::kDataKind) {
            return WriteKind::ClassicFrame;
        }
        if (static_cast<std::size_t>(count) >= kFramedRequestSize && buffer[0] == kFramedStart &&
            buffer[1] == kFramedLinkMark && buffer[8] == kFramedDownload) {
            if (buffer[9] == kSubStart && static_cast<std::size_t>(count) == kFramedRequestSize) {
                return WriteKind::FramedStart;
            }
            if (buffer[9] == kSubBlock &&
                static_cast<std::size_t>(count) == framedBlockSize_ + kFramedBlockOverhead) {
                return WriteKind::FramedBlock;
            }
        }
        return WriteKind::Other;
    }
    static int blockOf(const std::uint8_t* buffer, std::int32_t count) {
        if (count == BlockFrame::kFrameSize) {
            return buffer[3] | (buffer[4] << 8);
        }
        if (static_cast<std::size_t>(count) > kFramedBlockOverhead) {
            return (buffer[10] << 8) | buffer[11];
        }
        return -1;
    }

    // Reads the reply to the write just made from the input.
    void replyFromInput() {
        if (silent_ || at_ >= size_) {
            return;
        }
        const std::uint8_t head = data_[at_++];
        if (head == 0xFF) {
            hangUp();
            return;
        }
        if (head == 0xFE) {
            silent_ = true;
            return;
        }
        if (head == 0xFD) {
            babbleFromUs(clock_.nowUs() + kBabbleSpacingUs, kBabbleSpacingUs, at_ < size_ ? data_[at_++] : 0);
            return;
        }
        std::uint64_t delayUs = 0;
        if ((head & 0x80) != 0 && at_ < size_) {
            const std::uint8_t d = data_[at_++];
            delayUs = (d < 128 ? d * 10ull : (d - 128) * 250ull) * kUsPerMs;
        }
        std::uint64_t due = std::max(clock_.nowUs() + delayUs, lastDue_);
        for (std::size_t i = 0; i < (head & 0x7Fu) && at_ < size_; ++i) {
            arriveAtUs(due += kByteSpacingUs, data_[at_++]);
        }
        lastDue_ = due;
    }

    VirtualClock& clock_;
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool silent_ = false;
    std::uint64_t lastDue_ = 0;
    std::size_t framedBlockSize_ = 0;
    std::vector<WriteRecord> records_;
};

// Counts the steps of the firmware's bar: the pages and fonts move a bar of their own before it.
class CountingWindow : public ScriptedWindow {
public:
    void progressSetUnits(const std::string& name, std::int64_t bytesPerStep) override {
        ScriptedWindow::progressSetUnits(name, bytesPerStep);
        if (name == "firmware") {
            steps = 0;
        }
    }
    void progressStepIt() override {
        ++steps;
        ScriptedWindow::progressStepIt();
    }
    int steps = 0;
};

// Small tables and fonts: one page per language still goes out as three 4096-byte chunks, and the two
// fonts take one and two chunks.
const LanguageData& languages() {
    static const LanguageData data = smallLanguages({"         Exit", "     Top Menu", "  No data !!!"},
                                                    FontBlob(100, 0x5A), FontBlob(5000, 0xA5));
    return data;
}

constexpr char kIdentity[] = "M307_200_A7UG";
constexpr std::int32_t kBlock = 256;

// A classic image of a few blocks; with its header it reaches past offset 5120, of which a scanner in
// its bootloader gets only the blocks after the header's start.
std::vector<std::uint8_t> classicImage(bool withHeader) {
    return smallClassicImage(withHeader ? kImageBodyOffset + 300 : 3 * kBlock + 40, 7, 0, withHeader);
}

enum Scenario { ClassicChain, ClassicStep3, ClassicFonts, FramedChain, FramedStep3, kScenarios };

using GuardedRecords = fuzz::Guarded<ProcessRecords>;
using fuzz::terminatedInside;

void checkFields(const GuardedRecords& guarded) {
    guarded.checkGuards();
    const DeviceInfo& d = guarded.value.deviceInfo;
    check(d.modelText[10] == '\0', "modelText terminated at 10");
    check(terminatedInside(d.firmwareText) && terminatedInside(d.firmwareInfoText) &&
              terminatedInside(d.bootloaderText),
          "collected texts terminated inside their fields");
    for (std::size_t i = 12; i < 16; ++i) {
        check(d.loaderText[i] == '\0' && d.applicationText[i] == '\0', "framed texts hold 12 characters");
    }
    check(d.flashType >= -128 && d.flashType <= 127, "flashType from one signed byte");
    check(d.framedBlockSize == 0 || d.framedBlockSize == 512 || d.framedBlockSize == 1024, "block size");
}

// The classic transfer as its replies call for it: how many blocks it moves on, and how it ends.
struct ClassicVerdict {
    bool reachedFrames = false;
    bool silent = false;    // a frame got no reply
    bool exhausted = false; // a refused frame's resends ran out
    bool undefined = false; // a frame got a reply that is none of "X", "C" and "O"
    int steps = 0;
    bool complete = false; // every block got a reply
};

ClassicVerdict judgeClassic(const std::vector<WriteRecord>& writes, std::size_t from, int lastBlock) {
    ClassicVerdict v;
    int retries = classic::kRetries;
    for (std::size_t i = from; i < writes.size(); ++i) {
        const WriteRecord& w = writes[i];
        if (w.kind != WriteKind::ClassicFrame) {
            continue;
        }
        v.reachedFrames = true;
        if (!w.firstAfter) {
            v.silent = true;
            return v;
        }
        const std::uint8_t reply = *w.firstAfter;
        if (reply == 'C' || reply == 'O') {
            if (retries > 0) {
                --retries;
                continue;
            }
            v.exhausted = true;
        } else if (reply == 'X') {
            retries = classic::kRetries;
        } else {
            v.undefined = true;
        }
        ++v.steps;
        if (w.block == lastBlock) {
            v.complete = true;
        }
    }
    return v;
}

struct FramedVerdict {
    bool started = false;
    bool failed = false;
    int steps = 0;
    bool complete = false;
};

FramedVerdict judgeFramed(const std::vector<WriteRecord>& writes, std::size_t from, int lastBlock) {
    FramedVerdict v;
    for (std::size_t i = from; i < writes.size(); ++i) {
        const WriteRecord& w = writes[i];
        if (w.kind == WriteKind::FramedStart) {
            v.started = w.whole;
            v.failed = !w.whole;
        } else if (w.kind == WriteKind::FramedBlock) {
            if (!w.whole || w.bytesAfter < 14) {
                v.failed = true;
                return v;
            }
            ++v.steps;
            v.complete = w.block == lastBlock;
        }
    }
    return v;
}

// One run's surroundings: the dialog, the package of the scenario and the records, on any line.
struct Bench {
    Bench(VirtualClock& c, SerialChannel& line, std::uint8_t opts)
        : clock(c), options(opts), scenario(static_cast<Scenario>((opts & 0x07) % kScenarios)),
          framed(scenario == FramedChain || scenario == FramedStep3),
          fontsAsked(scenario == ClassicFonts || (scenario == ClassicChain && (opts & 0x40) != 0)),
          package(kIdentity,
                  framed ? smallFramedImage(2 * 1024 + 100, 0x11) : classicImage((opts & 0x08) != 0)),
          ctx{window, line, clock, discovery, nullptr, package, languages(), guarded.value} {
        window.answer({kIdYes, kIdYes, kIdYes, kIdYes});
        window.setChecked(control::kSilentMode, true);
        if (fontsAsked) {
            window.enableControl(control::kDownloadFont, true);
            window.setChecked(control::kDownloadFont, true);
        }
        DeviceInfo& device = guarded.value.deviceInfo;
        if (chained()) {
            return;
        }
        guarded.value.verifiedOnOpenPort = true; // as Step 2 leaves it
        if (framed) {
            std::memcpy(device.modelText.data(), "RDa500B2WW", 10);
            device.framedBlockSize = (options & 0x80) != 0 ? 1024 : 512;
        } else {
            std::memcpy(device.modelText.data(), "RDQ200A7UG", 10);
            const char* firmware = (options & 0x10) != 0 ? "Bootloader v00" : "3.07_200_A7UG";
            std::memcpy(device.firmwareText.data(), firmware, std::strlen(firmware));
            device.itAccepted = (options & 0x20) != 0;
            device.fontCapable = (options & 0x40) != 0;
        }
    }
    bool chained() const { return scenario == ClassicChain || scenario == FramedChain; }
    DeviceInfo& device() { return guarded.value.deviceInfo; }

    VirtualClock& clock;
    std::uint8_t options;
    Scenario scenario;
    bool framed;
    bool fontsAsked;
    CountingWindow window;
    FakePorts discovery;
    FirmwarePackage package;
    GuardedRecords guarded;
    StepContext ctx;
};

// Step 2 alone (the Silent chain held back so that each step is timed on its own); true when Step 3
// may follow.
bool runStep2(Bench& bench) {
    StepContext& ctx = bench.ctx;
    ctx.stopAfterVerification = true;
    verifyDevice(ctx);
    ctx.stopAfterVerification = false;
    return ctx.outcome == Outcome::Verified;
}

// Seeds: the replies of a healthy simulated scanner, write by write, in the input format above. Made by
// running the harness with ORVEXA_WRITE_SEEDS=<directory>.
class RecordingLine : public SimulatedChannel {
public:
    RecordingLine(VirtualClock& clock, SimulatedScanner& scanner)
        : SimulatedChannel(clock, scanner), clock_(clock) {}
    std::int32_t write(const std::uint8_t* buffer, std::int32_t count) override {
        writes_.push_back({clock_.nowUs(), 0, {}});
        return SimulatedChannel::write(buffer, count);
    }
    std::int32_t read(std::uint8_t* buffer, std::int32_t count) override {
        const std::int32_t n = SimulatedChannel::read(buffer, count);
        if (n > 0 && !writes_.empty()) {
            Reply& reply = writes_.back();
            if (reply.bytes.empty()) {
                reply.firstUs = clock_.nowUs();
            }
            reply.bytes.insert(reply.bytes.end(), buffer, buffer + n);
        }
        return n;
    }

    std::vector<std::uint8_t> encode() const {
        std::vector<std::uint8_t> out;
        for (const Reply& reply : writes_) {
            const std::size_t length = std::min<std::size_t>(reply.bytes.size(), 127);
            if (length == 0) {
                out.push_back(0);
                continue;
            }
            const std::uint64_t delayMs = (reply.firstUs - reply.atUs) / kUsPerMs;
            out.push_back(static_cast<std::uint8_t>(0x80 | length));
            out.push_back(delayMs < 1280
                              ? static_cast<std::uint8_t>(delayMs / 10)
                              : static_cast<std::uint8_t>(128 + std::min<std::uint64_t>(127, delayMs / 250)));
            out.insert(out.end(), reply.bytes.begin(),
                       reply.bytes.begin() + static_cast<std::ptrdiff_t>(length));
        }
        return out;
    }

private:
    struct Reply {
        std::uint64_t atUs;
        std::uint64_t firstUs;
        std::vector<std::uint8_t> bytes;
    };
    VirtualClock& clock_;
    std::vector<Reply> writes_;
};

void writeSeed(const std::string& directory, const std::string& name, std::uint8_t options,
               const std::vector<std::uint8_t>& replies) {
    const std::string path = directory + "/" + name;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fputc(options, file);
        std::fwrite(replies.data(), 1, replies.size(), file);
        std::fclose(file);
    }
}

void writeSeeds(const std::string& directory) {
    const struct {
        const char* name;
        std::uint8_t options;
    } runs[] = {{"classic-chain", ClassicChain},
                {"classic-chain-header-fonts", ClassicChain | 0x08 | 0x40},
                {"classic-step3-header", ClassicStep3 | 0x08 | 0x20},
                {"classic-step3-in-bootloader", ClassicStep3 | 0x08 | 0x10 | 0x20},
                {"classic-fonts", ClassicFonts | 0x40 | 0x20},
                {"framed-chain", FramedChain},
                {"framed-step3-512", FramedStep3},
                {"framed-step3-1024", FramedStep3 | 0x80}};
    for (const auto& run : runs) {
        VirtualClock clock;
        const bool framed = (run.options & 0x07) == FramedChain || (run.options & 0x07) == FramedStep3;
        ScannerPersonality personality =
            framed ? ScannerPersonality::framed() : ScannerPersonality::classic();
        personality.versionText = framed ? "F500_03_0C00" : "3.07_200_A7UG";
        SimulatedScanner scanner(personality);
        RecordingLine line(clock, scanner);
        Bench bench(clock, line, run.options);
        if (!bench.chained() || runStep2(bench)) {
            firmwareDownload(bench.ctx);
        }
        const std::vector<std::uint8_t> replies = line.encode();
        writeSeed(directory, run.name, run.options, replies);
        // The same run with the line hung up, and with the scanner gone silent, two thirds of the way in.
        std::vector<std::uint8_t> cut(replies.begin(),
                                      replies.begin() + static_cast<std::ptrdiff_t>(replies.size() * 2 / 3));
        writeSeed(directory, std::string(run.name) + "-silent", run.options, cut);
        cut.push_back(0xFF);
        writeSeed(directory, std::string(run.name) + "-hangup", run.options, cut);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* directory = std::getenv("ORVEXA_WRITE_SEEDS")) {
        writeSeeds(directory);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    VirtualClock clock;
    FuzzedLine line(clock, data + 1, size - 1);
    Bench bench(clock, line, data[0]);
    CountingWindow& window = bench.window;
    DeviceInfo& device = bench.device();

    if (bench.chained()) {
        const DeviceInfo before = device;
        const std::uint64_t start = clock.nowUs();
        const bool verified = runStep2(bench);
        check(clock.nowUs() - start <= bounds::kStep2 * kUsPerMs, "Step 2 within its bound");
        checkFields(bench.guarded);
        check(sameFields(before, device, &DeviceInfo::bootloaderText, &DeviceInfo::flashType),
              "Step 2 leaves bootloaderText and flashType alone");
        check(!window.sawBox(kFirmwareUpdatedText), "no success from Step 2 alone");
        if (!verified) {
            return 0;
        }
    }

    // The family is the one Step 2 found (or was given), whatever package this scenario carries.
    const bool framedRun = isFramedFamily(device);
    line.setFramedBlockSize(device.framedBlockSize);
    const std::size_t mark = line.records().size();
    window.steps = 0;
    const std::size_t boxesBefore = window.boxes.size();
    const DeviceInfo before = device;
    const std::uint64_t start = clock.nowUs();
    firmwareDownload(bench.ctx);
    const std::uint64_t tookMs = (clock.nowUs() - start) / kUsPerMs;
    const std::string last = window.boxes.empty() ? std::string() : window.boxes.back().text;
    if (std::getenv("ORVEXA_FUZZ_TRACE") != nullptr) {
        std::fprintf(stderr, "outcome %d, Step 3 took %llu ms, %zu writes, last box: %s\n",
                     static_cast<int>(bench.ctx.outcome), static_cast<unsigned long long>(tookMs),
                     line.records().size(), last.empty() ? "-" : last.substr(0, 40).c_str());
    }
    checkFields(bench.guarded);
    check(sameFields(before, device, &DeviceInfo::modelText, &DeviceInfo::firmwareText,
                     &DeviceInfo::firmwareInfoText, &DeviceInfo::framedBlockSize),
          "Step 3 leaves Step 2's fields alone");
    const int steps = window.steps;
    // The success text, followed by what was not written when pages or fonts were not all taken.
    const bool success = last.rfind(kFirmwareUpdatedText, 0) == 0;
    check(window.boxes.size() >= boxesBefore, "boxes only added");

    if (framedRun && device.framedBlockSize == 0) {
        check(!success, "no success for a framed scanner nobody verified");
        return 0;
    }
    if (framedRun) {
        const std::int32_t blockSize = static_cast<std::int32_t>(device.framedBlockSize);
        const int blocks = (bench.package.imageSize() + blockSize - 1) / blockSize;
        check(tookMs <= bounds::step3Framed(static_cast<std::uint64_t>(blocks)),
              "framed Step 3 within its bound");
        const FramedVerdict v = judgeFramed(line.records(), mark, blocks - 1);
        check(steps == v.steps, "every answered block moves the bar, whatever its reply held");
        if (v.started && !v.failed && v.complete) {
            check(success && last == kFirmwareUpdatedText, "any framed reply is acceptance");
        } else {
            check(!success, "no success for a framed transfer that did not get through");
            check(last == kFirmwareErrorText, "an unfinished framed transfer ends in the error");
        }
        check(!line.isOpen(), "the framed download closes the channel");
        return 0;
    }

    const int chunks = bench.fontsAsked ? 6 * 3 + 1 + 2 : 0;
    const int lastBlock = (bench.package.imageSize() - 1) / kBlock;
    const int blocks = lastBlock + 1;
    check(tookMs <= bounds::step3Classic(static_cast<std::uint64_t>(chunks),
                                         bounds::worstFrameSends(static_cast<std::uint64_t>(blocks))),
          "classic Step 3 within its bound");
    const ClassicVerdict v = judgeClassic(line.records(), mark, lastBlock);
    if (!v.reachedFrames) {
        check(!success, "no success without a single frame");
        return 0;
    }
    check(steps == v.steps, "the bar moves once per block passed, refused or not");
    if (v.silent) {
        check(!success && last == kFirmwareErrorText, "a silent scanner ends in the error");
    } else if (v.exhausted || v.undefined) {
        check(!success && last == kFirmwareErrorText,
              "spent resends and replies the protocol does not define end in the error");
    } else {
        check(v.complete, "a transfer that was never silent reaches the last block");
        check(success, "a transfer of X, C and O replies that never ran out of resends succeeds");
    }
    return 0;
}
