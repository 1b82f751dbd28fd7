#include "device/Family.h"

namespace orvexa {

bool isFramedFamily(const DeviceInfo& device) {
    const char code = device.modelText[2];
    if (code == 'a' || code == 'b' || code == 'c') {
        return true;
    }
    return device.modelText[0] == '\0' || device.modelText[0] == '!';
}

} // namespace orvexa
