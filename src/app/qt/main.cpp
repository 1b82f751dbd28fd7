// orvexa: the desktop front end.
#include "QtDialogWindow.h"
#include "UpgradeApp.h"

#include "ProgramVersion.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = R"(Usage: orvexa [--help] [--version] [--firmware PATH] [QT-OPTION]...
Upgrades the firmware of an RDQ barcode scanner over a serial port, in a dialog of three steps:
Step 1 finds the port on which the scanner answers, Step 2 checks the scanner, and Step 3 writes the
firmware this program carries (with "Download Font" checked, also the language pages and fonts).
"Silent mode" runs the steps one after the other without the readiness questions.

  --help            print this text
  --version         print the program's version
  --firmware PATH   write the firmware of a catalogue instead of the carried one: a folder of
                    IDENTITY.bin images listed with their sums in SHA256SUMS, or one image with
                    its SHA256SUMS beside it. Step 2 picks the image that names the scanner's
                    model, edition and variant. A catalogue with a fault is refused (exit code 2).

The keys 1, 2 and 3 run their steps; Enter is Exit. The About box, "Save support bundle..." (one
JSON file for support: versions, OS, ports and the last run's messages and wire trace) and "Open
firmware..." (as --firmware, for the next Step 2) are in the dialog's context menu.

Ports named in ORVEXA_EXTRA_PORTS (colon-separated) are found in addition to those present.
Qt's own options (such as -platform or -display) are taken as every Qt program takes them.
)";

// Answered before QApplication exists, which needs a display: the manual page is made from these answers
// on build machines that have none.
bool answeredWithoutDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvexa %s\n", orvexa::kProgramVersion);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (answeredWithoutDisplay(argc, argv)) {
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(orvexa::QtDialogWindow::defaultTitle());
    QApplication::setApplicationVersion(QString::fromLatin1(orvexa::kProgramVersion));
    // Paths in the file system's own encoding, as the catalogue is read through std::filesystem.
    std::vector<std::string> arguments;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        arguments.emplace_back(QFile::encodeName(argument).constData());
    }
    orvexa::UpgradeApp app(std::move(arguments));
    return app.run();
}
