#pragma once

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

}  // namespace kivoparse
