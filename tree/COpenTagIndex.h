#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
    // One slot of the table of short names: the name's bytes packed into a
    // word (a name holds no NUL, so no two share a word) and its count.
    struct SSlot {
        std::uint64_t mWord;
        long mCount;
        bool mUsed;
    };

    void Count(const CParseNode& node, int delta);
    long& CountOf(std::string_view name);
    long* FindShort(std::uint64_t word) const;
    std::size_t SlotOf(std::uint64_t word) const;

    std::array<long, 128> mByType{};  // the table's codes are below 128
    // Names of up to 8 bytes in an open-addressing table, a power of two in
    // size and at most half full, probed from a seeded hash of the word;
    // longer names by the string.
    std::vector<SSlot> mShort;
    std::size_t mShortUsed = 0;
    std::uint64_t mSeed = 0;
    std::unordered_map<std::string, long> mByName;
};

}  // namespace kivoparse
