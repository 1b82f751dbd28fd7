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
constexpr DialogRect kSecondRect{40, 25, 135, 8};
constexpr DialogRect kOkRect{178, 7, 50, 14};

constexpr char kCaption[] = "About Orvexa";
constexpr char kTitleText[] = "Tevanor RDQ F/W upgrade program";

} // namespace

QString AboutDialog::versionLine(const std::string& carriedIdentity) {
    return QStringLiteral("Version %1, firmware %2")
        .arg(QString::fromLatin1(ORVEXA_VERSION), QString::fromStdString(carriedIdentity));
}

AboutDialog::AboutDialog(const std::string& carriedIdentity, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    const QFont font = dialogFont();
    const DialogUnits units(font);
    setFont(font);
    setWindowTitle(QString::fromLatin1(kCaption));
    setFixedSize(units.toPixels(kDialogWidth, kDialogHeight));

    icon_ = new QLabel(this);
    icon_->setPixmap(appIconPixmap(kIconSizePx));
    const QRect iconOrigin = units.toPixels(DialogRect{kIconX, kIconY, 0, 0});
    icon_->setGeometry(iconOrigin.x(), iconOrigin.y(), kIconSizePx, kIconSizePx);

    title_ = new QLabel(QString::fromLatin1(kTitleText), this);
    title_->setGeometry(units.toPixels(kTitleRect));
    second_ = new QLabel(versionLine(carriedIdentity), this);
    second_->setGeometry(units.toPixels(kSecondRect));

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(units.toPixels(kOkRect));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace orvexa
