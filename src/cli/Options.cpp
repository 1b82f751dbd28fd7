#include "cli/Options.h"

#include <string_view>

namespace orvexa {

namespace {

struct Flag {
    std::string_view name;
    bool CliOptions::*member;
};

constexpr Flag kFlags[] = {
    {"--silent", &CliOptions::silent},        {"--yes", &CliOptions::yes},
    {"--fonts", &CliOptions::fonts},          {"--check", &CliOptions::check},
    {"--list-ports", &CliOptions::listPorts}, {"--info", &CliOptions::info},
    {"--version", &CliOptions::version},      {"--help", &CliOptions::help},
};

// The value of "--name VALUE" or "--name=VALUE"; false when the option is not this one.
bool takeValue(std::string_view arg, std::string_view name, int argc, const char* const* argv, int& i,
               std::string& value, std::string& error) {
    if (arg == name) {
        // "--port --silent" is a forgotten path, not a port named "--silent".
        if (i + 1 >= argc || std::string_view(argv[i + 1]).substr(0, 2) == "--") {
            error = std::string(name) + " needs a value";
            return true;
        }
        value = argv[++i];
        return true;
    }
    if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
        value = std::string(arg.substr(name.size() + 1));
        return true;
    }
    return false;
}

} // namespace

bool parseOptions(int argc, const char* const* argv, CliOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool known = false;
        for (const Flag& flag : kFlags) {
            if (arg == flag.name) {
                options.*flag.member = true;
                known = true;
            }
        }
        if (known) {
            continue;
        }
        std::string value;
        if (takeValue(arg, "--port", argc, argv, i, value, error)) {
            if (!error.empty()) {
                return false;
            }
            if (value.empty()) {
                error = "--port needs a path";
                return false;
            }
            options.ports.push_back(value);
            continue;
        }
        if (takeValue(arg, "--trace", argc, argv, i, value, error)) {
            if (!error.empty()) {
                return false;
            }
            if (value.empty()) {
                error = "--trace needs a file name";
                return false;
            }
            options.traceFile = value;
            continue;
        }
        error = "unknown option '" + std::string(arg) + "'";
        return false;
    }
    return true;
}

void printUsage(std::FILE* out) {
    std::fputs(
        "Usage: orvexa-cli [--port PATH]... [--silent] [--yes] [--fonts] [--check] [--list-ports]\n"
        "                  [--trace FILE] [--info] [--version] [--help]\n"
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
        "  --list-ports   print the ports found and exit\n"
        "  --trace FILE   write a time-stamped hex transcript of every byte sent and received\n"
        "  --info         print the firmware, language tables and fonts this program carries\n"
        "  --version      print the program's version\n"
        "  --help         print this text\n"
        "\n"
        "Ports named in ORVEXA_EXTRA_PORTS (colon-separated) are found in addition to those present.\n"
        "\n"
        "Exit codes: 0 firmware written (with --check: scanner verified); 1 scanner not found, not\n"
        "verified, refused, or no download mode; 2 bad usage; 3 transfer error, or pages or fonts\n"
        "not all acknowledged; 4 cancelled by a No answer.\n",
        out);
}

} // namespace orvexa
