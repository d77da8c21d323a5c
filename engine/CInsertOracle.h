#pragma once
#include <cstdint>
#include <vector>

namespace kivoparse {

// Answers, without reading it, whether an insert block opened by the "|" at
// a given position will be abandoned (a fourth nested opening, or the end of
// the input) rather than completed. A block that is abandoned has its bytes
// read again, and a run such as «<||||...» reopens a block at every "|":
// reading each one to the end would make the parse quadratic. The answer
// depends only on the bytes after the "|", so one backward pass over the
// text settles it for every position and every scanner state.
class CInsertOracle {
public:
    CInsertOracle(const unsigned char* text, std::int32_t n);
    bool IsAbandoned(std::int32_t openingBar) const;

private:
    // Bit s of mAbandoned[p]: a scan that reads byte p in scanner state s
    // (nesting depth 1-3 times "<"/"|" flag 0-2) ends abandoned.
    std::vector<std::uint16_t> mAbandoned;
};

}  // namespace kivoparse
