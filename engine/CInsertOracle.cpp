#include "engine/CInsertOracle.h"

namespace kivoparse {

namespace {

constexpr int kAbandoned = -1;
constexpr int kCompleted = -2;

// The insert block scanner of OnEndPipeInsert on its own: state = (depth - 1)
// * 3 + flag; returns the next state or how the block ends.
int Step(int state, unsigned char c) {
    int depth = state / 3 + 1;
    int flag = state % 3;
    switch (c) {
    case '<':
        flag = 1;
        break;
    case '|':
        if (flag != 1) {
            flag = 2;
        } else if (++depth == 4) {
            return kAbandoned;
        }
        break;
    case '>':
        if (flag != 2) {
            flag = 0;
        } else if (--depth == 0) {
            return kCompleted;
        }
        break;
    case ' ':
        break;
    default:
        flag = 0;
        break;
    }
    return (depth - 1) * 3 + flag;
}

}  // namespace

CInsertOracle::CInsertOracle(const unsigned char* text, std::int32_t n)
    : mAbandoned(static_cast<std::size_t>(n) + 1) {
    mAbandoned[n] = 0x1FF;  // the end of the input abandons every block
    for (std::int32_t p = n - 1; p >= 0; --p) {
        std::uint16_t bits = 0;
        for (int state = 0; state < 9; ++state) {
            const int next = Step(state, text[p]);
            const bool abandoned = next == kAbandoned || (next >= 0 && (mAbandoned[p + 1] >> next) & 1);
            if (abandoned) bits = static_cast<std::uint16_t>(bits | (1u << state));
        }
        mAbandoned[p] = bits;
    }
}

bool CInsertOracle::IsAbandoned(std::int32_t openingBar) const {
    return mAbandoned[static_cast<std::size_t>(openingBar) + 1] & 1;  // depth 1, flag 0
}

}  // namespace kivoparse
