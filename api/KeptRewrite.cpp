// Rewrites that edit the input where its URLs lie instead of writing the
// tree back: the walk of links/UrlKinds finds each URL as a view into the
// parsed text, and the view's place is where the new bytes go.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "control/CKIVOParseCtrl.h"
#include "tree/CDocument.h"
#include "kivoparse/kivoparse.h"
#include "links/UrlKinds.h"
#include "tree/CParseNode.h"

namespace kivoparse {

namespace {

// Where bytes lie in text, if they are a view into it.
bool PlaceIn(std::string_view text, const char* bytes, std::size_t& offset) {
    const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
    const auto at = reinterpret_cast<std::uintptr_t>(bytes);
    if (!bytes || at < begin || at > begin + text.size()) return false;
    offset = at - begin;
    return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// A byte that ends an unquoted value or that browsers read as an error in one.
bool BreaksUnquoted(char c) {
    return IsSpace(c) || c == '"' || c == '\'' || c == '=' || c == '<' || c == '>' || c == '`';
}

const char* ReferenceFor(char c) {
    switch (c) {
    case ' ': return "&#32;";
    case '\t': return "&#9;";
    case '\n': return "&#10;";
    case '\r': return "&#13;";
    case '\f': return "&#12;";
    case '"': return "&quot;";
    case '\'': return "&#39;";
    case '=': return "&#61;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '`': return "&#96;";
    default: return nullptr;
    }
}

// url with each byte that stop(c) picks written as its reference.
std::string WithReferences(std::string_view url, bool (*stop)(char)) {
    std::string out;
    out.reserve(url.size());
    for (const char c : url) {
        if (stop(c)) out += ReferenceFor(c);
        else out += c;
    }
    return out;
}

bool IsDoubleQuote(char c) { return c == '"'; }
bool IsSingleQuote(char c) { return c == '\''; }

// The bytes that write url into a value quoted by quote ('"', '\'', or 0
// for none); whole: the URL is the whole value.
std::string Written(std::string_view url, char quote, bool whole) {
    if (quote == '"') return WithReferences(url, IsDoubleQuote);
    if (quote == '\'') return WithReferences(url, IsSingleQuote);
    if (!whole) return WithReferences(url, BreaksUnquoted);
    if (!url.empty() && std::none_of(url.begin(), url.end(), BreaksUnquoted)) return std::string(url);
    const bool single = url.find('"') != std::string_view::npos && url.find('\'') == std::string_view::npos;
    if (single) return "'" + std::string(url) + "'";
    return "\"" + WithReferences(url, IsDoubleQuote) + "\"";
}

// decide(kind, url, out): true with the new value in out for a URL to change.
KeptRewrite Keep(std::string_view html, UrlKinds kinds, bool rawText, const UrlDecision& decide) {
    KeptRewrite result;
    if (kinds.Empty()) {
        result.html = html;
        return result;
    }
    CKIVOParseCtrl ctrl;
    ctrl.SetRawText(rawText);
    ctrl.ParseHTML(std::string(html));
    const CDocument* document = ctrl.Document();
    CParseNode* root = document ? document->Root() : nullptr;
    if (root) {
        const std::string_view text = document->Text();
        std::string decided;
        WalkUrls(*root, kinds, [&](const SUrlHit& hit) {
            decided.clear();
            if (!decide(hit.mPlace->mKind, hit.Url(), decided)) return;
            const std::string_view data = hit.mHolder->Data();
            const bool whole = hit.mPlace->mShape == EValueShape::Whole ||
                               (hit.mSpan.mStart == 0 && hit.mSpan.mLength == data.size());
            // The same bytes again change nothing: a whole value against all
            // its bytes (a NUL and what follows it included), a URL inside a
            // value against itself.
            if (hit.mPlace->mShape == EValueShape::Whole ? decided == data : decided == hit.Url()) return;
            std::size_t at = 0;
            const bool attribute = hit.mPlace->mAttribute != nullptr;
            char quote = 0;
            bool inPlace = PlaceIn(text, data.data(), at) && at + data.size() <= html.size();
            if (inPlace && attribute && at > 0 && (text[at - 1] == '"' || text[at - 1] == '\'')) quote = text[at - 1];
            // An empty value has no bytes that say where it is.
            if (data.empty()) inPlace = false;
            if (inPlace && !attribute && decided.find('<') != std::string::npos) inPlace = false;
            if (!inPlace) {
                ++result.leftAlone;
                return;
            }
            UrlEdit edit;
            edit.kind = hit.mPlace->mKind;
            if (hit.mPlace->mShape == EValueShape::Whole) {
                edit.offset = at;
                edit.length = data.size();
            } else {
                edit.offset = at + hit.mSpan.mStart;
                edit.length = hit.mSpan.mLength;
            }
            edit.replacement = attribute ? Written(decided, quote, whole) : decided;
            result.edits.push_back(std::move(edit));
            ++result.rewritten[static_cast<std::size_t>(hit.mPlace->mKind)];
        });
    }
    // The walk goes tag by tag, each tag's rows in table order: the edits of
    // one tag may come out of order, never overlapping.
    std::stable_sort(result.edits.begin(), result.edits.end(),
                     [](const UrlEdit& a, const UrlEdit& b) { return a.offset < b.offset; });
    std::size_t size = html.size();
    for (const UrlEdit& edit : result.edits) size = size - edit.length + edit.replacement.size();
    result.html.reserve(size);
    std::size_t copied = 0;
    for (const UrlEdit& edit : result.edits) {
        result.html.append(html.substr(copied, edit.offset - copied));
        result.html.append(edit.replacement);
        copied = edit.offset + edit.length;
    }
    result.html.append(html.substr(copied));
    return result;
}

}  // namespace

std::size_t KeptRewrite::Rewritten() const {
    std::size_t total = 0;
    for (const std::size_t count : rewritten) total += count;
    return total;
}

KeptRewrite RewriteKeepingBytes(std::string_view html, UrlKinds kinds, const UrlMap& map, bool rawText) {
    if (map.Size() == 0 && !map.HasPrefixRules()) kinds = UrlKinds();
    return Keep(html, kinds, rawText, [&](UrlKind, std::string_view url, std::string& out) {
        std::optional<std::string> decided = map.Apply(url);
        if (!decided) return false;
        out = std::move(*decided);
        return true;
    });
}

KeptRewrite RewriteKeepingBytes(std::string_view html, UrlKinds kinds, const UrlRewriter& rewriter, bool rawText) {
    if (!rewriter) kinds = UrlKinds();
    return Keep(html, kinds, rawText, DecideBy(rewriter));
}

}  // namespace kivoparse
