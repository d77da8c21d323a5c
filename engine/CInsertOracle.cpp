#include "engine/CInsertOracle.h"

namespace kivoparse {

namespace {

constexpr int kAbandoned = -1;
constexpr int kCompleted = -2;

// One byte of the scanner on state = (depth - 1) * 3 + flag.
int Step(int state, unsigned char c) {
    std::int32_t depth = state / 3 + 1;
    std::int32_t flag = state % 3;
    switch (ScanInsertByte(depth, flag, c)) {
    case EInsertEvent::Abandoned: return kAbandoned;
    case EInsertEvent::Completed: return kCompleted;
    case EInsertEvent::None: break;
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
