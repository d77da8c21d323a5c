#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kivoparse {

// Replaces every occurrence of search in text, each search starting again at
// the beginning, so an occurrence made by joining the bytes around a
// replacement goes too ("aabb" without "ab" is ""). search must be non-empty
// and replacement must not contain it.
std::string ReplaceAll(std::string text, const std::string& search, const std::string& replacement);

// ReplaceAll with an empty replacement, for one search text used many times
// (the document base): linear in the text whatever the search text is, also
// when it overlaps itself («aab» deleted from «aaab» leaves «a»).
class CTextDeleter {
public:
    explicit CTextDeleter(std::string search);

    const std::string& Search() const { return mSearch; }
    // text without every occurrence of the search text; steps grows by the
    // bytes looked at (at most a few per byte of text).
    std::string DeleteFrom(const std::string& text, std::uint64_t& steps) const;

private:
    std::string mSearch;
    std::vector<std::size_t> mBorder;  // longest proper border of each prefix
};

}  // namespace kivoparse
