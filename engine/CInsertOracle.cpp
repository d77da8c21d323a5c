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
    // Bit s of ahead: a scan that reads the byte at p + 1 in state s ends
    // abandoned; the end of the input abandons every block.
    std::uint16_t ahead = 0x1FF;
    mAbandoned[static_cast<std::size_t>(n)] = true;
    for (std::int32_t p = n - 1; p >= 0; --p) {
        std::uint16_t here = 0;
        for (int state = 0; state < 9; ++state) {
            const int next = Step(state, text[p]);
            if (next == kAbandoned || (next >= 0 && ((ahead >> next) & 1u)))
                here = static_cast<std::uint16_t>(here | (1u << state));
        }
        mAbandoned[static_cast<std::size_t>(p)] = here & 1u;
        ahead = here;
    }
}

bool CInsertOracle::IsAbandoned(std::int32_t openingBar) const {
    return mAbandoned[static_cast<std::size_t>(openingBar) + 1];
}

}  // namespace kivoparse
