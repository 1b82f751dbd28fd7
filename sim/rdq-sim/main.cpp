// rdq-sim: the simulated RDQ scanner behind a pseudo-terminal, in real time. The tool (orvexa-cli, the GUI,
// a test) opens the terminal's path like any serial port. The first line on standard output is that
// path; with --link the same terminal is also reachable under a name of one's choosing. With --scanners N
// there are N scanners, each on a terminal and a thread of its own, sharing nothing but the stop signal,
// so that each answers in the time it would alone; their paths are the first N lines. With --listen a
// scanner is served on a listening unix stream socket instead, one connection after the other, as a
// Bluetooth stack hands the tool a connected socket to a scanner that stays on between connections.
//
// We keep a slave descriptor of our own open for the whole run, so that the master never sees a hang-up
// when the tool closes its port between steps; a vanish fault is the only way the line goes away.
// The loop sleeps in ppoll() until the tool writes or the next reply byte is due: never a busy loop.
#include "SimulatedScanner.h"

#include "ProgramVersion.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

using namespace orvexa;

namespace {

constexpr const char* kUsage = R"(Usage: rdq-sim [OPTION]...
  or:  rdq-sim --scanners N [OPTION]... [--scanner K OPTION...]...
A simulated RDQ barcode scanner on a pseudo-terminal. Prints the terminal's path on its first line, then
answers the tool in real time until it is stopped (SIGINT, SIGTERM) or a vanish fault hangs up the line.
With no option it is a healthy classic RDQ200 that the carried firmware M307_200_A7UG fits.

Personality:
  --family classic|framed     device family (framed: an RDQ500 speaking framed packets)   [classic]
  --model-text TEXT           reply to "M", 10 characters; character 2 'a'/'b'/'c' means framed
                                                           [RDQ200A7UG; framed: RDa500B2WW]
  --firmware-text TEXT        reply to "V"                  [3.05_200_A7UG; framed: F500_03_0C00]
  --firmware-text-after TEXT  reply to "V" once a transfer completed      [the --firmware-text]
  --info-text TEXT            reply to "I","v"              [RDQ200 BT Imager A7UG]
  --bootloader-text TEXT      reply to "I","B"              [v00]
  --no-bootloader             no bootloader: "I","B" is refused
  --in-bootloader             running its bootloader: "V" is answered "Bootloader v00"
  --gps                       reports GPS (bit 0 of byte 3 of the "G","s" reply)
  --no-font-support           refuses "GnOLG"
  --refuse-it                 refuses "I","t" (and then knows no "T" in the start sequence)
  --refuse-gwq                refuses "GwQ"
  --flash-type N              byte 3 of the "G","F","S" reply                            [8]
  --external-memory @|!|silent  answer to "G","F","Q"                                    [@]
  --framed-texts L,F,A        loader, firmware and application texts of the framed version reply
                              (12 characters each)       [L500_01_0A00,F500_03_0C00,A500_02_0B00]
  --framed-reply-length N     length of the framed version reply, 100 to 109 normally    [104]
  --ready-delay MS            time from the start sequence to its "X"                     [300]

After an aborted transfer (frames but no closing frame: the tool was stopped, or lost the line), the
scanner has no working firmware once a block was written, and restarts into its bootloader, as
--in-bootloader starts it: "V" is answered "Bootloader v00", so the tool's next run verifies it and writes
the firmware again from block 20. It notices the abort by bytes that are no frame (a header whose kind
is not W or R or whose block lies beyond 1 MiB of flash, or bytes that stop short of a frame for 200 ms:
a tool probing with "W" sends either, and its bytes are taken as commands, so the probe is answered), or
by 10 s in which no byte comes. A complete transfer ends the bootloader state.

Line:
  --baud N                    pace the line at N baud, 10 bits a byte, both ways (0: no pacing) [0]
  --latency MS                delay before every reply                                     [0]
  --spin-us N                 sleep only until N microseconds before a reply byte is due, then
                              keep the CPU awake until it is: a timed sleep can wake late by
                              milliseconds on a machine whose CPU went idle (for benchmarks) [0]

Faults (POINT is KEY[:N] for the N-th occurrence of a command, N counted from 1, or frame:N,
block:N, chunk:N, packet:N, any:N; a KEY is the command's letters, e.g. W Gs V Iv M GwQ It GFQ
GnOLG IB GFS GnOFS IEIT IEIu IU HH, or GFw (flash chunks), frame (download frames), framed-version,
framed-start, framed-block):
  --silent-from POINT         answer nothing from POINT on, POINT included
  --silent-after POINT        answer POINT, then nothing more
  --vanish-at POINT           hang up the line on reaching POINT, without answering it
  --vanish-after POINT        answer POINT, then hang up the line
  --nak BLOCK:COUNT[:LETTER]  answer the frame of BLOCK with LETTER (C or O) COUNT times   [C]
  --silent KEY                never answer KEY
  --refuse KEY                answer KEY with "!"
  --garbage KEY               answer KEY with bytes that mean nothing
  --overlong KEY              answer KEY, then 300 bytes more than any field holds
  --unknown-letter KEY        answer KEY with "?", a letter no exchange knows
  --babble KEY                answer KEY, then send bytes without end
  --late KEY:MS               answer KEY MS milliseconds late

Output:
  --link PATH                 also make PATH a symbolic link to the terminal (removed on exit)
  --listen PATH               no terminal: listen on a unix stream socket at PATH (printed as the
                              port, removed on exit) and serve each connection as the terminal,
                              one at a time; the scanner keeps its state from one to the next and
                              loses the reply bytes not yet sent when a connection ends; a vanish
                              fault closes the connection and the socket
  --record FILE               on exit, write what the scanner received as JSON: commands, frames,
                              chunks, packets, and the image and flash as sha256 and length
  --record-data               put the bytes themselves (hex) in the record too
  --help                      show this text
  --version                   show the version

Several scanners:
  --scanners N                N independent scanners (1 to 32), each on a pseudo-terminal of its own;
                              their paths are printed one per line, scanner 1 first            [1]
  --scanner K                 the options after it, up to the next --scanner, are scanner K's alone
                              (K from 1 to N; --scanners N comes before the first --scanner)
The options before the first --scanner are every scanner's; a scanner's own options come after them, so
they win where both set the same thing. --link, --listen and --record name one scanner's file: with N above 1
they go after that scanner's --scanner K. Each scanner answers in real time whatever the others do; a
vanish fault hangs up that scanner's line alone, and rdq-sim ends once every line is gone or it is
stopped, writing the record of every scanner that has one.
)";

