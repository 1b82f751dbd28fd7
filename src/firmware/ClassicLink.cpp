#include "firmware/ClassicLink.h"

#include "device/LineReader.h"

namespace orvexa {

using namespace classic;

namespace {
constexpr std::uint32_t kCommandPauseMs = CommandLink::kCommandPauseMs;
} // namespace

// A closed channel is as gone as a lost line: no "X" and no reply can come on either.
bool ClassicLink::gone() const {
    return line::gone(channel_);
}

bool ClassicLink::wake() {
    link_.pingDevice();
    return !gone();
}

// "I","E","I" are the first letters that change the scanner; the caller has said so before this.
ClassicLink::Start ClassicLink::enterDownloadMode(bool itAccepted) {
    send(kPrefix, kCommandPauseMs);
    send(kStartFirst, kCommandPauseMs);
    send(kPrefix, kCommandPauseMs);
    send(itAccepted ? kStartWithIt : kStartWithoutIt, 0);
    const Start first = waitForAccepted(kStartReads);
    if (first != Start::NoX) {
        return first;
    }
    if (!wake()) {
        return Start::LineLost;
    }
    send(kPrefix, kCommandPauseMs);
    send(kStartFallback, 0);
    return waitForAccepted(kFallbackReads);
}

void ClassicLink::beginFrames() {
    send(kBeforeFrames, kCommandPauseMs);
    send(kBeforeFrames, 0);
}

ClassicLink::Reply ClassicLink::sendFrame(const BlockFrame& frame, std::uint8_t& reply) {
    channel_.write(frame.bytes(), frame.size());
    if (line::readUntil(channel_, clock_, &reply, 1, kFrameReplyLimitMs) == 1) {
        return Reply::Arrived;
    }
    return gone() ? Reply::LineLost : Reply::Silent;
}

void ClassicLink::sendClosingFrame(std::uint16_t blockNumber) {
    clock_.sleepMs(kClosingPauseMs);
    const BlockFrame closing = BlockFrame::closing(blockNumber);
    channel_.write(closing.bytes(), closing.size());
}

ClassicLink::Start ClassicLink::waitForAccepted(int reads) {
    for (int i = 0; i < reads; ++i) {
        std::uint8_t byte = 0;
        if (line::readByte(channel_, byte) && byte == kAccepted) {
            return Start::Ready;
        }
        if (gone()) {
            return Start::LineLost;
        }
        clock_.sleepMs(kStartPollPauseMs);
    }
    return Start::NoX;
}

void ClassicLink::send(char letter, std::uint32_t pauseMs) {
    line::sendLetter(channel_, clock_, letter, pauseMs);
}

} // namespace orvexa
