#include "tree/CParseNode.h"

#include "tree/AttributeValues.h"

namespace kivoparse {

// A single pass of the one collecting or rewriting walk.
void CParseNode::GetAttributeValues(int tagType, const std::string& name, CValueList& values) {
    const SAttributePass pass{tagType, name.c_str()};
    CollectAttributeValues(*this, &pass, 1, values);
}

void CParseNode::FixAttributeValues(int tagType, const std::string& name, const CValueList& src,
                                    const CValueList& dest) {
    const SAttributePass pass{tagType, name.c_str()};
    RewriteAttributeValues(*this, &pass, 1, src, dest);
}

}  // namespace kivoparse
