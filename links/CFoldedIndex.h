#pragma once
#include <cstddef>
#include <string_view>

#include "tree/CSeededTable.h"
#include "tree/CValueList.h"

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
    explicit CFoldedIndex(const CValueList& list) : mList(&list) {}
    CFoldedIndex(const CFoldedIndex&) = delete;
    CFoldedIndex& operator=(const CFoldedIndex&) = delete;

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
    std::uint64_t Hash(std::string_view text) const;
    // Takes in the entries appended since the last look-up (the list only
    // grows while a collection runs); a list that shrank is indexed anew.
    void Sync();

    const CValueList* mList;
    std::size_t mIndexed = 0;                // entries [0, mIndexed) are in the table
    CSeededTable<std::size_t> mPositions{16};  // folded text -> first position
};

}  // namespace kivoparse
