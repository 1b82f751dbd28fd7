#include "MainDialog.h"

#include "AppIcon.h"
#include "ui/Controls.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace orvexa {

namespace {

// The dialog's client area and its controls, in dialog units, in template (and tab) order.
constexpr int kDialogWidth = 201;
constexpr int kDialogHeight = 177;

enum class Kind { DefaultButton, Button, LineEdit, MultiLineEdit, Progress, CheckBox };

struct ControlTemplate {
    int id;
    Kind kind;
    const char* text;
    DialogRect rect;
};

constexpr ControlTemplate kTemplate[] = {
    {control::kExit, Kind::DefaultButton, "Exit", {112, 160, 50, 14}},
    {control::kAbout, Kind::Button, "About", {46, 160, 50, 14}},
    {control::kStep1, Kind::Button, "Step 1: Select Serial Port", {19, 7, 163, 14}},
    {control::kPortResult, Kind::LineEdit, "", {19, 23, 163, 12}},
    {control::kStep2, Kind::Button, "Step 2 : Check RDQ", {19, 38, 163, 14}},
    {control::kStatus, Kind::MultiLineEdit, "", {19, 54, 163, 38}},
    {control::kStep3, Kind::Button, "Step 3 : Download New F/W", {19, 95, 163, 14}},
    {control::kProgress, Kind::Progress, "", {19, 111, 163, 14}},
    {control::kSilentMode, Kind::CheckBox, "Silent mode", {20, 131, 116, 10}},
    {control::kDownloadFont, Kind::CheckBox, "Download Font", {20, 145, 152, 10}},
};

// The texts of the entries that the dialog adds to its window menu.
constexpr char kAboutEntryText[] = "&About Orvexa...";
constexpr char kSupportBundleEntryText[] = "Save support &bundle...";
constexpr char kOpenFirmwareEntryText[] = "Open &firmware...";

// Keys that run a step, by their Windows virtual-key codes: the digits of the main keyboard.
constexpr int kVirtualKeyFirstDigit = 0x31;
constexpr int kVirtualKeyLastDigit = 0x33;

// Where the digit row's "1" key sits, as each windowing system numbers its keys: X11 and Wayland report
// the evdev code plus 8, Windows the keyboard's own scan code. The row runs on in steps of one.
struct DigitRow {
    const char* platform;
    quint32 scanCodeOfOne;
};
constexpr DigitRow kDigitRows[] = {{"xcb", 10}, {"wayland", 10}, {"windows", 2}};

// The Windows progress bar starts with the range 0 to 100.
constexpr int kProgressDefaultUpper = 100;

} // namespace

int MainDialog::stepKeyOf(const QKeyEvent& key, const QString& platform) {
    if ((key.modifiers() & Qt::KeypadModifier) != 0) {
        return 0;
    }
    const quint32 scanCode = key.nativeScanCode();
    if (scanCode != 0) {
        for (const DigitRow& row : kDigitRows) {
            if (platform == QLatin1String(row.platform)) {
                const quint32 digit = scanCode - row.scanCodeOfOne; // wraps far out of range below "1"
                return digit <= kVirtualKeyLastDigit - kVirtualKeyFirstDigit
                           ? kVirtualKeyFirstDigit + static_cast<int>(digit)
                           : 0;
            }
        }
    }
    // A system that gives no position (or one we do not know): the character typed is all there is.
    const int virtualKey = key.key() - Qt::Key_0 + 0x30;
    return virtualKey >= kVirtualKeyFirstDigit && virtualKey <= kVirtualKeyLastDigit ? virtualKey : 0;
}

