// The whole tool by clicks and keys: the real dialog, wired to the real logic and steps, against the
// in-process simulated scanner on the virtual clock. The boxes are real Qt boxes, answered by BoxWatch.
#include "BoxWatch.h"
#include "Desk.h"
#include "QtTests.h"
#include "ScreenCapture.h"
#include "ui/Controls.h"

#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>

namespace orvexa::test {

namespace {

const QString kReady = QStringLiteral("Did you close all other applications?\nIs RDQ properly connected?");
const QString kSuccess = QStringLiteral(
    "Firmware updated sucessfully!!!\n\nPlease make sure to set factory default after restart RDQ");
const QString kNoPortOpen = QStringLiteral("No serial port is open.\nPlease run Step 1 first.");

} // namespace

class WorkflowTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithTheCarriedCaptionAndTheStartStates() {
        Desk desk;
        QCOMPARE(desk.dialog().windowTitle(), QStringLiteral("RDQ200 3.07 A7UG"));
        for (int id : {control::kExit, control::kAbout, control::kStep1, control::kPortResult,
                       control::kStatus, control::kSilentMode, control::kDownloadFont}) {
            QVERIFY2(desk.enabled(id), qPrintable(QString::number(id)));
        }
        QVERIFY(!desk.enabled(control::kStep2));
        QVERIFY(!desk.enabled(control::kStep3));
        QVERIFY(!desk.dialog().checkBox(control::kDownloadFont)->isChecked());
    }

    void keyThreeAtStartSaysThatNoPortIsOpen() {
        Desk desk;
        BoxWatch watch;
        watch.planEnter();
        QTest::keyClick(desk.dialog().control(control::kExit), Qt::Key_3);
        QCOMPARE(desk.texts(watch), QStringLiteral("Orvexa: ") + kNoPortOpen);
        QCOMPARE(watch.seen[0].icon, int(QMessageBox::Critical));
        // Nothing reached the scanner, and the dialog stays as it was.
        QVERIFY(desk.scanner.record().bytesIn.empty());
        QVERIFY(!desk.enabled(control::kStep3));
        QVERIFY(desk.dialog().isVisible());
    }

