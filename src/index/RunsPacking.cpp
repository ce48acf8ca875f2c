#include "index/RunsPacking.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "store/Varint.h"

namespace tavix::detail {

// Packed: the unpacked size, then sequences of (literal count, literal
// bytes, distance back, match length - kShortestMatch), all counts as
// base-128 varints; the last sequence ends after its literals.
namespace {

constexpr std::size_t kShortestMatch = 4;
constexpr std::size_t kFarthest = 1 << 16;
constexpr unsigned kHashBits = 12;

std::uint32_t load32(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

unsigned hashOf(std::uint32_t v) { return (v * 2654435761u) >> (32 - kHashBits); }

}  // namespace

std::string packRuns(std::string_view in) {
    std::string out;
    out.reserve(in.size() / 2 + 16);
    putVarint(out, in.size());
    std::vector<std::uint32_t> last(std::size_t(1) << kHashBits, 0);  // position + 1
    std::size_t literalStart = 0;
    std::size_t i = 0;
    const char* data = in.data();
    while (i + kShortestMatch <= in.size()) {
        const std::uint32_t v = load32(data + i);
        const unsigned h = hashOf(v);
        const std::size_t candidate = last[h];
        last[h] = static_cast<std::uint32_t>(i + 1);
        if (candidate == 0 || i - (candidate - 1) > kFarthest || load32(data + candidate - 1) != v) {
            ++i;
            continue;
        }
        const std::size_t from = candidate - 1;
        std::size_t length = kShortestMatch;
        while (i + length < in.size() && data[from + length] == data[i + length]) ++length;
        putVarint(out, i - literalStart);
        out.append(data + literalStart, i - literalStart);
        putVarint(out, i - from);
        putVarint(out, length - kShortestMatch);
        for (std::size_t k = 1; k < length && i + k + kShortestMatch <= in.size(); ++k)
            last[hashOf(load32(data + i + k))] = static_cast<std::uint32_t>(i + k + 1);
        i += length;
        literalStart = i;
    }
    putVarint(out, in.size() - literalStart);
    out.append(data + literalStart, in.size() - literalStart);
    return out;
}

bool unpackRuns(std::string_view in, std::string& out) {
    out.clear();
    std::size_t at = 0;
    std::uint64_t size = 0;
    if (!getVarint(in, at, size) || size > in.size() * 256 + 64) return false;
    out.resize(size);
    char* dest = out.data();
    std::size_t done = 0;
    // The packed bytes end with a sequence's literals (perhaps none).
    for (;;) {
        std::uint64_t literals = 0;
        if (!getVarint(in, at, literals) || literals > in.size() - at || literals > size - done) return false;
        std::memcpy(dest + done, in.data() + at, literals);
        done += literals;
        at += literals;
        if (at == in.size()) break;
        std::uint64_t distance = 0;
        std::uint64_t length = 0;
        if (!getVarint(in, at, distance) || !getVarint(in, at, length)) return false;
        length += kShortestMatch;
        if (distance == 0 || distance > done || length > size - done) return false;
        const char* from = dest + done - distance;
        if (distance >= length) {
            std::memcpy(dest + done, from, length);
        } else {
            for (std::size_t k = 0; k < length; ++k) dest[done + k] = from[k];  // overlaps: byte by byte
        }
        done += length;
    }
    return done == size;
}

}  // namespace tavix::detail
