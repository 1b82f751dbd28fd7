// The application icon, drawn at 32 x 32 and 16 x 16 in the 16 colours of the classic icon palette
// (icons/makeIcons.py draws it; the XPM files it writes are compiled in).
#pragma once

#include <QIcon>
#include <QPixmap>

namespace orvexa {

QPixmap appIconPixmap(int size); // 32 or 16
QIcon appIcon();

} // namespace orvexa
