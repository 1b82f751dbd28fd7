// A finding as JSON: the one form that the --doctor --json events and the support bundle's "doctor" list
// both carry, so that a script reading one reads the other.
#pragma once

#include "doctor/Finding.h"

#include <nlohmann/json.hpp>

namespace orvexa {

// {"check", "level", "subject", "text", "fix"}, in that order; every key present, an empty text as "".
nlohmann::ordered_json findingJson(const Finding& finding);

} // namespace orvexa
