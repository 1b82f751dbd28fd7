// The Windows doctor pointed at this machine: the real setup API, and an open check that opens each port
// as Step 1 does.
#include "doctor/Doctor.h"

#include "doctor/windows/WindowsDoctor.h"
#include "serial/win32/Win32SerialChannel.h"
#include "serial/win32/Win32SetupApiLayer.h"

namespace orvexa {

std::vector<Finding> examineMachine(const std::vector<PortInfo>& extraPorts) {
    Win32SetupApiLayer layer;
    WindowsDoctor doctor(layer, [](const std::string& path) {
        Win32SerialChannel channel;
        if (!channel.openDefault(path)) {
            return channel.lastError();
        }
        channel.close();
        return ChannelError::None;
    });
    return doctor.examine(extraPorts);
}

} // namespace orvexa
