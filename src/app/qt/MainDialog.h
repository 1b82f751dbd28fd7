// The main dialog drawn with Qt Widgets: the controls of the dialog's template at their positions, the
// keys "1" "2" "3" caught before any control sees them, Enter on the default button "Exit", Escape and
// "Exit" closing it. What the buttons and keys do is not decided here: the application hands in one
// handler for commands and one for keys, and the dialog refuses to close while either runs.
#pragma once

#include "DialogUnits.h"

#include <QDialog>

#include <functional>
#include <map>

class QCheckBox;
class QKeyEvent;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace orvexa {

class MainDialog : public QDialog {
    Q_OBJECT
public:
    explicit MainDialog(const QString& caption, QWidget* parent = nullptr);

    // The command identifiers of the "About Orvexa...", "Save support bundle..." and "Open firmware..."
    // entries, as the system menu numbers them.
    static constexpr int kAboutCommand = 16;
    static constexpr int kSupportBundleCommand = 32;
    static constexpr int kOpenFirmwareCommand = 48;

    // Run for a button (About, Step 1, 2, 3: their control identifiers) and for the menu's entries.
    std::function<void(int commandId)> onCommand;
    // Run for a key press before any control sees it, with the key's Windows virtual-key code ('1'...).
    std::function<void(int virtualKey)> onKey;

    // The Windows virtual-key code ('1' to '3') of a key that runs a step, or 0. The digit row is found
    // by its scan codes on the windowing systems named by `platform` that report them.
    static int stepKeyOf(const QKeyEvent& key, const QString& platform);

    // Every control of the template, by its identifier; nullptr for an unknown one.
    QWidget* control(int controlId) const;
    QPushButton* button(int controlId) const;
    QCheckBox* checkBox(int controlId) const;
    QLineEdit* portResult() const { return portResult_; }
    QPlainTextEdit* status() const { return status_; }
    QProgressBar* progress() const { return progress_; }
    const DialogUnits& units() const { return units_; }

    // True while a command or key handler runs (a step blocks the dialog until it ends).
    bool isBusy() const { return busyDepth_ > 0; }
    // Ends the dialog even while busy: the process is asked to end from inside a step.
    void endNow(int result);

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void runBusy(const std::function<void()>& handler);
    void command(int commandId);

    DialogUnits units_;
    std::map<int, QWidget*> controls_;
    QLineEdit* portResult_ = nullptr;
    QPlainTextEdit* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    int busyDepth_ = 0;
};

} // namespace orvexa
