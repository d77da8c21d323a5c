#pragma once
// Reads the text of a rule map: the map file's "old<TAB>new" lines, where
// a trailing "*" of the old value makes a prefix rule.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <kivoparse/kivoparse.h>

#include "tree/CValueList.h"

namespace kivoparse {

struct SRuleMap {
    CValueList mSrc;
    CValueList mDest;
    std::vector<std::pair<std::string, std::string>> mPrefixes;
};

// One pair per line; the first TAB splits; an empty last line is ignored;
// every other byte (CR and NUL too) belongs to the values. At the end of
// either value the "*" are read in pairs, "**" standing for one "*"; one
// "*" left over ends the old value of a prefix rule, and marks where the
// rest of the matched value goes at the end of its new value (where it may
// be left out). False, with the line (from 1) and the reason, for a line
// without TAB, an empty prefix, or a leftover "*" on the new value of an
// exact pair.
// A line "@kinds LIST" (no TAB) says which kinds of URL the map was made
// for; it holds no pair, and a LIST that is no list of kinds is an error.
bool ParseRuleMap(std::string_view text, SRuleMap& map, std::size_t& errorLine, std::string& message);

// Whether line (without its line feed) is an "@kinds LIST" line, and its LIST
// (a CR at its end dropped).
inline bool IsKindsLine(std::string_view line) {
    return line.compare(0, 7, "@kinds ") == 0 && line.find('\t') == std::string_view::npos;
}
inline std::string_view KindsOfLine(std::string_view line) {
    line.remove_prefix(7);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

}  // namespace kivoparse
