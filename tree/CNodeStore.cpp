#include "tree/CNodeStore.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <functional>

#include "tree/COpenTagIndex.h"
#include "tree/CTagNode.h"

namespace kivoparse {

namespace {

// Blocks start small, for the many small documents, and double up to this.
constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kLargestBlock = std::size_t{1} << 20;

std::uintptr_t Address(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

bool NeedsCaseChange(const char* bytes, std::size_t length, ECase how) {
    const char from = how == ECase::Upper ? 'a' : 'A';
    for (std::size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i] - from) < 26) return true;
    }
    return false;
}

void CopyWithCase(char* to, const char* from, std::size_t length, ECase how) {
    if (how == ECase::Keep) {
        std::memcpy(to, from, length);
        return;
    }
    const char first = how == ECase::Upper ? 'a' : 'A';
    const int shift = how == ECase::Upper ? 'A' - 'a' : 'a' - 'A';
    for (std::size_t i = 0; i < length; ++i) {
        const char c = from[i];
        to[i] = static_cast<unsigned char>(c - first) < 26 ? static_cast<char>(c + shift) : c;
    }
}

}  // namespace

CNodeStore::CNodeStore(CNodeContext* context, std::string text) : mContext(context), mText(std::move(text)) {
    mRoot = Make<CParseNode>();
    mRoot->SetStaticName("ROOT");
}

CNodeStore::~CNodeStore() = default;

void CNodeStore::TrackOpenTags() {
    if (!mOpenTags) mOpenTags = std::make_unique<COpenTagIndex>();
}

unsigned char* CNodeStore::NewBlock(std::size_t size) {
    std::unique_ptr<unsigned char[]> memory(new unsigned char[size]);
    mBlocks.push_back(SBlock{std::move(memory), size});
    return mBlocks.back().mMemory.get();
}

void* CNodeStore::AllocateNode(std::size_t size) {
    const std::size_t sizeClass = size / 8;
    if (void* recycled = mFree[sizeClass]) {
        std::memcpy(&mFree[sizeClass], recycled, sizeof(void*));
        return recycled;
    }
    if (static_cast<std::size_t>(mNodes.mEnd - mNodes.mNext) < size) {
        if (mNodeBlocksLeft == 0) {
            const std::size_t blocks = std::min<std::size_t>(64, std::max<std::size_t>(1, mNodePieceBlocks * 2));
            mNodeBlocks.reserve(mNodeBlocks.size() + 1);
            std::unique_ptr<unsigned char[], SFreeNodeBlock> piece(static_cast<unsigned char*>(
                ::operator new(blocks * kNodeBlockSize, std::align_val_t{kNodeBlockSize})));
            mNodePiece = piece.get();
            mNodeBlocks.push_back(std::move(piece));
            mNodePieceBlocks = mNodeBlocksLeft = blocks;
        }
        unsigned char* start = mNodePiece;
        mNodePiece += kNodeBlockSize;
        --mNodeBlocksLeft;
        // The block's first word names its store; nodes follow, 16-byte aligned.
        CNodeStore* self = this;
        std::memcpy(start, &self, sizeof self);
        mNodes.mNext = start + 16;
        mNodes.mEnd = start + kNodeBlockSize;
    }
    void* node = mNodes.mNext;
    mNodes.mNext += size;
    return node;
}

char* CNodeStore::AllocateBytes(std::size_t size) {
    if (static_cast<std::size_t>(mBytes.mEnd - mBytes.mNext) >= size) {
        char* bytes = reinterpret_cast<char*>(mBytes.mNext);
        mBytes.mNext += size;
        return bytes;
    }
    const std::size_t blockSize = std::min(kLargestBlock, std::max(kFirstBlock, mBytes.mBlockSize * 2));
    if (size > blockSize / 4) {
        // A large piece gets a block of its own; the current one stays.
        return reinterpret_cast<char*>(NewBlock(size));
    }
    unsigned char* block = NewBlock(blockSize);
    mBytes.mBlockSize = blockSize;
    mBytes.mStart = block;
    mBytes.mNext = block + size;
    mBytes.mEnd = block + blockSize;
    return reinterpret_cast<char*>(block);
}

bool CNodeStore::InText(const char* bytes) const {
    return Address(bytes) >= Address(mText.data()) && Address(bytes) < Address(mText.data()) + mText.size();
}

