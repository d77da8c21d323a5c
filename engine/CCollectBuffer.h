#pragma once
#include <cstdint>
#include <string_view>

namespace kivoparse {

// One of the engine's collecting buffers (the bytes of a name or value, and
// those of an insert block): bytes are handed on to a node in blocks of
// kBlockSize. It notes where its bytes were read while they are a run of
// the text as it stands: the node then takes them from the text, and a node
// whose bytes all equal the text holds a view of it, not a copy.
class CCollectBuffer {
public:
    static constexpr std::int32_t kBlockSize = 1000;

    std::int32_t Count() const { return mCount; }
    bool IsEmpty() const { return mCount == 0; }
    void Clear() { mCount = 0; }

    // Adds byte, the one read at position at of text (or a byte that stands
    // for it). True when the buffer holds a whole block and is to be handed
    // on.
    bool Add(unsigned char byte, std::int64_t at, const unsigned char* text) {
        if (mCount == 0) {
            mFrom = at;
            mInText = text[at] == byte;
        } else if (mFrom + mCount != at || text[at] != byte) {
            mInText = false;
        }
        mBytes[mCount++] = static_cast<char>(byte);
        return mCount == kBlockSize;
    }

    // Whether the bytes held are the run of text just before position at.
    bool RunsUpTo(std::int64_t at) const { return mCount > 0 && mInText && mFrom + mCount == at; }

    // The bytes held: a view of text where they are a run of it.
    std::string_view Bytes(const unsigned char* text) const {
        const char* bytes = mInText ? reinterpret_cast<const char*>(text) + mFrom : mBytes;
        return {bytes, static_cast<std::size_t>(mCount)};
    }

private:
    static constexpr std::int32_t kCapacity = 1024;
    static_assert(kBlockSize < kCapacity, "a block fits its buffer");

    std::int32_t mCount = 0;
    std::int64_t mFrom = 0;
    bool mInText = false;
    char mBytes[kCapacity];
};

}  // namespace kivoparse
