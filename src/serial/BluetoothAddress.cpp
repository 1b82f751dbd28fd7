#include "serial/BluetoothAddress.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace orvexa {

namespace {

constexpr std::size_t kAddressBytes = 6;
constexpr std::size_t kAddressDigits = 2 * kAddressBytes;
constexpr std::size_t kAddressTextLength = kAddressDigits + (kAddressBytes - 1); // with the colons
constexpr char kSeparator = ':';

constexpr std::string_view kBluetoothEnumerator = "BTHENUM\\";
constexpr char kIdSegmentSeparator = '\\';
constexpr char kInstanceFieldSeparator = '&';
constexpr std::string_view kConnectionMark = "_C"; // what follows the address in an outgoing port's ID

bool isHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Windows compares instance IDs without regard to case; so do we.
bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

// Twelve hex digits, most significant first, in the common form; empty for anything else.
std::string fromDigits(const std::array<char, kAddressDigits>& digits) {
    if (!std::all_of(digits.begin(), digits.end(), isHex) ||
        std::all_of(digits.begin(), digits.end(), [](char c) { return c == '0'; })) {
        return {};
    }
    std::string address;
    address.reserve(kAddressTextLength);
    for (std::size_t i = 0; i < kAddressDigits; ++i) {
        if (i != 0 && i % 2 == 0) {
            address.push_back(kSeparator);
        }
        address.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(digits[i]))));
    }
    return address;
}

} // namespace

std::string bluetoothAddressFromText(std::string_view text) {
    if (text.size() != kAddressTextLength) {
        return {};
    }
    std::array<char, kAddressDigits> digits{};
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool separatorPlace = i % 3 == 2;
        if (separatorPlace) {
            if (text[i] != kSeparator) {
                return {};
            }
        } else {
            digits[count++] = text[i];
        }
    }
    return fromDigits(digits);
}

namespace {

// The last field of a Bluetooth port's instance ID, "001122334455_C00000000", where the remote address
// stands; empty for any other device.
std::string_view addressField(std::string_view instanceId) {
    if (!startsWithNoCase(instanceId, kBluetoothEnumerator)) {
        return {};
    }
    const std::string_view instance = instanceId.substr(instanceId.rfind(kIdSegmentSeparator) + 1);
    const std::size_t fieldStart = instance.rfind(kInstanceFieldSeparator);
    return fieldStart == std::string_view::npos ? instance : instance.substr(fieldStart + 1);
}

} // namespace

std::string bluetoothAddressFromInstanceId(std::string_view instanceId) {
    const std::string_view field = addressField(instanceId);
    if (field.size() < kAddressDigits + kConnectionMark.size() ||
        !startsWithNoCase(field.substr(kAddressDigits), kConnectionMark)) {
        return {};
    }
    std::array<char, kAddressDigits> digits{};
    std::copy_n(field.begin(), kAddressDigits, digits.begin());
    return fromDigits(digits);
}

bool isBluetoothPortInstance(std::string_view instanceId) {
    return startsWithNoCase(instanceId, kBluetoothEnumerator);
}

bool isIncomingBluetoothPort(std::string_view instanceId) {
    const std::string_view field = addressField(instanceId);
    return field.size() >= kAddressDigits &&
           std::all_of(field.begin(), field.begin() + kAddressDigits, [](char c) { return c == '0'; });
}

} // namespace orvexa
