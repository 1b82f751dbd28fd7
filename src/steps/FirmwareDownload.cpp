#include "device/Family.h"
#include "steps/ClassicDownload.h"
#include "steps/FramedDownload.h"
#include "steps/Steps.h"

namespace orvexa {

void firmwareDownload(StepContext& ctx) {
    if (isFramedFamily(ctx.records.deviceInfo)) {
        downloadFramed(ctx);
        return;
    }
    classicDownload(ctx);
}

} // namespace orvexa
