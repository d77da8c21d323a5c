#pragma once
#include <string>

namespace kivoparse {

// Replaces every occurrence of search in text, each search starting again at
// the beginning, so an occurrence made by joining the bytes around a
// replacement goes too ("aabb" without "ab" is ""). search must be non-empty
// and replacement must not contain it.
std::string ReplaceAll(std::string text, const std::string& search, const std::string& replacement);

}  // namespace kivoparse
