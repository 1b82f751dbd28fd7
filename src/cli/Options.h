// orvexa-cli's command line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orvexa {

struct CliOptions {
    std::vector<std::string> ports; // --port PATH, repeatable: probed instead of discovery
    bool silent = false;            // checks "Silent mode": the readiness questions are skipped
    bool yes = false;               // answers Yes to every question asked
    bool fonts = false;             // checks "Download Font" before Step 1
    bool check = false;             // stops after Step 2
    bool listPorts = false;
    bool info = false;
    bool version = false;
    bool help = false;
    bool all = false;          // every port at once, one worker per scanner
    bool force = false;        // with --all: write scanners already current too
    bool json = false;         // JSON Lines events on standard output
    bool watch = false;        // a station: upgrade each scanner whose port appears
    bool noRemember = false;   // probe in the usual order; leave the remembered port as it is
    bool doctor = false;       // what on this machine stands between the user and a scanner
    std::string traceFile;     // --trace FILE
    std::string supportBundle; // --support-bundle FILE
    std::string firmware;      // --firmware PATH: a catalogue folder, or one image with its SHA256SUMS
};

// False with a one-line reason on bad usage. "--port PATH" and "--port=PATH" are both taken.
bool parseOptions(int argc, const char* const* argv, CliOptions& options, std::string& error);

void printUsage(std::FILE* out);

} // namespace orvexa