constexpr long kMaxScanners = 32;

struct Options {
    ScannerPersonality personality;
    ScannerFaults faults;
    std::string link;
    std::string listen;
    std::string record;
    bool recordData = false;
    std::uint64_t spinUs = 0;
};

[[noreturn]] void usageError(const std::string& message) {
    std::cerr << "rdq-sim: " << message << "\nTry 'rdq-sim --help'.\n";
    std::exit(2);
}

long number(const std::string& text, const std::string& option, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        usageError(option + " wants a number from " + std::to_string(low) + " to " + std::to_string(high) +
                   ", not '" + text + "'");
    }
    return value;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

FaultPoint point(const std::string& text, const std::string& option) {
    const std::vector<std::string> parts = split(text, ':');
    if (parts.size() > 2 || parts[0].empty()) {
        usageError(option + " wants KEY[:N], frame:N, block:N, chunk:N, packet:N or any:N, not '" + text +
                   "'");
    }
    FaultPoint p;
    const std::string& what = parts[0];
    const bool needsNumber =
        what == "frame" || what == "block" || what == "chunk" || what == "packet" || what == "any";
    if (needsNumber && parts.size() != 2) {
        usageError(option + " " + what + " wants a number: " + what + ":N");
    }
    p.n = parts.size() == 2 ? static_cast<int>(number(parts[1], option, what == "block" ? 0 : 1, 1'000'000))
                            : 1;
    if (what == "frame") {
        p.kind = FaultPoint::Kind::Frame;
    } else if (what == "block") {
        p.kind = FaultPoint::Kind::Block;
    } else if (what == "chunk") {
        p.kind = FaultPoint::Kind::Chunk;
    } else if (what == "packet") {
        p.kind = FaultPoint::Kind::Packet;
    } else if (what == "any") {
        p.kind = FaultPoint::Kind::Command;
    } else {
        p.kind = FaultPoint::Kind::Command;
        p.command = what;
    }
    return p;
}

