// The dialog's controls as a window without widgets keeps them: text, enabled and checked, by identifier.
// A control never set reads empty, disabled and unchecked.
#pragma once

#include <map>
#include <string>

namespace orvexa {

class ControlTable {
public:
    // The text before the change, so that a window can show only what changed.
    std::string setText(int controlId, const std::string& text) {
        std::string before = std::move(controls_[controlId].text);
        controls_[controlId].text = text;
        return before;
    }
    std::string text(int controlId) const { return find(controlId).text; }
    void enable(int controlId, bool enable) { controls_[controlId].enabled = enable; }
    bool isEnabled(int controlId) const { return find(controlId).enabled; }
    bool isChecked(int controlId) const { return find(controlId).checked; }
    void setChecked(int controlId, bool checked) { controls_[controlId].checked = checked; }

private:
    struct Control {
        std::string text;
        bool enabled = true;
        bool checked = false;
    };
    const Control& find(int controlId) const {
        static const Control kNever{{}, false, false};
        const auto it = controls_.find(controlId);
        return it == controls_.end() ? kNever : it->second;
    }

    std::map<int, Control> controls_;
};

} // namespace orvexa
