// BlueZ over sd-bus. A connection to a scanner goes through the stack's profile interface: this process
// registers the serial port profile once, asks the stack to connect a device to it, and the stack hands
// over the connected socket in a call to the profile. No root is needed and no device node is made; the
// stack looks up the scanner's RFCOMM channel itself, in the scanner's own service record.
#include "serial/linux/Bluez.h"

#include "serial/BluetoothAddress.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvexa {

namespace {

constexpr const char* kBluezService = "org.bluez";
constexpr const char* kObjectManager = "org.freedesktop.DBus.ObjectManager";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kAdapterInterface = "org.bluez.Adapter1";
constexpr const char* kDeviceInterface = "org.bluez.Device1";
constexpr const char* kProfileManager = "org.bluez.ProfileManager1";
constexpr const char* kProfileInterface = "org.bluez.Profile1";
constexpr const char* kProfilePath = "/org/orvexa/serial_port";
constexpr const char* kProfileName = "Orvexa serial port";
// A Bluetooth name is at most 248 bytes; an alias is a name the user may have set, and no longer.
constexpr std::size_t kMaxAliasBytes = 248;
constexpr std::uint64_t kUsPerMs = 1000;

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Slot = std::unique_ptr<sd_bus_slot, SlotUnref>;

class Error {
public:
    Error() = default;
    ~Error() { sd_bus_error_free(&error_); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    sd_bus_error* get() { return &error_; }
    std::string name() const { return error_.name != nullptr ? error_.name : ""; }
    std::string message() const { return error_.message != nullptr ? error_.message : ""; }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

Bus openSystemBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) {
        return nullptr;
    }
    sd_bus_set_method_call_timeout(bus, kBluezCallMs * kUsPerMs);
    return Bus(bus);
}

bool isNoStack(const std::string& errorName) {
    return errorName == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           errorName == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

// Reads a variant holding the given basic type into value; skips a variant of any other type.
template <typename T> bool readVariant(sd_bus_message* m, char type, T& value) {
    const char contents[2] = {type, '\0'};
    const int r = sd_bus_message_enter_container(m, SD_BUS_TYPE_VARIANT, contents);
    if (r <= 0) {
        return r == 0 && sd_bus_message_skip(m, "v") >= 0;
    }
    return sd_bus_message_read_basic(m, type, &value) > 0 && sd_bus_message_exit_container(m) > 0;
}

bool readString(sd_bus_message* m, char type, std::string& text, std::size_t limit) {
    const char* value = nullptr;
    if (!readVariant(m, type, value)) {
        return false;
    }
    if (value != nullptr) {
        text.assign(value, std::min(limit, std::char_traits<char>::length(value)));
    }
    return true;
}

bool readBool(sd_bus_message* m, bool& flag) {
    int value = flag ? 1 : 0;
    if (!readVariant(m, SD_BUS_TYPE_BOOLEAN, value)) {
        return false;
    }
    flag = value != 0;
    return true;
}

// A device's services: true when the serial port profile is among them.
bool readServesSerialPort(sd_bus_message* m, bool& serves) {
    int r = sd_bus_message_enter_container(m, SD_BUS_TYPE_VARIANT, "as");
    if (r == 0) {
        return sd_bus_message_skip(m, "v") >= 0;
    }
    if (r < 0 || sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "s") < 0) {
        return false;
    }
    const char* uuid = nullptr;
    while ((r = sd_bus_message_read_basic(m, SD_BUS_TYPE_STRING, &uuid)) > 0) {
        std::string lower(uuid);
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        serves = serves || lower == kSerialPortProfileUuid;
    }
    return r == 0 && sd_bus_message_exit_container(m) > 0 && sd_bus_message_exit_container(m) > 0;
}

// The properties of one adapter or device, a{sv}; what we do not need is skipped.
bool readProperties(sd_bus_message* m, const std::string& interface, const std::string& path,
                    BluetoothView& view) {
    const bool adapter = interface == kAdapterInterface;
    BluetoothAdapter a{path, path.substr(path.rfind('/') + 1), {}, false};
    BluetoothDevice d{path, {}, {}, {}, false, false};
    if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}") < 0) {
        return false;
    }
    int r = 0;
    while ((r = sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv")) > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read_basic(m, SD_BUS_TYPE_STRING, &key) <= 0) {
            return false;
        }
        const std::string name(key);
        bool ok = true;
        if (name == "Address") {
            std::string address;
            ok = readString(m, SD_BUS_TYPE_STRING, address, kMaxAliasBytes);
            (adapter ? a.address : d.address) = bluetoothAddressFromText(address);
        } else if (adapter && name == "Powered") {
            ok = readBool(m, a.powered);
        } else if (!adapter && name == "Alias") {
            ok = readString(m, SD_BUS_TYPE_STRING, d.alias, kMaxAliasBytes);
        } else if (!adapter && name == "Adapter") {
            ok = readString(m, SD_BUS_TYPE_OBJECT_PATH, d.adapterPath, SIZE_MAX);
        } else if (!adapter && name == "Paired") {
            ok = readBool(m, d.paired);
        } else if (!adapter && name == "UUIDs") {
            ok = readServesSerialPort(m, d.servesSerialPort);
        } else {
            ok = sd_bus_message_skip(m, "v") >= 0;
        }
        if (!ok || sd_bus_message_exit_container(m) <= 0) {
            return false;
        }
    }
    if (r < 0 || sd_bus_message_exit_container(m) <= 0) {
        return false;
    }
    if (adapter) {
        view.adapters.push_back(std::move(a));
    } else {
        view.devices.push_back(std::move(d));
    }
    return true;
}

