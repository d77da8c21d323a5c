#include "tree/CNodeList.h"

#include "tree/CTagNode.h"

#include <cassert>
#include <cstring>

namespace kivoparse {

void CNodeList::AddChild(std::unique_ptr<CParseNode> owned, bool atEnd) {
    assert(owned && owned->mPrev == nullptr && owned->mNext == nullptr);
    CParseNode* node = owned.release();
    node->ResetLinks();
    if (!mFirst) {
        mFirst = mLast = node;
    } else if (atEnd) {
        node->mPrev = mLast;
        mLast->mNext = node;
        mLast = node;
    } else {
        node->mNext = mFirst;
        mFirst->mPrev = node;
        mFirst = node;
    }
}

CParseNode* CNodeList::Next() {
    CParseNode* node = mCursor;
    if (node) mCursor = node->mNext;
    return node;
}

std::unique_ptr<CParseNode> CNodeList::RemoveLast() {
    if (!mLast) return nullptr;
    return Remove(mLast);
}

std::unique_ptr<CParseNode> CNodeList::Remove(CParseNode* node) {
    assert(node);
    // A cursor on the node moves past it, so a walk never reads a node the
    // list no longer owns.
    if (mCursor == node) mCursor = node->mNext;
    if (node->mPrev) node->mPrev->mNext = node->mNext; else mFirst = node->mNext;
    if (node->mNext) node->mNext->mPrev = node->mPrev; else mLast = node->mPrev;
    node->ResetLinks();
    return std::unique_ptr<CParseNode>(node);
}

CParseNode* CNodeList::FindByName(const char* name, std::size_t length) const {
    // A name shorter than the one sought is passed over without a compare;
    // a stored name matches up to its first NUL, as a C string would.
    for (CParseNode* node = mFirst; node; node = node->mNext) {
        const std::string& candidate = node->mName;
        if (candidate.size() >= length && std::memcmp(candidate.data(), name, length) == 0 &&
            (candidate.size() == length || candidate[length] == '\0'))
            return node;
    }
    return nullptr;
}

bool CNodeList::CheckLinks() const {
    if ((mFirst == nullptr) != (mLast == nullptr)) return false;
    if (mFirst && mFirst->mPrev) return false;
    const CParseNode* prev = nullptr;
    for (const CParseNode* node = mFirst; node; node = node->mNext) {
        if (node->mPrev != prev) return false;
        prev = node;
    }
    return prev == mLast;
}

void CNodeList::Dump(std::FILE* out) {
    for (CParseNode* node = mFirst; node; node = node->mNext) node->Dump(out);
}

CNodeList::~CNodeList() {
    CParseNode* chain = mFirst;
    mFirst = mLast = mCursor = nullptr;
    DestroyChain(chain);
}

void CNodeList::DestroyChain(CParseNode* head) noexcept {
    const auto splice = [&head](CNodeList* list) {
        if (!list || !list->mFirst) return;
        list->mLast->mNext = head;
        head = list->mFirst;
        list->mFirst = list->mLast = list->mCursor = nullptr;
    };
    while (head) {
        CParseNode* node = head;
        head = node->mNext;
        node->ResetLinks();
        splice(node->mChildren.get());
        if (node->mType == KP_NODE_TAG) splice(static_cast<CTagNode*>(node)->Properties());
        if (node->mType == KP_NODE_LIST) splice(static_cast<CNodeList*>(node));
        // Owns only empty lists now: its destructor reaches no other node.
        std::unique_ptr<CParseNode> last(node);
    }
}

}  // namespace kivoparse
