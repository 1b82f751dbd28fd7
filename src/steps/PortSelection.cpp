#include "steps/Steps.h"

namespace orvexa {

void portSelection(StepContext&) {}

} // namespace orvexa
