#include "links/CDocumentBase.h"

#include <utility>

#include "links/UrlKinds.h"
#include "tree/CPropertyNode.h"

namespace kivoparse {

// An empty base is never applied: it looks up no rows.
CDocumentBase::CDocumentBase(std::string base) : mDeleter(std::move(base)) {
    if (!IsEmpty()) mImageRows = RowsOf(UrlKinds(UrlKind::Image));
}

std::string CDocumentBase::Apply(std::string_view value, std::uint64_t& work) const {
    work += value.size();
    return mDeleter.DeleteFrom(ReplaceAll(std::string(value), "\\", "/"), work);
}

// Row by row in table order (IMG src, INPUT src, background): a tag's
// attribute goes through once, whichever of its rows finds it.
void CDocumentBase::Apply(CTagNode& tag, CTreeBuilder& builder) const {
    const std::vector<SUrlPlace>& places = UrlPlaces();
    for (const std::size_t row : mImageRows) {
        const SUrlPlace& place = places[row];
        if (!TagMatches(tag, place) || !RowApplies(tag, place)) continue;
        CParseNode* property = tag.Properties()->FindByName(place.mAttribute);
        if (!property) continue;
        std::uint64_t work = 0;
        const std::string value = Apply(property->Data(), work);
        builder.CountWork(work);
        property->SetData(builder.Document(), value.data(), value.size());
    }
}

}  // namespace kivoparse
