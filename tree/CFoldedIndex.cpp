#include "tree/CFoldedIndex.h"

#include <chrono>

#include "tree/HashMix.h"

namespace kivoparse {

namespace {

constexpr std::size_t kInitialSlots = 16;

}  // namespace

// The seed differs from index to index, so a document cannot be written to
// make many values share a slot chain. It never changes an answer.
CFoldedIndex::CFoldedIndex(const CValueList& list)
    : mList(&list),
      mSlots(kInitialSlots, SSlot{0, 0}),
      mSeed(Mix(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(this)))) {}

CFoldedIndex::~CFoldedIndex() = default;

// FNV-1a over the folded bytes up to the first NUL, started from the seed.
std::uint64_t CFoldedIndex::Hash(std::string_view text) const {
    std::uint64_t hash = 14695981039346656037ULL ^ mSeed;
    for (const char c : text) hash = (hash ^ FoldByte(c)) * 1099511628211ULL;
    return Mix(hash ^ mSeed);
}

std::size_t CFoldedIndex::Probe(std::uint64_t hash, std::string_view text) const {
    const std::size_t mask = mSlots.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
        const SSlot& slot = mSlots[i];
        if (slot.mPositionPlusOne == 0) return i;
        if (slot.mHash == hash && EqualsNoCase(UpToNul((*mList)[slot.mPositionPlusOne - 1]), text)) return i;
    }
}

void CFoldedIndex::Grow() {
    std::vector<SSlot> old(mSlots.size() * 2, SSlot{0, 0});
    old.swap(mSlots);
    const std::size_t mask = mSlots.size() - 1;
    for (const SSlot& slot : old) {
        if (slot.mPositionPlusOne == 0) continue;
        std::size_t i = static_cast<std::size_t>(slot.mHash) & mask;
        while (mSlots[i].mPositionPlusOne != 0) i = (i + 1) & mask;
        mSlots[i] = slot;
    }
}

void CFoldedIndex::Sync() {
    if (mList->size() < mIndexed) {
        mSlots.assign(kInitialSlots, SSlot{0, 0});
        mUsed = 0;
        mIndexed = 0;
    }
    // Entries go in front to back and a key already present keeps its slot,
    // so each key maps to the entry a scan would stop at.
    for (; mIndexed < mList->size(); ++mIndexed) {
        const std::string_view text = UpToNul((*mList)[mIndexed]);
        const std::uint64_t hash = Hash(text);
        SSlot& slot = mSlots[Probe(hash, text)];
        if (slot.mPositionPlusOne != 0) continue;
        slot = SSlot{hash, mIndexed + 1};
        if (++mUsed * 2 > mSlots.size()) Grow();
    }
}

std::size_t CFoldedIndex::Find(std::string_view text) {
    Sync();
    return FindIndexed(text);
}

std::size_t CFoldedIndex::FindIndexed(std::string_view text) const {
    const SSlot& slot = mSlots[Probe(Hash(text), text)];
    return slot.mPositionPlusOne == 0 ? npos : slot.mPositionPlusOne - 1;
}

}  // namespace kivoparse
