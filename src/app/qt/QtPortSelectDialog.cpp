#include "QtPortSelectDialog.h"

#include "AppIcon.h"
#include "DialogUnits.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace orvexa {

namespace {

constexpr int kDialogWidth = 122;
constexpr int kDialogHeight = 105;
constexpr DialogRect kCancelRect{77, 24, 39, 14};
constexpr DialogRect kOkRect{77, 6, 40, 14};
constexpr DialogRect kLabelRect{1, 9, 14, 8};
constexpr DialogRect kComboRect{17, 7, 48, 92}; // 92 is the height with the list dropped
constexpr int kComboVisibleItems = 8;

constexpr char kCaption[] = "Select COM Port";

QString itemText(const PortInfo& port) {
    QString text = QString::fromStdString(port.displayName.empty() ? port.path : port.displayName);
    if (!port.detail.empty()) {
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(port.detail));
    }
    return text;
}

} // namespace

QtPortSelectDialog::QtPortSelectDialog(const std::vector<PortInfo>& ports, QWidget* parent)
    // A caption and a modal frame, but no window menu and so no close box: only the buttons end it.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    const QFont font = dialogFont();
    const DialogUnits units(font);
    setFont(font);
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(appIcon());
    setFixedSize(units.toPixels(kDialogWidth, kDialogHeight));

    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setGeometry(units.toPixels(kCancelRect));
    cancelButton_->setDefault(true);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setGeometry(units.toPixels(kOkRect));
    okButton_->setEnabled(false);
    okButton_->setAutoDefault(false);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    auto* label = new QLabel(QStringLiteral("Port"), this);
    label->setGeometry(units.toPixels(kLabelRect));

    portCombo_ = new QComboBox(this);
    portCombo_->setEditable(true);
    portCombo_->setInsertPolicy(QComboBox::NoInsert);
    portCombo_->setMaxVisibleItems(kComboVisibleItems);
    const QRect comboRect = units.toPixels(kComboRect);
    // The template's height is that of the dropped list; closed, the box is one line high.
    portCombo_->setGeometry(comboRect.x(), comboRect.y(), comboRect.width(), portCombo_->sizeHint().height());
    for (const PortInfo& port : ports) {
        portCombo_->addItem(itemText(port));
    }
    portCombo_->setCurrentIndex(-1);
    connect(portCombo_, &QComboBox::activated, this, [this] { onPortSelChange(); });
    connect(portCombo_, &QComboBox::currentIndexChanged, this, [this] { onPortSelChange(); });

    setTabOrder(cancelButton_, okButton_);
    setTabOrder(okButton_, portCombo_);
    cancelButton_->setFocus();
}

void QtPortSelectDialog::onPortSelChange() {
    okButton_->setEnabled(portCombo_->currentIndex() >= 0);
}

std::optional<std::size_t> QtPortSelectDialog::chosenPort() const {
    if (result() != QDialog::Accepted) {
        return std::nullopt;
    }
    // The edit field may hold typed text; only an entry of the list is a port we know how to open.
    const int index = portCombo_->findText(portCombo_->currentText());
    if (index < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
}

} // namespace orvexa
