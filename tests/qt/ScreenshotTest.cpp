// The pictures of the README: the main dialog at start, after a verified scanner, after a finished
// upgrade, and the About box. scripts/screenshots runs this with ORVEXA_SCREENSHOT_DIR set to docs/;
// otherwise the pictures go to a scratch folder and only their making is checked.
#include "BoxWatch.h"
#include "Desk.h"
#include "QtTests.h"
#include "ui/Controls.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

namespace orvexa::test {

class ScreenshotTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString folder_;

    void save(QWidget& widget, const QString& name) {
        const QString path = QDir(folder_).filePath(name);
        QVERIFY2(widget.grab().save(path), qPrintable(path));
        const QImage saved(path);
        QCOMPARE(saved.size(), widget.size() * widget.devicePixelRatio());
    }

private slots:
    void initTestCase() {
        folder_ = qEnvironmentVariable("ORVEXA_SCREENSHOT_DIR", scratch_.path());
        QVERIFY(QDir().mkpath(folder_));
    }

    void mainDialogThroughAnUpgradeAndTheAboutBox() {
        Desk desk;
        save(desk.dialog(), QStringLiteral("main-start.png"));

        BoxWatch watch;
        watch.planButton(QStringLiteral("Yes"));
        desk.click(control::kStep1);
        desk.click(control::kStep2);
        QVERIFY(desk.enabled(control::kStep3));
        save(desk.dialog(), QStringLiteral("main-verified.png"));

        watch.planButton(QStringLiteral("Yes"));
        watch.planButton(QStringLiteral("Yes"));
        watch.planEnter();
        desk.click(control::kStep3);
        QVERIFY(desk.scanner.record().upgradeFinished);
        save(desk.dialog(), QStringLiteral("main-upgraded.png"));

        watch.plan([this](QWidget* about) {
            save(*about, QStringLiteral("about.png"));
            QTest::keyClick(about, Qt::Key_Return);
        });
        desk.click(control::kAbout);
        QVERIFY2(watch.planDone() && watch.unplanned() == 0, qPrintable(Desk::texts(watch)));
    }
};

namespace {
Registered<ScreenshotTest> registered;
}

} // namespace orvexa::test

#include "ScreenshotTest.moc"
