// A Linux build without a D-Bus library: no Bluetooth ports, and every attempt says why.
#include "serial/linux/Bluez.h"

namespace orvexa {

namespace {

class NoConnector : public BluetoothConnector {
public:
    int connect(const std::string&, ConnectFailure& failure) override {
        failure = unreachableStackFailure(BluetoothView{}, true);
        return -1;
    }
    void release(const std::string&, int) override {}
    std::string lastReason(const std::string&) const override {
        return unreachableStackFailure({}, true).reason;
    }
};

class NoWatch : public BluetoothWatch {
public:
    int descriptor() const override { return -1; }
    bool drain() override { return false; }
};

} // namespace

BluetoothView readBluetoothView() {
    return {};
}

BluetoothConnector& BluetoothConnector::instance() {
    static NoConnector connector;
    return connector;
}

std::unique_ptr<BluetoothWatch> BluetoothWatch::open() {
    return std::make_unique<NoWatch>();
}

} // namespace orvexa
