#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tree/CValueList.h"
#include "tree/CompareNoCase.h"

namespace kivoparse {

// A hash index over a value list: for each text under ASCII case folding
// (up to its first NUL), the position of the first entry that has it. It
// answers "which entry would a front-to-back scan with _stricmp stop at" in
// constant expected time, so collecting and rewriting stay fast however
// long the lists get; the answers are exactly those of the scan. The list
// may grow while the index lives (entries appended are taken in at the next
// look-up); the index must not outlive it.
class CFoldedIndex {
public:
    explicit CFoldedIndex(const CValueList& list);
    CFoldedIndex(const CFoldedIndex&) = delete;
    CFoldedIndex& operator=(const CFoldedIndex&) = delete;
    ~CFoldedIndex();

    // Position of the first entry equal to text under folding, or npos.
    // text is taken whole: a caller cuts it at its first NUL if need be.
    std::size_t Find(std::string_view text);
    // Takes in every entry of the list now, so that FindIndexed answers for
    // all of them; afterwards the index can be read by several threads.
    void IndexAll() { Sync(); }
    // As Find, over the entries taken in so far; changes nothing.
    std::size_t FindIndexed(std::string_view text) const;

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    // One slot of the open-addressing table: the hash of an entry's folded
    // text and the entry's position plus one (0: the slot is free).
    struct SSlot {
        std::uint64_t mHash;
        std::size_t mPositionPlusOne;
    };

    std::uint64_t Hash(std::string_view text) const;
    // The slot that holds text's key, or the free slot where it would go.
    std::size_t Probe(std::uint64_t hash, std::string_view text) const;
    void Grow();
    // Takes in the entries appended since the last look-up (the list only
    // grows while a collection runs); a list that shrank is indexed anew.
    void Sync();

    const CValueList* mList;
    std::size_t mIndexed = 0;  // entries [0, mIndexed) are in the table
    std::size_t mUsed = 0;     // occupied slots
    std::vector<SSlot> mSlots;  // a power of two in size, at most half full
    std::uint64_t mSeed;
};

}  // namespace kivoparse
