#pragma once
#include <cstddef>
#include <set>

#include "tree/CParseNode.h"

namespace kivoparse {

// Compares two NUL-terminated texts as _stricmp does, with ASCII folding
// only: A to Z match a to z, every other byte stands for itself, and the
// comparison ends at the first NUL. No locale is consulted.
int CompareNoCase(const char* a, const char* b);

// An ordered index over a value list: for each text under ASCII case
// folding (up to its first NUL), the position of the first entry that has
// it. It answers "which entry would a front-to-back scan with _stricmp stop
// at" in logarithmic time, so collecting and rewriting stay fast however
// long the lists get; the answers are exactly those of the scan.
//
// While an index is alive it is registered for its list on the current
// thread, and the tag's own collection and rewriting steps use it for that
// list (see FindNoCase). Indexes nest; each must die on the thread that
// made it, in reverse order of construction, which a local variable does.
class CFoldedIndex {
public:
    explicit CFoldedIndex(const CValueList& list);
    CFoldedIndex(const CFoldedIndex&) = delete;
    CFoldedIndex& operator=(const CFoldedIndex&) = delete;
    ~CFoldedIndex();

    // Position of the first entry equal to text under folding, or npos.
    std::size_t Find(const char* text);

    // The index registered for list on this thread, or null.
    static CFoldedIndex* ActiveFor(const CValueList& list);

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    // Orders entry positions by their folded text; a bare text can be
    // looked up without being put into the list first.
    struct SFoldedLess {
        using is_transparent = void;
        const CValueList* mList;
        bool operator()(std::size_t a, std::size_t b) const;
        bool operator()(std::size_t a, const char* b) const;
        bool operator()(const char* a, std::size_t b) const;
    };

    // Takes in the entries appended since the last look-up (the list only
    // grows while a collection runs); a list that shrank is indexed anew.
    void Sync();

    const CValueList* mList;
    std::size_t mIndexed = 0;
    std::set<std::size_t, SFoldedLess> mFirst;
    CFoldedIndex* mOuter;  // the index registered before this one
};

// Position of the first entry of list equal to text under ASCII folding,
// or CFoldedIndex::npos: through the list's registered index if it has one,
// else by scanning from the front.
std::size_t FindNoCase(const CValueList& list, const char* text);

}  // namespace kivoparse
