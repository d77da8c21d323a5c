// Collecting and rewriting URLs: one walk over the tags, with the passes of
// each kind.
#include "links/UrlValues.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "links/CFoldedIndex.h"
#include "links/CUrlMap.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "tree/TreeWalk.h"

namespace kivoparse {

namespace {

// One pass of a collection or a rewrite: the tags of one type (0: every
// tag) and the attribute whose value they contribute.
struct SAttributePass {
    int mTagType;
    const char* mAttribute;
};

// Images: every IMG source, then every INPUT source, then every background,
// so that an IMG source is found before the same URL as a background.
constexpr SAttributePass kImagePasses[] = {
    {KP_TAG_IMG, "src"},
    {KP_TAG_INPUT, "src"},
    {0, "background"},
};
constexpr SAttributePass kLinkPasses[] = {
    {KP_TAG_A, "href"},
};

struct SPasses {
    const SAttributePass* mPasses;
    std::size_t mCount;
};

SPasses PassesOf(EUrlKind kind) {
    if (kind == EUrlKind::Images) return {kImagePasses, std::size(kImagePasses)};
    return {kLinkPasses, std::size(kLinkPasses)};
}

// The tag's own step of a pass: the first property of the pass's name, if
// the tag passes the type filter.
CParseNode* PassProperty(const CTagNode& tag, const SAttributePass& pass) {
    if (pass.mTagType != 0 && pass.mTagType != tag.GetTagType()) return nullptr;
    return tag.Properties()->FindByName(pass.mAttribute);
}

// Calls step(tag) for every tag of top's subtree in document order.
template <class Node, class Step>
void WalkTags(Node& top, Step step) {
    WalkTree(
        &top,
        [&](Node* node) {
            if (node->mType == KP_NODE_TAG) step(*static_cast<const CTagNode*>(node));
            return true;
        },
        [](Node*) {});
}

// A rewrite's pending change: the property and its new value, made
// beforehand.
using Changes = std::vector<std::pair<CParseNode*, SNodeBytes>>;

// The changes that passes with map ask of tag.
void NoteChanges(const CTagNode& tag, SPasses passes, const CUrlMap& map, Changes& changes) {
    const CValueList& dest = map.Destinations();
    for (std::size_t i = 0; i < passes.mCount; ++i) {
        CParseNode* property = PassProperty(tag, passes.mPasses[i]);
        if (!property) continue;
        const std::size_t at = map.Sources().FindIndexed(UpToNul(property->Data()));
        if (at != CFoldedIndex::npos && at < dest.size())
            changes.emplace_back(property, property->Store()->Prepare(dest[at]));
    }
}

bool HasWork(const CUrlMap* map) { return map && !map->Destinations().empty(); }

}  // namespace

// Each pass fills a list of its own (document order, no duplicates), and
// the lists are joined in pass order, leaving out what is there already:
// the list that running the passes one after another gives, in one walk.
CValueList CollectUrls(const CParseNode& top, EUrlKind kind) {
    const SPasses passes = PassesOf(kind);
    std::vector<CValueList> lists(passes.mCount);
    std::vector<std::unique_ptr<CFoldedIndex>> found;
    for (const CValueList& list : lists) found.push_back(std::make_unique<CFoldedIndex>(list));
    WalkTags(top, [&](const CTagNode& tag) {
        for (std::size_t i = 0; i < passes.mCount; ++i) {
            const CParseNode* property = PassProperty(tag, passes.mPasses[i]);
            if (!property) continue;
            const std::string_view value = UpToNul(property->Data());
            if (found[i]->Find(value) == CFoldedIndex::npos) lists[i].emplace_back(value);
        }
    });

    CValueList values;
    CFoldedIndex all(values);
    for (CValueList& list : lists) {
        for (std::string& value : list) {
            if (all.Find(UpToNul(value)) == CFoldedIndex::npos) values.push_back(std::move(value));
        }
    }
    return values;
}

int RewriteUrls(CParseNode& top, EUrlKind kind, const CUrlMap& map) {
    return kind == EUrlKind::Images ? RewriteUrls(top, &map, nullptr) : RewriteUrls(top, nullptr, &map);
}

// Every change is prepared first, with its own copy of the new value; only
// then are the values exchanged, which cannot fail. A property keeps its
// name, place and has-value flag, so a bare attribute stays bare. The passes
// of the two kinds touch different attributes, so one walk gives what two
// would.
int RewriteUrls(CParseNode& top, const CUrlMap* images, const CUrlMap* links) {
    if ((images && !images->IsValid()) || (links && !links->IsValid())) return -1;
    const bool doImages = HasWork(images);
    const bool doLinks = HasWork(links);
    if (!doImages && !doLinks) return 0;
    Changes changes;
    WalkTags(top, [&](const CTagNode& tag) {
        if (doImages) NoteChanges(tag, PassesOf(EUrlKind::Images), *images, changes);
        if (doLinks) NoteChanges(tag, PassesOf(EUrlKind::Links), *links, changes);
    });
    for (auto& change : changes) change.first->TakeData(change.second);
    return 0;
}

}  // namespace kivoparse
