#include "cli/Options.h"

#include <CLI/CLI.hpp>

#include <string>
#include <utility>

namespace orvexa {

namespace {

// What each option with a value needs, in the words users have seen so far.
constexpr std::pair<const char*, const char*> kValued[] = {{"--port", "a path"},
                                                           {"--trace", "a file name"},
                                                           {"--support-bundle", "a file name"},
                                                           {"--firmware", "a catalogue folder or an image"}};

// The parser says what went wrong in its own words; a missing value keeps the message it always had.
std::string messageFor(const CLI::ParseError& error) {
    const std::string what = error.what();
    for (const auto& [name, value] : kValued) {
        if (what.rfind(std::string(name) + ":", 0) == 0 && what.find("missing") != std::string::npos) {
            return std::string(name) + " needs " + value;
        }
    }
    const std::size_t override = what.find(" was given a disallowed flag override");
    if (override != std::string::npos) {
        return "--" + what.substr(0, override) + " takes no value";
    }
    return what;
}

// "--port --silent" is a forgotten path, not a port named "--silent".
bool looksLikeAnOption(const std::string& value) {
    return value.rfind("--", 0) == 0;
}

} // namespace

bool parseOptions(int argc, const char* const* argv, CliOptions& options, std::string& error) {
    CLI::App app("", "orvexa-cli");
    app.set_help_flag(); // the usage text is our own, printed by the caller
    const std::pair<const char*, bool CliOptions::*> flags[] = {
        {"--silent", &CliOptions::silent},
        {"--yes", &CliOptions::yes},
        {"--fonts", &CliOptions::fonts},
        {"--check", &CliOptions::check},
        {"--list-ports", &CliOptions::listPorts},
        {"--info", &CliOptions::info},
        {"--version", &CliOptions::version},
        {"--help", &CliOptions::help},
        {"--all", &CliOptions::all},
        {"--force", &CliOptions::force},
        {"--json", &CliOptions::json},
        {"--no-remember", &CliOptions::noRemember},
        {"--watch", &CliOptions::watch},
        {"--doctor", &CliOptions::doctor},
    };
    for (const auto& [name, member] : flags) {
        app.add_flag(name, options.*member)->disable_flag_override();
    }
    // One value per --port, however many are given.
    app.add_option("--port", options.ports)->type_name("PATH")->allow_extra_args(false);
    app.add_option("--trace", options.traceFile)->type_name("FILE");
    app.add_option("--support-bundle", options.supportBundle)->type_name("FILE");
    app.add_option("--firmware", options.firmware)->type_name("PATH");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& parseError) {
        error = messageFor(parseError);
        return false;
    }
    for (const std::string& port : options.ports) {
        if (port.empty() || looksLikeAnOption(port)) {
            error = "--port needs a path";
            return false;
        }
    }
    for (const auto& [name, file] :
         {std::pair{"--trace", &options.traceFile}, std::pair{"--support-bundle", &options.supportBundle}}) {
        if (app.count(name) > 0 && (file->empty() || looksLikeAnOption(*file))) {
            error = std::string(name) + " needs a file name";
            return false;
        }
    }
    if (app.count("--firmware") > 0 && (options.firmware.empty() || looksLikeAnOption(options.firmware))) {
        error = "--firmware needs a catalogue folder or an image";
        return false;
    }
    // N workers cannot ask N interleaved questions on one terminal: a fleet writes only when told to.
    for (const auto& [wanted, name] :
         {std::pair{options.all, "--all"}, std::pair{options.watch, "--watch"}}) {
        if (wanted && !options.yes && !options.check) {
            error = std::string(name) +
                    " needs --yes (to write every scanner found) or --check (to verify them only)";
            return false;
        }
    }
    if (options.all && options.watch) {
        error = "--all and --watch do not go together (--watch upgrades each scanner as it appears)";
        return false;
    }
    if (options.force && !options.all && !options.watch) {
        error = "--force goes with --all or --watch";
        return false;
    }
    if (options.all || options.watch) {
        options.silent = true;
    }
    return true;
}

