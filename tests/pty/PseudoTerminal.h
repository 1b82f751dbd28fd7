// A pseudo-terminal pair for tests: the tool opens the slave by its path like any serial port, and the
// test plays the far end on the master.
#pragma once

#include "SimulatedScanner.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace orvexa::test {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal() { hangUp(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }

    void send(const std::vector<std::uint8_t>& bytes);
    // Everything the tool wrote, waiting up to timeoutMs for at least `atLeast` bytes.
    std::vector<std::uint8_t> receive(std::size_t atLeast, int timeoutMs = 2000);
    // The far end vanishes: the slave side sees a hang-up.
    void hangUp();

private:
    int master_ = -1;
    std::string slavePath_;
};

// The simulated scanner on the master side in real time, pumped by a thread of its own until it hangs up
// (closing the master, as an unplugged adapter does) or the test ends.
class PtyScanner {
public:
    PtyScanner(PseudoTerminal& pty, ScannerPersonality personality = {}, ScannerFaults faults = {});
    ~PtyScanner() { finish(); }
    PtyScanner(const PtyScanner&) = delete;
    PtyScanner& operator=(const PtyScanner&) = delete;

    // Stops the pump; the scanner's record may be read after this.
    void finish();
    bool hungUp() const { return hungUp_; }
    const SimulatedScanner& scanner() const { return scanner_; }

private:
    void pump();

    PseudoTerminal& pty_;
    SimulatedScanner scanner_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::thread thread_;
};

// Wall-clock milliseconds for timing real I/O.
double nowMs();
// CPU time this process has used, in milliseconds.
double cpuMs();

} // namespace orvexa::test
