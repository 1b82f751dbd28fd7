// SerialChannel on a Windows COM port: exclusive (share mode 0), synchronous, one ReadFile or WriteFile
// per call, bounded by the COMMTIMEOUTS of CommSettings.h, no flow control, DTR and RTS inactive.
#pragma once

#include "serial/SerialChannel.h"

namespace orvexa {

class Win32SerialChannel : public SerialChannel {
public:
    Win32SerialChannel() = default;
    ~Win32SerialChannel() override;
    Win32SerialChannel(const Win32SerialChannel&) = delete;
    Win32SerialChannel& operator=(const Win32SerialChannel&) = delete;

    std::int32_t write(const std::uint8_t* buffer, std::int32_t count) override;
    std::int32_t read(std::uint8_t* buffer, std::int32_t count) override;
    std::int32_t readArrived(std::uint8_t* buffer, std::int32_t count) override;
    bool isOpen() const override;
    void close() override;
    bool open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize, std::uint8_t parity,
              std::uint8_t stopBits, std::uint32_t access) override;
    ChannelError lastError() const override { return lastError_; }

private:
    // Looks at why a ReadFile or WriteFile failed; see the .cpp for what is done about it.
    void callFailed(std::uint32_t limitMs);

    void* handle_ = invalidHandle(); // HANDLE; INVALID_HANDLE_VALUE while closed
    ChannelError lastError_ = ChannelError::None;

    static void* invalidHandle();
};

} // namespace orvexa
