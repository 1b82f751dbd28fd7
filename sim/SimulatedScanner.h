// A simulated RDQ scanner: the device side of every exchange the tool relies on, for both families. It is
// fed the bytes the tool writes, each with the time it reaches the scanner, and schedules its reply bytes
// at the times they would arrive back (a queue of {byte, due time}). It knows no clock of its own, so the
// same object serves the tests in virtual time (SimulatedChannel) and rdq-sim in real time.
//
// Modes of the byte parser:
//
//                  "GFw<hex>#"                     4096 bytes taken, "@"
//        +-------------------------------> ChunkData ------------------+
//        |                                                             |
//        |   STX (framed family)            packet complete            |
//        +-------------------------------> Packet ---------------------+
//        |                                                             v
//   +---------+  "IEI"+"T"/"u" or "IU",  +----------+  "H","H"  +--------+
//   | Command | ---- answered "X" -----> | Download | --------> | Frames |  261-byte BlockFrames,
//   +---------+                          +----------+           +--------+  "X" / "C" / "O" each
//        ^  ^  ^  (letters other than "H" are still commands)      |  |
//        |  |  +----------------- closing "R" frame ----------------+  |
//        |  +---- aborted (stray bytes, 10 s silence): bootloader -----+
//        +---- a unit left half-received for kPartialUnitGapMs ----+
//
// In Command mode letters gather until they spell a known command; a byte that can start no known
// command is dropped, as the device ignores noise between commands. Binary units (a chunk's data, a
// frame, a packet) are taken whole, whatever bytes they hold.
//
// A transfer that ends without its closing frame (the tool was stopped, or the line went away) leaves a
// scanner without working firmware once a block was written: it restarts into its bootloader, and "V" is
// then answered with inBootloaderText ("Bootloader v00"), so that the tool's Step 2 and Step 3 take the
// bootloader path and write the firmware again from block 20. The scanner notices the abort by bytes that
// are no frame: a header whose kind is not 'W' or 'R' or whose block lies beyond its flash, or bytes that
// stop short of a frame for 200 ms (a tool probing with "W" sends either; its bytes are then taken as
// commands, so the probe is answered), or by 10 s in which no byte comes at all. The closing frame ends
// the bootloader state.
//
// Fault switches (ScannerFaults) bend the answers: silence from a given point on, refusals, garbage,
// over-long and endless replies, late replies, NAKs for given blocks, and a hang-up of the line.
//
// In a test:
//     VirtualClock clock;
//     SimulatedPortHub hub;
//     ScannerFaults faults;
//     faults.naks.push_back({3, 'C', 2});                                  // block 3 refused twice
//     faults.silentFrom = FaultPoint{FaultPoint::Kind::Command, "M", 2};   // the second "M" goes unanswered
//     SimulatedScanner& scanner = hub.attachScanner("/dev/ttyUSB0", ScannerPersonality::classic(), faults);
//     SimulatedChannel channel(clock, hub);   // or SimulatedChannel(clock, scanner) for a plain cable
//     ... run the tool on `channel` and `clock` ...
//     scanner.record().image(), .flash(address, length), .commandTexts(), .frames, .packets
#pragma once

#include "ScannerRecord.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvexa {

enum class ScannerFamily { Classic, Framed };

