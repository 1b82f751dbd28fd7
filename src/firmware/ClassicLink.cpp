#include "firmware/ClassicLink.h"

#include "serial/Deadline.h"

namespace orvexa {

using namespace classic;

namespace {
constexpr std::uint32_t kCommandPauseMs = CommandLink::kCommandPauseMs;
} // namespace

// A closed channel is as gone as a lost line: no "X" and no reply can come on either.
bool ClassicLink::gone() const {
    return !channel_.isOpen() || lineLost(channel_);
}

bool ClassicLink::wake() {
    link_.pingDevice();
    return !gone();
}

// "I","E","I" are the first letters that change the scanner; the caller has said so before this.
ClassicLink::Start ClassicLink::enterDownloadMode(bool itAccepted) {
    send(kInterrupt, kCommandPauseMs);
    send(kErase, kCommandPauseMs);
    send(kInterrupt, kCommandPauseMs);
    send(itAccepted ? kDownloadWithIt : kDownloadWithoutIt, 0);
    const Start first = waitForAccepted(kStartReads);
    if (first != Start::NoX) {
        return first;
    }
    if (!wake()) {
        return Start::LineLost;
    }
    send(kInterrupt, kCommandPauseMs);
    send(kFallbackDownload, 0);
    return waitForAccepted(kFallbackReads);
}

void ClassicLink::beginFrames() {
    send(kHold, kCommandPauseMs);
    send(kHold, 0);
}

ClassicLink::Reply ClassicLink::sendFrame(const BlockFrame& frame, std::uint8_t& reply) {
    channel_.write(frame.bytes(), frame.size());
    Deadline deadline(clock_);
    deadline.start(kFrameReplyLimitMs);
    do {
        if (channel_.read(&reply, 1) == 1) {
            return Reply::Arrived;
        }
        if (gone()) {
            return Reply::LineLost; // no reply can come
        }
    } while (!deadline.expired());
    return Reply::Silent;
}

void ClassicLink::sendClosingFrame(std::uint16_t blockNumber) {
    clock_.sleepMs(kClosingPauseMs);
    const BlockFrame closing = BlockFrame::closing(blockNumber);
    channel_.write(closing.bytes(), closing.size());
}

ClassicLink::Start ClassicLink::waitForAccepted(int reads) {
    for (int i = 0; i < reads; ++i) {
        std::uint8_t byte = 0;
        if (channel_.read(&byte, 1) == 1 && byte == kAccepted) {
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
    const auto byte = static_cast<std::uint8_t>(letter);
    channel_.write(&byte, 1);
    if (pauseMs > 0) {
        clock_.sleepMs(pauseMs);
    }
}

} // namespace orvexa
