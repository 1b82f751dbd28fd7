#include "QtDialogWindow.h"

#include "AboutDialog.h"
#include "MainDialog.h"
#include "QtPortSelectDialog.h"
#include "ui/Controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace orvexa {

namespace {

QMessageBox::Icon iconOf(unsigned type) {
    switch (type & box::kIconMask) {
    case box::kIconHand:
        return QMessageBox::Critical;
    case box::kIconQuestion:
        return QMessageBox::Question;
    case box::kIconExclamation:
        return QMessageBox::Warning;
    case 0x40: // MB_ICONASTERISK
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

std::string toWindowsText(const QString& text) {
    QString copy = text;
    copy.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return copy.toStdString();
}

} // namespace

QtDialogWindow::QtDialogWindow(MainDialog& dialog) : dialog_(dialog) {
    onExitProcess = [this](int) { dialog_.endNow(QDialog::Rejected); };
}

QString QtDialogWindow::defaultTitle() {
    return QStringLiteral("Orvexa");
}

QString QtDialogWindow::fromWindowsText(const std::string& text) {
    QString converted = QString::fromStdString(text);
    converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    converted.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return converted;
}

void QtDialogWindow::setControlText(int controlId, const std::string& text) {
    QWidget* widget = dialog_.control(controlId);
    if (widget == nullptr) {
        return;
    }
    if (widget == dialog_.status()) {
        dialog_.status()->setPlainText(fromWindowsText(text));
    } else if (widget == dialog_.portResult()) {
        dialog_.portResult()->setText(QString::fromStdString(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(QString::fromStdString(text));
    }
    // Steps set their results and progress lines while they block the dialog: paint them now.
    widget->repaint();
}

std::string QtDialogWindow::controlText(int controlId) const {
    QWidget* widget = dialog_.control(controlId);
    if (widget == dialog_.status()) {
        return toWindowsText(dialog_.status()->toPlainText());
    }
    if (widget == dialog_.portResult()) {
        return dialog_.portResult()->text().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text().toStdString();
    }
    return {};
}

void QtDialogWindow::enableControl(int controlId, bool enable) {
    if (QWidget* widget = dialog_.control(controlId)) {
        widget->setEnabled(enable);
        widget->repaint();
    }
}

bool QtDialogWindow::isControlEnabled(int controlId) const {
    QWidget* widget = dialog_.control(controlId);
    return widget != nullptr && widget->isEnabled();
}

bool QtDialogWindow::isChecked(int controlId) const {
    QCheckBox* box = dialog_.checkBox(controlId);
    return box != nullptr && box->isChecked();
}

void QtDialogWindow::setChecked(int controlId, bool checked) {
    if (QCheckBox* box = dialog_.checkBox(controlId)) {
        box->setChecked(checked);
        box->repaint();
    }
}

int QtDialogWindow::messageBox(const std::string& text, const std::string& caption, unsigned type) {
    const bool question = box::isQuestion(type);
    QMessageBox messageBox(iconOf(type), caption.empty() ? defaultTitle() : QString::fromStdString(caption),
                           fromWindowsText(text),
                           question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, &dialog_);
    if (question) {
        QAbstractButton* yes = messageBox.button(QMessageBox::Yes);
        QAbstractButton* no = messageBox.button(QMessageBox::No);
        const bool secondIsDefault = (type & box::kDefaultButton2) != 0;
        messageBox.setDefaultButton(qobject_cast<QPushButton*>(secondIsDefault ? no : yes));
        // A Windows Yes/No box ignores Escape; here Escape means the safe answer, No, which writes
        // nothing to the scanner.
        messageBox.setEscapeButton(no);
    }
    // The wait cursor of a transfer would hide that the box wants an answer.
    const bool waiting = waitDepth_ > 0;
    if (waiting) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    const int answer = messageBox.exec();
    if (waiting) {
        QApplication::restoreOverrideCursor();
    }
    if (!question) {
        return kIdOk;
    }
    return answer == QMessageBox::Yes ? kIdYes : kIdNo;
}

void QtDialogWindow::progressSetStep(int step) {
    step_ = step;
}

void QtDialogWindow::progressSetUnits(const std::string&, std::int64_t) {
    position_ = 0;
    showProgress();
}

void QtDialogWindow::progressSetRange(std::uint16_t lower, std::uint16_t upper) {
    lower_ = lower;
    upper_ = upper;
    dialog_.progress()->setRange(lower_, std::max(lower_, upper_));
    showProgress();
}

void QtDialogWindow::progressStepIt() {
    // A Windows progress bar wraps to its lower bound when a step passes the upper one.
    position_ += step_;
    if (position_ > upper_) {
        position_ = lower_ + (position_ - upper_) - 1;
    }
    showProgress();
}

void QtDialogWindow::showProgress() {
    QProgressBar* bar = dialog_.progress();
    bar->setValue(std::clamp(position_, bar->minimum(), bar->maximum()));
    bar->repaint();
}

void QtDialogWindow::repaint() {
    dialog_.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDialogWindow::beginWaitCursor() {
    ++waitDepth_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtDialogWindow::restoreWaitCursor() {
    // The wait cursor stays on its stack between begin and end; there is nothing to restore.
}

void QtDialogWindow::endWaitCursor() {
    if (waitDepth_ > 0) {
        --waitDepth_;
        QApplication::restoreOverrideCursor();
    }
}

void QtDialogWindow::exitProcess(int exitCode) {
    exitCode_ = exitCode;
    if (onExitProcess) {
        onExitProcess(exitCode);
    }
}

std::optional<std::size_t> QtDialogWindow::runPortDialog(const std::vector<PortInfo>& ports) {
    QtPortSelectDialog portDialog(ports, &dialog_);
    portDialog.exec();
    return portDialog.chosenPort();
}

void QtDialogWindow::showAbout(const std::string& caption, const std::vector<std::string>& lines) {
    AboutDialog about(caption, lines, &dialog_);
    about.exec();
}

std::optional<std::string> QtDialogWindow::askSaveFileName(const std::string& suggestedName) {
    const QString suggested = QString::fromStdString(suggestedName);
    const QString chosen =
        chooseSaveFile ? chooseSaveFile(suggested)
                       : QFileDialog::getSaveFileName(&dialog_, QStringLiteral("Save support bundle"),
                                                      QDir::home().filePath(suggested),
                                                      QStringLiteral("JSON files (*.json);;All files (*)"));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    // The file system's own encoding, as the bundle is written through std::filesystem.
    return std::string(QFile::encodeName(chosen).constData());
}

std::optional<std::string> QtDialogWindow::askFirmwareFileName() {
    const QString chosen =
        chooseFirmwareFile
            ? chooseFirmwareFile()
            : QFileDialog::getOpenFileName(
                  &dialog_, QStringLiteral("Open firmware"), QDir::homePath(),
                  QStringLiteral("Firmware images and catalogues (*.bin SHA256SUMS);;All files (*)"));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return std::string(QFile::encodeName(chosen).constData());
}

} // namespace orvexa
