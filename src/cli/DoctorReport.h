// orvexa-cli --doctor: the doctor's findings, one per paragraph with what to do, or one JSON event each.
#pragma once

#include "doctor/Finding.h"

#include <cstdio>
#include <string>
#include <vector>

namespace orvexa {

// The findings as the terminal shows them: the level, then the text and its fix wrapped into width
// columns under it, then a line of counts. Problems come first, then what was not checked, then notes.
std::vector<std::string> doctorLines(std::vector<Finding> findings, int width);

// --doctor: prints the findings (as events with json) and returns 1 when a problem stands in the way.
int runDoctor(const std::vector<Finding>& findings, bool json, std::FILE* out, int width);

} // namespace orvexa