// GetManagedObjects' answer, a{oa{sa{sv}}}.
bool readManagedObjects(sd_bus_message* m, BluetoothView& view) {
    if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{oa{sa{sv}}}") < 0) {
        return false;
    }
    int r = 0;
    while ((r = sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "oa{sa{sv}}")) > 0) {
        const char* path = nullptr;
        if (sd_bus_message_read_basic(m, SD_BUS_TYPE_OBJECT_PATH, &path) <= 0 ||
            sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sa{sv}}") < 0) {
            return false;
        }
        int e = 0;
        while ((e = sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sa{sv}")) > 0) {
            const char* interface = nullptr;
            if (sd_bus_message_read_basic(m, SD_BUS_TYPE_STRING, &interface) <= 0) {
                return false;
            }
            const std::string name(interface);
            const bool wanted = name == kAdapterInterface || name == kDeviceInterface;
            if (!(wanted ? readProperties(m, name, path, view) : sd_bus_message_skip(m, "a{sv}") >= 0) ||
                sd_bus_message_exit_container(m) <= 0) {
                return false;
            }
        }
        if (e < 0 || sd_bus_message_exit_container(m) <= 0 || sd_bus_message_exit_container(m) <= 0) {
            return false;
        }
    }
    return r == 0 && sd_bus_message_exit_container(m) > 0;
}

BluetoothView viewOver(sd_bus* bus) {
    BluetoothView view;
    Error error;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(bus, kBluezService, "/", kObjectManager, "GetManagedObjects",
                                     error.get(), &reply, "");
    const Message answer(reply);
    if (r < 0) {
        view.reach = isNoStack(error.name()) ? BluetoothView::Reach::NoStack : BluetoothView::Reach::NoAnswer;
        view.detail = error.message().empty() ? error.name() : error.message();
        return view;
    }
    view.reach = BluetoothView::Reach::Answered;
    if (!readManagedObjects(reply, view)) {
        view = BluetoothView{
            BluetoothView::Reach::NoAnswer, "BlueZ's list of devices could not be read", {}, {}};
    }
    return view;
}

std::uint64_t nowUs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

