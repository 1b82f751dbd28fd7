// Checks on what a program printed, a step showed or a scanner recorded. A failure shows the part looked
// for and the whole text it was looked for in, so that a test need not print the text itself.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace orvexa {

inline testing::AssertionResult contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "\"" << part << "\" is missing from:\n" << text;
}

inline testing::AssertionResult lacks(const std::string& text, const std::string& part) {
    if (text.find(part) == std::string::npos) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "\"" << part << "\" should not be in:\n" << text;
}

// The window showed one box, of this text and kind; a failure lists every box it did show. Any window
// that keeps its boxes will do, so that this header needs none of them.
template <class Window>
testing::AssertionResult onlyBox(const Window& window, const std::string& text, unsigned type) {
    const auto& boxes = window.boxes;
    if (boxes.size() == 1 && boxes[0].text == text && boxes[0].type == type) {
        return testing::AssertionSuccess();
    }
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << "expected only the box [" << type << "] \"" << text << "\", saw " << boxes.size() << ":";
    for (const auto& box : boxes) {
        failure << "\n[" << box.type << "] \"" << box.text << "\"";
    }
    return failure;
}

} // namespace orvexa
