// The URLs of a stylesheet's text, listed with their places and rewritten
// in place: the bytes of a changed URL are replaced, every other byte kept.
#include <utility>

#include <kivoparse/kivoparse.h>

#include "links/UrlKinds.h"
#include "links/UrlScan.h"

namespace kivoparse {

namespace {

// Whether a URL can stand at span of css written as value: inside quotes,
// anything but that quote, a backslash or a line end; unquoted, no white
// space, quote, parenthesis or backslash either.
bool Holds(std::string_view css, const SSpan& span, std::string_view value) {
    const char before = span.mStart > 0 ? css[span.mStart - 1] : '\0';
    const bool quoted = before == '"' || before == '\'';
    for (const char c : value) {
        if (c == '\\' || c == '\n' || c == '\r' || c == '\f') return false;
        if (quoted ? c == before : (c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '(' || c == ')'))
            return false;
    }
    return !value.empty() || quoted;
}

}  // namespace

std::vector<UrlOccurrence> GetCssUrlOccurrences(std::string_view css) {
    std::vector<SSpan> spans;
    ScanCss(css, spans);
    std::vector<UrlOccurrence> found;
    found.reserve(spans.size());
    for (const SSpan& span : spans) {
        found.push_back(UrlOccurrence{UrlKind::Css, std::string(), std::string(),
                                      std::string(css.substr(span.mStart, span.mLength)), span.mStart, 0, 0});
    }
    PlaceLines(css, found);
    return found;
}

KeptRewrite RewriteCssKeepingBytes(std::string_view css, const UrlRewriter& rewriter) {
    KeptRewrite result;
    std::vector<SSpan> spans;
    ScanCss(css, spans);
    std::size_t copied = 0;
    for (const SSpan& span : spans) {
        const std::string_view url = css.substr(span.mStart, span.mLength);
        std::optional<std::string> value = rewriter ? rewriter(UrlKind::Css, url) : std::nullopt;
        if (!value || *value == url) continue;
        if (!Holds(css, span, *value)) {
            ++result.leftAlone;
            continue;
        }
        result.html.append(css.substr(copied, span.mStart - copied));
        result.html.append(*value);
        copied = span.mStart + span.mLength;
        ++result.rewritten[static_cast<std::size_t>(UrlKind::Css)];
        result.edits.push_back(UrlEdit{span.mStart, span.mLength, std::move(*value), UrlKind::Css});
    }
    result.html.append(css.substr(copied));
    return result;
}

KeptRewrite RewriteCssKeepingBytes(std::string_view css, const UrlMap& map) {
    return RewriteCssKeepingBytes(css, [&map](UrlKind, std::string_view url) { return map.Apply(url); });
}

}  // namespace kivoparse
