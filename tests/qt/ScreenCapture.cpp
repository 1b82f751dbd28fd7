#include "ScreenCapture.h"

#include <QGuiApplication>
#include <QScreen>

namespace orvexa::test {

QImage screenOf(MainDialog& dialog, const QRect& area) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(dialog.winId(), area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage renderingOf(MainDialog& dialog, const QRect& area) {
    return dialog.grab(area).toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace orvexa::test
