#include "steps/FramedDownload.h"

#include "firmware/FramedLink.h"
#include "firmware/FramedPacket.h"
#include "ui/Controls.h"

#include <algorithm>
#include <vector>

namespace orvexa {

namespace {

// Bytes of the last block that lie past the end of the image; the scanner gets full-length blocks only.
constexpr std::uint8_t kBlockFill = 0xFF;

// Block numbers travel in 16 bits: an image that needs more blocks would have later blocks written over
// earlier ones.
constexpr std::uint64_t kMaxBlockCount = 0x10000;

bool usableBlockSize(std::uint32_t blockSize) {
    return blockSize > 0 && blockSize <= kMaxFramedBlockSize;
}

bool fitsBlockNumbers(std::int32_t imageSize, std::uint32_t blockSize) {
    const std::uint64_t blocks = (static_cast<std::uint64_t>(imageSize) + blockSize - 1) / blockSize;
    return blocks <= kMaxBlockCount;
}

// Sends the image block by block; false at the first block that fails.
bool sendImage(StepContext& ctx, FramedLink& link, std::uint32_t blockSize) {
    const std::int32_t imageSize = ctx.package.imageSize();
    const std::uint8_t* image = ctx.package.image();
    ctx.window.progressSetStep(1);
    // One more than the whole blocks, so the bar ends exactly full when the last block is a partial one.
    ctx.window.progressSetRange(
        0, static_cast<std::uint16_t>(static_cast<std::uint32_t>(imageSize) / blockSize + 1));

    std::vector<std::uint8_t> block(blockSize);
    std::uint16_t blockNumber = 0;
    for (std::int32_t offset = 0; offset < imageSize; offset += static_cast<std::int32_t>(blockSize)) {
        const auto available =
            std::min<std::int32_t>(static_cast<std::int32_t>(blockSize), imageSize - offset);
        std::fill(block.begin(), block.end(), kBlockFill);
        std::copy(image + offset, image + offset + available, block.begin());
        if (link.sendBlock(blockNumber, block.data(), static_cast<std::int32_t>(blockSize))) {
            return false;
        }
        ++blockNumber;
        ctx.window.progressStepIt();
    }
    return true;
}

} // namespace

void downloadFramed(StepContext& ctx) {
    DeviceInfo& device = ctx.records.deviceInfo;
    const std::uint32_t blockSize = device.framedBlockSize;
    bool written = false;
    if (!usableBlockSize(blockSize)) {
        // Step 3 by its key before any Step 2: nothing says what this scanner takes.
        ctx.outcome = Outcome::NotVerified;
    } else if (!ctx.package.isUpdateContainer() || !fitsBlockNumbers(ctx.package.imageSize(), blockSize)) {
        // Step 2 refuses such a package for this family; streaming it as blocks anyway would bypass that.
        ctx.outcome = Outcome::Refused;
    } else {
        FramedLink link(ctx.channel, ctx.clock, device);
        written = !link.sendStartRequest() && sendImage(ctx, link, blockSize);
        ctx.outcome = written ? Outcome::Written : Outcome::TransferError;
    }

    ctx.channel.close();
    if (written) {
        ctx.window.messageBox(kFirmwareUpdatedText, "", box::kOk);
    } else {
        ctx.window.messageBox(kFirmwareErrorText, "", box::kError);
    }
}

} // namespace orvexa
