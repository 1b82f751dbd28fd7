// What the fuzzers check beyond crashes: an invariant that stops the run with its name, and guard bytes
// around a record, so that a byte written past either end of it shows.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orvexa::fuzz {

inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

template <std::size_t N> bool terminatedInside(const std::array<char, N>& field) {
    return std::memchr(field.data(), '\0', N) != nullptr;
}

template <class T> struct Guarded {
    static constexpr std::uint8_t kGuard = 0xA7;

    Guarded() {
        before.fill(kGuard);
        after.fill(kGuard);
    }
    void checkGuards() const {
        for (std::size_t i = 0; i < before.size(); ++i) {
            check(before[i] == kGuard, "guard before the record");
            check(after[i] == kGuard, "guard after the record");
        }
    }

    std::array<std::uint8_t, 64> before;
    T value;
    std::array<std::uint8_t, 64> after;
};

} // namespace orvexa::fuzz
