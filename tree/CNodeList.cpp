#include "tree/CNodeList.h"

#include <cstring>

#include "tree/CParseNode.h"

namespace kivoparse {

CParseNode* CNodeList::FindByName(std::string_view name) const {
    for (CParseNode* node = mFirst; node; node = node->mNext) {
        const std::string_view candidate = node->Name();
        // A stored name matches up to its first NUL, as a C string would.
        if (candidate.size() >= name.size() && std::memcmp(candidate.data(), name.data(), name.size()) == 0 &&
            (candidate.size() == name.size() || candidate[name.size()] == '\0'))
            return node;
    }
    return nullptr;
}

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
