#pragma once
#include <cstdint>
#include <vector>

namespace kivoparse {

enum class EInsertEvent { None, Abandoned, Completed };

// The rule for one byte inside an insert block. "<" then "|" nests one
// level deeper (a fourth level abandons the block); "|" then ">" closes one
// level, and the block is complete when none is left. Spaces may stand
// between the two bytes of either pair: they leave pipeFlag alone (1 after
// "<", 2 after "|"). After a level closes the flag stays 2, so each further
// ">" that follows directly closes one more.
inline EInsertEvent ScanInsertByte(std::int32_t& depth, std::int32_t& pipeFlag, unsigned char c) {
    switch (c) {
    case '<':
        pipeFlag = 1;
        return EInsertEvent::None;
    case '|':
        if (pipeFlag != 1) {
            pipeFlag = 2;
            return EInsertEvent::None;
        }
        return ++depth == 4 ? EInsertEvent::Abandoned : EInsertEvent::None;
    case '>':
        if (pipeFlag != 2) {
            pipeFlag = 0;
            return EInsertEvent::None;
        }
        return --depth == 0 ? EInsertEvent::Completed : EInsertEvent::None;
    case ' ':
        return EInsertEvent::None;
    default:
        pipeFlag = 0;
        return EInsertEvent::None;
    }
}

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
    // Bit p: a block whose content begins at byte p is abandoned. The pass
    // carries all nine scanner states (depth 1-3 times flag 0-2) from one
    // position to the one before, and keeps only the state a block starts
    // in: one bit per byte of text.
    std::vector<bool> mAbandoned;
};

}  // namespace kivoparse
