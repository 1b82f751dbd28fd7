#include "serial/win32/Win32SetupApiLayer.h"

#include <cstring>

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

namespace orvexa {

namespace {

static_assert(sizeof(GUID) == sizeof(ClassGuid));

using OpenDevNodeKeyFunction = CONFIGRET(WINAPI*)(DEVINST, REGSAM, ULONG, REGDISPOSITION, PHKEY, ULONG);

HDEVINFO toSet(SetupApiLayer::DeviceSet set) {
    return reinterpret_cast<HDEVINFO>(set);
}

HKEY toKey(SetupApiLayer::RegistryKey key) {
    return reinterpret_cast<HKEY>(key);
}

GUID toGuid(const ClassGuid& classGuid) {
    GUID guid;
    std::memcpy(&guid, classGuid.bytes.data(), sizeof guid);
    return guid;
}

SP_DEVINFO_DATA toDevInfo(const DeviceRecord& record) {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    data.ClassGuid = toGuid(record.classGuid);
    data.DevInst = record.devInst;
    data.Reserved = record.reserved;
    return data;
}

} // namespace

bool Win32SetupApiLayer::classGuidsFromName(const char* className, ClassGuid* buffer, std::uint32_t capacity,
                                            std::uint32_t& required) {
    DWORD count = 0;
    const BOOL ok = SetupDiClassGuidsFromNameA(className, reinterpret_cast<GUID*>(buffer), capacity, &count);
    required = count;
    return ok != FALSE;
}

SetupApiLayer::DeviceSet Win32SetupApiLayer::getPresentClassDevices(const ClassGuid& classGuid) {
    const GUID guid = toGuid(classGuid);
    return reinterpret_cast<DeviceSet>(SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT));
}

bool Win32SetupApiLayer::enumDeviceInfo(DeviceSet set, std::uint32_t index, DeviceRecord& record) {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInfo(toSet(set), index, &data)) {
        return false;
    }
    std::memcpy(record.classGuid.bytes.data(), &data.ClassGuid, sizeof data.ClassGuid);
    record.devInst = data.DevInst;
    record.reserved = data.Reserved;
    return true;
}

void Win32SetupApiLayer::destroyDeviceInfoList(DeviceSet set) {
    SetupDiDestroyDeviceInfoList(toSet(set));
}

SetupApiLayer::Library Win32SetupApiLayer::loadLibrary(const char* name) {
    return reinterpret_cast<Library>(LoadLibraryA(name));
}

SetupApiLayer::Procedure Win32SetupApiLayer::findProcedure(Library library, const char* name) {
    return reinterpret_cast<Procedure>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

void Win32SetupApiLayer::freeLibrary(Library library) {
    FreeLibrary(reinterpret_cast<HMODULE>(library));
}

std::uint32_t Win32SetupApiLayer::openDevNodeKey(Procedure openKey, std::uint32_t devInst, RegistryKey& key) {
    const auto function = reinterpret_cast<OpenDevNodeKeyFunction>(openKey);
    HKEY opened = toKey(key);
    const CONFIGRET result =
        function(devInst, KEY_QUERY_VALUE, 0, RegDisposition_OpenExisting, &opened, CM_REGISTRY_HARDWARE);
    key = reinterpret_cast<RegistryKey>(opened);
    return result;
}

SetupApiLayer::RegistryKey Win32SetupApiLayer::openDevRegKey(DeviceSet set, const DeviceRecord& record) {
    SP_DEVINFO_DATA data = toDevInfo(record);
    const HKEY key = SetupDiOpenDevRegKey(toSet(set), &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    return key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) || key == nullptr
               ? 0
               : reinterpret_cast<RegistryKey>(key);
}

bool Win32SetupApiLayer::queryValue(RegistryKey key, const char* valueName, std::uint8_t* data,
                                    std::uint32_t& size) {
    DWORD bytes = size;
    const LONG result = RegQueryValueExA(toKey(key), valueName, nullptr, nullptr, data, &bytes);
    size = bytes;
    return result == ERROR_SUCCESS;
}

void Win32SetupApiLayer::closeKey(RegistryKey key) {
    RegCloseKey(toKey(key));
}

bool Win32SetupApiLayer::deviceInstanceId(DeviceSet set, const DeviceRecord& record, char* buffer,
                                          std::uint32_t capacity, std::uint32_t& required) {
    SP_DEVINFO_DATA data = toDevInfo(record);
    DWORD size = 0;
    const BOOL ok = SetupDiGetDeviceInstanceIdA(toSet(set), &data, buffer, capacity, &size);
    required = size;
    return ok != FALSE;
}

bool Win32SetupApiLayer::friendlyName(DeviceSet set, const DeviceRecord& record, char* buffer,
                                      std::uint32_t capacity, std::uint32_t& required) {
    SP_DEVINFO_DATA data = toDevInfo(record);
    DWORD size = 0;
    const BOOL ok = SetupDiGetDeviceRegistryPropertyA(toSet(set), &data, SPDRP_FRIENDLYNAME, nullptr,
                                                      reinterpret_cast<PBYTE>(buffer), capacity, &size);
    required = size;
    return ok != FALSE;
}

} // namespace orvexa