// Bytes at the top of the current block go back to it.
void CNodeStore::ReleaseBytes(const SNodeBytes& field) noexcept {
    if (field.mCapacity == 0) return;
    if (Address(field.mBytes) >= Address(mBytes.mStart) && Address(field.mBytes) + field.mCapacity == Address(mBytes.mNext))
        mBytes.mNext = reinterpret_cast<unsigned char*>(const_cast<char*>(field.mBytes));
}

void CNodeStore::Append(SNodeBytes& field, const char* bytes, std::size_t length, ECase how) {
    if (length == 0) return;
    if (length > UINT32_MAX - field.mSize) throw std::bad_alloc();
    const bool asGiven = how == ECase::Keep || !NeedsCaseChange(bytes, length, how);
    if (asGiven && field.mCapacity == 0 && InText(bytes) && (field.mSize == 0 || field.mBytes + field.mSize == bytes)) {
        // Bytes of the text that continue the field's own: a longer view.
        if (field.mSize == 0) field.mBytes = bytes;
        field.mSize += static_cast<std::uint32_t>(length);
        return;
    }
    const std::size_t need = field.mSize + length;
    if (need > field.mCapacity) {
        const std::size_t extra = need - field.mCapacity;
        if (field.mCapacity > 0 && Address(field.mBytes) >= Address(mBytes.mStart) &&
            Address(field.mBytes) + field.mCapacity == Address(mBytes.mNext) &&
            static_cast<std::size_t>(mBytes.mEnd - mBytes.mNext) >= extra) {
            // The field's bytes are the last ones handed out: they grow in place.
            mBytes.mNext += extra;
        } else {
            const std::size_t capacity =
                std::min<std::size_t>(UINT32_MAX, field.mSize == 0 ? need : std::max(need, std::size_t{2} * field.mSize));
            char* grown = AllocateBytes(capacity);
            std::memcpy(grown, field.mBytes, field.mSize);
            field.mBytes = grown;
            field.mCapacity = static_cast<std::uint32_t>(capacity);
        }
        if (field.mCapacity < need) field.mCapacity = static_cast<std::uint32_t>(need);
    }
    CopyWithCase(const_cast<char*>(field.mBytes) + field.mSize, bytes, length, asGiven ? ECase::Keep : how);
    field.mSize = static_cast<std::uint32_t>(need);
}

void CNodeStore::Assign(SNodeBytes& field, const char* bytes, std::size_t length, ECase how) {
    SNodeBytes fresh;
    Append(fresh, bytes, length, how);
    ReleaseBytes(field);
    field = fresh;
}

SNodeBytes CNodeStore::Prepare(std::string_view bytes) {
    SNodeBytes fresh;
    if (bytes.empty()) return fresh;
    if (bytes.size() > UINT32_MAX) throw std::bad_alloc();
    char* copy = AllocateBytes(bytes.size());
    std::memcpy(copy, bytes.data(), bytes.size());
    fresh.mBytes = copy;
    fresh.mSize = fresh.mCapacity = static_cast<std::uint32_t>(bytes.size());
    return fresh;
}

// The node, then everything its lists hold, without recursion: each node's
// lists are spliced into the chain of nodes still to go.
void CNodeStore::Recycle(CParseNode* node) noexcept {
    assert(node && Of(node) == this && node != mRoot);
    node->mPrev = node->mNext = nullptr;
    CParseNode* head = node;
    const auto splice = [&head](CNodeList& list) {
        if (!list.mFirst) return;
        list.mLast->mNext = head;
        head = list.mFirst;
        list.mFirst = list.mLast = nullptr;
    };
    while (head) {
        CParseNode* next = head;
        head = next->mNext;
        splice(next->mChildren);
        if (next->mType == KP_NODE_TAG) splice(static_cast<CTagNode*>(next)->mProperties);
        ReleaseBytes(next->mData);
        ReleaseBytes(next->mName);
        const std::size_t sizeClass = next->mSizeClass;
        // The node's memory now only links the free nodes of its size.
        void* memory = next;
        std::memcpy(memory, &mFree[sizeClass], sizeof(void*));
        mFree[sizeClass] = memory;
    }
}

}  // namespace kivoparse
