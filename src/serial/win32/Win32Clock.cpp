#include "serial/win32/Win32Clock.h"

#include <windows.h>

namespace orvexa {

std::uint32_t Win32Clock::tickMs() {
    return GetTickCount();
}

void Win32Clock::sleepMs(std::uint32_t ms) {
    Sleep(ms);
}

} // namespace orvexa
