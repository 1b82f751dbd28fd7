#include "BoxWatch.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace orvexa::test {

namespace {
constexpr int kPollMs = 5;
constexpr int kStuckMs = 3000; // far above any answer's effect, far below a test's time limit
} // namespace

BoxWatch::BoxWatch() {
    connect(&timer_, &QTimer::timeout, this, &BoxWatch::poll);
    timer_.start(kPollMs);
}

void BoxWatch::planButton(const QString& text) {
    plan([text](QWidget* modal) {
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
            if (button->text().remove(QLatin1Char('&')) == text) {
                button->click();
                return;
            }
        }
        QTest::keyClick(modal, Qt::Key_Escape);
    });
}

void BoxWatch::planEnter() {
    plan([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
}

void BoxWatch::planEscape() {
    plan([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
}

int BoxWatch::unplanned() const {
    return static_cast<int>(
        std::count_if(seen.begin(), seen.end(), [](const SeenBox& b) { return !b.planned; }));
}

void BoxWatch::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    if (modal == current_) {
        if (currentSince_.elapsed() > kStuckMs) {
            ++stuck;
            currentSince_.restart();
            QTest::keyClick(modal, Qt::Key_Escape);
        }
        return;
    }
    current_ = modal;
    currentSince_.start();
    SeenBox box;
    box.title = modal->windowTitle();
    if (auto* messageBox = qobject_cast<QMessageBox*>(modal)) {
        box.text = messageBox->text();
        box.icon = messageBox->icon();
        if (messageBox->defaultButton() != nullptr) {
            box.defaultButton = messageBox->defaultButton()->text().remove(QLatin1Char('&'));
        }
        for (QAbstractButton* button : messageBox->buttons()) {
            box.buttons << button->text().remove(QLatin1Char('&'));
        }
    } else {
        for (QPushButton* button : modal->findChildren<QPushButton*>()) {
            if (button->isDefault()) {
                box.defaultButton = button->text();
            }
            box.buttons << button->text();
        }
    }
    box.planned = !plan_.empty();
    seen.push_back(box);
    if (plan_.empty()) {
        QTest::keyClick(modal, Qt::Key_Escape);
        return;
    }
    Answer answer = std::move(plan_.front());
    plan_.pop_front();
    answer(modal);
}

} // namespace orvexa::test
