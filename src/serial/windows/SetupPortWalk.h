// Port discovery as Windows' device setup knows the ports: the present devices of the "Ports" setup
// class, each read for the "portname" value of its hardware registry key. The walk is written here
// against SetupApiLayer, a thin face of the few setup, configuration-manager and registry calls it
// makes, so that the walk itself builds and is tested on any machine; win32/ holds the real layer.
//
// What the walk keeps of the Windows lists: rawPorts holds the numbers in the order the devices were
// visited (repeats allowed), sortedPorts the distinct numbers in ascending order; both are one byte
// per port, 1 to 255, ended by a zero byte. Beside them, and without a say in them, the walk reads each
// port's device instance ID for the Bluetooth device behind it.
#pragma once

#include "serial/PortDiscovery.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvexa {

// A setup class identifier (GUID), as 16 opaque bytes.
struct ClassGuid {
    std::array<std::uint8_t, 16> bytes{};
};

// The device information record (SP_DEVINFO_DATA) without its size field.
struct DeviceRecord {
    ClassGuid classGuid;
    std::uint32_t devInst = 0;
    std::uintptr_t reserved = 0;
};

class SetupApiLayer {
public:
    // Handles as the layer hands them out; only the layer knows what they point to.
    using DeviceSet = std::uintptr_t;   // HDEVINFO
    using Library = std::uintptr_t;     // HMODULE, 0 when not loaded
    using Procedure = std::uintptr_t;   // the address GetProcAddress found, 0 when missing
    using RegistryKey = std::uintptr_t; // HKEY, 0 when none
    static constexpr DeviceSet kInvalidSet = ~DeviceSet{0}; // INVALID_HANDLE_VALUE
    static constexpr std::uint32_t kConfigSuccess = 0;      // CR_SUCCESS

    virtual ~SetupApiLayer() = default;

    // SetupDiClassGuidsFromNameA: fills up to capacity identifiers and tells how many carry the name.
    virtual bool classGuidsFromName(const char* className, ClassGuid* buffer, std::uint32_t capacity,
                                    std::uint32_t& required) = 0;
    // SetupDiGetClassDevsA with no enumerator, no window and DIGCF_PRESENT; kInvalidSet on failure.
    virtual DeviceSet getPresentClassDevices(const ClassGuid& classGuid) = 0;
    // SetupDiEnumDeviceInfo: false past the last device (or on an invalid set).
    virtual bool enumDeviceInfo(DeviceSet set, std::uint32_t index, DeviceRecord& record) = 0;
    virtual void destroyDeviceInfoList(DeviceSet set) = 0;

    // LoadLibraryA, GetProcAddress and FreeLibrary, for the configuration manager found at run time.
    virtual Library loadLibrary(const char* name) = 0;
    virtual Procedure findProcedure(Library library, const char* name) = 0;
    virtual void freeLibrary(Library library) = 0;

    // The procedure found as CM_Open_DevNode_Key, called for the device's hardware key with
    // KEY_QUERY_VALUE, the current hardware profile, RegDisposition_OpenExisting and
    // CM_REGISTRY_HARDWARE. Returns its CONFIGRET; key is written only when the procedure writes it.
    virtual std::uint32_t openDevNodeKey(Procedure openKey, std::uint32_t devInst, RegistryKey& key) = 0;
    // SetupDiOpenDevRegKey(set, record, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ); 0 on failure.
    virtual RegistryKey openDevRegKey(DeviceSet set, const DeviceRecord& record) = 0;

    // RegQueryValueExA without the type: true when the value fits; size in bytes in and out.
    virtual bool queryValue(RegistryKey key, const char* valueName, std::uint8_t* data,
                            std::uint32_t& size) = 0;
    virtual void closeKey(RegistryKey key) = 0;

    // SetupDiGetDeviceInstanceIdA: the device's instance ID and its terminating zero, in at most capacity
    // bytes; required tells how many the whole ID takes. A layer that cannot tell fails it, and the port
    // is then listed without an address.
    virtual bool deviceInstanceId(DeviceSet /*set*/, const DeviceRecord& /*record*/, char* /*buffer*/,
                                  std::uint32_t /*capacity*/, std::uint32_t& required) {
        required = 0;
        return false;
    }
    // SetupDiGetDeviceRegistryPropertyA with SPDRP_FRIENDLYNAME: the name Device Manager shows ("Standard
    // Serial over Bluetooth link (COM5)") in at most capacity bytes, its zero included when it fits;
    // required tells how many the whole name takes. A layer that cannot tell fails it.
    virtual bool friendlyName(DeviceSet /*set*/, const DeviceRecord& /*record*/, char* /*buffer*/,
                              std::uint32_t /*capacity*/, std::uint32_t& required) {
        required = 0;
        return false;
    }
};

