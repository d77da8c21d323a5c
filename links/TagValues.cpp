#include <climits>

#include "links/CFoldedIndex.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"

namespace kivoparse {

// The tag's own step of a collection pass: the first property called name,
// if this tag passes the filter, adds its value unless the list already
// holds it in some letter case. The walker visits the children after it.
// Values are read through GetData, so they end at their first NUL.
void CTagNode::CollectOwnValue(int tagType, const std::string& name, CValueList& values,
                               CFoldedIndex& found) const {
    if (tagType != 0 && tagType != mTagType) return;
    if (!mProperties) return;
    const CParseNode* property = mProperties->FindByName(name.c_str());
    if (!property) return;
    const char* value = property->GetData();  // "" for an attribute written bare
    if (found.Find(value) == CFoldedIndex::npos) values.emplace_back(value);
}

// The tag's own step of a rewrite pass: the first property called name, if
// this tag passes the filter, takes the replacement of the first source
// entry equal to its value in some letter case. The replacement goes in
// whole and unchanged; the property keeps its name, place and has-value
// flag, so a bare attribute stays bare when written.
void CTagNode::FixOwnValue(int tagType, const std::string& name, const CValueList& dest,
                           CFoldedIndex& sources) {
    if (tagType != 0 && tagType != mTagType) return;
    if (!mProperties) return;
    CParseNode* property = mProperties->FindByName(name.c_str());
    if (!property) return;
    const std::string value = property->GetData();  // a copy: SetData replaces the text
    const std::size_t i = sources.Find(value.c_str());
    if (i == CFoldedIndex::npos || i >= dest.size()) return;
    const std::string& replacement = dest[i];
    // A node holds at most UINT_MAX bytes; longer replacements cannot come
    // through the control, whose inputs share the parse's 32-bit limit.
    const auto length = static_cast<unsigned int>(
        replacement.size() < UINT_MAX ? replacement.size() : UINT_MAX);
    property->SetData(replacement.data(), length);
}

}  // namespace kivoparse
