#include "links/CFoldedIndex.h"

#include "links/CompareNoCase.h"
#include "tree/CDocument.h"
#include "tree/HashMix.h"

namespace kivoparse {

std::uint64_t CFoldedIndex::Hash(std::string_view text) const {
    return Mix(FoldedHash(text, mPositions.Seed()) ^ mPositions.Seed());
}

void CFoldedIndex::Sync() {
    if (mList->size() < mIndexed) {
        mPositions.Clear();
        mIndexed = 0;
    }
    // Entries go in front to back and a key already present keeps its
    // position, so each key maps to the entry a scan would stop at.
    for (; mIndexed < mList->size(); ++mIndexed) {
        const std::string_view text = UpToNul((*mList)[mIndexed]);
        mPositions.FindOrAdd(
            Hash(text), [&](std::size_t at) { return EqualsNoCase(UpToNul((*mList)[at]), text); }, mIndexed);
    }
}

std::size_t CFoldedIndex::Find(std::string_view text) {
    Sync();
    return FindIndexed(text);
}

std::size_t CFoldedIndex::FindIndexed(std::string_view text) const {
    const std::size_t* at =
        mPositions.Find(Hash(text), [&](std::size_t found) { return EqualsNoCase(UpToNul((*mList)[found]), text); });
    return at ? *at : npos;
}

}  // namespace kivoparse
