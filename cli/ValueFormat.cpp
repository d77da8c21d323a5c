#include "cli/ValueFormat.h"

#include <algorithm>
#include <cstring>

namespace kivoparse {
namespace cli {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the byte
// starts none. The lead byte gives the length and the range of the second
// byte, which rules out overlong forms, surrogates and values past U+10FFFF.
std::size_t ValidSequenceLength(const std::string& s, std::size_t i) {
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char lead = at(0);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (lead < 0xC2 || lead > 0xF4 || s.size() - i < length || at(1) < low || at(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((at(k) & 0xC0) != 0x80) return 0;
    }
    return length;
}

void AppendJsonArray(std::string& out, const std::vector<std::string>& values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ", ";
        AppendJsonString(out, values[i]);
    }
    out += ']';
}

// Length of the character at s[i] when it may be shown as it is, else 0.
std::size_t ShownLength(const std::string& s, std::size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return c >= 0x20 && c != 0x7F ? 1 : 0;
    bool control = c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0;
    return control ? 0 : ValidSequenceLength(s, i);
}

}  // namespace

std::string QuoteName(const std::string& name, bool quoted) {
    bool plain = true;
    for (std::size_t i = 0, n = 0; plain && i < name.size(); i += n) {
        n = ShownLength(name, i);
        plain = n > 0 && !(quoted && name[i] == '\'');
    }
    if (plain) return quoted ? "'" + name + "'" : name;
    static const char kLetters[] = "abtnvfr";  // the escapes of bytes 7 to 13
    std::string out = "$'";
    for (std::size_t i = 0, n = 0; i < name.size(); i += std::max<std::size_t>(n, 1)) {
        auto c = static_cast<unsigned char>(name[i]);
        if ((n = ShownLength(name, i)) > 0) {
            out += c == '\'' || c == '\\' ? "\\" : "";
            out.append(name, i, n);
        } else if (c >= 7 && c <= 13) {
            out += {'\\', kLetters[c - 7]};
        } else {
            out += {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)),
                    static_cast<char>('0' + (c & 7))};
        }
    }
    return out + "'";
}

void AppendJsonString(std::string& out, const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    static const char kShort[] = "\"\\\b\f\n\r\t";  // written as \" \\ \b \f \n \r \t
    static const char kShortLetter[] = "\"\\bfnrt";
    out += '"';
    for (std::size_t i = 0; i < bytes.size();) {
        auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t length = c < 0x80 ? 1 : ValidSequenceLength(bytes, i);
        const char* shortForm = c != 0 ? std::strchr(kShort, c) : nullptr;
        if (shortForm) {
            out += '\\';
            out += kShortLetter[shortForm - kShort];
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            // A control byte, or a byte that belongs to no character: \u00XX or \udcXX.
            out += length == 0 ? "\\udc" : "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out.append(bytes, i, length);
        }
        i += length == 0 ? 1 : length;
    }
    out += '"';
}

std::string FormatValues(const std::vector<std::string>& values, EListFormat format, bool multi,
                         const std::string& name) {
    std::string out;
    if (format == EListFormat::Json) {
        out += multi ? "{\"file\": " : "";
        if (multi) AppendJsonString(out, name);
        out += multi ? ", \"values\": " : "";
        AppendJsonArray(out, values);
        out += multi ? "}\n" : "\n";
        return out;
    }
    char end = format == EListFormat::Nul ? '\0' : '\n';
    char separator = format == EListFormat::Nul ? '\0' : '\t';
    for (const std::string& value : values) {
        if (multi) out += name + separator;
        out += value;
        out += end;
    }
    return out;
}

}  // namespace cli
}  // namespace kivoparse
