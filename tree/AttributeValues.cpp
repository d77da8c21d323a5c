#include "tree/AttributeValues.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tree/CFoldedIndex.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "tree/TreeWalk.h"

namespace kivoparse {

namespace {

// The tag's own step of a pass: the first property of the pass's name, if
// the tag passes the type filter.
CParseNode* PassProperty(const CTagNode& tag, const SAttributePass& pass) {
    if (pass.mTagType != 0 && pass.mTagType != tag.GetTagType()) return nullptr;
    return tag.Properties()->FindByName(pass.mAttribute);
}

// Calls step(tag, pass index) for every tag of top's subtree in document
// order, each tag taking every pass in turn.
template <class Step>
void WalkTags(CParseNode& top, std::size_t count, Step step) {
    WalkTree(
        &top,
        [&](CParseNode* node) {
            if (node->mType == KP_NODE_TAG) {
                for (std::size_t i = 0; i < count; ++i) step(*static_cast<CTagNode*>(node), i);
            }
            return true;
        },
        [](CParseNode*) {});
}

}  // namespace

// Each pass fills a list of its own (document order, no duplicates), and
// the lists are joined in pass order, leaving out what is there already:
// the list that running the passes one after another gives, in one walk.
// Values are read through GetData, so they end at their first NUL; an
// attribute written bare contributes "".
void CollectAttributeValues(CParseNode& top, const SAttributePass* passes, std::size_t count, CValueList& values) {
    std::vector<CValueList> lists(count);
    std::vector<std::unique_ptr<CFoldedIndex>> found;
    for (const CValueList& list : lists) found.push_back(std::make_unique<CFoldedIndex>(list));
    WalkTags(top, count, [&](const CTagNode& tag, std::size_t i) {
        const CParseNode* property = PassProperty(tag, passes[i]);
        if (!property) return;
        const std::string_view value = UpToNul(property->Data());
        if (found[i]->Find(value) == CFoldedIndex::npos) lists[i].emplace_back(value);
    });

    CFoldedIndex all(values);
    for (CValueList& list : lists) {
        for (std::string& value : list) {
            if (all.Find(UpToNul(value)) == CFoldedIndex::npos) values.push_back(std::move(value));
        }
    }
}

// Every change is prepared first, with its own copy of the new value; only
// then are the values exchanged, which cannot fail. A property keeps its
// name, place and has-value flag, so a bare attribute stays bare.
void RewriteAttributeValues(CParseNode& top, const SAttributePass* passes, std::size_t count,
                            const CValueList& src, const CValueList& dest) {
    if (src.empty()) return;
    CFoldedIndex sources(src);
    sources.IndexAll();
    RewriteAttributeValues(top, passes, count, sources, dest);
}

void RewriteAttributeValues(CParseNode& top, const SAttributePass* passes, std::size_t count,
                            const CFoldedIndex& sources, const CValueList& dest) {
    if (dest.empty()) return;
    std::vector<std::pair<CParseNode*, SNodeBytes>> changes;
    WalkTags(top, count, [&](const CTagNode& tag, std::size_t i) {
        CParseNode* property = PassProperty(tag, passes[i]);
        if (!property) return;
        const std::size_t at = sources.FindIndexed(UpToNul(property->Data()));
        if (at != CFoldedIndex::npos && at < dest.size())
            changes.emplace_back(property, property->Store()->Prepare(dest[at]));
    });
    for (auto& change : changes) change.first->TakeData(change.second);
}

}  // namespace kivoparse
