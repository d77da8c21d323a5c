#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tree/CSeededTable.h"

namespace kivoparse {

class CParseNode;
class CTagNode;

// The open start tags of the root's child list, in list order, and for
// each kind an end tag matches them by (the tag type when classified, the
// name when not) the nearest one. An end tag thus finds its start tag
// without walking back over the nodes between, and one whose kind has no
// open start tag is known to match nothing. The nodes that stop an end tag
// from moving the nodes after its start tag in one splice (a property, a
// fresh end tag) are kept in the same order.
//
// The list only ever grows at its end and loses nodes from its end (an end
// tag folds the nodes after its start tag into it), so the index is a
// stack: every node enters and leaves it once.
class COpenTagIndex {
public:
    COpenTagIndex();

    // node joined the list at its end / left it from its end; nodes the
    // index does not keep are ignored.
    void Added(const CParseNode& node);
    void Removed(const CParseNode& node);
    // Where the nearest open start tag that a fresh end tag matches is kept
    // (by its type, or for type 0 its name without the "/"): a position from
    // 1, or 0 when there is none.
    std::uint32_t Nearest(const CTagNode& endTag) const;
    bool MayMatch(const CTagNode& endTag) const { return Nearest(endTag) != 0; }
    // The start tag kept at a position Nearest gave.
    CTagNode* At(std::uint32_t position) const;
    // The tag at position and every node kept after it leave the index, as
    // when the nodes after that tag move into it; returns how many left.
    // Changes nothing and returns -1 when a node that stops a splice is
    // among them.
    long TakeFrom(std::uint32_t position);
    // Every node leaves the index.
    void Clear();

private:
    // The kinds: a node that stops a splice, the tag types (below 128), the
    // common tag names (see KnownNameIndex), then one for each other name of
    // an unclassified tag, numbered as first seen.
    static constexpr std::uint32_t kStopper = 0;
    static constexpr std::uint32_t kFirstName = 128;
    static constexpr std::uint32_t kNotKept = 0xffffffffu;
    // A node kept, its kind, and the position of the nearest node of its
    // kind before it (0 for none).
    struct SEntry {
        const CParseNode* mNode;
        std::uint32_t mKind;
        std::uint32_t mPrevious;
    };
    // A short name's bytes packed into a word (a name holds no NUL, so no
    // two share a word) and its kind.
    struct SShortName {
        std::uint64_t mWord;
        std::uint32_t mKind;
    };

    std::uint32_t KindOf(const CParseNode& node);
    // The kind of a name that is none of the common ones: AddName numbers a
    // new one, FindName gives kNotKept for it.
    std::uint32_t AddName(std::string_view name);
    std::uint32_t FindName(std::string_view name) const;
    void Pop();

    std::vector<SEntry> mEntries;
    // The position of the nearest node of each kind (0 for none).
    std::vector<std::uint32_t> mTops;
    // Names of up to 8 bytes by their word; longer names by the string.
    CSeededTable<SShortName> mShort{64};
    std::unordered_map<std::string, std::uint32_t> mByName;
};

}  // namespace kivoparse
