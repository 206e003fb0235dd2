#pragma once
// Wide-text constants that must not sit in the executable as readable text.
// The compiler stores each UTF-16 unit XORed with a mask that an integer hash
// derives from the unit's position; the text is rebuilt at each use into a
// fresh string, so the plain form exists only briefly on the heap.

#include <cstddef>
#include <cstdint>
#include <string>

namespace br {

// A 32-bit integer mixer (murmur3's finaliser over a golden-ratio step),
// cut to 16 bits. Any change here changes every scrambled constant.
constexpr uint16_t scrambleMask(uint32_t position) {
    uint32_t x = position * 0x9E3779B1u + 0x7F4A7C15u;
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    return static_cast<uint16_t>(x);
}

// Declare instances constexpr, so the scrambling happens at compile time and
// the plain literal never reaches the object file.
template <size_t N>
struct ScrambledText {
    static_assert(N > 1, "nothing to scramble");
    uint16_t units[N - 1] = {};  // without the terminating zero

    constexpr explicit ScrambledText(const wchar_t (&text)[N]) {
        for (size_t i = 0; i + 1 < N; ++i) {
            units[i] = static_cast<uint16_t>(static_cast<uint16_t>(text[i]) ^ scrambleMask(static_cast<uint32_t>(i)));
        }
    }

    std::wstring reveal() const {
        std::wstring text(N - 1, L'\0');
        // Volatile reads keep the optimiser from folding the loop back into
        // the plain text as immediate stores.
        const volatile uint16_t* stored = units;
        for (size_t i = 0; i + 1 < N; ++i) {
            text[i] = static_cast<wchar_t>(stored[i] ^ scrambleMask(static_cast<uint32_t>(i)));
        }
        return text;
    }
};

}  // namespace br
