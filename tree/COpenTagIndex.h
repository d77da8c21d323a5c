#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "tree/CSeededTable.h"

namespace kivoparse {

class CParseNode;

// Counts the open start tags in the root's child list by the kind an end
// tag matches them by: the tag type when classified, the name when not.
// When the count for an end tag's kind is 0, the end tag matches nothing
// and the list need not be walked; without it, every stray end tag would
// walk the whole list of the root.
class COpenTagIndex {
public:
    // node joined / left the list, or was closed; nodes that are not open
    // tags are ignored.
    void Added(const CParseNode& node) { Count(node, +1); }
    void Removed(const CParseNode& node) { Count(node, -1); }
    // Whether an open tag of this type (or, for type 0, this name) is there.
    bool MayMatch(int tagType, std::string_view endName) const;

private:
    // A short name's bytes packed into a word (a name holds no NUL, so no
    // two share a word) and its count.
    struct SShortName {
        std::uint64_t mWord;
        long mCount;
    };

    void Count(const CParseNode& node, int delta);
    long& CountOf(std::string_view name);

    std::array<long, 128> mByType{};  // the table's codes are below 128
    // Names of up to 8 bytes by their word; longer names by the string.
    CSeededTable<SShortName> mShort{64};
    std::unordered_map<std::string, long> mByName;
};

}  // namespace kivoparse