void printUsage(std::FILE* out) {
    std::fputs(
        "Usage: orvexa-cli [--port PATH]... [--silent] [--yes] [--fonts] [--check] [--json]\n"
        "                  [--all [--force]] [--watch] [--no-remember] [--list-ports]\n"
        "                  [--trace FILE] [--firmware PATH] [--doctor] [--support-bundle FILE]\n"
        "                  [--info] [--version] [--help]\n"
        "\n"
        "Upgrades the firmware of an RDQ barcode scanner over a serial port: finds the port on which\n"
        "the scanner answers (Step 1), checks the scanner (Step 2) and writes the firmware (Step 3).\n"
        "\n"
        "  --port PATH    probe this port instead of the ports found (repeatable, in the order given)\n"
        "  --silent       Silent mode: skip the readiness questions\n"
        "  --yes          answer Yes to every question asked (without it, questions are asked on the\n"
        "                 terminal, or answered No when standard input is not a terminal)\n"
        "  --fonts        check \"Download Font\": also write the language pages and fonts\n"
        "  --check        stop after Step 2\n"
        "  --all          every port at once: each scanner that answers is verified and written in a\n"
        "                 worker of its own (needs --yes, or --check; implies --silent); one row per\n"
        "                 port while it runs, a summary table at the end\n"
        "  --watch        a station: stay running and upgrade each scanner whose port appears, as\n"
        "                 --all does (needs --yes or --check); Ctrl-C stops watching and lets the\n"
        "                 running transfers finish, a second Ctrl-C stops them\n"
        "  --force        with --all or --watch: write scanners already current too\n"
        "  --json         JSON Lines events on standard output instead of the text (docs/events.md)\n"
        "  --no-remember  probe in the usual order, and leave the remembered port as it is (Step 1\n"
        "                 otherwise probes first the port where it last found the scanner)\n"
        "  --list-ports   print the ports found and exit\n"
        "  --trace FILE   write a time-stamped hex transcript of every byte sent and received\n"
        "  --firmware PATH\n"
        "                 write the firmware of a catalogue instead of the carried one: a folder of\n"
        "                 IDENTITY.bin images with the SHA256SUMS that lists them, or one image with\n"
        "                 a SHA256SUMS beside it; each scanner gets the image that names its model,\n"
        "                 edition and variant (with --info: list the catalogue)\n"
        "  --doctor       check what on this machine stands between you and a scanner (who may\n"
        "                 open the ports, programs that grab or hold them, Bluetooth ports): one\n"
        "                 line per finding with what to do; exit 1 when something stands in the way\n"
        "  --support-bundle FILE\n"
        "                 write one file for support: versions, the OS, the doctor's findings, the\n"
        "                 ports, and the messages and wire trace of the run it accompanies\n"
        "  --info         print the firmware, language tables and fonts this program carries\n"
        "  --version      print the program's version\n"
        "  --help         print this text\n"
        "\n"
        "Ports named in ORVEXA_EXTRA_PORTS (colon-separated) are found in addition to those present.\n"
        "\n"
        "Exit codes: 0 firmware written (with --check: scanner verified); 1 scanner not found, not\n"
        "verified, refused, or no download mode; 2 bad usage; 3 transfer error, or pages or fonts\n"
        "not all written; 4 cancelled by a No answer; 129 the terminal hung up before anything was\n"
        "written; 130 stopped by Ctrl-C or SIGTERM. With --all: 0 when every scanner found was\n"
        "written, verified or already current, else the worst of the others in the order 3, 1, 4;\n"
        "1 when no scanner answered.\n"
        "\n"
        "Ctrl-C before the first write stops at once. While the scanner is written, the first Ctrl-C\n"
        "only warns; a second one (or SIGTERM) stops after the frame under way, and running the tool\n"
        "again recovers the scanner through its bootloader. A closed terminal (SIGHUP), a reader that\n"
        "went away or a paused screen never stops a transfer: it goes on to its end.\n",
        out);
}

} // namespace orvexa
