// The engine's image and link operations: the pass tables, run by the one
// collecting and rewriting walk of the tree.
#include "engine/CParsingEngine.h"
#include "links/CUrlMap.h"
#include "tree/AttributeValues.h"
#include "tree/CTagNode.h"

namespace kivoparse {

namespace {

// Images: every IMG source, then every INPUT source, then every background,
// so that an IMG source is found before the same URL as a background.
constexpr SAttributePass kImagePasses[] = {
    {KP_TAG_IMG, "src"},
    {KP_TAG_INPUT, "src"},
    {0, "background"},
};

constexpr SAttributePass kHrefPasses[] = {
    {KP_TAG_A, "href"},
};

template <std::size_t N>
CValueList Collect(CParseNode* root, const SAttributePass (&passes)[N]) {
    CValueList values;
    if (root) CollectAttributeValues(*root, passes, N, values);
    return values;
}

template <std::size_t N>
int Rewrite(CParseNode* root, const SAttributePass (&passes)[N], const CValueList& src, const CValueList& dest) {
    if (src.size() != dest.size()) return -1;
    if (root) RewriteAttributeValues(*root, passes, N, src, dest);
    return 0;
}

template <std::size_t N>
int Rewrite(CParseNode* root, const SAttributePass (&passes)[N], const CUrlMap& map) {
    if (!map.IsValid()) return -1;
    if (root) RewriteAttributeValues(*root, passes, N, map.Sources(), map.Destinations());
    return 0;
}

}  // namespace

CValueList CParsingEngine::GetImages() { return Collect(GetRoot(), kImagePasses); }

CValueList CParsingEngine::GetHrefs() { return Collect(GetRoot(), kHrefPasses); }

int CParsingEngine::FixImages(const CValueList& src, const CValueList& dest) {
    return Rewrite(GetRoot(), kImagePasses, src, dest);
}

int CParsingEngine::FixHrefs(const CValueList& src, const CValueList& dest) {
    return Rewrite(GetRoot(), kHrefPasses, src, dest);
}

int CParsingEngine::FixImages(const CUrlMap& map) { return Rewrite(GetRoot(), kImagePasses, map); }

int CParsingEngine::FixHrefs(const CUrlMap& map) { return Rewrite(GetRoot(), kHrefPasses, map); }

}  // namespace kivoparse
