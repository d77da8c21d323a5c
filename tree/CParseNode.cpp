#include "tree/CParseNode.h"

#include "tree/AttributeValues.h"
#include "tree/CNodeList.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"
#include "tree/TreeWalk.h"

namespace kivoparse {

CParseNode::CParseNode(int type) : mType(type) {}

CParseNode::~CParseNode() = default;

void CParseNode::ClearChildren() { mChildren.reset(); }

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

CTextNode::~CTextNode() = default;
CCommentNode::~CCommentNode() = default;
CPropertyNode::~CPropertyNode() = default;

}  // namespace kivoparse
