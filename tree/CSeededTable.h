#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tree/HashMix.h"

namespace kivoparse {

// The one hash table of the library (the index of open start tags, the
// folded index of URL values): open addressing with linear probing, a power
// of two in size and at most half full. Each slot keeps a key's full hash
// and a value; the caller says, through same(value), whether a slot of the
// right hash holds its key. The seed differs from table to table (its
// address and the clock), so a document cannot be written to make many
// keys share a probe chain; it never changes an answer. No memory is taken
// before the first key goes in.
template <class TValue>
class CSeededTable {
public:
    explicit CSeededTable(std::size_t firstSize)
        : mFirstSize(firstSize),
          mSeed(Mix(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(this)))) {}

    std::uint64_t Seed() const { return mSeed; }

    // The value kept for the key of this hash, or null.
    template <class Same>
    const TValue* Find(std::uint64_t hash, Same same) const {
        if (mSlots.empty()) return nullptr;
        const SSlot& slot = mSlots[Probe(hash, same)];
        return slot.mUsed ? &slot.mValue : nullptr;
    }
    // The value kept for the key of this hash; fresh is kept for it first
    // when it has none.
    template <class Same>
    TValue& FindOrAdd(std::uint64_t hash, Same same, const TValue& fresh) {
        if (mSlots.empty()) mSlots.assign(mFirstSize, SSlot{});
        std::size_t at = Probe(hash, same);
        if (!mSlots[at].mUsed) {
            if ((mUsed + 1) * 2 > mSlots.size()) {
                Grow();
                at = FreeSlot(hash);
            }
            mSlots[at] = SSlot{hash, fresh, true};
            ++mUsed;
        }
        return mSlots[at].mValue;
    }
    // Every key goes.
    void Clear() {
        mSlots.clear();
        mUsed = 0;
    }

private:
    struct SSlot {
        std::uint64_t mHash = 0;
        TValue mValue{};
        bool mUsed = false;
    };

    // The slot that holds the key, or the free slot where it would go.
    template <class Same>
    std::size_t Probe(std::uint64_t hash, Same same) const {
        const std::size_t mask = mSlots.size() - 1;
        for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
            const SSlot& slot = mSlots[i];
            if (!slot.mUsed || (slot.mHash == hash && same(slot.mValue))) return i;
        }
    }
    // The first free slot of hash's chain: where an absent key goes.
    std::size_t FreeSlot(std::uint64_t hash) const {
        const std::size_t mask = mSlots.size() - 1;
        std::size_t i = static_cast<std::size_t>(hash) & mask;
        while (mSlots[i].mUsed) i = (i + 1) & mask;
        return i;
    }
    void Grow() {
        std::vector<SSlot> old(mSlots.size() * 2);
        old.swap(mSlots);
        for (const SSlot& slot : old) {
            if (slot.mUsed) mSlots[FreeSlot(slot.mHash)] = slot;
        }
    }

    std::size_t mFirstSize;
    std::size_t mUsed = 0;
    std::vector<SSlot> mSlots;
    std::uint64_t mSeed;
};

}  // namespace kivoparse
