#include "serial/win32/Win32SerialChannel.h"

#include "serial/windows/CommSettings.h"

#include <cstddef>
#include <cstring>
#include <string>

#include <windows.h>

namespace orvexa {

namespace {

static_assert(sizeof(DCB) == sizeof(CommState), "CommState must mirror DCB");
static_assert(offsetof(DCB, BaudRate) == offsetof(CommState, baudRate));
static_assert(offsetof(DCB, wReserved) == offsetof(CommState, reserved));
static_assert(offsetof(DCB, ByteSize) == offsetof(CommState, byteSize));
static_assert(offsetof(DCB, Parity) == offsetof(CommState, parity));
static_assert(offsetof(DCB, StopBits) == offsetof(CommState, stopBits));
static_assert(offsetof(DCB, EvtChar) == offsetof(CommState, evtChar));
static_assert(sizeof(COMMTIMEOUTS) == sizeof(CommTimeoutTable), "CommTimeoutTable must mirror COMMTIMEOUTS");
static_assert(EV_CTS + EV_DSR + EV_RLSD + EV_RING == kCommEventMask);
static_assert((PURGE_TXCLEAR | PURGE_RXCLEAR) == kPurgeBuffers);

ChannelError openError(const std::string& portName, DWORD error) {
    // A directory refuses to open as a file does, with access denied: it is no port, held or not.
    const DWORD attributes = GetFileAttributesA(portName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return ChannelError::NotSerialPort;
    }
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return ChannelError::NoSuchPort;
    // A COM port held by another program (or by our other channel) refuses with access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return ChannelError::Busy;
    default:
        return ChannelError::Other;
    }
}

} // namespace

void* Win32SerialChannel::invalidHandle() {
    return INVALID_HANDLE_VALUE;
}

Win32SerialChannel::~Win32SerialChannel() {
    Win32SerialChannel::close();
}

bool Win32SerialChannel::isOpen() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

void Win32SerialChannel::close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

bool Win32SerialChannel::open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
                              std::uint8_t parity, std::uint8_t stopBits, std::uint32_t access) {
    close();
    lastError_ = ChannelError::None;
    handle_ = CreateFileA(portName.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        lastError_ = openError(portName, GetLastError());
        return false;
    }

    // The same call opens a file or the NUL device, into which the probe would then write. Whatever the
    // driver behind a COM port refuses later, it reports its state; nothing that is not a port does.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetFileType(handle_) != FILE_TYPE_CHAR || !GetCommState(handle_, &dcb)) {
        close();
        lastError_ = ChannelError::NotSerialPort;
        return false;
    }

    // A port that opens but refuses a setting still counts as open: some virtual and Bluetooth ports
    // reject settings they do not implement and work all the same.
    CommState state{};
    std::memcpy(&state, &dcb, sizeof state);
    state = applyLineSettings(state, baudRate, byteSize, parity, stopBits);
    std::memcpy(&dcb, &state, sizeof dcb);
    SetCommState(handle_, &dcb);

    COMMTIMEOUTS timeouts;
    std::memcpy(&timeouts, &kCommTimeouts, sizeof timeouts);
    SetCommTimeouts(handle_, &timeouts);
    SetCommMask(handle_, kCommEventMask);
    PurgeComm(handle_, kPurgeBuffers);
    return true;
}

void Win32SerialChannel::callFailed(std::uint32_t limitMs) {
    const DWORD error = GetLastError();
    if (error == ERROR_OPERATION_ABORTED) {
        // A line error on a port whose driver aborts on errors: every later call would fail the same way
        // until the error is cleared, so clear it and let the caller's next call go through.
        DWORD errors = 0;
        ClearCommError(handle_, &errors, nullptr);
        return;
    }
    // The port is gone (a Bluetooth link dropped, a USB adapter pulled). The call came back at once;
    // waiting out its time-out makes the lost line look like a silent one to a caller that polls, so
    // that it keeps to its own time limit instead of spinning through it.
    lastError_ = ChannelError::LineLost;
    if (limitMs > 0) {
        Sleep(limitMs);
    }
}

std::int32_t Win32SerialChannel::read(std::uint8_t* buffer, std::int32_t count) {
    if (handle_ == INVALID_HANDLE_VALUE || count <= 0) {
        return 0;
    }
    DWORD received = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &received, nullptr)) {
        callFailed(readLimitMs(count));
    }
    return static_cast<std::int32_t>(received);
}

std::int32_t Win32SerialChannel::readArrived(std::uint8_t* buffer, std::int32_t count) {
    if (handle_ == INVALID_HANDLE_VALUE || count <= 0) {
        return 0;
    }
    // Ask only for what the driver already holds, so that ReadFile has nothing to wait for.
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status) || status.cbInQue == 0) {
        return 0;
    }
    const DWORD wanted =
        status.cbInQue < static_cast<DWORD>(count) ? status.cbInQue : static_cast<DWORD>(count);
    DWORD received = 0;
    if (!ReadFile(handle_, buffer, wanted, &received, nullptr)) {
        callFailed(0);
    }
    return static_cast<std::int32_t>(received);
}

std::int32_t Win32SerialChannel::write(const std::uint8_t* buffer, std::int32_t count) {
    if (handle_ == INVALID_HANDLE_VALUE || count <= 0) {
        return 0;
    }
    DWORD sent = 0;
    if (!WriteFile(handle_, buffer, static_cast<DWORD>(count), &sent, nullptr)) {
        callFailed(0);
    }
    return static_cast<std::int32_t>(sent);
}

} // namespace orvexa
