// The main dialog as drawn: where its controls sit, how it starts, and what its keys and menu do.
#include "MainDialog.h"
#include "AboutDialog.h"
#include "AppIcon.h"
#include "QtTests.h"
#include "ui/Controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <vector>

namespace orvexa::test {

namespace {

// Shown and given the keyboard, with or without a window manager to hand it over.
bool showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

} // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void dialogUnitsFollowTheWindowsRounding() {
        const DialogUnits units(dialogFont());
        // Edges are converted, then the size taken: x * baseX / 4 and y * baseY / 8, rounded half up.
        auto edge = [](int units, int base, int perBase) {
            return (2 * units * base + perBase) / (2 * perBase);
        };
        const QRect step1 = units.toPixels(DialogRect{19, 7, 163, 14});
        QCOMPARE(step1.left(), edge(19, units.baseX(), 4));
        QCOMPARE(step1.top(), edge(7, units.baseY(), 8));
        QCOMPARE(step1.width(), edge(19 + 163, units.baseX(), 4) - edge(19, units.baseX(), 4));
        QCOMPARE(step1.height(), edge(7 + 14, units.baseY(), 8) - edge(7, units.baseY(), 8));
        QVERIFY(units.baseX() >= 5 && units.baseX() <= 9);
        QVERIFY(units.baseY() >= 11 && units.baseY() <= 17);
    }

    void controlsSitAtTheirTemplatePositionsInsideTheDialog() {
        MainDialog dialog(QStringLiteral("RDQ200 3.07 A7UG"));
        const DialogUnits& units = dialog.units();
        QCOMPARE(dialog.size(), units.toPixels(201, 177));
        QCOMPARE(dialog.control(control::kExit)->geometry(), units.toPixels(DialogRect{112, 160, 50, 14}));
        QCOMPARE(dialog.control(control::kStatus)->geometry(), units.toPixels(DialogRect{19, 54, 163, 38}));
        QCOMPARE(dialog.control(control::kDownloadFont)->geometry(),
                 units.toPixels(DialogRect{20, 145, 152, 10}));
        const std::vector<int> ids = {control::kExit,        control::kAbout,    control::kStep1,
                                      control::kPortResult,  control::kStep2,    control::kStatus,
                                      control::kStep3,       control::kProgress, control::kSilentMode,
                                      control::kDownloadFont};
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const QRect a = dialog.control(ids[i])->geometry();
            QVERIFY2(dialog.rect().contains(a), qPrintable(QString::number(ids[i])));
            for (std::size_t j = i + 1; j < ids.size(); ++j) {
                QVERIFY2(!a.intersects(dialog.control(ids[j])->geometry()),
                         qPrintable(QStringLiteral("%1 overlaps %2").arg(ids[i]).arg(ids[j])));
            }
        }
    }

    void startsWithStep1AndSilentModeOnlyAndFocusOnExit() {
        MainDialog dialog(QStringLiteral("RDQ200 3.07 A7UG"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("RDQ200 3.07 A7UG"));
        for (int id : {control::kExit, control::kAbout, control::kStep1, control::kPortResult,
                       control::kStatus, control::kSilentMode}) {
            QVERIFY2(dialog.control(id)->isEnabled(), qPrintable(QString::number(id)));
        }
        for (int id : {control::kStep2, control::kStep3, control::kDownloadFont}) {
            QVERIFY2(!dialog.control(id)->isEnabled(), qPrintable(QString::number(id)));
        }
        QCOMPARE(dialog.button(control::kStep1)->text(), QStringLiteral("Step 1: Select Serial Port"));
        QCOMPARE(dialog.button(control::kStep3)->text(), QStringLiteral("Step 3 : Download New F/W"));
        QVERIFY(!dialog.checkBox(control::kSilentMode)->isChecked());
        QVERIFY(dialog.button(control::kExit)->isDefault());
        QCOMPARE(dialog.focusWidget(), dialog.control(control::kExit));
        QVERIFY(dialog.portResult()->text().isEmpty());
        QVERIFY(dialog.status()->toPlainText().isEmpty());
        QCOMPARE(dialog.windowIcon().availableSizes().size(), 2);
        QCOMPARE(appIconPixmap(32).size(), QSize(32, 32));
        QCOMPARE(appIconPixmap(16).size(), QSize(16, 16));
    }

    void enterActivatesExitAndEscapeCloses() {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            MainDialog dialog(QStringLiteral("RDQ"));
            QVERIFY(showActive(dialog));
            QTest::keyClick(dialog.focusWidget(), key);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        // Enter in the multi-line status box is the dialog's too, as a Windows edit without "want return".
        MainDialog dialog(QStringLiteral("RDQ"));
        QVERIFY(showActive(dialog));
        dialog.status()->setFocus();
        QTest::keyClick(dialog.status(), Qt::Key_Return);
        QVERIFY(!dialog.isVisible());
    }

    void digitKeysRunTheirStepsWhateverHasTheFocusAndWhetherOrNotTheButtonIsEnabled() {
        MainDialog dialog(QStringLiteral("RDQ"));
        std::vector<int> keys;
        dialog.onKey = [&keys](int virtualKey) { keys.push_back(virtualKey); };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!dialog.control(control::kStep3)->isEnabled());
        QTest::keyClick(dialog.control(control::kExit), Qt::Key_3);
        QTest::keyClick(dialog.control(control::kSilentMode), Qt::Key_1);
        QTest::keyClick(dialog.portResult(), Qt::Key_2);
        QTest::keyClick(dialog.control(control::kExit), Qt::Key_4);
        QTest::keyClick(dialog.control(control::kExit), Qt::Key_1, Qt::KeypadModifier);
        QCOMPARE(keys, (std::vector<int>{0x33, 0x31, 0x32}));
        // The key still reaches an edit as typed text, and nothing else closed the dialog.
        QCOMPARE(dialog.portResult()->text(), QStringLiteral("2"));
        QVERIFY(dialog.isVisible());
    }

    void digitKeysAreKnownByWhereTheySitNotByWhatTheyType() {
        auto press = [](Qt::Key key, quint32 scanCode, const char* text, const char* platform,
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            const QKeyEvent event(QEvent::KeyPress, key, modifiers, scanCode, 0, 0,
                                  QString::fromLatin1(text));
            return MainDialog::stepKeyOf(event, QString::fromLatin1(platform));
        };
        // AZERTY: the digit row types "&", "é" and '"' unshifted.
        QCOMPARE(press(Qt::Key_Ampersand, 10, "&", "xcb"), 0x31);
        QCOMPARE(press(Qt::Key_Eacute, 11, "e", "wayland"), 0x32);
        QCOMPARE(press(Qt::Key_QuoteDbl, 4, "\"", "windows"), 0x33);
        // Keys beside the row, the keypad, and a "1" typed elsewhere on the keyboard run nothing.
        QCOMPARE(press(Qt::Key_4, 13, "4", "xcb"), 0);
        QCOMPARE(press(Qt::Key_Escape, 9, "", "xcb"), 0);
        QCOMPARE(press(Qt::Key_1, 87, "1", "xcb", Qt::KeypadModifier), 0);
        // Without a scan code (or on a system not known here), the typed digit decides.
        QCOMPARE(press(Qt::Key_2, 0, "2", "xcb"), 0x32);
        QCOMPARE(press(Qt::Key_Ampersand, 10, "&", "offscreen"), 0);
    }

    void closingIsRefusedWhileAStepRuns() {
        MainDialog dialog(QStringLiteral("RDQ"));
        bool closedDuringStep = true;
        dialog.onCommand = [&](int) {
            QCloseEvent close;
            QApplication::sendEvent(&dialog, &close);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            dialog.reject();
            closedDuringStep = !dialog.isVisible();
        };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.button(control::kStep1)->click();
        QVERIFY(!closedDuringStep);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.close());
    }

    void contextMenuOffersTheAboutEntry() {
        MainDialog dialog(QStringLiteral("RDQ"));
        std::vector<int> commands;
        dialog.onCommand = [&commands](int id) { commands.push_back(id); };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QString entry = clickContextMenuEntry(dialog, 0);
        QCOMPARE(entry, QStringLiteral("&About Orvexa..."));
        QCOMPARE(commands, std::vector<int>{MainDialog::kAboutCommand});
    }

    void aboutBoxShowsItsLinesUncut() {
        const std::string second = "Version 3.26, carrying firmware M307_200_A7UG";
        AboutDialog about("About Orvexa", {"Tevanor RDQ F/W upgrade program", second});
        QCOMPARE(about.windowTitle(), QStringLiteral("About Orvexa"));
        QCOMPARE(about.titleLine()->text(), QStringLiteral("Tevanor RDQ F/W upgrade program"));
        QCOMPARE(about.secondLine()->text(), QString::fromStdString(second));
        QVERIFY(about.okButton()->isDefault());
        // Both lines fit beside the button without being cut.
        for (QLabel* line : {about.titleLine(), about.secondLine()}) {
            QVERIFY(line->sizeHint().width() <= line->width());
            QVERIFY(!line->geometry().intersects(about.okButton()->geometry()));
        }
        QCOMPARE(about.iconLabel()->pixmap().size(), QSize(32, 32));
    }
};

namespace {
Registered<MainDialogTest> registered;
}

} // namespace orvexa::test

#include "MainDialogTest.moc"
