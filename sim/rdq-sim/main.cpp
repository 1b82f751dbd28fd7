// rdq-sim: the simulated RDQ scanner behind a pseudo-terminal, in real time. The tool (orvexa-cli, the GUI,
// a test) opens the terminal's path like any serial port. The first line on standard output is that
// path; with --link the same terminal is also reachable under a name of one's choosing.
//
// We keep a slave descriptor of our own open for the whole run, so that the master never sees a hang-up
// when the tool closes its port between steps; a vanish fault is the only way the line goes away.
// The loop sleeps in ppoll() until the tool writes or the next reply byte is due: never a busy loop.
#include "SimulatedScanner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace orvexa;

namespace {

constexpr const char* kUsage = R"(Usage: rdq-sim [OPTION]...
A simulated RDQ barcode scanner on a pseudo-terminal. Prints the terminal's path on its first line, then
answers the tool in real time until it is stopped (SIGINT, SIGTERM) or a vanish fault hangs up the line.
With no option it is a healthy classic RDQ200 that the carried firmware M307_200_A7UG fits.

Personality:
  --family classic|framed     device family (framed: an RDQ500 speaking framed packets)   [classic]
  --model-text TEXT           reply to "M", 10 characters; character 2 'a'/'b'/'c' means framed
                                                           [RDQ200A7UG; framed: RDa500B2WW]
  --firmware-text TEXT        reply to "V"                  [3.05_200_A7UG; framed: F500_03_0C00]
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
  --record FILE               on exit, write what the scanner received as JSON: commands, frames,
                              chunks, packets, and the image and flash as sha256 and length
  --record-data               put the bytes themselves (hex) in the record too
  --help                      show this text
  --version                   show the version
)";

struct Options {
    ScannerPersonality personality;
    ScannerFaults faults;
    std::string link;
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

Options parse(int argc, char** argv) {
    Options o;
    ScannerPersonality& p = o.personality;
    std::optional<ScannerFamily> family;
    std::vector<std::pair<std::string, std::string>> given;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (option == "--version") {
            std::cout << "rdq-sim " << ORVEXA_VERSION << "\n";
            std::exit(0);
        }
        static const std::vector<std::string> flags = {"--no-bootloader",   "--in-bootloader", "--gps",
                                                       "--no-font-support", "--refuse-it",     "--refuse-gwq",
                                                       "--record-data"};
        if (std::find(flags.begin(), flags.end(), option) != flags.end()) {
            given.emplace_back(option, "");
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            usageError("unexpected argument '" + option + "'");
        }
        if (i + 1 >= argc) {
            usageError(option + " wants a value");
        }
        given.emplace_back(option, argv[++i]);
    }
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
        } else if (option == "--record") {
            o.record = value;
        } else if (option == "--record-data") {
            o.recordData = true;
        } else {
            usageError("unknown option " + option);
        }
    }
    return o;
}

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
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

// Serves the scanner until a stop signal or a hang-up; returns the exit code.
int serve(PseudoTerminal& terminal, SimulatedScanner& scanner, std::uint64_t originUs, std::uint64_t spinUs) {
    std::vector<std::uint8_t> buffer(4096);
    bool outputBlocked = false;
    // The stop signals are held back except inside ppoll(), so that one arriving just before the wait
    // still ends it instead of waiting for the next byte.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, signal);
    }
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigdelset(&waitMask, signal);
    }
    while (stopRequested == 0) {
        std::uint64_t nowUs = monotonicUs() - originUs;
        if (outputBlocked) {
            // Nobody read the terminal while it was full: what arrived meanwhile is lost, as a receive
            // overrun loses it, and an endless reply does not pile up a backlog.
            scanner.discardArrived(nowUs);
            outputBlocked = false;
        }
        for (std::size_t n = scanner.takeDue(nowUs, buffer.data(), buffer.size()); n > 0 && !outputBlocked;
             n = scanner.takeDue(nowUs, buffer.data(), buffer.size())) {
            const ssize_t put = ::write(terminal.master(), buffer.data(), n);
            outputBlocked = put < static_cast<ssize_t>(n);
        }
        if (scanner.lineLost(nowUs)) {
            terminal.hangUp();
            return 0;
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
        pollfd pfd{terminal.master(), static_cast<short>(POLLIN | (outputBlocked ? POLLOUT : 0)), 0};
        const int ready = ppoll(&pfd, 1, wait, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("rdq-sim: poll");
            return 1;
        }
        if (ready > 0 && (pfd.revents & POLLIN) != 0) {
            const ssize_t got = ::read(terminal.master(), buffer.data(), buffer.size());
            if (got > 0) {
                scanner.receive(buffer.data(), static_cast<std::size_t>(got), monotonicUs() - originUs);
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // The kernel may otherwise round each wait up by 50 us, most of a byte's time at 115200 baud.
    prctl(PR_SET_TIMERSLACK, 1UL);

    PseudoTerminal terminal;
    if (!options.link.empty()) {
        struct stat existing {};
        if (lstat(options.link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
            ::unlink(options.link.c_str());
        }
        if (symlink(terminal.path().c_str(), options.link.c_str()) != 0) {
            std::cerr << "rdq-sim: cannot link " << options.link << ": " << std::strerror(errno) << "\n";
            return 1;
        }
    }
    std::cout << terminal.path() << std::endl;

    SimulatedScanner scanner(options.personality, options.faults);
    const int code = serve(terminal, scanner, monotonicUs(), options.spinUs);
    terminal.hangUp();
    if (!options.link.empty()) {
        ::unlink(options.link.c_str());
    }
    writeRecord(options, scanner);
    return code;
}
