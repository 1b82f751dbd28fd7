// Answers the modal boxes and dialogs that appear while a test drives the real widgets, from a plan
// made beforehand, and records what each one showed. A box the plan does not cover is closed with
// Escape and recorded as unplanned, so a wiring test fails rather than hangs when the boxes differ.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace orvexa::test {

struct SeenBox {
    QString title;
    QString text;
    int icon = 0;          // QMessageBox::Icon
    QString defaultButton; // the text of the default button
    QStringList buttons;   // the texts of all buttons, in order
    bool planned = true;
};

class BoxWatch : public QObject {
    Q_OBJECT
public:
    // How a planned box is answered: by the window itself (click a button, choose a port, ...).
    using Answer = std::function<void(QWidget* modal)>;

    BoxWatch();

    void plan(Answer answer) { plan_.push_back(std::move(answer)); }
    void planButton(const QString& text); // clicks the button with this text
    void planEnter();                     // presses Enter: the default button
    void planEscape();

    std::vector<SeenBox> seen;
    int unplanned() const;
    int stuck = 0; // boxes that an answer did not close, closed with Escape after a while
    bool planDone() const { return plan_.empty(); }

private:
    void poll();

    std::deque<Answer> plan_;
    QPointer<QWidget> current_;
    QElapsedTimer currentSince_;
    QTimer timer_;
};

} // namespace orvexa::test