class BluezConnector : public BluetoothConnector {
public:
    int connect(const std::string& address, ConnectFailure& failure) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const int fd = connectLocked(address, failure);
        std::lock_guard<std::mutex> reasons(reasonsMutex_);
        reasons_[address] = fd >= 0 ? std::string() : failure.reason;
        return fd;
    }

    void release(const std::string& address, int fd) override {
        // The stack keeps a descriptor of the socket too: only a shutdown ends the link at once.
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        std::lock_guard<std::mutex> lock(mutex_);
        held_.erase(address);
        const auto device = devicePaths_.find(address);
        if (bus_ && device != devicePaths_.end()) {
            // Tells the stack the profile is done with, without waiting for its answer.
            sd_bus_call_method_async(bus_.get(), nullptr, kBluezService, device->second.c_str(),
                                     kDeviceInterface, "DisconnectProfile", nullptr, nullptr, "s",
                                     kSerialPortProfileUuid.data());
            sd_bus_flush(bus_.get());
        }
    }

    std::string lastReason(const std::string& address) const override {
        std::lock_guard<std::mutex> lock(reasonsMutex_);
        const auto found = reasons_.find(address);
        return found != reasons_.end() ? found->second : std::string();
    }

private:
    int connectLocked(const std::string& address, ConnectFailure& failure) {
        if (held_.count(address) > 0) {
            failure = {ChannelError::Busy, "this program is connected to the scanner already"};
            return -1;
        }
        if (!bus_ || sd_bus_is_open(bus_.get()) <= 0) {
            bus_ = openSystemBus();
            profileSlot_.reset();
        }
        if (!bus_) {
            failure = unreachableStackFailure({BluetoothView::Reach::NoBus, {}, {}, {}},
                                              kernelHasBluetoothSockets());
            return -1;
        }
        const BluetoothView view = viewOver(bus_.get());
        if (view.reach != BluetoothView::Reach::Answered) {
            failure = unreachableStackFailure(view, kernelHasBluetoothSockets());
            return -1;
        }
        const BluetoothDevice* device = deviceFor(view, address, failure);
        if (device == nullptr || !registerProfile(failure)) {
            return -1;
        }
        devicePaths_[address] = device->objectPath;
        const int fd = connectProfile(device->objectPath, failure);
        if (fd >= 0) {
            held_.insert(address);
        }
        return fd;
    }

    // The device to connect: paired, with the serial port profile, on a powered adapter where it is
    // paired with more than one.
    static const BluetoothDevice* deviceFor(const BluetoothView& view, const std::string& address,
                                            ConnectFailure& failure) {
        const BluetoothDevice* chosen = nullptr;
        for (const BluetoothDevice& device : view.devices) {
            if (device.address != address || !device.paired) {
                continue;
            }
            bool powered = false;
            for (const BluetoothAdapter& adapter : view.adapters) {
                powered = powered || (adapter.objectPath == device.adapterPath && adapter.powered);
            }
            if (chosen == nullptr || (powered && device.servesSerialPort)) {
                chosen = &device;
                if (!powered) {
                    failure = {ChannelError::NoSuchPort,
                               "the Bluetooth adapter is switched off: bluetoothctl power on"};
                } else if (!device.servesSerialPort) {
                    failure = {ChannelError::NotSerialPort,
                               "the scanner offers no serial port profile (is it in keyboard mode?)"};
                } else {
                    failure = {};
                }
            }
        }
        if (chosen == nullptr) {
            failure = {ChannelError::NoSuchPort, "no scanner with this address is paired with this computer"};
            return nullptr;
        }
        return failure.reason.empty() ? chosen : nullptr;
    }

    // Registered again before every connection: the stack forgets it when it restarts, and says
    // AlreadyExists while it still holds it.
    bool registerProfile(ConnectFailure& failure) {
        if (!profileSlot_) {
            sd_bus_slot* slot = nullptr;
            if (sd_bus_add_object_vtable(bus_.get(), &slot, kProfilePath, kProfileInterface, kProfileVtable,
                                         this) < 0) {
                failure = {ChannelError::Other, "the serial port profile could not be offered on the bus"};
                return false;
            }
            profileSlot_.reset(slot);
        }
        Error error;
        sd_bus_message* reply = nullptr;
        const int r =
            sd_bus_call_method(bus_.get(), kBluezService, "/org/bluez", kProfileManager, "RegisterProfile",
                               error.get(), &reply, "osa{sv}", kProfilePath, kSerialPortProfileUuid.data(), 3,
                               "Name", "s", kProfileName, "Role", "s", "client", "AutoConnect", "b", 0);
        const Message answer(reply);
        if (r < 0 && error.name() != "org.bluez.Error.AlreadyExists") {
            failure = isNoStack(error.name())
                          ? unreachableStackFailure({BluetoothView::Reach::NoStack, {}, {}, {}},
                                                    kernelHasBluetoothSockets())
                          : connectFailureOf(error.name(), error.message());
            return false;
        }
        if (r >= 0 && reply != nullptr && sd_bus_message_get_sender(reply) != nullptr) {
            stackName_ = sd_bus_message_get_sender(reply);
        }
        return true;
    }

    int connectProfile(const std::string& devicePath, ConnectFailure& failure) {
        awaitedDevice_ = devicePath;
        receivedFd_ = -1;
        answered_ = false;
        answer_ = {};
        // The bus gives a question kBluezCallMs; a connection gets its own limit, and the bus waits a little
        // longer, so that the limit that ends the wait is ours and says so.
        sd_bus_message* request = nullptr;
        sd_bus_slot* slot = nullptr;
        const bool asked =
            sd_bus_message_new_method_call(bus_.get(), &request, kBluezService, devicePath.c_str(),
                                           kDeviceInterface, "ConnectProfile") >= 0 &&
            sd_bus_message_append(request, "s", kSerialPortProfileUuid.data()) >= 0 &&
            sd_bus_call_async(bus_.get(), &slot, request, onConnectAnswer, this,
                              (kBluetoothConnectMs + kBluezCallMs) * kUsPerMs) >= 0;
        sd_bus_message_unref(request);
        if (!asked) {
            failure = {ChannelError::Other, "the connection could not be asked for"};
            return -1;
        }
        const Slot call(slot);
        std::uint64_t deadline = nowUs() + kBluetoothConnectMs * kUsPerMs;
        bool answerSeen = false;
        // The stack hands the socket over before it answers the request; both are waited for.
        while (!(answered_ && (receivedFd_ >= 0 || !answer_.reason.empty()))) {
            const int r = sd_bus_process(bus_.get(), nullptr);
            if (r < 0) {
                answer_ = {ChannelError::Other, "the connection to the system D-Bus was lost"};
                answered_ = true;
                break;
            }
            if (r > 0) {
                continue;
            }
            const std::uint64_t now = nowUs();
            if (answered_ && !answerSeen) {
                // Answered without a socket yet: it is on its way, or it is not coming.
                answerSeen = true;
                deadline = std::min(deadline, now + kBluezCallMs * kUsPerMs);
            }
            if (now >= deadline) {
                break;
            }
            sd_bus_wait(bus_.get(), deadline - now);
        }
        awaitedDevice_.clear();
        if (receivedFd_ >= 0 && answer_.reason.empty()) {
            return std::exchange(receivedFd_, -1);
        }
        if (receivedFd_ >= 0) {
            ::close(std::exchange(receivedFd_, -1));
        }
        if (!answer_.reason.empty()) {
            failure = answer_;
        } else if (answered_) {
            failure = {ChannelError::Other, "BlueZ reported the connection but handed over no socket"};
        } else {
            failure = {ChannelError::NoSuchPort, "the scanner did not connect within " +
                                                     std::to_string(kBluetoothConnectMs / 1000) + " s"};
        }
        return -1;
    }

    static int onConnectAnswer(sd_bus_message* reply, void* self, sd_bus_error*) {
        auto* connector = static_cast<BluezConnector*>(self);
        connector->answered_ = true;
        if (sd_bus_message_is_method_error(reply, nullptr)) {
            const sd_bus_error* error = sd_bus_message_get_error(reply);
            connector->answer_ = connectFailureOf(error->name != nullptr ? error->name : "",
                                                  error->message != nullptr ? error->message : "");
        }
        return 0;
    }

    // Only the stack may hand over a socket, and only for the device being connected.
    static int onNewConnection(sd_bus_message* call, void* self, sd_bus_error* error) {
        auto* connector = static_cast<BluezConnector*>(self);
        const char* device = nullptr;
        int fd = -1;
        if (sd_bus_message_read(call, "oh", &device, &fd) < 0) {
            return sd_bus_error_set(error, "org.bluez.Error.InvalidArguments",
                                    "expected a device and a socket");
        }
        const char* sender = sd_bus_message_get_sender(call);
        const bool fromStack =
            connector->stackName_.empty() || (sender != nullptr && connector->stackName_ == sender);
        if (!fromStack || connector->awaitedDevice_ != device || connector->receivedFd_ >= 0) {
            return sd_bus_error_set(error, "org.bluez.Error.Rejected", "no connection was asked for");
        }
        // The descriptor belongs to the message; ours is a copy that outlives it.
        connector->receivedFd_ = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (connector->receivedFd_ >= 0) {
            fcntl(connector->receivedFd_, F_SETFL, fcntl(connector->receivedFd_, F_GETFL) | O_NONBLOCK);
        }
        return sd_bus_reply_method_return(call, "");
    }

    static int onRequestDisconnection(sd_bus_message* call, void*, sd_bus_error*) {
        return sd_bus_reply_method_return(call, "");
    }

    static int onRelease(sd_bus_message* call, void*, sd_bus_error*) {
        return sd_bus_reply_method_return(call, "");
    }

    static constexpr sd_bus_vtable kProfileVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Release", "", "", onRelease, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("NewConnection", "oha{sv}", "", onNewConnection, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("RequestDisconnection", "o", "", onRequestDisconnection, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };

    std::mutex mutex_; // one connection comes up at a time; guards all below but the reasons
    Bus bus_;
    Slot profileSlot_;
    std::string stackName_; // the stack's own name on the bus, once it has answered
    std::set<std::string> held_;
    std::map<std::string, std::string> devicePaths_;
    std::string awaitedDevice_;
    int receivedFd_ = -1;
    bool answered_ = false;
    ConnectFailure answer_;

    mutable std::mutex reasonsMutex_;
    std::map<std::string, std::string> reasons_;
};

