#include "cli/ValueFormat.h"

namespace kivoparse {
namespace cli {

namespace {

const char kHex[] = "0123456789abcdef";

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the byte
// starts none. Overlong forms, surrogates and values past U+10FFFF are invalid.
std::size_t ValidSequenceLength(const std::string& s, std::size_t i) {
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char lead = at(i);
    std::size_t left = s.size() - i;
    if (lead >= 0xC2 && lead <= 0xDF) return left >= 2 && IsContinuation(at(i + 1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !IsContinuation(at(i + 1)) || !IsContinuation(at(i + 2))) return 0;
        if (lead == 0xE0 && at(i + 1) < 0xA0) return 0;  // overlong
        if (lead == 0xED && at(i + 1) > 0x9F) return 0;  // surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !IsContinuation(at(i + 1)) || !IsContinuation(at(i + 2)) || !IsContinuation(at(i + 3)))
            return 0;
        if (lead == 0xF0 && at(i + 1) < 0x90) return 0;  // overlong
        if (lead == 0xF4 && at(i + 1) > 0x8F) return 0;  // past U+10FFFF
        return 4;
    }
    return 0;
}

void AppendEscape(std::string& out, const char* prefix, unsigned char byte) {
    out += prefix;
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

void AppendJsonArray(std::string& out, const std::vector<std::string>& values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ", ";
        AppendJsonString(out, values[i]);
    }
    out += ']';
}

}  // namespace

void AppendJsonString(std::string& out, const std::string& bytes) {
    out += '"';
    std::size_t i = 0;
    while (i < bytes.size()) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (c < 0x20 || c == 0x7F) AppendEscape(out, "\\u00", c);
                    else out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        std::size_t length = ValidSequenceLength(bytes, i);
        if (length == 0) {
            AppendEscape(out, "\\udc", c);  // one byte that belongs to no character
            ++i;
            continue;
        }
        out.append(bytes, i, length);
        i += length;
    }
    out += '"';
}

std::string FormatValues(const std::vector<std::string>& values, EListFormat format, bool multi,
                         const std::string& name) {
    std::string out;
    switch (format) {
        case EListFormat::Json:
            if (multi) {
                out += "{\"file\": ";
                AppendJsonString(out, name);
                out += ", \"values\": ";
                AppendJsonArray(out, values);
                out += '}';
            } else {
                AppendJsonArray(out, values);
            }
            out += '\n';
            break;
        case EListFormat::Lines:
        case EListFormat::Nul: {
            char end = format == EListFormat::Nul ? '\0' : '\n';
            char separator = format == EListFormat::Nul ? '\0' : '\t';
            for (const std::string& value : values) {
                if (multi) {
                    out += name;
                    out += separator;
                }
                out += value;
                out += end;
            }
            break;
        }
    }
    return out;
}

}  // namespace cli
}  // namespace kivoparse
