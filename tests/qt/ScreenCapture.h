// Two views of the dialog's pixels, for the tests that check what a blocking step leaves on the screen.
#pragma once

#include "MainDialog.h"

#include <QImage>
#include <QRect>

namespace orvexa::test {

// The pixels as the screen shows them, not as the widget would render now.
QImage screenOf(MainDialog& dialog, const QRect& area);
// The pixels as the widget renders them now.
QImage renderingOf(MainDialog& dialog, const QRect& area);

} // namespace orvexa::test