class BluezWatch : public BluetoothWatch {
public:
    explicit BluezWatch(Bus bus) : bus_(std::move(bus)) {
        if (!bus_) {
            return; // no bus: nothing to watch, and the wait is the rescan's
        }
        for (const char* member : {"InterfacesAdded", "InterfacesRemoved"}) {
            addMatch(kObjectManager, member);
        }
        addMatch(kProperties, "PropertiesChanged");
        // The stack starting or stopping changes every Bluetooth port at once.
        sd_bus_slot* slot = nullptr;
        if (sd_bus_match_signal(bus_.get(), &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "NameOwnerChanged", onNameOwnerChanged, this) >= 0) {
            slots_.emplace_back(slot);
        }
    }
    int descriptor() const override { return bus_ ? sd_bus_get_fd(bus_.get()) : -1; }
    bool drain() override {
        changed_ = false;
        while (bus_ && sd_bus_process(bus_.get(), nullptr) > 0) {
        }
        return changed_;
    }

private:
    void addMatch(const char* interface, const char* member) {
        sd_bus_slot* slot = nullptr;
        if (sd_bus_match_signal(bus_.get(), &slot, kBluezService, nullptr, interface, member, onSignal,
                                this) >= 0) {
            slots_.emplace_back(slot);
        }
    }
    static int onSignal(sd_bus_message*, void* self, sd_bus_error*) {
        static_cast<BluezWatch*>(self)->changed_ = true;
        return 0;
    }
    static int onNameOwnerChanged(sd_bus_message* m, void* self, sd_bus_error*) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) > 0 && name != nullptr && std::string(name) == kBluezService) {
            static_cast<BluezWatch*>(self)->changed_ = true;
        }
        return 0;
    }

    Bus bus_;
    std::vector<Slot> slots_;
    bool changed_ = false;
};

} // namespace

BluetoothView readBluetoothView() {
    const Bus bus = openSystemBus();
    if (!bus) {
        return {BluetoothView::Reach::NoBus, "no system D-Bus", {}, {}};
    }
    return viewOver(bus.get());
}

BluetoothConnector& BluetoothConnector::instance() {
    static BluezConnector connector;
    return connector;
}

std::unique_ptr<BluetoothWatch> BluetoothWatch::open() {
    return std::make_unique<BluezWatch>(openSystemBus());
}

} // namespace orvexa
