#include "AboutDialog.h"

#include "AppIcon.h"
#include "DialogUnits.h"

#include <QLabel>
#include <QPushButton>

namespace orvexa {

namespace {

constexpr int kDialogWidth = 235;
constexpr int kDialogHeight = 55;
constexpr int kIconX = 11;
constexpr int kIconY = 17;
constexpr int kIconSizePx = 32; // an icon control takes the icon's own size, not dialog units
constexpr DialogRect kTitleRect{40, 10, 135, 8};
// Below the button the second line may run to the dialog's right margin.
constexpr DialogRect kSecondRect{40, 25, 188, 8};
constexpr DialogRect kOkRect{178, 7, 50, 14};

QString lineOf(const std::vector<std::string>& lines, std::size_t index) {
    return index < lines.size() ? QString::fromStdString(lines[index]) : QString();
}

} // namespace

AboutDialog::AboutDialog(const std::string& caption, const std::vector<std::string>& lines, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    const QFont font = dialogFont();
    const DialogUnits units(font);
    setFont(font);
    setWindowTitle(QString::fromStdString(caption));
    setFixedSize(units.toPixels(kDialogWidth, kDialogHeight));

    icon_ = new QLabel(this);
    icon_->setPixmap(appIconPixmap(kIconSizePx));
    const QRect iconOrigin = units.toPixels(DialogRect{kIconX, kIconY, 0, 0});
    icon_->setGeometry(iconOrigin.x(), iconOrigin.y(), kIconSizePx, kIconSizePx);

    title_ = new QLabel(lineOf(lines, 0), this);
    title_->setGeometry(units.toPixels(kTitleRect));
    second_ = new QLabel(lineOf(lines, 1), this);
    second_->setGeometry(units.toPixels(kSecondRect));

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(units.toPixels(kOkRect));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace orvexa
