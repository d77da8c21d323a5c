#include "links/UrlKinds.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "links/CFoldedIndex.h"
#include "links/CUrlMap.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "links/CompareNoCase.h"
#include "tree/TreeWalk.h"

namespace kivoparse {

// The image and link rows select by tag type, as their passes do. The others by
// name, white space at its end ignored: "<link\n href=...>" keeps the line
// feed and the indent in its name.
bool TagMatches(const CTagNode& tag, const SUrlPlace& place) {
    if (place.mTagType != 0) return tag.CParseNode::GetTagType() == place.mTagType;
    if (!place.mTag) return true;
    std::string_view name = tag.GetName();
    while (!name.empty() && (name.back() == ' ' || name.back() == '\n' || name.back() == '\r')) name.remove_suffix(1);
    return name == place.mTag;
}

namespace {

// A META refresh: its http-equiv, white space around it ignored, is
// "refresh" in any letter case.
bool IsRefresh(const CTagNode& tag) {
    const CParseNode* equiv = tag.Properties()->FindByName("http-equiv");
    if (!equiv) return false;
    std::string_view value = ValueOf(*equiv);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.front() == '\n' ||
                              value.front() == '\r' || value.front() == '\f'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\n' ||
                              value.back() == '\r' || value.back() == '\f'))
        value.remove_suffix(1);
    return EqualsNoCase(value, "refresh");
}

}  // namespace

bool RowApplies(const CTagNode& tag, const SUrlPlace& place) {
    return place.mKind != UrlKind::Refresh || IsRefresh(tag);
}

std::vector<std::size_t> RowsOf(UrlKinds kinds) {
    std::vector<std::size_t> rows;
    const std::vector<SUrlPlace>& places = UrlPlaces();
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (kinds.Has(places[i].mKind)) rows.push_back(i);
    }
    return rows;
}

void ScanValue(EValueShape shape, std::string_view value, std::vector<SSpan>& spans) {
    switch (shape) {
        case EValueShape::Whole: spans.push_back(SSpan{0, value.size()}); break;
        case EValueShape::Srcset: ScanSrcset(value, spans); break;
        case EValueShape::Refresh: ScanRefresh(value, spans); break;
        case EValueShape::Css: ScanCss(value, spans); break;
    }
}

const std::vector<SUrlPlace>& UrlPlaces() {
    static const std::vector<SUrlPlace> places = {
        // The image and link kinds, with the tag types of their passes.
        {UrlKind::Image, KP_TAG_IMG, nullptr, "src", EValueShape::Whole},
        {UrlKind::Image, KP_TAG_INPUT, nullptr, "src", EValueShape::Whole},
        {UrlKind::Image, 0, nullptr, "background", EValueShape::Whole},
        {UrlKind::Link, KP_TAG_A, nullptr, "href", EValueShape::Whole},
        {UrlKind::Resource, 0, "LINK", "href", EValueShape::Whole},
        {UrlKind::Resource, 0, "SCRIPT", "src", EValueShape::Whole},
        {UrlKind::Frame, 0, "IFRAME", "src", EValueShape::Whole},
        {UrlKind::Frame, 0, "FRAME", "src", EValueShape::Whole},
        {UrlKind::Media, 0, "EMBED", "src", EValueShape::Whole},
        {UrlKind::Media, 0, "SOURCE", "src", EValueShape::Whole},
        {UrlKind::Media, 0, "TRACK", "src", EValueShape::Whole},
        {UrlKind::Media, 0, "AUDIO", "src", EValueShape::Whole},
        {UrlKind::Media, 0, "VIDEO", "src", EValueShape::Whole},
        {UrlKind::Media, 0, "VIDEO", "poster", EValueShape::Whole},
        {UrlKind::Media, 0, "OBJECT", "data", EValueShape::Whole},
        {UrlKind::Area, 0, "AREA", "href", EValueShape::Whole},
        {UrlKind::Form, 0, "FORM", "action", EValueShape::Whole},
        {UrlKind::Srcset, 0, "IMG", "srcset", EValueShape::Srcset},
        {UrlKind::Srcset, 0, "SOURCE", "srcset", EValueShape::Srcset},
        {UrlKind::Refresh, 0, "META", "content", EValueShape::Refresh},
        {UrlKind::Css, 0, nullptr, "style", EValueShape::Css},
        {UrlKind::Css, 0, "STYLE", nullptr, EValueShape::Css},
    };
    return places;
}


// Each row fills a list of its own in document order, and the lists are
// joined in row order, leaving out what is there already: for the image
// rows exactly the image passes run one after another.
// The walk only reads the tree when it collects.
std::vector<std::string> CollectUrls(const CDocument& document, UrlKinds kinds) {
    std::vector<std::vector<std::string_view>> rows(UrlPlaces().size());
    WalkUrls(*document.Root(), kinds, [&](const SUrlHit& hit) { rows[hit.mRow].push_back(hit.Url()); });
    std::vector<std::string> values;
    CFoldedIndex found(values);
    for (const auto& row : rows) {
        for (const std::string_view url : row) {
            if (found.Find(url) == CFoldedIndex::npos) values.emplace_back(url);
        }
    }
    return values;
}

