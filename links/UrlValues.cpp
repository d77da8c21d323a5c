// Collecting and rewriting URLs of one kind or of the seed's two kinds
// together: the table and the walk of links/UrlKinds.
#include "links/UrlValues.h"

#include <kivoparse/kivoparse.h>

#include <cassert>
#include <string>

#include "links/CFoldedIndex.h"
#include "links/CUrlMap.h"
#include "links/UrlKinds.h"

namespace kivoparse {

namespace {

bool HasWork(const CUrlMap* map) { return map && !map->Destinations().empty(); }

}  // namespace

CValueList CollectUrls(const CDocument& document, EUrlKind kind) {
    return CollectUrls(document, UrlKinds(static_cast<UrlKind>(kind)));
}

int RewriteUrls(CDocument& document, EUrlKind kind, const CUrlMap& map) {
    assert(kind == EUrlKind::Images || kind == EUrlKind::Links);
    return kind == EUrlKind::Images ? RewriteUrls(document, &map, nullptr) : RewriteUrls(document, nullptr, &map);
}

// The kinds touch different attributes, so one walk gives what two would.
// Every change is prepared first (RewriteUrls of links/UrlKinds), so either
// all are made or none.
int RewriteUrls(CDocument& document, const CUrlMap* images, const CUrlMap* links) {
    if ((images && !images->IsValid()) || (links && !links->IsValid())) return -1;
    UrlKinds kinds;
    if (HasWork(images)) kinds = kinds | UrlKind::Image;
    if (HasWork(links)) kinds = kinds | UrlKind::Link;
    if (kinds.Empty()) return 0;
    RewriteUrls(document, kinds, [&](EUrlKind kind, std::string_view url, std::string& out) {
        const CUrlMap& map = kind == EUrlKind::Images ? *images : *links;
        const std::size_t at = map.Sources().FindIndexed(url);
        if (at == CFoldedIndex::npos || at >= map.Destinations().size()) return false;
        out = map.Destinations()[at];
        return true;
    });
    return 0;
}

}  // namespace kivoparse
