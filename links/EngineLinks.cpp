#include <cstddef>

#include "engine/CParsingEngine.h"
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

template <std::size_t N>
CValueList Collect(CParseNode* root, const SLinkPass (&passes)[N]) {
    CValueList values;
    if (!root) return values;
    for (const SLinkPass& pass : passes) root->GetAttributeValues(pass.mTagType, pass.mAttribute, values);
    return values;
}

// Lists of different lengths are refused before anything is touched (the
// control never gets this far with them).
template <std::size_t N>
int Rewrite(CParseNode* root, const SLinkPass (&passes)[N], const CValueList& src, const CValueList& dest) {
    if (src.size() != dest.size()) return -1;
    if (!root || src.empty()) return 0;
    for (const SLinkPass& pass : passes) root->FixAttributeValues(pass.mTagType, pass.mAttribute, src, dest);
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