namespace {

// Where bytes lie in text, if they are a view into it.
bool OffsetIn(std::string_view text, const char* bytes, std::size_t& offset) {
    const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
    const auto at = reinterpret_cast<std::uintptr_t>(bytes);
    if (at < begin || at >= begin + text.size()) return false;
    offset = at - begin;
    return true;
}

// A value that is a view into the text gives its place for free. One that
// is not (stripped of the document base, rewritten) is placed at its
// attribute's name, or its tag's name, when those are views (they are when
// written in the case they are stored in), else at the place of the URL
// before; guessed tells that one was.
std::vector<UrlOccurrence> PlaceUrls(CParseNode& top, UrlKinds kinds, std::string_view text, bool& guessed) {
    std::vector<UrlOccurrence> found;
    std::size_t last = 0;
    WalkUrls(top, kinds, [&](const SUrlHit& hit) {
        std::size_t offset = last;
        if (OffsetIn(text, hit.mHolder->Data().data(), offset)) {
            offset += hit.mSpan.mStart;
        } else if (!(hit.mPlace->mAttribute && OffsetIn(text, hit.mHolder->Name().data(), offset)) &&
                   !OffsetIn(text, hit.mTag->Data().data(), offset)) {
            offset = last;
            guessed = true;
        }
        last = offset;
        std::string_view tag = hit.mTag->GetName();
        while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\n' || tag.back() == '\r')) tag.remove_suffix(1);
        found.push_back(UrlOccurrence{hit.mPlace->mKind, std::string(tag),
                                      hit.mPlace->mAttribute ? hit.mPlace->mAttribute : "", std::string(hit.Url()),
                                      offset, 0, 0});
    });
    return found;
}

}  // namespace

// A URL placed at the one before it is placed alike whatever kinds are
// asked for: the URLs of every kind are then placed, and the others
// dropped. Lines are counted only when there is a URL to place.
std::vector<UrlOccurrence> ListUrls(const CDocument& document, UrlKinds kinds) {
    CParseNode& top = *document.Root();
    const std::string_view text = document.Text();
    bool guessed = false;
    std::vector<UrlOccurrence> found = PlaceUrls(top, kinds, text, guessed);
    if (guessed && !(kinds == UrlKinds::All())) {
        found = PlaceUrls(top, UrlKinds::All(), text, guessed);
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [kinds](const UrlOccurrence& o) { return !kinds.Has(o.kind); }),
                    found.end());
    }
    PlaceLines(text, found);
    return found;
}

void PlaceLines(std::string_view text, std::vector<UrlOccurrence>& found) {
    if (found.empty()) return;
    std::vector<std::size_t> lineFeeds;
    for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1))
        lineFeeds.push_back(at);
    for (UrlOccurrence& occurrence : found) {
        const auto before = std::lower_bound(lineFeeds.begin(), lineFeeds.end(), occurrence.offset);
        occurrence.line = static_cast<std::size_t>(before - lineFeeds.begin()) + 1;
        occurrence.column = occurrence.offset - (before == lineFeeds.begin() ? 0 : *(before - 1) + 1) + 1;
    }
}

UrlDecision DecideBy(const CUrlMap& map) {
    return [&map](UrlKind, std::string_view url, std::string& out) { return map.Apply(url, out); };
}

UrlDecision DecideBy(const UrlRewriter& rewriter) {
    return [&rewriter](UrlKind kind, std::string_view url, std::string& out) {
        std::optional<std::string> decided = rewriter(kind, url);
        if (!decided || *decided == url) return false;
        out = std::move(*decided);
        return true;
    };
}

// The hits of one holder come one after another; a holder whose value
// changes gets one new value, prepared in the document before any is set.
void RewriteUrls(CDocument& document, UrlKinds kinds, const UrlDecision& decide) {
    std::vector<std::pair<CParseNode*, SNodeBytes>> changes;
    CParseNode* holder = nullptr;
    std::string value;  // the holder's new value, built as its URLs come
    std::size_t copied = 0;  // bytes of the holder's value accounted for in value
    bool changed = false;
    std::string replacement;
    auto finish = [&]() {
        if (holder && changed) {
            value.append(holder->Data().substr(copied));
            changes.emplace_back(holder, document.Prepare(value));
        }
    };
    WalkUrls(*document.Root(), kinds, [&](const SUrlHit& hit) {
        if (hit.mHolder != holder) {
            finish();
            holder = hit.mHolder;
            value.clear();
            copied = 0;
            changed = false;
        }
        replacement.clear();
        if (!decide(hit.mPlace->mKind, hit.Url(), replacement)) return;
        if (hit.mPlace->mShape == EValueShape::Whole) {
            // The whole value goes, as FixImages and FixHrefs replace it; the
            // same bytes again change nothing.
            if (replacement == holder->Data()) return;
            value = replacement;
            copied = holder->Data().size();
        } else {
            if (replacement == hit.Url()) return;
            value.append(holder->Data().substr(copied, hit.mSpan.mStart - copied));
            value.append(replacement);
            copied = hit.mSpan.mStart + hit.mSpan.mLength;
        }
        changed = true;
    });
    finish();
    for (auto& change : changes) change.first->TakeData(change.second);
}

}  // namespace kivoparse
