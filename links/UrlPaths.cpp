#include "links/UrlPaths.h"

#include <cstdint>

#include "links/CompareNoCase.h"

namespace kivoparse {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// One piece of raw at `at`: an escape, a reference or a byte. Appends what
// it stands for to out and returns the piece's length.
std::size_t DecodePiece(std::string_view raw, std::size_t at, std::string& out) {
    if (raw[at] == '%' && at + 2 < raw.size() && HexValue(raw[at + 1]) >= 0 && HexValue(raw[at + 2]) >= 0) {
        out += static_cast<char>(HexValue(raw[at + 1]) * 16 + HexValue(raw[at + 2]));
        return 3;
    }
    if (raw[at] == '&') {
        static const struct {
            const char* mName;
            char mByte;
        } kNamed[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        for (const auto& named : kNamed) {
            const std::string_view name = named.mName;
            if (raw.substr(at, name.size()) == name) {
                out += named.mByte;
                return name.size();
            }
        }
        if (at + 2 < raw.size() && raw[at + 1] == '#') {
            const bool hex = raw[at + 2] == 'x' || raw[at + 2] == 'X';
            std::size_t i = at + (hex ? 3 : 2);
            std::uint32_t code = 0;
            const std::size_t digits = i;
            for (; i < raw.size() && i - digits < 7; ++i) {
                const int value = HexValue(raw[i]);
                if (value < 0 || (!hex && value > 9)) break;
                code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(value);
            }
            if (i > digits && i < raw.size() && raw[i] == ';' && code > 0 && code <= 0x10FFFF) {
                AppendUtf8(out, code);
                return i + 1 - at;
            }
        }
    }
    out += raw[at];
    return 1;
}

bool IsSchemeByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

}  // namespace

std::string DecodeUrlBytes(std::string_view raw) {
    if (raw.find_first_of("%&") == std::string_view::npos) return std::string(raw);
    std::string out;
    for (std::size_t at = 0; at < raw.size();) at += DecodePiece(raw, at, out);
    return out;
}

SUrlPath SplitUrlPath(std::string_view url) {
    SUrlPath path;
    if (url.find("<|") != std::string_view::npos) {
        path.mClass = EUrlClass::Template;
        return path;
    }
    // White space around a value is no part of the URL a browser asks for.
    std::size_t begin = 0, end = url.size();
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    while (begin < end && isSpace(url[begin])) ++begin;
    while (end > begin && isSpace(url[end - 1])) --end;
    // The path ends at "?" or "#", but not at the "#" of a reference
    // ("&#38;"), which a browser decodes before it reads the URL.
    std::size_t pathEnd = begin;
    std::string scratch;
    while (pathEnd < end && url[pathEnd] != '?' && url[pathEnd] != '#') {
        scratch.clear();
        pathEnd += url[pathEnd] == '&' ? DecodePiece(url.substr(0, end), pathEnd, scratch) : 1;
    }
    for (std::size_t at = pathEnd; at < end;) {
        if (url[at] == '#') {
            path.mFragment = at + 1;
            break;
        }
        scratch.clear();
        at += url[at] == '&' ? DecodePiece(url.substr(0, end), at, scratch) : 1;
    }
    if (pathEnd == begin) {
        path.mClass = EUrlClass::SameDocument;
        return path;
    }
    auto isSlash = [](char c) { return c == '/' || c == '\\'; };
    if (pathEnd - begin >= 2 && isSlash(url[begin]) && isSlash(url[begin + 1])) {
        path.mClass = EUrlClass::External;
        return path;
    }
    std::size_t scheme = begin;
    if ((url[scheme] >= 'a' && url[scheme] <= 'z') || (url[scheme] >= 'A' && url[scheme] <= 'Z')) {
        while (scheme < pathEnd && IsSchemeByte(url[scheme])) ++scheme;
        if (scheme < pathEnd && url[scheme] == ':') {
            path.mClass = EUrlClass::External;
            return path;
        }
    }
    if (isSlash(url[begin])) path.mClass = EUrlClass::RootRelative;
    path.mBegin = begin;
    path.mPathEnd = pathEnd;
    std::string last;
    path.mSegments.reserve(4);
    for (std::size_t start = begin; start < pathEnd;) {
        std::size_t stop = start;
        while (stop < pathEnd && !isSlash(url[stop])) ++stop;
        if (stop > start) {
            path.mSegments.push_back(SUrlSegment{start, stop, DecodeUrlBytes(url.substr(start, stop - start))});
        }
        start = stop + 1;
    }
    const std::string& name = path.mSegments.empty() ? last : path.mSegments.back().mName;
    path.mNamesFolder = isSlash(url[pathEnd - 1]) || name == "." || name == "..";
    return path;
}

std::string RecaseSegment(std::string_view raw, std::string_view actual) {
    std::string out;
    std::size_t done = 0;  // bytes of actual accounted for
    std::string piece;
    for (std::size_t at = 0; at < raw.size();) {
        piece.clear();
        const std::size_t length = DecodePiece(raw, at, piece);
        const std::string_view wanted = actual.substr(std::min(done, actual.size()), piece.size());
        out.append(wanted == piece ? raw.substr(at, length) : wanted);
        done += piece.size();
        at += length;
    }
    return out;
}

std::string BaseFolder(std::string start, const SUrlPath& base, const std::string* rootKey) {
    FollowPath(
        base, 0, BaseFolderSegments(base),
        [&] { return (rootKey && PathWithoutDots(start) == *rootKey) || start == "/"; },
        [&] {
            const std::size_t slash = start.rfind('/');
            if (start.empty() || start.compare(slash + 1, std::string::npos, "..") == 0)
                start = start.empty() ? ".." : start + "/..";
            else
                start.erase(slash == std::string::npos ? 0 : slash == 0 ? 1 : slash);
        },
        [] {},
        [&](std::size_t i) {
            const std::string& name = base.mSegments[i].mName;
            start = start.empty() ? name : start.back() == '/' ? start + name : start + "/" + name;
            return true;
        });
    return start;
}

std::string PathWithoutDots(const std::string& path) {
    std::string out = path.compare(0, 1, "/") == 0 ? "/" : "";
    for (std::size_t start = 0; start < path.size();) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        const std::string_view segment(path.data() + start, slash - start);
        if (!segment.empty() && segment != ".") {
            if (!out.empty() && out.back() != '/') out += '/';
            out += segment;
        }
        start = slash + 1;
    }
    return out;
}

}  // namespace kivoparse
