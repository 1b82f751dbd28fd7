#include "AppIcon.h"

#include "icons/orvexa16.xpm"
#include "icons/orvexa32.xpm"

namespace orvexa {

QPixmap appIconPixmap(int size) {
    return size <= 16 ? QPixmap(orvexaIcon16) : QPixmap(orvexaIcon32);
}

QIcon appIcon() {
    QIcon icon;
    icon.addPixmap(appIconPixmap(32));
    icon.addPixmap(appIconPixmap(16));
    return icon;
}

} // namespace orvexa
