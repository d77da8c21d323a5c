#pragma once
// Where each kind of URL lives: the table of (tag, attribute, kind), and the
// one walk that finds every URL of chosen kinds in a tree, in document
// order, as a span of the node that holds it. Collecting, listing with
// places and rewriting are built on this walk.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <kivoparse/kivoparse.h>

#include "links/UrlScan.h"
#include "tree/CDocument.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "tree/TreeWalk.h"

namespace kivoparse {

class CParseNode;
class CTagNode;
class CUrlMap;

// How a value holds its URL: whole (as the image and link kinds), or as
// spans found by a scanner.
enum class EValueShape : unsigned char { Whole, Srcset, Refresh, Css };

// One row of the table. A tag type other than 0 selects the tags of that
// type (the image and link rows, as their passes do); else mTag names the tag
// (upper case, never an end tag), or nullptr for any tag. A null
// mAttribute stands for the text of the element (STYLE).
struct SUrlPlace {
    UrlKind mKind;
    int mTagType;
    const char* mTag;
    const char* mAttribute;
    EValueShape mShape;
};

// The rows, kind by kind in UrlKind order, each kind's rows in the order
// its URLs are listed.
const std::vector<SUrlPlace>& UrlPlaces();

// One URL found: the node holding it (a property, or a STYLE element's
// text node), the tag, the row, and where it lies in the node's data.
struct SUrlHit {
    const SUrlPlace* mPlace;
    std::size_t mRow;  // index of mPlace in UrlPlaces()
    CTagNode* mTag;
    CParseNode* mHolder;
    SSpan mSpan;
    std::string_view mUrl;  // the span's bytes
    std::string_view Url() const { return mUrl; }
};

// Whether tag is one of place's tags (see SUrlPlace).
bool TagMatches(const CTagNode& tag, const SUrlPlace& place);
// Whether tag's row applies: a META refresh needs http-equiv "refresh".
bool RowApplies(const CTagNode& tag, const SUrlPlace& place);
// Appends the URLs of a value of shape to spans.
void ScanValue(EValueShape shape, std::string_view value, std::vector<SSpan>& spans);
// A value as its URLs are read from it: up to its first NUL.
inline std::string_view ValueOf(const CParseNode& holder) { return UpToNul(holder.Data()); }
// The rows of the kinds, in table order.
std::vector<std::size_t> RowsOf(UrlKinds kinds);

// Calls found(hit) for each URL of the kinds in top's subtree, in document
// order (a tag's rows in table order, a value's URLs left to right). The one
// walk behind collecting, listing and rewriting, the image and link kinds
// included.
template <class Found>
void WalkUrls(CParseNode& top, UrlKinds kinds, Found found) {
    const std::vector<SUrlPlace>& places = UrlPlaces();
    const std::vector<std::size_t> rows = RowsOf(kinds);
    if (rows.empty()) return;
    std::vector<SSpan> spans;
    auto report = [&](const SUrlPlace& place, std::size_t row, CTagNode& tag, CParseNode& holder) {
        const std::string_view value = ValueOf(holder);
        if (place.mShape == EValueShape::Whole) {
            found(SUrlHit{&place, row, &tag, &holder, SSpan{0, value.size()}, value});
            return;
        }
        spans.clear();
        ScanValue(place.mShape, value, spans);
        for (const SSpan& span : spans)
            found(SUrlHit{&place, row, &tag, &holder, span, value.substr(span.mStart, span.mLength)});
    };
    WalkTree(
        &top,
        [&](CParseNode* node) {
            if (node->mType != KP_NODE_TAG) return true;
            auto& tag = *static_cast<CTagNode*>(node);
            for (const std::size_t row : rows) {
                const SUrlPlace& place = places[row];
                if (!TagMatches(tag, place)) continue;
                if (!place.mAttribute) {
                    for (CParseNode* child = tag.Children()->GetFirst(); child; child = child->NextSibling()) {
                        if (child->mType == KP_NODE_TEXT && child->Name() == "TEXT NODE")
                            report(place, row, tag, *child);
                    }
                    continue;
                }
                CParseNode* property = tag.Properties()->FindByName(place.mAttribute);
                if (property && RowApplies(tag, place)) report(place, row, tag, *property);
            }
            return true;
        },
        [](CParseNode*) {});
}

// The distinct URLs of the document (see Parser::GetUrls).
std::vector<std::string> CollectUrls(const CDocument& document, UrlKinds kinds);
// Every URL with its place in the document's text (see Parser::GetUrlOccurrences).
std::vector<UrlOccurrence> ListUrls(const CDocument& document, UrlKinds kinds);
// Sets the line and column of each occurrence from its offset in text.
void PlaceLines(std::string_view text, std::vector<UrlOccurrence>& found);
// What a rewrite does with one URL: true with its new value in out, or
// false to keep it. A map (exact pairs, rule map) or a caller's function.
using UrlDecision = std::function<bool(UrlKind kind, std::string_view url, std::string& out)>;
// The decision of a table: its pairs, then its prefix rules.
UrlDecision DecideBy(const CUrlMap& map);
// The decision of a caller's function; a URL it gives back unchanged is
// kept (a whole value holding a NUL would otherwise lose the bytes after
// it, which the URL stops at).
UrlDecision DecideBy(const UrlRewriter& rewriter);

// Rewrites every URL of the kinds for which decide gives a new value (true,
// new value in out). Every change is prepared first; when decide throws or
// memory runs out nothing has changed.
void RewriteUrls(CDocument& document, UrlKinds kinds, const UrlDecision& decide);

}  // namespace kivoparse
