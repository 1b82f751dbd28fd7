// The classic family's character command link: single ASCII letters, each written by itself and most
// followed by a pause; answers are a verdict byte ('@' accepted, '!' refused), a fixed-length reply, or
// a free-length text ended by silence. Every wait is bounded by a Deadline or a poll count. The link
// shows no messages: it fills DeviceInfo and returns results to the steps.
#pragma once

#include "device/DeviceInfo.h"
#include "serial/Clock.h"
#include "serial/SerialChannel.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvexa {

// Does a scanner answer "W" with "@" on this channel within 1000 ms (Step 1's probe)?
bool probeDevice(SerialChannel& channel, Clock& clock);

class CommandLink {
public:
    CommandLink(SerialChannel& channel, Clock& clock, DeviceInfo& device)
        : channel_(channel), clock_(clock), device_(device) {}

    // 0 when the scanner answered "@" to "W" within 20000 ms, -1 otherwise.
    int pingDevice();

    void drainWithPauses();
    void drainWithoutPauses();
    // Drains, then writes each character alone followed by a 100 ms pause.
    void sendPaced(std::string_view text);
    // Gathers a free-length reply into a text field; the last received byte is overwritten by the zero.
    void collectText(char* field, std::size_t capacity);

    void queryVersion();
    void queryModel();
    bool queryGps();
    bool queryExternalMemory();
    bool queryIt();
    bool queryFontSupport();
    bool queryGwQ();
    bool queryBootloader();

    SerialChannel& channel() { return channel_; }
    Clock& clock() { return clock_; }
    DeviceInfo& device() { return device_; }

private:
    SerialChannel& channel_;
    Clock& clock_;
    DeviceInfo& device_;
};

} // namespace orvexa
