#include "app/RunMemory.h"

#include <algorithm>

namespace orvexa {

std::string TailBuffer::text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_.substr(std::min(keptFrom(), held_.size()));
}

std::size_t TailBuffer::droppedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_ + std::min(keptFrom(), held_.size());
}

std::size_t TailBuffer::keptFrom() const {
    if (held_.size() <= limit_) {
        return 0;
    }
    // The buffer runs to twice its limit between trims: what is read is the last `limit_` bytes, from
    // the first line that starts within them (none: nothing).
    const std::size_t lineStart = held_.find('\n', held_.size() - limit_ - 1);
    return lineStart == std::string::npos ? held_.size() : lineStart + 1;
}

void TailBuffer::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_.clear();
    dropped_ = 0;
}

TailBuffer::int_type TailBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    const char one = traits_type::to_char_type(c);
    xsputn(&one, 1);
    return c;
}

std::streamsize TailBuffer::xsputn(const char* data, std::streamsize count) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_.append(data, static_cast<std::size_t>(count));
    trim();
    return count;
}

void TailBuffer::trim() {
    // Dropping the front only once twice the limit is held keeps appends cheap: each byte moves once.
    if (held_.size() <= 2 * limit_) {
        return;
    }
    const std::size_t excess = held_.size() - limit_;
    held_.erase(0, excess);
    dropped_ += excess;
}

RunMemory::RunMemory(Clock& clock, Limits limits)
    : limits_(limits), traceBuffer_(limits.traceBytes), traceStream_(&traceBuffer_),
      trace_(traceStream_, clock) {}

void RunMemory::beginRun() {
    hasRun_ = true;
    boxes_.clear();
    boxesDropped_ = 0;
    statusLines_.clear();
    statusLinesDropped_ = 0;
    lastStatus_.clear();
    traceBuffer_.clear();
}

void RunMemory::continueRun() {
    if (!hasRun_) {
        beginRun();
    }
}

namespace {

template <class Item>
void keepNewest(std::deque<Item>& items, Item item, std::size_t limit, std::size_t& dropped) {
    items.push_back(std::move(item));
    while (items.size() > limit) {
        items.pop_front();
        ++dropped;
    }
}

} // namespace

void RunMemory::boxShown(unsigned type, const std::string& caption, const std::string& text, int answer) {
    if (!hasRun_ || boxRecordPauses_ > 0) {
        return;
    }
    keepNewest(boxes_, RememberedBox{type, caption, text, answer}, limits_.boxes, boxesDropped_);
}

void RunMemory::statusSet(const std::string& text) {
    if (!hasRun_) {
        return;
    }
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    std::size_t shared = 0;
    while (shared < lines.size() && shared < lastStatus_.size() && lines[shared] == lastStatus_[shared]) {
        ++shared;
    }
    for (std::size_t i = shared; i < lines.size(); ++i) {
        if (!lines[i].empty()) {
            keepNewest(statusLines_, lines[i], limits_.statusLines, statusLinesDropped_);
        }
    }
    lastStatus_ = std::move(lines);
}

std::unique_ptr<SerialChannel> RunMemory::traced(std::unique_ptr<SerialChannel> channel,
                                                 const std::string& label) {
    if (limits_.traceBytes == 0) {
        return channel;
    }
    return std::make_unique<TracingChannel>(std::move(channel), trace_, label);
}

} // namespace orvexa
