#include "links/CDocumentBase.h"

#include <utility>

#include "links/UrlKinds.h"
#include "tree/CPropertyNode.h"

namespace kivoparse {

// An empty base is never applied: it looks up no rows.
CDocumentBase::CDocumentBase(std::string base) : mDeleter(std::move(base)) {
    if (IsEmpty()) return;
    const std::vector<SUrlPlace>& places = UrlPlaces();
    for (const std::size_t row : RowsOf(UrlKinds(UrlKind::Image))) {
        const SUrlPlace& place = places[row];
        mImageRows.push_back(SImageRow{&place, place.mTagType, place.mTagType == 0 && !place.mTag, place.mAttribute});
    }
}

std::string CDocumentBase::Apply(std::string_view value, std::uint64_t& work) const {
    work += value.size();
    return mDeleter.DeleteFrom(ReplaceAll(std::string(value), "\\", "/"), work);
}

// Row by row in table order (IMG src, INPUT src, background): a tag's
// attribute goes through once, whichever of its rows finds it. The rows of
// a tag type or of every tag are matched here without a call (as
// TagMatches would).
void CDocumentBase::Apply(CTagNode& tag, CTreeBuilder& builder) const {
    const int type = tag.CParseNode::GetTagType();
    for (const SImageRow& row : mImageRows) {
        if (row.mTagType != 0 ? row.mTagType != type : !row.bAnyTag && !TagMatches(tag, *row.mPlace)) continue;
        CParseNode* property = tag.Properties()->FindByName(row.mAttribute);
        if (!property || !RowApplies(tag, *row.mPlace)) continue;
        std::uint64_t work = 0;
        const std::string value = Apply(property->Data(), work);
        builder.CountWork(work);
        property->SetData(builder.Document(), value.data(), value.size());
    }
}

}  // namespace kivoparse