using Given = std::vector<std::pair<std::string, std::string>>;

// One scanner's options: every scanner's first, then its own.
Options options(const Given& given) {
    Options o;
    ScannerPersonality& p = o.personality;
    std::optional<ScannerFamily> family;
    // The family first: it chooses the defaults that the other options then change.
    for (const auto& [option, value] : given) {
        if (option == "--family") {
            if (value != "classic" && value != "framed") {
                usageError("--family is classic or framed, not '" + value + "'");
            }
            family = value == "framed" ? ScannerFamily::Framed : ScannerFamily::Classic;
        }
    }
    if (family == ScannerFamily::Framed) {
        p = ScannerPersonality::framed();
    }
    auto commandFault = [&](const std::string& key) -> CommandFault& { return o.faults.commands[key]; };
    for (const auto& [option, value] : given) {
        if (option == "--family") {
        } else if (option == "--model-text") {
            if (value.size() != 10) {
                usageError("--model-text wants 10 characters, not '" + value + "'");
            }
            p.modelText = value;
        } else if (option == "--firmware-text") {
            p.versionText = value;
        } else if (option == "--firmware-text-after") {
            p.versionAfterUpgrade = value;
        } else if (option == "--info-text") {
            p.infoText = value;
        } else if (option == "--bootloader-text") {
            p.bootloaderText = value;
        } else if (option == "--no-bootloader") {
            p.bootloaderText.clear();
        } else if (option == "--in-bootloader") {
            p.inBootloader = true;
        } else if (option == "--gps") {
            p.gps = true;
        } else if (option == "--no-font-support") {
            p.fontSupport = false;
        } else if (option == "--refuse-it") {
            p.itAccepted = false;
        } else if (option == "--refuse-gwq") {
            p.gwqAccepted = false;
        } else if (option == "--flash-type") {
            p.flashType = static_cast<std::uint8_t>(number(value, option, 0, 255));
        } else if (option == "--external-memory") {
            if (value != "@" && value != "!" && value != "silent") {
                usageError("--external-memory is @, ! or silent");
            }
            p.externalMemoryAnswer = value == "silent" ? 0 : value[0];
        } else if (option == "--framed-texts") {
            const std::vector<std::string> texts = split(value, ',');
            if (texts.size() != 3) {
                usageError("--framed-texts wants LOADER,FIRMWARE,APPLICATION");
            }
            p.framedLoaderText = texts[0];
            p.framedFirmwareText = texts[1];
            p.framedApplicationText = texts[2];
        } else if (option == "--framed-reply-length") {
            p.framedVersionReplyLength = static_cast<int>(number(value, option, 0, 4096));
        } else if (option == "--ready-delay") {
            p.readyDelayMs = static_cast<std::uint32_t>(number(value, option, 0, 600'000));
        } else if (option == "--baud") {
            p.baudRate = static_cast<std::uint32_t>(number(value, option, 0, 4'000'000));
        } else if (option == "--latency") {
            p.latencyMs = static_cast<std::uint32_t>(number(value, option, 0, 600'000));
        } else if (option == "--spin-us") {
            o.spinUs = static_cast<std::uint64_t>(number(value, option, 0, 100'000));
        } else if (option == "--silent-from") {
            o.faults.silentFrom = point(value, option);
        } else if (option == "--silent-after") {
            o.faults.silentAfter = point(value, option);
        } else if (option == "--vanish-at") {
            o.faults.vanishAt = point(value, option);
        } else if (option == "--vanish-after") {
            o.faults.vanishAfter = point(value, option);
        } else if (option == "--nak") {
            const std::vector<std::string> parts = split(value, ':');
            if (parts.size() < 2 || parts.size() > 3 ||
                (parts.size() == 3 && parts[2] != "C" && parts[2] != "O")) {
                usageError("--nak wants BLOCK:COUNT or BLOCK:COUNT:C or BLOCK:COUNT:O");
            }
            o.faults.naks.push_back({static_cast<std::uint16_t>(number(parts[0], option, 0, 65535)),
                                     parts.size() == 3 ? parts[2][0] : 'C',
                                     static_cast<int>(number(parts[1], option, 0, 1'000'000))});
        } else if (option == "--silent") {
            commandFault(value).reply = ReplyFault::Silent;
        } else if (option == "--refuse") {
            commandFault(value).reply = ReplyFault::Refuse;
        } else if (option == "--garbage") {
            commandFault(value).reply = ReplyFault::Garbage;
        } else if (option == "--overlong") {
            commandFault(value).reply = ReplyFault::Overlong;
        } else if (option == "--unknown-letter") {
            commandFault(value).reply = ReplyFault::UnknownLetter;
        } else if (option == "--babble") {
            commandFault(value).reply = ReplyFault::Babble;
        } else if (option == "--late") {
            const std::vector<std::string> parts = split(value, ':');
            if (parts.size() != 2 || parts[0].empty()) {
                usageError("--late wants KEY:MS");
            }
            commandFault(parts[0]).lateMs = static_cast<std::uint32_t>(number(parts[1], option, 0, 600'000));
        } else if (option == "--link") {
            o.link = value;
        } else if (option == "--listen") {
            if (value.empty() || value.size() >= sizeof(sockaddr_un::sun_path)) {
                usageError("--listen wants a path of 1 to " +
                           std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes");
            }
            o.listen = value;
        } else if (option == "--record") {
            o.record = value;
        } else if (option == "--record-data") {
            o.recordData = true;
        } else {
            usageError("unknown option " + option);
        }
    }
    if (!o.listen.empty() && !o.link.empty()) {
        usageError("--link names a terminal, and a scanner with --listen has none");
    }
    return o;
}

void refuseShared(const std::vector<Options>& scanners, std::string Options::*file,
                  const std::string& option) {
    for (std::size_t i = 0; i < scanners.size(); ++i) {
        for (std::size_t j = i + 1; j < scanners.size(); ++j) {
            if (!(scanners[i].*file).empty() && scanners[i].*file == scanners[j].*file) {
                usageError("scanners " + std::to_string(i + 1) + " and " + std::to_string(j + 1) +
                           " have the same " + option + " " + scanners[i].*file);
            }
        }
    }
}

std::vector<Options> parse(int argc, char** argv) {
    Given common;
    std::vector<Given> own(1);
    Given* section = &common;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (option == "--version") {
            std::cout << "rdq-sim " << kProgramVersion << "\n";
            std::exit(0);
        }
        static const std::vector<std::string> flags = {"--no-bootloader",   "--in-bootloader", "--gps",
                                                       "--no-font-support", "--refuse-it",     "--refuse-gwq",
                                                       "--record-data"};
        if (std::find(flags.begin(), flags.end(), option) != flags.end()) {
            section->emplace_back(option, "");
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            usageError("unexpected argument '" + option + "'");
        }
        if (i + 1 >= argc) {
            usageError(option + " wants a value");
        }
        const std::string value = argv[++i];
        if (option == "--scanners") {
            if (section != &common) {
                usageError("--scanners N comes before the first --scanner K");
            }
            own.assign(static_cast<std::size_t>(number(value, option, 1, kMaxScanners)), {});
        } else if (option == "--scanner") {
            if (own.size() == 1 && value != "1") {
                usageError("--scanner " + value + " needs --scanners N before it");
            }
            const long count = static_cast<long>(own.size());
            section = &own[static_cast<std::size_t>(number(value, option, 1, count)) - 1];
        } else {
            section->emplace_back(option, value);
        }
    }
    if (own.size() > 1) {
        for (const auto& [option, value] : common) {
            if (option == "--record" || option == "--link" || option == "--listen") {
                usageError(option +
                           " before the first --scanner would be every scanner's: give each scanner's " +
                           option + " after its --scanner K");
            }
        }
    }
    std::vector<Options> scanners;
    for (const Given& mine : own) {
        Given given = common;
        given.insert(given.end(), mine.begin(), mine.end());
        scanners.push_back(options(given));
    }
    refuseShared(scanners, &Options::record, "--record");
    refuseShared(scanners, &Options::link, "--link");
    refuseShared(scanners, &Options::listen, "--listen");
    return scanners;
}

// A signal handler may touch only lock-free atomics, and every scanner's thread reads this one.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);
// With several scanners a stop signal lands in one thread's ppoll(); a byte in this pipe, never read,
// wakes the others' too. -1 with one scanner, which waits on its terminal alone.
int stopPipeWriteEnd = -1;

void requestStop() {
    stopRequested = true;
    if (stopPipeWriteEnd >= 0) {
        const int savedErrno = errno;
        const ssize_t written = ::write(stopPipeWriteEnd, "", 1);
        static_cast<void>(written); // a full pipe wakes every reader just as well
        errno = savedErrno;
    }
}

void onStopSignal(int) {
    requestStop();
}

std::uint64_t monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000 + static_cast<std::uint64_t>(ts.tv_nsec) / 1000;
}

class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname(master_) == nullptr) {
            std::perror("rdq-sim: cannot create a pseudo-terminal");
            std::exit(1);
        }
        path_ = ptsname(master_);
        // Our own slave end, raw from the start so that nothing is echoed or translated before the tool
        // sets the line up.
        slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (slave_ >= 0 && tcgetattr(slave_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(slave_, TCSANOW, &tio);
        }
    }
    ~PseudoTerminal() { hangUp(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    void hangUp() {
        if (slave_ >= 0) {
            ::close(slave_);
            slave_ = -1;
        }
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    int master() const { return master_; }
    const std::string& path() const { return path_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// A --listen scanner's socket. A socket file left at the path (by an rdq-sim that was killed) is replaced;
// any other file there is left alone, and the socket is not made.
class ListeningSocket {
public:
    explicit ListeningSocket(std::string path) : path_(std::move(path)) {
        struct stat existing {};
        if (lstat(path_.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) {
            ::unlink(path_.c_str());
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1); // its length was checked with the options
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            error_ = std::strerror(errno);
            close();
            return;
        }
        bound_ = true;
        if (::listen(fd_, 1) != 0) {
            error_ = std::strerror(errno);
            close();
        }
    }
    ~ListeningSocket() { close(); }
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    // No more connections: the socket goes, and its file with it.
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (bound_) {
            ::unlink(path_.c_str());
            bound_ = false;
        }
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // Why the socket could not be made; empty when it was.
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    bool bound_ = false;
    std::string path_;
    std::string error_;
};

// Where one scanner is served: its pseudo-terminal, or its listening socket.
struct Line {
    std::unique_ptr<PseudoTerminal> terminal;
    std::unique_ptr<ListeningSocket> listener;

    const std::string& path() const { return terminal ? terminal->path() : listener->path(); }
    void hangUp() {
        if (terminal) {
            terminal->hangUp();
        } else {
            listener->close();
        }
    }
};

void writeRecord(const Options& options, const SimulatedScanner& scanner) {
    if (options.record.empty()) {
        return;
    }
    std::ofstream file(options.record, std::ios::binary | std::ios::trunc);
    file << scanner.record().toJson(options.recordData);
    if (!file) {
        std::cerr << "rdq-sim: cannot write the record to " << options.record << "\n";
    }
}

// The stop signals are held back except inside ppoll(), so that one arriving just before a wait still ends
// it instead of waiting for the next byte. Returns the mask to wait with.
sigset_t holdStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, signal);
    }
    sigset_t waitMask;
    pthread_sigmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigdelset(&waitMask, signal);
    }
    return waitMask;
}

enum class Served {
    Stopped,  // a stop signal
    LineLost, // the scanner hung up (a vanish fault)
    Closed,   // the other end went away: a connection the tool closed
    Failed,
};

// Serves the scanner on fd (a terminal's master, or one connection) until one of the ends above. A stop
// wakes the wait through stopFd as well, when it is not -1.
Served serve(int fd, SimulatedScanner& scanner, std::uint64_t originUs, std::uint64_t spinUs, int stopFd,
             const sigset_t& waitMask) {
    std::vector<std::uint8_t> buffer(4096);
    bool outputBlocked = false;
    while (!stopRequested) {
        std::uint64_t nowUs = monotonicUs() - originUs;
        if (outputBlocked) {
            // Nobody read the terminal while it was full: what arrived meanwhile is lost, as a receive
            // overrun loses it, and an endless reply does not pile up a backlog.
            scanner.discardArrived(nowUs);
            outputBlocked = false;
        }
        for (std::size_t n = scanner.takeDue(nowUs, buffer.data(), buffer.size()); n > 0 && !outputBlocked;
             n = scanner.takeDue(nowUs, buffer.data(), buffer.size())) {
            const ssize_t put = ::write(fd, buffer.data(), n);
            outputBlocked = put < static_cast<ssize_t>(n);
        }
        if (scanner.lineLost(nowUs)) {
            return Served::LineLost;
        }
        std::optional<std::uint64_t> next = outputBlocked ? std::nullopt : scanner.nextDueUs();
        if (scanner.vanished()) {
            next = std::min(next.value_or(UINT64_MAX), *scanner.vanishedAtUs()); // the hang-up is due too
        }
        timespec timeout{};
        timespec* wait = nullptr; // no reply pending: sleep until the tool writes
        if (next) {
            nowUs = monotonicUs() - originUs;
            // Every reply byte goes out when its last bit would have left the scanner: the tool can hold
            // it no sooner, and the benchmark needs it no later, or the tool is charged for the wait. At
            // 11520 bytes a second at most, a wake-up per byte costs little. Within spinUs of the due
            // time the wait only looks for input and comes round again.
            const std::uint64_t leftUs = *next > nowUs + spinUs ? *next - nowUs - spinUs : 0;
            timeout.tv_sec = static_cast<time_t>(leftUs / 1'000'000);
            timeout.tv_nsec = static_cast<long>(leftUs % 1'000'000) * 1000;
            wait = &timeout;
        }
        pollfd fds[2] = {{fd, static_cast<short>(POLLIN | (outputBlocked ? POLLOUT : 0)), 0},
                         {stopFd, POLLIN, 0}};
        const int ready = ppoll(fds, stopFd >= 0 ? 2 : 1, wait, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("rdq-sim: poll");
            return Served::Failed;
        }
        // A terminal never reports a hang-up (our own slave end keeps it up); a connection does once the
        // tool shut it down, and its read then finds the end.
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            if (got > 0) {
                scanner.receive(buffer.data(), static_cast<std::size_t>(got), monotonicUs() - originUs);
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                return Served::Closed;
            }
        }
    }
    return Served::Stopped;
}

// The next connection to a --listen scanner: its descriptor, or -1 on a stop or an error.
int acceptConnection(const ListeningSocket& listener, int stopFd, const sigset_t& waitMask) {
    while (!stopRequested) {
        pollfd fds[2] = {{listener.fd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = ppoll(fds, stopFd >= 0 ? 2 : 1, nullptr, &waitMask);
        if (ready < 0 && errno != EINTR) {
            std::perror("rdq-sim: poll");
            return -1;
        }
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            const int connection = accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (connection >= 0) {
                return connection;
            }
            if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) {
                std::perror("rdq-sim: accept");
                return -1;
            }
        }
    }
    return -1;
}

// Serves one scanner until a stop signal or a hang-up; returns the exit code. On a terminal that is one
// serve(); on a listening socket, one serve() per connection, the scanner's state running on from one to
// the next, until the scanner hangs up. A stop wakes the waits through stopFd as well, when it is not -1.
int serveLine(Line& line, SimulatedScanner& scanner, std::uint64_t originUs, std::uint64_t spinUs,
              int stopFd) {
    const sigset_t waitMask = holdStopSignals();
    if (line.terminal) {
        const Served served = serve(line.terminal->master(), scanner, originUs, spinUs, stopFd, waitMask);
        if (served == Served::LineLost || served == Served::Closed) {
            line.hangUp();
        }
        return served == Served::Failed ? 1 : 0;
    }
    while (!stopRequested) {
        const int connection = acceptConnection(*line.listener, stopFd, waitMask);
        if (connection < 0) {
            return stopRequested ? 0 : 1;
        }
        const Served served = serve(connection, scanner, originUs, spinUs, stopFd, waitMask);
        ::close(connection);
        if (served == Served::Failed) {
            return 1;
        }
        if (served == Served::LineLost) {
            line.hangUp();
            return 0;
        }
        scanner.dropUnsent(monotonicUs() - originUs);
    }
    return 0;
}

// Every scanner in a thread of its own, so that a reply due on one line never waits for work on another.
// The stop signals are blocked here, before the threads inherit the mask: each thread lets them in only
// inside its ppoll(), as a single scanner does. Returns the worst exit code.
int serveFleet(std::vector<Line>& lines, const std::vector<std::unique_ptr<SimulatedScanner>>& scanners,
               const std::vector<Options>& fleet, std::uint64_t originUs, int stopFd) {
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, nullptr, &previous);
    holdStopSignals();
    std::vector<int> codes(scanners.size(), 0);
    int startCode = 0;
    std::vector<std::thread> threads;
    try {
        for (std::size_t i = 0; i < scanners.size(); ++i) {
            threads.emplace_back(
                [&, i] { codes[i] = serveLine(lines[i], *scanners[i], originUs, fleet[i].spinUs, stopFd); });
        }
    } catch (const std::system_error& error) {
        std::cerr << "rdq-sim: cannot start a thread for every scanner: " << error.what() << "\n";
        startCode = 1;
        requestStop();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return std::max(startCode, *std::max_element(codes.begin(), codes.end()));
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<Options> fleet = parse(argc, argv);

    int stopPipe[2] = {-1, -1};
    if (fleet.size() > 1 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("rdq-sim: cannot make the stop pipe");
        return 1;
    }
    stopPipeWriteEnd = stopPipe[1];

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // The kernel may otherwise round each wait up by 50 us, most of a byte's time at 115200 baud.
    prctl(PR_SET_TIMERSLACK, 1UL);

    std::vector<Line> lines(fleet.size());
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        if (fleet[i].listen.empty()) {
            lines[i].terminal = std::make_unique<PseudoTerminal>();
            continue;
        }
        lines[i].listener = std::make_unique<ListeningSocket>(fleet[i].listen);
        if (!lines[i].listener->error().empty()) {
            std::cerr << "rdq-sim: cannot listen on " << fleet[i].listen << ": " << lines[i].listener->error()
                      << "\n";
            return 1;
        }
    }
    auto unlinkLinks = [&](std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!fleet[i].link.empty()) {
                ::unlink(fleet[i].link.c_str());
            }
        }
    };
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        const std::string& link = fleet[i].link;
        if (link.empty()) {
            continue;
        }
        struct stat existing {};
        if (lstat(link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
            ::unlink(link.c_str());
        }
        if (symlink(lines[i].path().c_str(), link.c_str()) != 0) {
            std::cerr << "rdq-sim: cannot link " << link << ": " << std::strerror(errno) << "\n";
            unlinkLinks(i);
            return 1;
        }
    }
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        std::cout << lines[i].path() << "\n";
    }
    std::cout << lines.back().path() << std::endl;

    std::vector<std::unique_ptr<SimulatedScanner>> scanners;
    for (const Options& options : fleet) {
        scanners.push_back(std::make_unique<SimulatedScanner>(options.personality, options.faults));
    }
    const int code = fleet.size() == 1 ? serveLine(lines[0], *scanners[0], monotonicUs(), fleet[0].spinUs, -1)
                                       : serveFleet(lines, scanners, fleet, monotonicUs(), stopPipe[0]);
    for (Line& line : lines) {
        line.hangUp();
    }
    unlinkLinks(fleet.size());
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        writeRecord(fleet[i], *scanners[i]);
    }
    return code;
}