// Who the scanner is. The defaults are a healthy classic RDQ200 that the carried firmware
// "M307_200_A7UG" fits: version 3.05 of model 200, no GPS, fonts supported, a bootloader "v00".
struct ScannerPersonality {
    ScannerFamily family = ScannerFamily::Classic;
    // Reply to "M": exactly 10 bytes; byte 2 is 'a', 'b' or 'c' for the framed family.
    std::string modelText = "RDQ200A7UG";
    // Reply to "V" and to "I","v". Texts go out followed by textTerminator, because the tool drops the
    // last byte of every collected text.
    std::string versionText = "3.05_200_A7UG";
    std::string infoText = "RDQ200 BT Imager A7UG";
    char textTerminator = '\r';
    bool gps = false;        // bit 0 of byte 3 of the "G","s" reply
    bool fontSupport = true; // "GnOLG" answered with 5 bytes and "@" (else "!")
    bool itAccepted = true;  // "I","t" answered "@" (else "!"); "IEIT" is then understood too
    bool gwqAccepted = true; // "GwQ" answered "@" (else "!")
    // Reply to "I","B" without its terminator; empty for a scanner without bootloader (which answers
    // "!" there).
    std::string bootloaderText = "v00";
    std::uint8_t flashType = 8; // byte 3 of the "G","F","S" reply
    // Running its bootloader: "V" is answered with inBootloaderText instead of versionText.
    bool inBootloader = false;
    std::string inBootloaderText = "Bootloader v00";
    // What "V" answers once a transfer has completed and the scanner restarted into what it received;
    // empty: versionText, as before the transfer.
    std::string versionAfterUpgrade;
    // Reply to "G","F","Q": '@', '!' or 0 for silence.
    char externalMemoryAnswer = '@';
    // Framed family: the three 12-character texts of the version reply, and its length (100..109).
    std::string framedLoaderText = "L500_01_0A00";
    std::string framedFirmwareText = "F500_03_0C00";
    std::string framedApplicationText = "A500_02_0B00";
    int framedVersionReplyLength = 104;
    // Time between the start sequence and its "X": the device is getting ready for frames.
    std::uint32_t readyDelayMs = 300;
    // The line: a delay before every reply, and pacing at a baud rate (10 bits per byte, both
    // directions; 0 delivers bytes at once).
    std::uint32_t latencyMs = 0;
    std::uint32_t baudRate = 0;

    static ScannerPersonality classic() { return {}; }
    // A healthy RDQ500 of the framed family.
    static ScannerPersonality framed();
};

// How a reply can go wrong.
enum class ReplyFault {
    None,
    Silent,        // nothing at all
    Refuse,        // "!" in place of the reply
    Garbage,       // as many bytes as the reply, none of them a letter the tool looks for
    Overlong,      // the reply, then more bytes than any field of the tool holds
    UnknownLetter, // the single letter '?', which no exchange knows
    Babble,        // the reply, then bytes without end
};

// A fault on one command, by its key (see SimulatedScanner::commandKey): from its fromOccurrence-th
// occurrence on (1 = the first), for `occurrences` of them (-1: for ever).
struct CommandFault {
    ReplyFault reply = ReplyFault::None;
    std::uint32_t lateMs = 0;
    int fromOccurrence = 1;
    int occurrences = -1;
};

// A point in the conversation. Command: the n-th occurrence of a command key (any command when the key
// is empty). Frame: the n-th download frame received. Block: the first frame or framed data block whose
// block number is n or above. Chunk: the n-th flash chunk. Packet: the n-th framed packet.
struct FaultPoint {
    enum class Kind { Command, Frame, Block, Chunk, Packet };
    Kind kind = Kind::Command;
    std::string command;
    int n = 1;
};

// Refuse the frame of a block `count` times with `letter` ('C' or 'O') before accepting it.
struct NakFault {
    std::uint16_t block = 0;
    char letter = 'C';
    int count = 1;
};

struct ScannerFaults {
    std::map<std::string, CommandFault> commands;
    std::optional<FaultPoint> silentFrom;  // answers nothing from this point on, this one included
    std::optional<FaultPoint> silentAfter; // answers this point, then nothing more
    std::optional<FaultPoint> vanishAt;    // hangs up the line on reaching this point, without answering
    std::optional<FaultPoint> vanishAfter; // answers this point, then hangs up once the answer is out
    std::vector<NakFault> naks;
};

class SimulatedScanner {
public:
    explicit SimulatedScanner(ScannerPersonality personality = {}, ScannerFaults faults = {});

    // Bytes the tool wrote at nowUs. With pacing they reach the scanner one byte time apart, after
    // whatever is still on the line.
    void receive(const std::uint8_t* data, std::size_t count, std::uint64_t nowUs);

    // When the next reply byte arrives at the tool's end, if any is coming, or when the scanner next acts
    // on its own and may answer then (a stray byte where a frame should start).
    std::optional<std::uint64_t> nextDueUs() const;
    // Takes up to max reply bytes that have arrived by nowUs.
    std::size_t takeDue(std::uint64_t nowUs, std::uint8_t* out, std::size_t max);
    // Drops the reply bytes that have arrived by nowUs, as a port purge does.
    void discardArrived(std::uint64_t nowUs);
    // The link under the line went down at nowUs (a socket's peer closed it): the reply bytes not yet
    // sent are lost with it, as a radio link loses what it still held. An endless reply goes on.
    void dropUnsent(std::uint64_t nowUs);

