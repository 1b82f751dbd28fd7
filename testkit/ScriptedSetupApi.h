// A scripted setup API for the Windows port walk and the doctor: a list of "Ports" class devices, each
// with the "portname" value of its hardware key, its instance ID and friendly name, and counters that
// show every library, key and set handed out is given back. A device's devInst is 100 and its index.
#pragma once

#include "serial/windows/SetupPortWalk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvexa {

enum class NodeKey {
    Opens,              // CM_Open_DevNode_Key opens the hardware key
    SucceedsWithoutKey, // Wine: CR_SUCCESS, nothing written to the key
    Fails,              // a CONFIGRET other than CR_SUCCESS
};

struct ScriptedDevice {
    std::optional<std::string> portName; // the bytes stored in "PortName", without a terminator
    NodeKey nodeKey = NodeKey::Opens;
    bool devRegKeyOpens = true;
    bool storedWithTerminator = true;
    std::optional<std::string> instanceId = std::nullopt;   // none: the call fails
    std::optional<std::string> friendlyName = std::nullopt; // none: the call fails
    bool friendlyNameTerminated = true; // false: the layer fills the buffer and leaves no zero
    bool instanceIdTerminated = true;   // the same for the instance ID
};

class ScriptedSetupApi : public SetupApiLayer {
public:
    std::vector<ScriptedDevice> devices;
    std::uint32_t classCount = 1;
    bool classDevicesFail = false;
    bool libraryLoads = true;
    bool procedureFound = true;

    int librariesLoaded = 0;
    int librariesFreed = 0;
    int keysOpened = 0;
    int keysClosed = 0;
    int devRegKeyCalls = 0;
    int setsDestroyed = 0;
    std::vector<std::uint32_t> visited; // device indexes asked for
    std::string lastValueName;

    static constexpr DeviceSet kSet = 0x5e7;
    static constexpr Library kLibrary = 0x11b;
    static constexpr Procedure kProcedure = 0x9c0;
    static constexpr RegistryKey kKeyBase = 0x1000;

    bool classGuidsFromName(const char* className, ClassGuid* buffer, std::uint32_t capacity,
                            std::uint32_t& required) override {
        required = std::string(className) == "Ports" ? classCount : 0;
        if (capacity < required || buffer == nullptr) {
            return false;
        }
        for (std::uint32_t i = 0; i < required; ++i) {
            buffer[i].bytes[0] = static_cast<std::uint8_t>(0x78 + i);
        }
        return true;
    }
    DeviceSet getPresentClassDevices(const ClassGuid& classGuid) override {
        EXPECT_EQ(classGuid.bytes[0], 0x78); // the first identifier of the class
        return classDevicesFail ? kInvalidSet : kSet;
    }
    bool enumDeviceInfo(DeviceSet set, std::uint32_t index, DeviceRecord& record) override {
        EXPECT_EQ(set, kSet);
        visited.push_back(index);
        if (index >= devices.size()) {
            return false;
        }
        record.devInst = 100 + index;
        return true;
    }
    void destroyDeviceInfoList(DeviceSet) override { ++setsDestroyed; }
    Library loadLibrary(const char* name) override {
        EXPECT_STREQ(name, "cfgmgr32");
        if (!libraryLoads) {
            return 0;
        }
        ++librariesLoaded;
        return kLibrary;
    }
    Procedure findProcedure(Library library, const char* name) override {
        EXPECT_EQ(library, kLibrary);
        EXPECT_STREQ(name, "CM_Open_DevNode_Key");
        return procedureFound ? kProcedure : 0;
    }
    void freeLibrary(Library library) override {
        EXPECT_EQ(library, kLibrary);
        ++librariesFreed;
    }
    std::uint32_t openDevNodeKey(Procedure openKey, std::uint32_t devInst, RegistryKey& key) override {
        EXPECT_EQ(openKey, kProcedure);
        EXPECT_EQ(key, 0u) << "the key must start out null to tell Wine's stub apart";
        const ScriptedDevice& device = devices.at(devInst - 100);
        switch (device.nodeKey) {
        case NodeKey::Opens:
            key = openKeyFor(devInst);
            return kConfigSuccess;
        case NodeKey::SucceedsWithoutKey:
            return kConfigSuccess;
        case NodeKey::Fails:
            return 0x13; // CR_NO_SUCH_VALUE
        }
        return 0x13;
    }
    RegistryKey openDevRegKey(DeviceSet set, const DeviceRecord& record) override {
        EXPECT_EQ(set, kSet);
        ++devRegKeyCalls;
        return devices.at(record.devInst - 100).devRegKeyOpens ? openKeyFor(record.devInst) : 0;
    }
    bool queryValue(RegistryKey key, const char* valueName, std::uint8_t* data,
                    std::uint32_t& size) override {
        lastValueName = valueName;
        const ScriptedDevice& device = devices.at(key - kKeyBase - 100);
        if (!device.portName) {
            return false;
        }
        std::string stored = *device.portName;
        if (device.storedWithTerminator) {
            stored.push_back('\0');
        }
        const auto needed = static_cast<std::uint32_t>(stored.size());
        const bool fits = needed <= size;
        if (fits) {
            std::copy(stored.begin(), stored.end(), data);
        }
        size = needed;
        return fits;
    }
    void closeKey(RegistryKey) override { ++keysClosed; }
    bool deviceInstanceId(DeviceSet set, const DeviceRecord& record, char* buffer, std::uint32_t capacity,
                          std::uint32_t& required) override {
        EXPECT_EQ(set, kSet);
        const ScriptedDevice& device = devices.at(record.devInst - 100);
        return copyText(device.instanceId, device.instanceIdTerminated, buffer, capacity, required);
    }
    bool friendlyName(DeviceSet set, const DeviceRecord& record, char* buffer, std::uint32_t capacity,
                      std::uint32_t& required) override {
        EXPECT_EQ(set, kSet);
        const ScriptedDevice& device = devices.at(record.devInst - 100);
        return copyText(device.friendlyName, device.friendlyNameTerminated, buffer, capacity, required);
    }

    void add(const char* portName) { devices.push_back({std::string(portName)}); }

private:
    // As the setup API hands out a string: with its zero when it fits, a failure with the size it needs
    // when it does not; or, for a layer that leaves no zero, as much as fits.
    static bool copyText(const std::optional<std::string>& text, bool terminated, char* buffer,
                         std::uint32_t capacity, std::uint32_t& required) {
        if (!text) {
            return false;
        }
        required = static_cast<std::uint32_t>(text->size() + 1);
        if (!terminated) {
            std::copy_n(text->begin(), std::min<std::size_t>(text->size(), capacity), buffer);
            return true;
        }
        if (required > capacity) {
            return false; // ERROR_INSUFFICIENT_BUFFER
        }
        std::copy(text->c_str(), text->c_str() + required, buffer);
        return true;
    }

    RegistryKey openKeyFor(std::uint32_t devInst) {
        ++keysOpened;
        return kKeyBase + devInst;
    }
};

} // namespace orvexa
