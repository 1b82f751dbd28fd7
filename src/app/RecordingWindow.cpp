#include "app/RecordingWindow.h"

namespace orvexa {

void RecordingWindow::setControlText(int controlId, const std::string& text) {
    inner_.setControlText(controlId, text);
    if (controlId == control::kStatus) {
        memory_.statusSet(text);
    }
}

int RecordingWindow::messageBox(const std::string& text, const std::string& caption, unsigned type) {
    const int answer = inner_.messageBox(text, caption, type);
    memory_.boxShown(type, caption, text, answer);
    return answer;
}

} // namespace orvexa
