#include "device/Family.h"
#include "steps/ClassicDownload.h"
#include "steps/FramedDownload.h"
#include "steps/StepTexts.h"
#include "steps/Steps.h"

namespace orvexa {

namespace {

// Step 3 writes only to the scanner that the last Step 2 verified on the port open now; anything else is
// refused before a byte is sent, whether it came from the button, the key "3" or the Silent chain.
bool mayWrite(StepContext& ctx) {
    const char* refusal = nullptr;
    if (!ctx.channel.isOpen()) {
        ctx.records.verifiedOnOpenPort = false;
        refusal = kNoPortOpenText;
    } else if (!ctx.records.verifiedOnOpenPort) {
        refusal = kNotVerifiedText;
    }
    if (refusal == nullptr) {
        return true;
    }
    ctx.window.messageBox(refusal, "", box::kError);
    ctx.outcome = Outcome::NotVerified;
    return false;
}

} // namespace

void firmwareDownload(StepContext& ctx) {
    if (!mayWrite(ctx)) {
        return;
    }
    if (isFramedFamily(ctx.records.deviceInfo)) {
        downloadFramed(ctx);
    } else {
        classicDownload(ctx);
    }
    // A download that reached the transfer closed the port; the scanner must be found and checked again.
    if (!ctx.channel.isOpen()) {
        ctx.records.verifiedOnOpenPort = false;
    }
}

} // namespace orvexa
