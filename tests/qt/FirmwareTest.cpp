// Another firmware than the carried one: named on the command line with --firmware, or opened from the
// context menu. The caption names a catalogue until Step 2 has chosen from it, then the package chosen;
// a catalogue with a fault is refused with its file and why, before a byte reaches the scanner.
#include "BoxWatch.h"
#include "Desk.h"
#include "QtTests.h"
#include "UpgradeApp.h"
#include "firmware/FirmwareCatalogue.h"
#include "ui/Controls.h"

#include <QMessageBox>
#include <QTemporaryDir>

namespace orvexa::test {

namespace {

const std::string kCatalogue = ORVEXA_SOURCE_DIR "/data/catalogue";
const QString kCatalogueCaption = QStringLiteral("RDQ firmware catalogue (4 packages)");
constexpr int kFirmwareBody = 5120; // where "$$RDQ" starts, past the bootloader's blocks

// An RDQ200 of the B1XX variant, which the carried A7UG firmware does not fit.
ScannerPersonality variantB1xx() {
    ScannerPersonality scanner;
    scanner.modelText = "RDQ200B1XX";
    scanner.versionText = "3.05_200_B1XX";
    scanner.infoText = "RDQ200 BT Imager B1XX";
    return scanner;
}

} // namespace

class FirmwareTest : public QObject {
    Q_OBJECT

private slots:
    void commandLineCatalogueChoosesAtStepTwoAndStepThreeWritesTheChosenImage() {
        Desk desk(variantB1xx());
        QCOMPARE(UpgradeApp({"--firmware", kCatalogue}).start(desk.session), 0);
        QCOMPARE(desk.dialog().windowTitle(), kCatalogueCaption);

        BoxWatch watch;
        watch.planButton(QStringLiteral("Yes")); // Are you ready?
        desk.click(control::kStep1);
        desk.click(control::kStep2);
        QCOMPARE(desk.dialog().windowTitle(), QStringLiteral("RDQ200 3.07 B1XX"));

        watch.planButton(QStringLiteral("Yes")); // Are you READY?
        watch.planButton(QStringLiteral("Yes")); // FINAL WARNING
        watch.planEnter();                       // the success message
        desk.click(control::kStep3);
        QVERIFY2(watch.planDone() && watch.unplanned() == 0, qPrintable(desk.texts(watch)));
        // What the scanner holds from block 20 is the B1XX image, its header completed as Step 3 writes it.
        FirmwarePackage written =
            FirmwareCatalogue::load(kCatalogue + "/M307_200_B1XX.bin").catalogue->entries()[0].package;
        written.patchImageHeader();
        std::vector<std::uint8_t> held = desk.scanner.record().image(kFirmwareBody / 256);
        held.resize(static_cast<std::size_t>(written.imageSize() - kFirmwareBody));
        QVERIFY(std::equal(held.begin(), held.end(), written.image() + kFirmwareBody));
    }

    void faultyFirmwareOnTheCommandLineIsRefusedWithExitCodeTwo() {
        QTemporaryDir folder;
        const std::string empty = folder.path().toStdString();
        const struct {
            std::vector<std::string> arguments;
            QString box; // what the error box says
        } cases[] = {
            {{"--firmware"}, QStringLiteral("--firmware needs a catalogue folder or an image")},
            {{"--firmware=" + empty + "/none"}, QString::fromStdString(empty + "/none is neither")},
            {{"--firmware", empty}, QString::fromStdString(empty + "/SHA256SUMS is missing")},
        };
        for (const auto& row : cases) {
            Desk desk;
            BoxWatch watch;
            watch.planEnter();
            QCOMPARE(UpgradeApp(row.arguments).start(desk.session), 2);
            QCOMPARE(watch.seen.size(), std::size_t(1));
            QVERIFY2(watch.seen[0].text.contains(row.box), qPrintable(watch.seen[0].text));
            QCOMPARE(watch.seen[0].icon, int(QMessageBox::Critical));
            QCOMPARE(desk.dialog().windowTitle(), QStringLiteral("RDQ200 3.07 A7UG"));
            QVERIFY(desk.scanner.record().bytesIn.empty());
        }
    }

    // After a verification: a refused firmware leaves it (and the caption) as it was; an opened one
    // names the catalogue and withdraws Step 3 until a Step 2 against it.
    void openFirmwareEntryReplacesTheFirmwareForTheNextStepTwo() {
        Desk desk;
        BoxWatch watch;
        watch.planButton(QStringLiteral("Yes")); // Are you ready?
        desk.click(control::kStep1);
        desk.click(control::kStep2);
        QVERIFY(desk.enabled(control::kStep3));

        QString chosen = QString::fromStdString(kCatalogue + "/M999_200_A7UG.bin");
        desk.session.window().chooseFirmwareFile = [&] { return chosen; };
        watch.planEnter();
        QCOMPARE(clickContextMenuEntry(desk.dialog(), 2), QStringLiteral("Open &firmware..."));
        QCOMPARE(watch.seen.back().icon, int(QMessageBox::Critical));
        QVERIFY2(watch.seen.back().text.contains(
                     QStringLiteral("M999_200_A7UG.bin is neither a catalogue folder")),
                 qPrintable(watch.seen.back().text));
        QCOMPARE(desk.dialog().windowTitle(), QStringLiteral("RDQ200 3.07 A7UG"));
        QVERIFY(desk.enabled(control::kStep3));

        chosen = QString::fromStdString(kCatalogue + "/SHA256SUMS"); // stands for its folder
        clickContextMenuEntry(desk.dialog(), 2);
        QCOMPARE(desk.dialog().windowTitle(), kCatalogueCaption);
        QVERIFY(!desk.enabled(control::kStep3));
        desk.click(control::kStep2);
        QCOMPARE(desk.dialog().windowTitle(), QStringLiteral("RDQ200 3.07 A7UG"));
        QVERIFY(desk.enabled(control::kStep3));
        QVERIFY2(watch.planDone() && watch.unplanned() == 0, qPrintable(desk.texts(watch)));
    }
};

namespace {
Registered<FirmwareTest> registered;
}

} // namespace orvexa::test

#include "FirmwareTest.moc"
