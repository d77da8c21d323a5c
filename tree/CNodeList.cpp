#include "tree/CNodeList.h"

#include <cstring>

#include "tree/CParseNode.h"

namespace kivoparse {

bool CNodeList::CheckLinks() const {
    if (!mFirst) return true;
    const CParseNode* prev = nullptr;
    for (const CParseNode* node = mFirst; node; node = node->mNext) {
        if (prev && node->mPrev != prev) return false;
        prev = node;
    }
    return mFirst->mPrev == prev;
}

}  // namespace kivoparse
