#include "steps/FramedDownload.h"

namespace orvexa {

void downloadFramed(StepContext&) {}

} // namespace orvexa
