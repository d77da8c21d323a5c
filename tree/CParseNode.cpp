#include "tree/CParseNode.h"

#include "links/CFoldedIndex.h"
#include "tree/CNodeList.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"
#include "tree/TreeWalk.h"

namespace kivoparse {

CParseNode::~CParseNode() { ClearChildren(); }

void CParseNode::ClearChildren() {
    if (!mChildren) return;
    std::vector<CParseNode*> pending{mChildren};
    mChildren = nullptr;
    DestroyOwned(pending);
}

void CParseNode::ReleaseOwned(std::vector<CParseNode*>& into) {
    if (mChildren) {
        into.push_back(mChildren);
        mChildren = nullptr;
    }
    if (mType == KP_NODE_TAG) {
        auto* tag = static_cast<CTagNode*>(this);
        if (tag->mProperties) {
            into.push_back(tag->mProperties);
            tag->mProperties = nullptr;
        }
    } else if (mType == KP_NODE_LIST) {
        auto* list = static_cast<CNodeList*>(this);
        while (std::unique_ptr<CParseNode> node = list->RemoveLast()) into.push_back(node.release());
    }
}

// Loop invariant: every node on the work list is owned by it alone and is
// in no list; a node is deleted only once it owns nothing, so no destructor
// below reaches another node.
void CParseNode::DestroyOwned(std::vector<CParseNode*>& pending) {
    while (!pending.empty()) {
        CParseNode* node = pending.back();
        pending.pop_back();
        node->ReleaseOwned(pending);
        delete node;
    }
}

// Collecting and rewriting visit every tag of the subtree in document order;
// each tag contributes only its own value, and its children follow it.
void CParseNode::GetAttributeValues(int tagType, const std::string& name, CValueList& values) {
    CFoldedIndex found(values);
    WalkTree(
        this,
        [&](CParseNode* node) {
            if (node->mType == KP_NODE_TAG)
                static_cast<const CTagNode*>(node)->CollectOwnValue(tagType, name, values, found);
            return true;
        },
        [](CParseNode*) {});
}

void CParseNode::FixAttributeValues(int tagType, const std::string& name, const CValueList& src,
                                    const CValueList& dest) {
    CFoldedIndex sources(src);
    WalkTree(
        this,
        [&](CParseNode* node) {
            if (node->mType == KP_NODE_TAG)
                static_cast<CTagNode*>(node)->FixOwnValue(tagType, name, dest, sources);
            return true;
        },
        [](CParseNode*) {});
}

CTextNode::~CTextNode() = default;
CCommentNode::~CCommentNode() = default;
CPropertyNode::~CPropertyNode() = default;

}  // namespace kivoparse
