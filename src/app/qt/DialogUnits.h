// Dialog templates give positions and sizes in dialog units, which scale with the dialog's font. Windows
// turns them into pixels from the font's average character width and its height; doing the same here
// keeps every control where the dialog's design put it, whatever font the machine renders with.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace orvexa {

// A rectangle of a dialog template, in dialog units.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    // The font's base units in pixels: the average width of the 52 letters, and the character height.
    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

    // x * baseX / 4 and y * baseY / 8, rounded; edges are converted, not sizes, as Windows does.
    QRect toPixels(const DialogRect& rect) const;
    QSize toPixels(int width, int height) const;

private:
    int baseX_;
    int baseY_;
};

// The face our dialogs are designed for ("MS Sans Serif" 8 point) does not exist on Linux; DejaVu Sans,
// which the packages we install always bring, takes its place at the same point size.
QFont dialogFont();

} // namespace orvexa
