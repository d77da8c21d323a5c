// A site map's rewrites of a document, the tree a Parser holds or the bytes
// of its text: the document's own section first, then the pairs for every
// document.
#include <optional>
#include <string>

#include <kivoparse/kivoparse.h>
#include <kivoparse/site.h>

#include "links/SiteMaps.h"

namespace kivoparse {

int SiteMap::Rewrite(Parser& parser, UrlKinds kinds, const std::string& document) const {
    const UrlMap* section = mMaps->Section(document);
    if (!section) return parser.Rewrite(kinds, mMaps->mAll);
    const UrlMap& own = *section;
    const UrlMap& all = mMaps->mAll;
    return parser.Rewrite(kinds, [&own, &all](UrlKind, std::string_view url) {
        std::optional<std::string> value = own.Apply(url);
        return value ? value : all.Apply(url);
    });
}

KeptRewrite SiteMap::RewriteKeepingBytes(std::string_view html, UrlKinds kinds, const std::string& document,
                                         bool rawText) const {
    const UrlMap* section = mMaps->Section(document);
    if (!section) return kivoparse::RewriteKeepingBytes(html, kinds, mMaps->mAll, rawText);
    const UrlMap& own = *section;
    const UrlMap& all = mMaps->mAll;
    return kivoparse::RewriteKeepingBytes(
        html, kinds,
        [&own, &all](UrlKind, std::string_view url) {
            std::optional<std::string> value = own.Apply(url);
            return value ? value : all.Apply(url);
        },
        rawText);
}

}  // namespace kivoparse