MainDialog::MainDialog(const QString& caption, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      units_(dialogFont()) {
    setFont(dialogFont());
    setWindowTitle(caption);
    setWindowIcon(appIcon());
    setFixedSize(units_.toPixels(kDialogWidth, kDialogHeight));

    QWidget* previous = nullptr;
    for (const ControlTemplate& item : kTemplate) {
        QWidget* widget = nullptr;
        const QString text = QString::fromLatin1(item.text);
        switch (item.kind) {
        case Kind::DefaultButton:
        case Kind::Button: {
            auto* button = new QPushButton(text, this);
            button->setDefault(item.kind == Kind::DefaultButton);
            const int id = item.id;
            if (id == control::kExit) {
                connect(button, &QPushButton::clicked, this, &MainDialog::reject);
            } else {
                connect(button, &QPushButton::clicked, this, [this, id] { command(id); });
            }
            widget = button;
            break;
        }
        case Kind::LineEdit:
            portResult_ = new QLineEdit(this);
            widget = portResult_;
            break;
        case Kind::MultiLineEdit:
            status_ = new QPlainTextEdit(this);
            status_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            status_->setLineWrapMode(QPlainTextEdit::NoWrap);
            // Scrolls sideways with the caret, but has no horizontal bar: only the vertical one is asked for.
            status_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            status_->setTabChangesFocus(true);
            widget = status_;
            break;
        case Kind::Progress:
            progress_ = new QProgressBar(this);
            progress_->setRange(0, kProgressDefaultUpper);
            progress_->setValue(0);
            progress_->setTextVisible(false);
            progress_->setFocusPolicy(Qt::NoFocus);
            widget = progress_;
            break;
        case Kind::CheckBox:
            widget = new QCheckBox(text, this);
            break;
        }
        widget->setGeometry(units_.toPixels(item.rect));
        widget->installEventFilter(this);
        controls_[item.id] = widget;
        if (previous != nullptr && widget->focusPolicy() != Qt::NoFocus) {
            setTabOrder(previous, widget);
        }
        if (widget->focusPolicy() != Qt::NoFocus) {
            previous = widget;
        }
    }
    for (int id : {control::kStep2, control::kStep3, control::kDownloadFont}) {
        controls_[id]->setEnabled(false);
    }
    // The first control of the template takes the focus, so Enter at start means "Exit".
    controls_[control::kExit]->setFocus();
    installEventFilter(this);
}

QWidget* MainDialog::control(int controlId) const {
    const auto it = controls_.find(controlId);
    return it == controls_.end() ? nullptr : it->second;
}

QPushButton* MainDialog::button(int controlId) const {
    return qobject_cast<QPushButton*>(control(controlId));
}

QCheckBox* MainDialog::checkBox(int controlId) const {
    return qobject_cast<QCheckBox*>(control(controlId));
}

void MainDialog::runBusy(const std::function<void()>& handler) {
    ++busyDepth_;
    handler();
    --busyDepth_;
}

void MainDialog::command(int commandId) {
    if (onCommand) {
        runBusy([this, commandId] { onCommand(commandId); });
    }
}

void MainDialog::endNow(int result) {
    busyDepth_ = 0;
    done(result);
}

void MainDialog::reject() {
    // A step in progress owns the scanner's line: ending the dialog under it would cut a transfer off.
    if (!isBusy()) {
        QDialog::reject();
    }
}

void MainDialog::closeEvent(QCloseEvent* event) {
    if (isBusy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    // On Windows this entry sits in the window's system menu. Linux window managers draw that menu
    // themselves and give an application no way to add to it, so the entry lives where a user looks for
    // one next: the dialog's own context menu.
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromLatin1(kAboutEntryText));
    QAction* supportBundle = menu.addAction(QString::fromLatin1(kSupportBundleEntryText));
    QAction* openFirmware = menu.addAction(QString::fromLatin1(kOpenFirmwareEntryText));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == about) {
        command(kAboutCommand);
    } else if (chosen == supportBundle) {
        command(kSupportBundleCommand);
    } else if (chosen == openFirmware) {
        command(kOpenFirmwareCommand);
    }
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    // The digit keys run their steps before the focused control sees them, as on Windows, where the
    // dialog looks at every key first; the key then goes on to an edit as typed text. Other controls
    // would pass it up to the dialog, which must not run the step a second time, so it ends here.
    // The key is known by where it sits, as Windows knows it: on an AZERTY keyboard the key marked "1"
    // types "&" and still runs Step 1.
    const int virtualKey = stepKeyOf(*key, QGuiApplication::platformName());
    if (virtualKey != 0 && onKey) {
        runBusy([this, virtualKey] { onKey(virtualKey); });
        const bool typedIntoEdit = watched == portResult_ || watched == status_;
        return !typedIntoEdit;
    }
    // A Windows multi-line edit without "want return" hands Enter to the dialog: the default button.
    if (watched == status_ && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        button(control::kExit)->click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace orvexa
