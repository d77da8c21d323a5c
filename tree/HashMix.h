#pragma once
#include <cstdint>

namespace kivoparse {

// Spreads every input bit over the whole word (the MurmurHash3 finaliser),
// for the seeded hash tables of the tree.
inline std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

}  // namespace kivoparse
