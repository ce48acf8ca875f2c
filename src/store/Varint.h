#pragma once
// Base-128 varints: seven bits a byte, low bits first, the high bit set on
// every byte but the last. How the text index writes page ids and how
// recorded and packed runs of text write their lengths.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavix {

inline void putVarint(std::string& out, std::uint64_t n) {
    while (n >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (n & 0x7F)));
        n >>= 7;
    }
    out.push_back(static_cast<char>(n));
}

// Reads the varint at `at` and moves past it. False when the bytes end
// before it does or it runs past 63 bits (damaged bytes): callers stop
// there, and bound what they read by what they expect.
inline bool getVarint(std::string_view in, std::size_t& at, std::uint64_t& n) {
    n = 0;
    for (unsigned shift = 0; shift < 63; shift += 7) {
        if (at >= in.size())
            return false;
        const auto b = static_cast<unsigned char>(in[at++]);
        n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

}  // namespace tavix
