#include "tree/CTagNode.h"

#include "tree/CNodeList.h"
#include "tree/CPropertyNode.h"

namespace kivoparse {

namespace {

// Tag names are stored upper-case: ASCII a to z only, every other byte kept.
void AppendUpper(std::string& to, const char* bytes, unsigned int length) {
    const std::size_t start = to.size();
    to.append(bytes, length);
    for (std::size_t i = start; i < to.size(); ++i) {
        const char c = to[i];
        if (c >= 'a' && c <= 'z') to[i] = static_cast<char>(c - 'a' + 'A');
    }
}

}  // namespace

void CTagNode::AppendData(const char* bytes, unsigned int length) { AppendUpper(mData, bytes, length); }

void CTagNode::SetData(const char* bytes, unsigned int length) {
    mData.clear();
    AppendUpper(mData, bytes, length);
}

CTagNode::CTagNode() : CParseNode(KP_NODE_TAG) {}
CTagNode::~CTagNode() = default;

CPropertyNode* CTagNode::FindProperty(const char* name) const {
    return mProperties ? static_cast<CPropertyNode*>(mProperties->FindByName(name)) : nullptr;
}

}  // namespace kivoparse
