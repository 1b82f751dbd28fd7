#include "serial/Deadline.h"

namespace orvexa {

bool Deadline::start(std::uint32_t ms) {
    startTick_ = clock_.tickMs();
    endTick_ = startTick_ + ms;
    return true;
}

bool Deadline::expired() const {
    const std::uint32_t elapsed = clock_.tickMs() - startTick_;
    return elapsed >= endTick_ - startTick_;
}

} // namespace orvexa
