#pragma once
#include <cstdint>
#include <vector>

namespace kivoparse {

// Remembers where reading a tag is bound to end in the text fallback.
//
// A tag that falls back is read again as text, and every "<" inside it (in
// attribute values) then opens a tag of its own, which may run on just as
// far: «<a x=<a x=<a x=...:» would be read once per "<". Whether a tag being
// read falls back depends only on the bytes ahead and the tokenizer's
// control state (state, name begun, quote, insert step: one of 15 codes),
// never on what was collected. So each (position, control state) visited by
// a tag that fell back is remembered, and a later tag that reaches one of
// them falls back at once, exactly as it would have further on. Tags open at
// increasing positions, so only a window of positions ahead matters.
class CFallbackMemo {
public:
    // Nothing remembered and nothing being recorded: only an inner "<" can
    // change that, so Visit need not be called for other bytes.
    bool IsIdle() const { return mIdle; }

    // A byte read inside a tag, in control state code (0-15). True when the
    // tag is known to fall back from here.
    bool Visit(std::int64_t position, unsigned code, unsigned char c) {
        if (position >= mBase && position - mBase < static_cast<std::int64_t>(mKnown.size()) &&
            (mKnown[static_cast<std::size_t>(position - mBase)] >> code) & 1u)
            return true;
        if (mTrailOn) mTrail.push_back({position, code});
        // Only the bytes after an inner "<" can be read again as a tag.
        if (c == '<') mTrailOn = true;
        mIdle = !mTrailOn && mKnown.empty();
        return false;
    }

    // A byte read between tags: the tag before it, if any, has ended.
    void Between(std::int64_t position) {
        if (mTrailOn) EndTag();
        if (!mKnown.empty() && position >= mBase + static_cast<std::int64_t>(mKnown.size())) mKnown.clear();
        mIdle = !mTrailOn && mKnown.empty();
    }

    // The tag being read falls back: everything it visited leads there.
    void FellBack() {
        for (const SVisit& visit : mTrail) {
            if (mKnown.empty()) mBase = visit.position;
            if (visit.position < mBase) continue;  // never read again
            const auto at = static_cast<std::size_t>(visit.position - mBase);
            if (at >= mKnown.size()) mKnown.resize(at + 1, 0);
            mKnown[at] = static_cast<std::uint16_t>(mKnown[at] | (1u << visit.code));
        }
        EndTag();
    }

private:
    struct SVisit {
        std::int64_t position;
        unsigned code;
    };

    void EndTag() {
        mTrail.clear();
        mTrailOn = false;
        mIdle = mKnown.empty();
    }

    std::vector<SVisit> mTrail;          // visited by the tag being read
    std::vector<std::uint16_t> mKnown;   // codes known to fall back, from mBase on
    std::int64_t mBase = 0;
    bool mTrailOn = false;
    bool mIdle = true;  // !mTrailOn && mKnown.empty(), kept up to date: asked at every run
};

}  // namespace kivoparse
