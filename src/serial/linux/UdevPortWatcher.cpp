// udev's monitor of the tty subsystem and BlueZ's notices on the system bus: a port plugged in or bound, a
// scanner paired or removed, wakes the station at once. Without either (a container, a chroot) the wait is
// the rescan's whole second.
#include "serial/PortWatcher.h"

#include "serial/linux/Bluez.h"

#include <libudev.h>
#include <poll.h>

namespace orvexa {

namespace {

class UdevPortWatcher : public PortWatcher {
public:
    explicit UdevPortWatcher(Clock& clock) : clock_(clock) {
        udev_ = udev_new();
        if (udev_ != nullptr) {
            monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        }
        if (monitor_ != nullptr &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor_) < 0)) {
            monitor_ = udev_monitor_unref(monitor_);
        }
    }
    ~UdevPortWatcher() override {
        if (monitor_ != nullptr) {
            udev_monitor_unref(monitor_);
        }
        if (udev_ != nullptr) {
            udev_unref(udev_);
        }
    }
    UdevPortWatcher(const UdevPortWatcher&) = delete;
    UdevPortWatcher& operator=(const UdevPortWatcher&) = delete;

    void waitForChange(std::uint32_t maxMs) override {
        // A notice read before this wait (the bus reads ahead) is answered without waiting.
        if (bluetooth_->drain()) {
            return;
        }
        const int bus = bluetooth_->descriptor();
        if (monitor_ == nullptr && bus < 0) {
            clock_.sleepMs(maxMs);
            return;
        }
        pollfd watched[2] = {{monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1, POLLIN, 0},
                             {bus, POLLIN, 0}};
        if (::poll(watched, 2, static_cast<int>(maxMs)) > 0) {
            // Read every notice that is waiting: one look at the ports answers them all.
            while (monitor_ != nullptr && (watched[0].revents & POLLIN) != 0) {
                udev_device* device = udev_monitor_receive_device(monitor_);
                if (device == nullptr) {
                    break;
                }
                udev_device_unref(device);
            }
            bluetooth_->drain();
        }
    }

private:
    Clock& clock_;
    std::unique_ptr<BluetoothWatch> bluetooth_ = BluetoothWatch::open();
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
};

} // namespace

std::unique_ptr<PortWatcher> makePortWatcher(Clock& clock) {
    return std::make_unique<UdevPortWatcher>(clock);
}

} // namespace orvexa