    void threeStepsByClicksUpgradeTheScannerAndFillTheProgressBar() {
        Desk desk;
        BoxWatch watch;
        watch.planButton(QStringLiteral("Yes")); // Are you ready?
        desk.click(control::kStep1);
        QCOMPARE(desk.dialog().portResult()->text(), QStringLiteral("ttyUSB0: Open Done!!!"));
        QVERIFY(desk.enabled(control::kStep2));
        QVERIFY(!desk.enabled(control::kPortResult));

        desk.click(control::kStep2);
        QVERIFY2(desk.dialog().status()->toPlainText().startsWith(QStringLiteral("RDQ is verified[")),
                 qPrintable(desk.dialog().status()->toPlainText()));
        QVERIFY(desk.enabled(control::kStep3));
        QVERIFY(!desk.enabled(control::kStatus));

        watch.planButton(QStringLiteral("Yes")); // Are you READY?
        watch.planButton(QStringLiteral("Yes")); // FINAL WARNING
        watch.planEnter();                       // the success message
        desk.click(control::kStep3);
        QVERIFY2(watch.planDone() && watch.unplanned() == 0, qPrintable(desk.texts(watch)));
        QCOMPARE(watch.seen.size(), std::size_t(4));
        QCOMPARE(watch.seen[0].text, kReady);
        QCOMPARE(watch.seen[1].title, QStringLiteral("Are you READY?"));
        QCOMPARE(watch.seen[2].title, QStringLiteral("FINAL WARNING"));
        QCOMPARE(watch.seen[3].text, kSuccess);
        QCOMPARE(watch.seen[3].icon, int(QMessageBox::NoIcon));

        const ScannerRecord& record = desk.scanner.record();
        QVERIFY(record.upgradeFinished);
        const FirmwarePackage& package = desk.session.app().package();
        const std::vector<std::uint8_t> written = record.image();
        QVERIFY(written.size() >= std::size_t(package.imageSize()));
        QVERIFY(std::equal(package.image(), package.image() + package.imageSize(), written.begin()));
        // 174614 bytes: range 0 to 683, stepped 683 times.
        QCOMPARE(desk.dialog().progress()->maximum(), 683);
        QCOMPARE(desk.dialog().progress()->value(), 683);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void silentModeChainsAllThreeStepsWithoutTheReadinessQuestions() {
        Desk desk;
        BoxWatch watch;
        watch.planEnter();
        desk.dialog().checkBox(control::kSilentMode)->click();
        desk.click(control::kStep1);
        QCOMPARE(desk.texts(watch), QStringLiteral("Orvexa: ") + kSuccess);
        QVERIFY(desk.scanner.record().upgradeFinished);
        QCOMPARE(desk.dialog().portResult()->text(), QStringLiteral("ttyUSB0: Open Done!!!"));
        QVERIFY(desk.enabled(control::kStep3));
    }

    void questionsDefaultToNoAndNoAtTheFinalWarningSendsNoFrame() {
        Desk desk;
        BoxWatch watch;
        watch.planEnter(); // Are you ready? Enter is No: nothing happens
        desk.click(control::kStep1);
        QCOMPARE(watch.seen.back().defaultButton, QStringLiteral("No"));
        QCOMPARE(watch.seen.back().icon, int(QMessageBox::Question));
        QVERIFY(!desk.enabled(control::kStep2));
        QVERIFY(desk.scanner.record().bytesIn.empty());

        watch.planButton(QStringLiteral("Yes"));
        desk.click(control::kStep1);
        desk.click(control::kStep2);
        QVERIFY(desk.enabled(control::kStep3));

        watch.planEnter(); // Are you READY? Enter is No
        desk.click(control::kStep3);
        watch.planButton(QStringLiteral("Yes"));
        watch.planEnter(); // FINAL WARNING: Enter is No
        desk.click(control::kStep3);
        watch.planButton(QStringLiteral("Yes"));
        watch.planButton(QStringLiteral("No")); // FINAL WARNING: No by click
        desk.click(control::kStep3);
        QVERIFY2(watch.planDone() && watch.unplanned() == 0, qPrintable(desk.texts(watch)));
        for (std::size_t i = 2; i <= 6; ++i) {
            QCOMPARE(watch.seen[i].defaultButton, QStringLiteral("No"));
            QCOMPARE(watch.seen[i].icon, int(QMessageBox::Warning));
        }
        QCOMPARE(watch.seen[4].title, QStringLiteral("FINAL WARNING"));
        QVERIFY(desk.scanner.record().frames.empty());
        QVERIFY(!desk.scanner.record().upgradeFinished);
        QVERIFY(desk.session.app().mainChannel().isOpen());
    }

    void theScreenShowsTheStatusAndProgressWhileTheTransferBlocks() {
        Desk desk;
        desk.dialog().checkBox(control::kSilentMode)->click();
        QVERIFY(QTest::qWaitForWindowExposed(&desk.dialog()));
        const QRect status = desk.dialog().status()->geometry();
        const QRect bar = desk.dialog().progress()->geometry();
        const QRect port = desk.dialog().portResult()->geometry();
        const QImage emptyStatus = screenOf(desk.dialog(), status);
        const QImage emptyBar = screenOf(desk.dialog(), bar);
        bool looked = false;
        bool statusShown = false;
        bool portShown = false;
        bool barShown = false;
        desk.clock.hook = [&] {
            if (looked || desk.session.window().progressPosition() < 300) {
                return;
            }
            looked = true;
            const QImage shownStatus = screenOf(desk.dialog(), status);
            statusShown = shownStatus != emptyStatus && shownStatus == renderingOf(desk.dialog(), status);
            portShown = screenOf(desk.dialog(), port) == renderingOf(desk.dialog(), port);
            const QImage shownBar = screenOf(desk.dialog(), bar);
            barShown = shownBar != emptyBar && shownBar == renderingOf(desk.dialog(), bar);
        };
        BoxWatch watch;
        watch.planEnter();
        desk.click(control::kStep1);
        desk.clock.hook = nullptr;
        QVERIFY(looked);
        QVERIFY(statusShown);
        QVERIFY(portShown);
        QVERIFY(barShown);
    }

    void aframedScannerMeetingTheClassicImageEndsTheProgram() {
        Desk desk(ScannerPersonality::framed());
        BoxWatch watch;
        watch.planEnter();
        desk.dialog().checkBox(control::kSilentMode)->click();
        desk.click(control::kStep1);
        QCOMPARE(desk.texts(watch), QStringLiteral("Orvexa: Wrong RDQ500 Firmware!!!"));
        QCOMPARE(desk.session.window().requestedExit(), std::optional<int>(0));
        QVERIFY(!desk.dialog().isVisible());
        QVERIFY(!desk.session.app().mainChannel().isOpen());
    }

    void aboutEntryOpensTheAboutBox() {
        Desk desk;
        BoxWatch watch;
        watch.planEnter();
        desk.dialog().onCommand(MainDialog::kAboutCommand);
        watch.planEnter();
        desk.click(control::kAbout);
        QCOMPARE(watch.seen.size(), std::size_t(2));
        QCOMPARE(watch.seen[0].title, QStringLiteral("About Orvexa"));
        QCOMPARE(watch.seen[1].title, QStringLiteral("About Orvexa"));
        QCOMPARE(watch.seen[0].defaultButton, QStringLiteral("OK"));
    }

    // The context menu's entry, chosen by a click after a Silent mode upgrade: the file dialog (scripted
    // here) offers the default name, the bundle holds the run, and a box says where it went.
    void supportBundleEntryWritesTheLastRunWhereTheUserChose() {
        Desk desk;
        BoxWatch watch;
        watch.planEnter(); // the success message
        desk.dialog().checkBox(control::kSilentMode)->click();
        desk.click(control::kStep1);
        QVERIFY(desk.scanner.record().upgradeFinished);

        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("bundle.json"));
        QString offered;
        desk.session.window().chooseSaveFile = [&](const QString& suggested) {
            offered = suggested;
            return path;
        };
        watch.planEnter(); // "Support bundle written to"
        const QString entry = clickContextMenuEntry(desk.dialog(), 1);

        QCOMPARE(entry, QStringLiteral("Save support &bundle..."));
        QCOMPARE(offered, QStringLiteral("orvexa-support.json"));
        QVERIFY2(watch.planDone() && watch.unplanned() == 0, qPrintable(desk.texts(watch)));
        QCOMPARE(watch.seen.back().text, QStringLiteral("Support bundle written to\n") + path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject bundle = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(bundle.value(QStringLiteral("program")).toObject().value(QStringLiteral("name")).toString(),
                 QStringLiteral("orvexa"));
        const QJsonObject run = bundle.value(QStringLiteral("last_run")).toObject();
        const QJsonArray boxes = run.value(QStringLiteral("boxes")).toArray();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).toObject().value(QStringLiteral("text")).toString(),
                 QString(kSuccess).replace(QStringLiteral("sucessfully!!!\n"),
                                           QStringLiteral("sucessfully!!!\r\n")));
        QVERIFY(run.value(QStringLiteral("status_lines"))
                    .toArray()
                    .contains(QStringLiteral("RDQ is verified[00A7UG] !!")));
        // The firmware's frames overflow the bound: the trace keeps its end, and says it was cut.
        QCOMPARE(run.value(QStringLiteral("trace_cut")).toBool(), true);
        QVERIFY(run.value(QStringLiteral("trace")).toArray().size() > 1000);
    }
};

namespace {
Registered<WorkflowTest> registered;
}

} // namespace orvexa::test

#include "WorkflowTest.moc"
