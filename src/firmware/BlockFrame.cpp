#include "firmware/BlockFrame.h"

#include "firmware/Crc16.h"
#include "firmware/ImageBlock.h"

namespace orvexa {

BlockFrame::BlockFrame(std::uint8_t kind, std::uint16_t blockNumber) {
    bytes_[kKindAt] = kind;
    bytes_[kBlockNumberAt] = static_cast<std::uint8_t>(blockNumber & 0xFF);
    bytes_[kBlockNumberAt + 1] = static_cast<std::uint8_t>(blockNumber >> 8);
}

BlockFrame BlockFrame::data(std::uint16_t blockNumber, const std::uint8_t* image, std::int32_t imageSize,
                            std::int32_t offset) {
    BlockFrame frame(kDataKind, blockNumber);
    copyImageBlock(frame.bytes_.data() + kDataAt, kDataSize, image, imageSize, offset);
    frame.seal();
    return frame;
}

BlockFrame BlockFrame::closing(std::uint16_t blockNumber) {
    BlockFrame frame(kClosingKind, blockNumber); // data bytes stay zero
    frame.seal();
    return frame;
}

void BlockFrame::seal() {
    const std::uint16_t crc = crc16Kermit(bytes_.data() + kKindAt, kFrameSize - kKindAt);
    bytes_[kCrcAt] = static_cast<std::uint8_t>(crc & 0xFF);
    bytes_[kCrcAt + 1] = static_cast<std::uint8_t>(crc >> 8);
}

std::uint16_t BlockFrame::blockNumber() const {
    return static_cast<std::uint16_t>(bytes_[kBlockNumberAt] | bytes_[kBlockNumberAt + 1] << 8);
}

std::uint16_t BlockFrame::crc() const {
    return static_cast<std::uint16_t>(bytes_[kCrcAt] | bytes_[kCrcAt + 1] << 8);
}

} // namespace orvexa