    // The scanner hung up the line (a vanish fault) at or before nowUs.
    bool lineLost(std::uint64_t nowUs) const { return vanishedAtUs_ && *vanishedAtUs_ <= nowUs; }
    bool vanished() const { return vanishedAtUs_.has_value(); }
    std::optional<std::uint64_t> vanishedAtUs() const { return vanishedAtUs_; }

    const ScannerRecord& record() const { return record_; }
    ScannerPersonality& personality() { return personality_; }
    ScannerFaults& faults() { return faults_; }

    // The key a command is known by in the faults and occurrence counts: its letters ("W", "Gs", "M",
    // "GnOLG", "IEIT", "IU", ...), "GFw" for every flash chunk command, "frame" for download frames,
    // "framed-version", "framed-start" and "framed-block" for the framed packets ("framed-bad" for one
    // with a wrong CRC, "framed-other" for one the scanner does not know).
    static std::string commandKey(const std::string& text);

    // The time a byte takes on the line at the personality's baud rate, in microseconds (rounded up
    // over n bytes); 0 without pacing.
    std::uint64_t lineTimeUs(std::size_t bytes) const;

private:
    enum class Mode { Command, ChunkData, Download, Frames, Packet };

    struct PendingByte {
        std::uint8_t byte;
        std::uint64_t dueUs;
    };

    void settle(std::uint64_t nowUs);
    std::optional<std::uint64_t> strayFrameDueUs() const;
    void leaveDownload(std::uint64_t atUs);
    std::optional<std::uint64_t> nextReplyByteUs() const;
    void takeByte(std::uint8_t byte, std::uint64_t atUs);
    void takeCommandByte(std::uint8_t byte, std::uint64_t atUs);
    void runCommand(const std::string& text, std::uint64_t atUs);
    void takeChunkByte(std::uint8_t byte, std::uint64_t atUs);
    void takeFrameByte(std::uint8_t byte, std::uint64_t atUs);
    void runFrame(std::uint64_t atUs);
    void takePacketByte(std::uint8_t byte, std::uint64_t atUs);
    void runPacket(std::uint64_t atUs);

    // Decides what goes back for one occurrence of a command and queues it; false when the scanner
    // stays silent (or hangs up) instead.
    bool answer(const std::string& key, std::vector<std::uint8_t> reply, std::uint64_t atUs,
                std::uint32_t extraDelayMs = 0);
    bool reachedPoint(const FaultPoint& point, const std::string& key, int blockNumber) const;
    void queueReply(const std::vector<std::uint8_t>& bytes, std::uint64_t fromUs, bool thenBabble);
    std::vector<std::uint8_t> textReply(const std::string& text) const;
    std::vector<std::uint8_t> framedReply(std::uint8_t command, std::uint8_t subCode,
                                          const std::vector<std::uint8_t>& body) const;
    std::vector<std::uint8_t> framedVersionReply() const;

    ScannerPersonality personality_;
    ScannerFaults faults_;
    ScannerRecord record_;

    Mode mode_ = Mode::Command;
    std::string pending_;            // letters of a command not yet complete
    std::vector<std::uint8_t> unit_; // the binary unit being received
    std::uint64_t lastByteUs_ = 0;
    std::uint32_t chunkAddress_ = 0;
    int headersSeen_ = 0; // "H" letters since the download mode began
    std::map<std::string, int> occurrences_;
    int framesSeen_ = 0;
    int chunksSeen_ = 0;
    int packetsSeen_ = 0;
    int unitsSeen_ = 0; // commands, frames, chunks and packets that reached the answering stage
    std::map<std::uint16_t, int> naksSent_;
    std::vector<std::uint8_t> lastReply_; // what the last answer() queued
    bool firmwareOverwritten_ = false; // a block of this download was written: no firmware without the rest
    bool silent_ = false;
    std::optional<std::uint64_t> vanishedAtUs_;

    std::uint64_t inLineFreeUs_ = 0;  // when the line towards the scanner is free again
    std::uint64_t outLineFreeUs_ = 0; // when the line back to the tool is free again
    std::deque<PendingByte> out_;
    // An endless reply: one more byte every babbleIntervalUs_ from babbleNextUs_ on.
    std::optional<std::uint64_t> babbleNextUs_;
    std::uint64_t babbleIntervalUs_ = 0;
};

} // namespace orvexa
