#pragma once
#include <cstdint>
#include <string_view>

namespace kivoparse {

// ASCII letter case folded, every other byte as it is: A to Z stand for
// a to z, and nothing consults a locale.
inline unsigned char FoldByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Compares two NUL-terminated texts as _stricmp does: folded bytes, up to
// the first NUL. Negative, 0 or positive.
inline int CompareNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const unsigned char x = FoldByte(*a);
        const unsigned char y = FoldByte(*b);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

// Whether two byte strings are equal with ASCII letter case folded.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldByte(a[i]) != FoldByte(b[i])) return false;
    }
    return true;
}

// FNV-1a over the folded bytes, started from seed: equal under folding,
// equal hashes.
inline std::uint64_t FoldedHash(std::string_view text, std::uint64_t seed) {
    std::uint64_t hash = 14695981039346656037ULL ^ seed;
    for (const char c : text) hash = (hash ^ FoldByte(c)) * 1099511628211ULL;
    return hash;
}

}  // namespace kivoparse