// What every walk over the "Ports" class does the same way, for the port walk and the doctor's walk.
//
// The library loaded for one enumeration step, released on every way out of it.
class LoadedLibrary {
public:
    LoadedLibrary(SetupApiLayer& layer, const char* name)
        : layer_(layer), library_(layer.loadLibrary(name)) {}
    ~LoadedLibrary() {
        if (library_ != 0) {
            layer_.freeLibrary(library_);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return library_ != 0; }
    SetupApiLayer::Procedure find(const char* name) { return layer_.findProcedure(library_, name); }

private:
    SetupApiLayer& layer_;
    SetupApiLayer::Library library_;
};

inline constexpr const char* kConfigManagerLibrary = "cfgmgr32";
inline constexpr const char* kOpenDevNodeKeyName = "CM_Open_DevNode_Key";
inline constexpr const char* kPortNameValue = "portname"; // value names match without regard to case

// The present devices of the "Ports" class, or kInvalidSet when the class has no identifier or no set.
SetupApiLayer::DeviceSet openPortsClass(SetupApiLayer& layer);
// The device's hardware key through the configuration manager's CM_Open_DevNode_Key, or through the
// setup API where the first reports success without opening anything; 0 when neither opens it.
SetupApiLayer::RegistryKey openHardwareKey(SetupApiLayer& layer, SetupApiLayer::Procedure openKey,
                                           SetupApiLayer::DeviceSet set, const DeviceRecord& record);
// The device's instance ID, empty when the layer cannot tell.
std::string deviceInstanceIdOf(SetupApiLayer& layer, SetupApiLayer::DeviceSet set,
                               const DeviceRecord& record);
// True when the text starts with "com" in any case.
bool startsWithCom(std::string_view name);
// The number after "com" as atoi reads it (leading white space, an optional sign, the digits up to the
// first other character), never past the end of the view, and held at a bound far above any port number
// rather than overflowing.
int numberAfterComPrefix(std::string_view name);

class SetupPortWalk {
public:
    static constexpr std::size_t kListBytes = 256;
    static constexpr std::size_t kMaxPorts = kListBytes - 1; // one byte stays for the terminating zero
    static constexpr int kHighestPort = 255;                 // what one byte holds
    using PortList = std::array<std::uint8_t, kListBytes>;
    // By port number: the Bluetooth address of the device behind it, empty when there is none or when
    // devices of one number disagree (which of them an open reaches is not ours to know).
    using AddressList = std::array<std::string, kHighestPort + 1>;
    // By port number: the device instance ID behind it (what names the port when it comes back), empty
    // when unknown or when devices of one number disagree.
    using InstanceIdList = std::array<std::string, kHighestPort + 1>;

    explicit SetupPortWalk(SetupApiLayer& layer) : layer_(layer) {}

    // Fills rawPorts and sortedPorts afresh.
    void discoverPorts();

    const PortList& rawPorts() const { return rawPorts_; }
    const PortList& sortedPorts() const { return sortedPorts_; }
    const AddressList& deviceAddresses() const { return deviceAddresses_; }
    const InstanceIdList& instanceIds() const { return instanceIds_; }

private:
    void collectPorts();
    bool nextPort(SetupApiLayer::DeviceSet set, int& port, std::string& instanceId);

    SetupApiLayer& layer_;
    PortList rawPorts_{};
    PortList sortedPorts_{};
    AddressList deviceAddresses_{};
    InstanceIdList instanceIds_{};
    std::uint32_t deviceIndex_ = 0;
};

// The device name a port number is opened by: "COM5:" up to 9, "\\.\COM10" above, since only the
// first nine have the short DOS names everywhere.
std::string windowsPortPath(int port);
// The name the user knows the port by: "COM5".
std::string windowsPortName(int port);

// sortedPorts as the ports Step 1 probes, in that order.
std::vector<PortInfo> windowsPorts(const SetupPortWalk::PortList& sortedPorts);
// The same, each port with the address the walk read for it, and its stable name: "COM5" and the instance.
std::vector<PortInfo> windowsPorts(const SetupPortWalk& walk);

} // namespace orvexa
