#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "engine/CParsingEngine.h"
#include "links/CFoldedIndex.h"
#include "tree/TreeWalk.h"
#include "tree/CTagNode.h"

namespace kivoparse {

namespace {

// One pass over the tree: the elements of one tag type (0: every element)
// and the attribute whose value they contribute.
struct SLinkPass {
    int mTagType;
    const char* mAttribute;
};

// Images: every IMG source, then every INPUT source, then every background,
// so that an IMG source is found before the same URL as a background.
constexpr SLinkPass kImagePasses[] = {
    {KP_TAG_IMG, "src"},
    {KP_TAG_INPUT, "src"},
    {0, "background"},
};

constexpr SLinkPass kHrefPasses[] = {
    {KP_TAG_A, "href"},
};

// The passes of one operation share a single walk of the tree: each tag
// takes every pass in turn. For collecting, each pass fills a list of its
// own (document order, no duplicates), and the lists are joined in pass
// order, leaving out what an earlier pass found: the same list as running
// the passes one after another, at the cost of one walk instead of several.
template <std::size_t N>
CValueList Collect(CParseNode* root, const SLinkPass (&passes)[N]) {
    if (!root) return {};
    std::array<CValueList, N> lists;
    std::array<std::unique_ptr<CFoldedIndex>, N> found;
    std::array<std::string, N> names;
    for (std::size_t i = 0; i < N; ++i) {
        found[i] = std::make_unique<CFoldedIndex>(lists[i]);
        names[i] = passes[i].mAttribute;
    }
    WalkTree(
        root,
        [&](CParseNode* node) {
            if (node->mType == KP_NODE_TAG) {
                const auto* tag = static_cast<const CTagNode*>(node);
                for (std::size_t i = 0; i < N; ++i)
                    tag->CollectOwnValue(passes[i].mTagType, names[i], lists[i], *found[i]);
            }
            return true;
        },
        [](CParseNode*) {});

    CValueList values = std::move(lists[0]);
    CFoldedIndex all(values);
    for (std::size_t i = 1; i < N; ++i) {
        for (std::string& value : lists[i]) {
            if (all.Find(value.c_str()) == CFoldedIndex::npos) values.push_back(std::move(value));
        }
    }
    return values;
}

// The rewrite passes touch different properties (a tag has one type, a
// property one name), so one walk doing all of them at each tag rewrites
// exactly what the passes one after another would.
template <std::size_t N>
int Rewrite(CParseNode* root, const SLinkPass (&passes)[N], const CValueList& src, const CValueList& dest) {
    if (src.size() != dest.size()) return -1;
    if (!root || src.empty()) return 0;
    CFoldedIndex sources(src);
    std::array<std::string, N> names;
    for (std::size_t i = 0; i < N; ++i) names[i] = passes[i].mAttribute;
    WalkTree(
        root,
        [&](CParseNode* node) {
            if (node->mType == KP_NODE_TAG) {
                auto* tag = static_cast<CTagNode*>(node);
                for (std::size_t i = 0; i < N; ++i) tag->FixOwnValue(passes[i].mTagType, names[i], dest, sources);
            }
            return true;
        },
        [](CParseNode*) {});
    return 0;
}

}  // namespace

CValueList CParsingEngine::GetImages() { return Collect(mRoot, kImagePasses); }

CValueList CParsingEngine::GetHrefs() { return Collect(mRoot, kHrefPasses); }

int CParsingEngine::FixImages(const CValueList& src, const CValueList& dest) {
    return Rewrite(mRoot, kImagePasses, src, dest);
}

int CParsingEngine::FixHrefs(const CValueList& src, const CValueList& dest) {
    return Rewrite(mRoot, kHrefPasses, src, dest);
}

}  // namespace kivoparse
