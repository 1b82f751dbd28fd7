#include "steps/Steps.h"

namespace orvexa {

void verifyDevice(StepContext&) {}

} // namespace orvexa
