// The Parser's URL operations beyond images and links: kinds, places, rule
// maps and callbacks, on the walk of links/UrlKinds.
#include <string>
#include <utility>

#include "api/Handles.h"
#include "kivoparse/kivoparse.h"
#include "links/UrlKinds.h"
#include "tree/CDocument.h"

namespace kivoparse {

namespace {

constexpr const char* kKindNames[kUrlKindCount] = {"images", "links", "resources", "frames", "media",
                                                   "areas",  "forms", "srcset",    "refresh", "css"};

}  // namespace

const char* UrlKindName(UrlKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < kUrlKindCount ? kKindNames[index] : "";
}

bool UrlKinds::Parse(std::string_view list, UrlKinds& kinds, std::string& error) {
    UrlKinds read;
    for (std::size_t start = 0;;) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) comma = list.size();
        const std::string_view word = list.substr(start, comma - start);
        bool known = word == "all";
        if (known) read = read | All();
        for (std::size_t i = 0; i < kUrlKindCount && !known; ++i) {
            if (word == kKindNames[i]) {
                read = read | static_cast<UrlKind>(i);
                known = true;
            }
        }
        if (!known) {
            error = word.empty() ? std::string("an empty kind in '") + std::string(list) + "'"
                                 : "unknown kind '" + std::string(word) +
                                       "' (kinds: images, links, resources, frames, media, areas, forms, srcset, "
                                       "refresh, css, all)";
            return false;
        }
        if (comma == list.size()) break;
        start = comma + 1;
    }
    kinds = read;
    return true;
}

UrlMap::UrlMap(std::vector<std::string> src, std::vector<std::string> dest,
               std::vector<std::pair<std::string, std::string>> prefixes) {
    auto map = std::make_shared<Table>(std::move(src), std::move(dest));
    for (auto& rule : prefixes) map->Prefixes().Add(rule.first, std::move(rule.second));
    mMap = std::move(map);
}

UrlMap UrlMap::ParseRules(std::string_view text) { return UrlMap(ReadMapFile(text, MapFormat::Rules).lines); }

UrlMap::UrlMap(std::vector<MapLine> lines) {
    CValueList src, dest;
    std::vector<std::pair<std::string, std::string>> prefixes;
    src.reserve(lines.size());
    dest.reserve(lines.size());
    for (MapLine& line : lines) {
        if (line.prefix) {
            prefixes.emplace_back(std::move(line.from), std::move(line.to));
        } else {
            src.push_back(std::move(line.from));
            dest.push_back(std::move(line.to));
        }
    }
    std::vector<MapLine>().swap(lines);  // gone before the old values are indexed
    *this = UrlMap(std::move(src), std::move(dest), std::move(prefixes));
}

std::vector<MapLine> UrlMap::Lines() const {
    std::vector<MapLine> lines;
    if (!mMap) return lines;
    const CValueList& src = mMap->SourceValues();
    const CValueList& dest = mMap->Destinations();
    lines.reserve(src.size() + mMap->Prefixes().Rules().size());
    for (std::size_t i = 0; i < src.size() && i < dest.size(); ++i) lines.push_back(MapLine{{}, src[i], dest[i], false, 0});
    for (const auto& rule : mMap->Prefixes().Rules()) lines.push_back(MapLine{{}, rule.first, rule.second, true, 0});
    return lines;
}

bool UrlMap::HasPrefixRules() const { return mMap && !mMap->Prefixes().Empty(); }

std::optional<std::string> UrlMap::Apply(std::string_view url) const {
    std::string out;
    if (!mMap || !mMap->Apply(url, out)) return std::nullopt;
    return out;
}

std::vector<std::string> Parser::GetUrls(UrlKinds kinds) {
    const CDocument* document = Ctrl().Document();
    return document ? CollectUrls(*document, kinds) : std::vector<std::string>();
}

std::vector<UrlOccurrence> Parser::GetUrlOccurrences(UrlKinds kinds) {
    const CDocument* document = Ctrl().Document();
    return document ? ListUrls(*document, kinds) : std::vector<UrlOccurrence>();
}

// A table's validity was settled when it was made: -1 for one of lists of
// different lengths, whatever the document.
int Parser::Rewrite(UrlKinds kinds, const UrlMap& map) {
    if (!map.mMap) return 0;
    if (!map.mMap->IsValid()) return -1;
    if (CDocument* document = Ctrl().Document()) RewriteUrls(*document, kinds, DecideBy(*map.mMap));
    return 0;
}

int Parser::Rewrite(UrlKinds kinds, const UrlRewriter& rewriter) {
    CDocument* document = Ctrl().Document();
    if (document && rewriter) RewriteUrls(*document, kinds, DecideBy(rewriter));
    return 0;
}

// Images from one table and links from the other in one walk: the kinds
// hold different attributes, so the walk gives what two rewrites would.
int Parser::Rewrite(const UrlMap& images, const UrlMap& links) {
    if ((images.mMap && !images.mMap->IsValid()) || (links.mMap && !links.mMap->IsValid())) return -1;
    CDocument* document = Ctrl().Document();
    if (!document || (!images.mMap && !links.mMap)) return 0;
    RewriteUrls(*document, UrlKinds(UrlKind::Image) | UrlKind::Link,
                [&images, &links](UrlKind kind, std::string_view url, std::string& out) {
                    const UrlMap& map = kind == UrlKind::Image ? images : links;
                    return map.mMap && map.mMap->Apply(url, out);
                });
    return 0;
}

}  // namespace kivoparse

namespace kivoparse {

namespace {

// Calls found(tag) for each start tag of the tree, in document order.
template <class Found>
void EachTag(const CDocument* document, Found found) {
    if (!document) return;
    CParseNode* root = document->Root();
    WalkTree(
        root,
        [&](CParseNode* node) {
            if (node->mType == KP_NODE_TAG) return found(*static_cast<CTagNode*>(node));
            return true;
        },
        [](CParseNode*) {});
}

}  // namespace

std::vector<std::string> Parser::GetAnchors() {
    std::vector<std::string> anchors;
    EachTag(Ctrl().Document(), [&anchors](CTagNode& tag) {
        if (const CParseNode* id = tag.Properties()->FindByName("id")) anchors.emplace_back(ValueOf(*id));
        if (tag.GetName() == "A") {
            if (const CParseNode* name = tag.Properties()->FindByName("name")) anchors.emplace_back(ValueOf(*name));
        }
        return true;
    });
    return anchors;
}

std::optional<std::string> Parser::GetBaseHref() {
    std::optional<std::string> base;
    EachTag(Ctrl().Document(), [&base](CTagNode& tag) {
        if (base) return false;
        if (tag.GetName() == "BASE") {
            if (const CParseNode* href = tag.Properties()->FindByName("href")) base.emplace(ValueOf(*href));
        }
        return !base;
    });
    return base;
}

}  // namespace kivoparse
