// What the steps' calls look like on the screen: message boxes with their Windows types, the progress
// bar, the port dialog, the wait cursor, the end of the process, and the screen itself while a step
// blocks the dialog.
#include "QtDialogWindow.h"
#include "BoxWatch.h"
#include "MainDialog.h"
#include "QtPortSelectDialog.h"
#include "QtTests.h"
#include "ScreenCapture.h"
#include "ui/Controls.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace orvexa::test {

class QtDialogWindowTest : public QObject {
    Q_OBJECT

private slots:
    void messageBoxesShowTheirWindowsTypes() {
        MainDialog dialog(QStringLiteral("RDQ"));
        QtDialogWindow window(dialog);
        dialog.show();
        BoxWatch watch;
        for (int i = 0; i < 4; ++i) {
            watch.planEnter();
        }
        watch.planButton(QStringLiteral("Yes"));
        QCOMPARE(window.messageBox("Firmware updated sucessfully!!!\r\n\nPlease make sure", "", box::kOk),
                 kIdOk);
        QCOMPARE(window.messageBox("Error was detected", "", box::kError), kIdOk);
        // Enter takes the default button, which is No for both kinds of question.
        QCOMPARE(window.messageBox("Do you want to downgrade bootloader?", "Downgrade bootloader?",
                                   box::kQuestion),
                 kIdNo);
        QCOMPARE(window.messageBox("This process is not reversable", "FINAL WARNING", box::kWarningQuestion),
                 kIdNo);
        QCOMPARE(window.messageBox("Did you close all other applications?", "Are you READY?",
                                   box::kWarningQuestion),
                 kIdYes);
        QCOMPARE(watch.unplanned(), 0);
        QCOMPARE(int(watch.seen.size()), 5);
        QCOMPARE(watch.seen[0].title, QStringLiteral("Orvexa"));
        QCOMPARE(watch.seen[0].text, QStringLiteral("Firmware updated sucessfully!!!\n\nPlease make sure"));
        QCOMPARE(watch.seen[0].icon, int(QMessageBox::NoIcon));
        QCOMPARE(watch.seen[0].buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(watch.seen[1].icon, int(QMessageBox::Critical));
        QCOMPARE(watch.seen[2].icon, int(QMessageBox::Question));
        QCOMPARE(watch.seen[2].title, QStringLiteral("Downgrade bootloader?"));
        QCOMPARE(watch.seen[2].defaultButton, QStringLiteral("No"));
        QCOMPARE(watch.seen[3].icon, int(QMessageBox::Warning));
        QCOMPARE(watch.seen[3].defaultButton, QStringLiteral("No"));
        QCOMPARE(watch.seen[3].buttons.size(), 2);
    }

    void progressBarKeepsTheWindowsPositionRules() {
        MainDialog dialog(QStringLiteral("RDQ"));
        QtDialogWindow window(dialog);
        window.progressSetStep(1);
        window.progressSetRange(0, 3);
        for (int i = 0; i < 3; ++i) {
            window.progressStepIt();
        }
        QCOMPARE(dialog.progress()->value(), 3);
        QCOMPARE(dialog.progress()->maximum(), 3);
        // A new range does not reset the position; a step past the end wraps to the start.
        window.progressSetRange(0, 683);
        QCOMPARE(dialog.progress()->value(), 3);
        window.progressSetRange(0, 3);
        window.progressStepIt();
        QCOMPARE(window.progressPosition(), 0);
        QCOMPARE(dialog.progress()->value(), 0);
    }

    void portDialogOffersTheFoundPortsAndCancelIsTheDefault() {
        const std::vector<PortInfo> ports = {{"/dev/ttyUSB0", "ttyUSB0", "usb"}, {"/dev/pts/7", "pts/7", ""}};
        {
            QtPortSelectDialog portDialog(ports);
            QCOMPARE(portDialog.windowTitle(), QStringLiteral("Select COM Port"));
            QCOMPARE(portDialog.portCombo()->count(), 2);
            QCOMPARE(portDialog.portCombo()->itemText(0), QStringLiteral("ttyUSB0 (usb)"));
            QCOMPARE(portDialog.portCombo()->currentIndex(), -1);
            QVERIFY(!portDialog.okButton()->isEnabled());
            QVERIFY(portDialog.cancelButton()->isDefault());
            QVERIFY(!(portDialog.windowFlags() & Qt::WindowCloseButtonHint));
        }
        MainDialog dialog(QStringLiteral("RDQ"));
        QtDialogWindow window(dialog);
        dialog.show();
        BoxWatch watch;
        watch.planEnter(); // Enter: Cancel, even with a port selected
        watch.plan([](QWidget* modal) {
            auto* portDialog = qobject_cast<QtPortSelectDialog*>(modal);
            portDialog->portCombo()->setCurrentIndex(1);
            QTest::keyClick(portDialog, Qt::Key_Return);
        });
        watch.plan([](QWidget* modal) {
            auto* portDialog = qobject_cast<QtPortSelectDialog*>(modal);
            portDialog->portCombo()->setCurrentIndex(1);
            QVERIFY(portDialog->okButton()->isEnabled());
            portDialog->okButton()->click();
        });
        QCOMPARE(window.runPortDialog(ports), std::optional<std::size_t>());
        QCOMPARE(window.runPortDialog(ports), std::optional<std::size_t>());
        QCOMPARE(window.runPortDialog(ports), std::optional<std::size_t>(1));
        QCOMPARE(watch.unplanned(), 0);
        QCOMPARE(watch.seen[0].defaultButton, QStringLiteral("Cancel"));
    }

    void waitCursorLastsFromBeginToEndButNotOverABox() {
        MainDialog dialog(QStringLiteral("RDQ"));
        QtDialogWindow window(dialog);
        dialog.show();
        window.beginWaitCursor();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        Qt::CursorShape overBox = Qt::WaitCursor;
        BoxWatch watch;
        watch.plan([&overBox](QWidget* modal) {
            overBox = QApplication::overrideCursor()->shape();
            QTest::keyClick(modal, Qt::Key_Return);
        });
        window.messageBox("Firmware updated sucessfully!!!", "", box::kOk);
        QCOMPARE(overBox, Qt::ArrowCursor);
        window.restoreWaitCursor();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        window.endWaitCursor();
        window.endWaitCursor(); // an extra end is harmless
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void exitProcessEndsTheDialogEvenFromInsideAStep() {
        MainDialog dialog(QStringLiteral("RDQ"));
        QtDialogWindow window(dialog);
        dialog.onCommand = [&window](int) { window.exitProcess(0); };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.button(control::kStep2)->setEnabled(true);
        dialog.button(control::kStep2)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(window.requestedExit(), std::optional<int>(0));
    }

    void screenShowsTheStatusTextWhileAStepBlocks() {
        MainDialog dialog(QStringLiteral("RDQ"));
        QtDialogWindow window(dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::qWait(50);
        const QRect status = dialog.status()->geometry();
        const QRect bar = dialog.progress()->geometry();
        const QImage emptyStatus = screenOf(dialog, status);
        const QImage emptyBar = screenOf(dialog, bar);
        bool sawStatus = false;
        bool sawProgress = false;
        dialog.onCommand = [&](int) {
            // Inside the handler: no return to the event loop until the step ends.
            window.setControlText(control::kStatus, "RDQ is verified[200A7U] !!\r\nEnglish downloading..");
            const QImage shown = screenOf(dialog, status);
            sawStatus = shown != emptyStatus && shown == renderingOf(dialog, status);
            window.progressSetStep(1);
            window.progressSetRange(0, 4);
            window.progressStepIt();
            window.progressStepIt();
            const QImage shownBar = screenOf(dialog, bar);
            sawProgress = shownBar != emptyBar && shownBar == renderingOf(dialog, bar);
        };
        dialog.button(control::kStep1)->click();
        QVERIFY(sawStatus);
        QVERIFY(sawProgress);
    }
};

namespace {
Registered<QtDialogWindowTest> registered;
}

} // namespace orvexa::test

#include "QtDialogWindowTest.moc"
