#pragma once
#include <cstring>
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

// The bytes of a C string: up to the first NUL.
inline std::string_view UpToNul(std::string_view bytes) {
    if (bytes.size() <= 16) {
        // Short names: a loop costs less than the call.
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\0') return bytes.substr(0, i);
        }
        return bytes;
    }
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    return nul ? bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data())) : bytes;
}

// Whether two byte strings are equal with ASCII letter case folded.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldByte(a[i]) != FoldByte(b[i])) return false;
    }
    return true;
}

}  // namespace kivoparse
