#include "DialogUnits.h"

#include <QFontMetrics>

namespace orvexa {

namespace {

// The sample Windows measures for the average character width.
constexpr char kAverageSample[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kHorizontalUnitsPerBase = 4;
constexpr int kVerticalUnitsPerBase = 8;
constexpr int kDialogPointSize = 8;

// MulDiv: a * b / c rounded half away from zero; dialog units are never negative here.
int mulDiv(int a, int b, int c) {
    return (2 * a * b + c) / (2 * c);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int sampleWidth = metrics.horizontalAdvance(QString::fromLatin1(kAverageSample));
    baseX_ = (sampleWidth / 26 + 1) / 2;
    baseY_ = metrics.height();
}

QRect DialogUnits::toPixels(const DialogRect& rect) const {
    const int left = mulDiv(rect.x, baseX_, kHorizontalUnitsPerBase);
    const int top = mulDiv(rect.y, baseY_, kVerticalUnitsPerBase);
    const int right = mulDiv(rect.x + rect.width, baseX_, kHorizontalUnitsPerBase);
    const int bottom = mulDiv(rect.y + rect.height, baseY_, kVerticalUnitsPerBase);
    return QRect(left, top, right - left, bottom - top);
}

QSize DialogUnits::toPixels(int width, int height) const {
    return toPixels(DialogRect{0, 0, width, height}).size();
}

QFont dialogFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(kDialogPointSize);
    return font;
}

} // namespace orvexa
