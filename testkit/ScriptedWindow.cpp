#include "ScriptedWindow.h"

#include <algorithm>

namespace orvexa {

ScriptedWindow::ScriptedWindow() {
    for (int id : {control::kExit, control::kAbout, control::kStep1, control::kPortResult, control::kStatus,
                   control::kSilentMode, control::kProgress}) {
        controls_[id] = Control{};
    }
    for (int id : {control::kStep2, control::kStep3, control::kDownloadFont}) {
        controls_[id] = Control{"", false, false};
    }
}

void ScriptedWindow::answer(std::initializer_list<int> answers) {
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

void ScriptedWindow::setControlText(int controlId, const std::string& text) {
    control(controlId).text = text;
    if (controlId == control::kStatus) {
        statusHistory.push_back(text);
    }
    log.push_back("setText " + std::to_string(controlId));
}

std::string ScriptedWindow::controlText(int controlId) const {
    const auto it = controls_.find(controlId);
    return it == controls_.end() ? std::string() : it->second.text;
}

void ScriptedWindow::enableControl(int controlId, bool enable) {
    control(controlId).enabled = enable;
    log.push_back((enable ? "enable " : "disable ") + std::to_string(controlId));
}

bool ScriptedWindow::isControlEnabled(int controlId) const {
    const auto it = controls_.find(controlId);
    return it != controls_.end() && it->second.enabled;
}

bool ScriptedWindow::isChecked(int controlId) const {
    const auto it = controls_.find(controlId);
    return it != controls_.end() && it->second.checked;
}

void ScriptedWindow::setChecked(int controlId, bool checked) {
    control(controlId).checked = checked;
    log.push_back((checked ? "check " : "uncheck ") + std::to_string(controlId));
}

int ScriptedWindow::messageBox(const std::string& text, const std::string& caption, unsigned type) {
    ShownBox shown{text, caption, type, kIdOk, true};
    if (box::isQuestion(type)) {
        if (answers_.empty()) {
            shown.answer = kIdNo; // the default button of every question box
            shown.scripted = false;
        } else {
            shown.answer = answers_.front();
            answers_.pop_front();
        }
    }
    boxes.push_back(shown);
    log.push_back("box " + std::to_string(type) + " " + text);
    return shown.answer;
}

void ScriptedWindow::progressSetStep(int step) {
    progressStep = step;
    log.push_back("progressSetStep " + std::to_string(step));
}

void ScriptedWindow::progressSetUnits(const std::string& name, std::int64_t bytesPerStep) {
    progressUnits.push_back(name + " " + std::to_string(bytesPerStep));
    progressPosition = 0;
}

void ScriptedWindow::progressSetRange(std::uint16_t lower, std::uint16_t upper) {
    progressLower = lower;
    progressUpper = upper;
    ++progressRangeSets;
    log.push_back("progressSetRange " + std::to_string(lower) + " " + std::to_string(upper));
}

void ScriptedWindow::progressStepIt() {
    // A Windows progress bar wraps to its lower bound when a step passes the upper one.
    progressPosition += progressStep;
    if (progressPosition > progressUpper) {
        progressPosition = progressLower + (progressPosition - progressUpper) - 1;
    }
}

void ScriptedWindow::exitProcess(int code) {
    exitCode = code;
    log.push_back("exit " + std::to_string(code));
}

std::optional<std::size_t> ScriptedWindow::runPortDialog(const std::vector<PortInfo>& ports) {
    ++portDialogRuns;
    portDialogOffered = ports;
    log.push_back("portDialog");
    if (portChoice_ && *portChoice_ < ports.size()) {
        return portChoice_;
    }
    return std::nullopt;
}

bool ScriptedWindow::sawBox(const std::string& text) const {
    return std::any_of(boxes.begin(), boxes.end(), [&text](const ShownBox& b) { return b.text == text; });
}

std::size_t ScriptedWindow::unscriptedQuestions() const {
    return static_cast<std::size_t>(
        std::count_if(boxes.begin(), boxes.end(), [](const ShownBox& b) { return !b.scripted; }));
}

} // namespace orvexa
