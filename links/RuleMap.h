#pragma once
// Reads the text of a rule map: the map file's "old<TAB>new" lines, where
// a trailing "*" of the old value makes a prefix rule.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
bool ParseRuleMap(std::string_view text, SRuleMap& map, std::size_t& errorLine, std::string& message);

}  // namespace kivoparse
