#include "links/UrlScan.h"

#include "links/CompareNoCase.h"

namespace kivoparse {

namespace {

// White space as HTML and CSS know it: space, tab, line feed, form feed,
// carriage return.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::size_t SkipSpaces(std::string_view text, std::size_t at) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    return at;
}

// A byte that may be part of a CSS name: "myurl(" calls no url().
bool IsNameByteOfCss(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '_' || byte >= 0x80;
}

// Whether text continues at `at` with word, letter case ignored.
bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
    return text.size() - at >= word.size() && EqualsNoCase(text.substr(at, word.size()), word);
}

// The span of [start, end) without the white space at either end; nothing
// when that leaves no byte.
void AddTrimmed(std::string_view text, std::size_t start, std::size_t end, std::vector<SSpan>& spans) {
    start = SkipSpaces(text, start);
    while (end > start && IsSpace(text[end - 1])) --end;
    if (end > start) spans.push_back(SSpan{start, end - start});
}

}  // namespace

void ScanSrcset(std::string_view value, std::vector<SSpan>& spans) {
    std::size_t at = 0;
    while (at < value.size()) {
        while (at < value.size() && (IsSpace(value[at]) || value[at] == ',')) ++at;
        if (at == value.size()) return;
        const std::size_t start = at;
        while (at < value.size() && !IsSpace(value[at])) ++at;
        std::size_t end = at;
        bool listGoesOn = false;
        while (end > start && value[end - 1] == ',') {
            --end;
            listGoesOn = true;
        }
        if (end > start) spans.push_back(SSpan{start, end - start});
        if (listGoesOn) continue;
        // Descriptors, up to the comma that ends the candidate; a "(" opens
        // a group whose commas do not.
        int depth = 0;
        for (; at < value.size(); ++at) {
            if (value[at] == '(') ++depth;
            else if (value[at] == ')' && depth > 0) --depth;
            else if (value[at] == ',' && depth == 0) break;
        }
    }
}

void ScanRefresh(std::string_view value, std::vector<SSpan>& spans) {
    std::size_t at = SkipSpaces(value, 0);
    const std::size_t delayStart = at;
    while (at < value.size() && ((value[at] >= '0' && value[at] <= '9') || value[at] == '.')) ++at;
    const bool hasDelay = at > delayStart;
    at = SkipSpaces(value, at);
    if (hasDelay) {
        if (at == value.size()) return;  // a delay alone: the page reloads itself
        if (value[at] != ';' && value[at] != ',') return;
        at = SkipSpaces(value, at + 1);
    }
    if (StartsWithNoCase(value, at, "url")) {
        const std::size_t equals = SkipSpaces(value, at + 3);
        if (equals < value.size() && value[equals] == '=') at = SkipSpaces(value, equals + 1);
    }
    if (at < value.size() && (value[at] == '"' || value[at] == '\'')) {
        const char quote = value[at];
        const std::size_t close = value.find(quote, at + 1);
        AddTrimmed(value, at + 1, close == std::string_view::npos ? value.size() : close, spans);
        return;
    }
    AddTrimmed(value, at, value.size(), spans);
}

void ScanCss(std::string_view text, std::vector<SSpan>& spans) {
    std::size_t at = 0;
    // The end of a quoted string that opens at `open` (the quote), a
    // backslash escaping the next byte; the text's end if it never closes.
    auto stringEnd = [&](std::size_t open) {
        std::size_t i = open + 1;
        while (i < text.size() && text[i] != text[open]) i += text[i] == '\\' ? 2 : 1;
        return i < text.size() ? i : text.size();
    };
    while (at < text.size()) {
        const char c = text[at];
        if (c == '/' && at + 1 < text.size() && text[at + 1] == '*') {
            const std::size_t close = text.find("*/", at + 2);
            at = close == std::string_view::npos ? text.size() : close + 2;
        } else if (c == '"' || c == '\'') {
            at = stringEnd(at) + 1;
        } else if (c == '\\') {
            at += 2;
        } else if ((c == 'u' || c == 'U') && StartsWithNoCase(text, at, "url(") &&
                   (at == 0 || !IsNameByteOfCss(text[at - 1]))) {
            std::size_t open = SkipSpaces(text, at + 4);
            if (open < text.size() && (text[open] == '"' || text[open] == '\'')) {
                const std::size_t close = stringEnd(open);
                if (close > open + 1) spans.push_back(SSpan{open + 1, close - open - 1});
                const std::size_t paren = text.find(')', close);
                at = paren == std::string_view::npos ? text.size() : paren + 1;
            } else {
                const std::size_t paren = text.find(')', open);
                const std::size_t end = paren == std::string_view::npos ? text.size() : paren;
                AddTrimmed(text, open, end, spans);
                at = end + 1;
            }
        } else if (c == '@' && StartsWithNoCase(text, at, "@import")) {
            const std::size_t open = SkipSpaces(text, at + 7);
            if (open < text.size() && (text[open] == '"' || text[open] == '\'')) {
                const std::size_t close = stringEnd(open);
                if (close > open + 1) spans.push_back(SSpan{open + 1, close - open - 1});
                at = close + 1;
            } else {
                at = open;  // @import url(...) is found as a url(
            }
        } else {
            ++at;
        }
    }
}

}  // namespace kivoparse
