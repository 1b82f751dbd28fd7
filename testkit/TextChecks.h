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

} // namespace orvexa
