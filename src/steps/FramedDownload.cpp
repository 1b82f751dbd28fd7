#include "steps/FramedDownload.h"

#include "firmware/FramedLink.h"
#include "firmware/FramedPacket.h"
#include "firmware/ImageBlock.h"
#include "steps/StepTexts.h"
#include "ui/Controls.h"

#include <vector>

namespace orvexa {

namespace {

// Block numbers travel in 16 bits: an image that needs more blocks would have later blocks written over
// earlier ones.
constexpr std::uint64_t kMaxBlockCount = 0x10000;

// What one step of the progress bar stands for during the download.
constexpr char kProgressUnits[] = "firmware";

enum class Sent { Complete, Failed, Stopped };

bool usableBlockSize(std::uint32_t blockSize) {
    return blockSize > 0 && blockSize <= kMaxFramedBlockSize;
}

bool fitsBlockNumbers(std::int32_t imageSize, std::uint32_t blockSize) {
    const std::uint64_t blocks = (static_cast<std::uint64_t>(imageSize) + blockSize - 1) / blockSize;
    return blocks <= kMaxBlockCount;
}

// Sends the image block by block, until a block fails or the front end asks to stop.
Sent sendImage(StepContext& ctx, FramedLink& link, std::uint32_t blockSize, const DownloadSession& session) {
    const std::int32_t imageSize = ctx.package.imageSize();
    const std::uint8_t* image = ctx.package.image();
    ctx.window.progressSetUnits(kProgressUnits, blockSize);
    ctx.window.progressSetStep(1);
    // One more than the whole blocks, so the bar ends exactly full when the last block is a partial one.
    ctx.window.progressSetRange(
        0, static_cast<std::uint16_t>(static_cast<std::uint32_t>(imageSize) / blockSize + 1));

    std::vector<std::uint8_t> block(blockSize);
    std::uint16_t blockNumber = 0;
    for (std::int32_t offset = 0; offset < imageSize; offset += static_cast<std::int32_t>(blockSize)) {
        // Between two blocks: the scanner has answered the last one.
        if (session.stopRequested()) {
            return Sent::Stopped;
        }
        copyImageBlock(block.data(), block.size(), image, imageSize, offset);
        if (link.sendBlock(blockNumber, block.data(), static_cast<std::int32_t>(blockSize)) !=
            FramedLink::Sent::Done) {
            return Sent::Failed;
        }
        ++blockNumber;
        ctx.window.progressStepIt();
    }
    return Sent::Complete;
}

} // namespace

void downloadFramed(StepContext& ctx) {
    DownloadSession session(ctx);
    DeviceInfo& device = ctx.records.deviceInfo;
    const std::uint32_t blockSize = device.framedBlockSize;
    if (!usableBlockSize(blockSize)) {
        // Step 3 by its key before any Step 2: nothing says what this scanner takes.
        session.endWithError(kFirmwareFailedLine, Outcome::NotVerified);
        return;
    }
    if (!ctx.package.isUpdateContainer() || !fitsBlockNumbers(ctx.package.imageSize(), blockSize)) {
        // Step 2 refuses such a package for this family; streaming it as blocks anyway would bypass that.
        session.endWithError(kFirmwareFailedLine, Outcome::Refused);
        return;
    }

    FramedLink link(ctx.channel, ctx.clock, device);
    session.startWriting();
    Sent sent = link.sendStartRequest() == FramedLink::Sent::Done ? Sent::Complete : Sent::Failed;
    if (sent == Sent::Complete && session.lineLost()) {
        sent = Sent::Failed; // the start request went out, but no block can follow it
    }
    if (sent == Sent::Complete) {
        sent = sendImage(ctx, link, blockSize, session);
    }
    switch (sent) {
    case Sent::Complete:
        session.endTransfer(false, {});
        break;
    case Sent::Failed:
        session.endWithError(session.lineLost() ? kDisconnectedLine : kFirmwareFailedLine);
        break;
    case Sent::Stopped:
        session.endStopped();
        break;
    }
}

} // namespace orvexa
