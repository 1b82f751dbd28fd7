#include "cli/SessionWindow.h"

#include "cli/TerminalWindow.h"

namespace orvexa {

void SessionWindow::setControlText(int controlId, const std::string& text) {
    const std::string before = controls_.setText(controlId, text);
    if (text == before) {
        return;
    }
    if (controlId == control::kStatus) {
        observer_.statusChanged(text);
    } else if (controlId == control::kPortResult && !text.empty()) {
        observer_.portResult(text);
    }
}

int SessionWindow::messageBox(const std::string& text, const std::string& caption, unsigned type) {
    BoxShown shown{boxKindName(type), caption, text, std::nullopt};
    int answer = kIdOk;
    if (box::isQuestion(type)) {
        answer = answerYes_ ? kIdYes : kIdNo;
        shown.answeredYes = answer == kIdYes;
    } else {
        lastStatement_ = text;
    }
    observer_.boxShown(shown);
    return answer;
}

std::string SessionWindow::why() const {
    const std::vector<std::string> box = splitLines(lastStatement_);
    if (!box.empty()) {
        return box.front();
    }
    const std::vector<std::string> status = splitLines(controls_.text(control::kStatus));
    return status.empty() ? std::string() : status.back();
}

void SessionWindow::progressStepIt() {
    meter_.stepIt();
    observer_.progressed(meter_.reading());
}

} // namespace orvexa
