// The setup API, the configuration manager and the registry as the port walk sees them. One call each,
// no decisions: the walk in SetupPortWalk.cpp makes them.
#pragma once

#include "serial/windows/SetupPortWalk.h"

namespace orvexa {

class Win32SetupApiLayer : public SetupApiLayer {
public:
    bool classGuidsFromName(const char* className, ClassGuid* buffer, std::uint32_t capacity,
                            std::uint32_t& required) override;
    DeviceSet getPresentClassDevices(const ClassGuid& classGuid) override;
    bool enumDeviceInfo(DeviceSet set, std::uint32_t index, DeviceRecord& record) override;
    void destroyDeviceInfoList(DeviceSet set) override;
    Library loadLibrary(const char* name) override;
    Procedure findProcedure(Library library, const char* name) override;
    void freeLibrary(Library library) override;
    std::uint32_t openDevNodeKey(Procedure openKey, std::uint32_t devInst, RegistryKey& key) override;
    RegistryKey openDevRegKey(DeviceSet set, const DeviceRecord& record) override;
    bool queryValue(RegistryKey key, const char* valueName, std::uint8_t* data, std::uint32_t& size) override;
    void closeKey(RegistryKey key) override;
    bool deviceInstanceId(DeviceSet set, const DeviceRecord& record, char* buffer, std::uint32_t capacity,
                          std::uint32_t& required) override;
    bool friendlyName(DeviceSet set, const DeviceRecord& record, char* buffer, std::uint32_t capacity,
                      std::uint32_t& required) override;
};

} // namespace orvexa
