#include "tree/CDocument.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <mutex>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "tree/CTagNode.h"

// Under AddressSanitizer a recycled node is poisoned until it is made
// again, so that a use after recycling is reported as a use after free.
#if defined(__SANITIZE_ADDRESS__)
#define KIVOPARSE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIVOPARSE_ASAN 1
#endif
#endif
#ifdef KIVOPARSE_ASAN
#include <sanitizer/asan_interface.h>
#define KIVOPARSE_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define KIVOPARSE_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define KIVOPARSE_POISON(p, n) ((void)(p), (void)(n))
#define KIVOPARSE_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace kivoparse {

namespace {

// Blocks start small, for the many small documents, and double up to this.
constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kLargestBlock = std::size_t{1} << 20;

std::uintptr_t Address(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

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

#if defined(__linux__) && (defined(MADV_HUGEPAGE) || defined(MADV_POPULATE_WRITE))
namespace {

// Gives the kernel advice on the whole pages of pageSize bytes that lie
// inside [memory, memory + size).
void AdviseWholePages(void* memory, std::size_t size, std::uintptr_t pageSize, int advice) noexcept {
    const std::uintptr_t from = (Address(memory) + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t to = (Address(memory) + size) & ~(pageSize - 1);
    if (from < to) madvise(reinterpret_cast<void*>(from), to - from, advice);
}

}  // namespace
#endif

void AdviseHugePages(void* memory, std::size_t size) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    AdviseWholePages(memory, size, std::uintptr_t{2} << 20, MADV_HUGEPAGE);
#else
    (void)memory;
    (void)size;
#endif
}

void PrefaultPages(void* memory, std::size_t size) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    AdviseWholePages(memory, size, 4096, MADV_POPULATE_WRITE);
#else
    (void)memory;
    (void)size;
#endif
}

namespace {

// The small pieces of node blocks that documents let go of, a few of each
// size (1, 2, 4 and 8 blocks), kept for the next documents: a process that
// parses one small document after another then asks the allocator for none,
// where glibc's default settings would map and unmap each 64 KiB-aligned
// piece afresh. One cache for the process, behind a lock taken once per
// piece: a cache per thread would need a destructor registered per thread,
// which glibc cannot report failing (it ends the process when memory is
// short, as under a low ulimit -v).
constexpr std::size_t kCachedSizes = 4;
constexpr std::size_t kPiecesPerSize = 4;
struct SPieceCache {
    unsigned char* mPieces[kCachedSizes][kPiecesPerSize];
    std::size_t mCount[kCachedSizes];
    bool mClosed;
};
// Declared in this order so that the lock outlives the cache's end, which
// outlives nothing else of the cache.
std::mutex gPieceLock;
SPieceCache gPieceCache{};
struct SPieceCacheEnd {
    ~SPieceCacheEnd() {
        std::lock_guard<std::mutex> hold(gPieceLock);
        gPieceCache.mClosed = true;
        for (std::size_t slot = 0; slot < kCachedSizes; ++slot) {
            while (gPieceCache.mCount[slot] > 0) {
                unsigned char*& piece = gPieceCache.mPieces[slot][--gPieceCache.mCount[slot]];
                ::operator delete(piece, std::align_val_t{CDocument::kNodeBlockSize});
                piece = nullptr;
            }
        }
    }
};
SPieceCacheEnd gPieceCacheEnd;

// Pieces of this many blocks and more belong to a large document, which
// fills them: their pages are backed in one call, not one fault at a time
// (a piece from the cache is backed already).
constexpr std::size_t kPrefaultBlocks = 8;

// The cache slot of a piece of blocks, or kCachedSizes when none.
std::size_t CacheSlot(std::size_t blocks) {
    return blocks == 1 ? 0 : blocks == 2 ? 1 : blocks == 4 ? 2 : blocks == 8 ? 3 : kCachedSizes;
}

}  // namespace

unsigned char* CDocument::NewNodePiece(std::size_t blocks) {
    const std::size_t slot = CacheSlot(blocks);
    if (slot < kCachedSizes) {
        std::lock_guard<std::mutex> hold(gPieceLock);
        if (gPieceCache.mCount[slot] > 0) {
            unsigned char*& cached = gPieceCache.mPieces[slot][--gPieceCache.mCount[slot]];
            unsigned char* piece = cached;
            cached = nullptr;
            return piece;
        }
    }
    // Not advised to be huge pages: a process that parses one large page
    // and ends ran slower and less steadily with them, the kernel zeroing
    // (and first compacting) 2 MiB at each fault.
    auto* piece = static_cast<unsigned char*>(::operator new(blocks * kNodeBlockSize, std::align_val_t{kNodeBlockSize}));
    if (blocks >= kPrefaultBlocks) PrefaultPages(piece, blocks * kNodeBlockSize);
    return piece;
}

void CDocument::SFreeNodeBlock::operator()(unsigned char* piece) const noexcept {
    const std::size_t slot = CacheSlot(mBlocks);
    if (slot < kCachedSizes) {
        std::lock_guard<std::mutex> hold(gPieceLock);
        if (!gPieceCache.mClosed && gPieceCache.mCount[slot] < kPiecesPerSize) {
            // Recycled nodes were poisoned: the next document's are fresh.
            KIVOPARSE_UNPOISON(piece, mBlocks * kNodeBlockSize);
            gPieceCache.mPieces[slot][gPieceCache.mCount[slot]++] = piece;
            return;
        }
    }
    ::operator delete(piece, std::align_val_t{kNodeBlockSize});
}

std::size_t SizeClassOf(int type) noexcept {
    switch (type) {
        case KP_NODE_ROOT: return (sizeof(CParentNode) + 7) / 8;
        case KP_NODE_TAG: return (sizeof(CTagNode) + 7) / 8;
        case KP_NODE_PROPERTY: return (sizeof(CPropertyNode) + 7) / 8;
        default: return (sizeof(CParseNode) + 7) / 8;
    }
}

void CPropertyNode::AppendLongName(CDocument& document, const char* bytes, std::size_t length, ECase how) {
    if (mSmall != kLongNameMark) {
        SNodeBytes* record = document.KeepLongName(ShortName());
        mLongName = record;
        mSmall = kLongNameMark;
    }
    document.Append(SBytesField{mLongName->mBytes, mLongName->mSize}, bytes, length, how);
}

CDocument::CDocument(std::string text) : mText(std::move(text)) {
    mRoot = Make<CParentNode>();
}

CDocument::~CDocument() = default;

unsigned char* CDocument::NewBlock(std::size_t size) {
    std::unique_ptr<unsigned char[]> memory(new unsigned char[size]);
    mBlocks.push_back(SBlock{std::move(memory), size});
    return mBlocks.back().mMemory.get();
}

void* CDocument::AllocateNodeSlowly(std::size_t size) {
    const std::size_t sizeClass = size / 8;
    if (void* recycled = mFree[sizeClass]) {
        KIVOPARSE_UNPOISON(recycled, size);
        std::memcpy(&mFree[sizeClass], recycled, sizeof(void*));
        return recycled;
    }
    if (static_cast<std::size_t>(mNodes.mEnd - mNodes.mNext) < size) {
        if (mNodeBlocksLeft == 0) {
            const std::size_t blocks =
                std::min<std::size_t>(kLargestPiece / kNodeBlockSize, std::max<std::size_t>(1, mNodePieceBlocks * 2));
            mNodeBlocks.reserve(mNodeBlocks.size() + 1);
            std::unique_ptr<unsigned char[], SFreeNodeBlock> piece(NewNodePiece(blocks), SFreeNodeBlock{blocks});
            mNodePiece = piece.get();
            mNodeBlocks.push_back(std::move(piece));
            mNodePieceBlocks = mNodeBlocksLeft = blocks;
        }
        unsigned char* start = mNodePiece;
        mNodePiece += kNodeBlockSize;
        --mNodeBlocksLeft;
        mNodes.mNext = start;
        mNodes.mEnd = start + kNodeBlockSize;
    }
    void* node = mNodes.mNext;
    mNodes.mNext += size;
    return node;
}

char* CDocument::AllocateBytes(std::size_t size) {
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


namespace {

std::uint32_t CapacityOf(const char* owned) {
    std::uint32_t capacity;
    std::memcpy(&capacity, owned - sizeof capacity, sizeof capacity);
    return capacity;
}

void SetCapacity(const char* owned, std::uint32_t capacity) {
    std::memcpy(const_cast<char*>(owned) - sizeof capacity, &capacity, sizeof capacity);
}

}  // namespace

// Owned bytes at the top of the current block go back to it.
void CDocument::ReleaseBytes(const char* bytes, std::uint32_t size) noexcept {
    if (!(size & kOwnedBytes)) return;
    const char* start = bytes - sizeof(std::uint32_t);
    if (Address(start) >= Address(mBytes.mStart) && Address(bytes) + CapacityOf(bytes) == Address(mBytes.mNext))
        mBytes.mNext = reinterpret_cast<unsigned char*>(const_cast<char*>(start));
}

void CDocument::AppendSlowly(SBytesField field, const char* bytes, std::size_t length, ECase how) {
    if (length == 0) return;
    const bool owned = (field.mSize & kOwnedBytes) != 0;
    const std::size_t size = field.mSize & ~kOwnedBytes;
    if (length > kMaxNodeBytes - size) throw std::bad_alloc();
    const bool asGiven = how == ECase::Keep || !NeedsCaseChange(bytes, length, how);
    if (asGiven && !owned && InText(bytes) && (size == 0 || (InText(field.mBytes) && field.mBytes + size == bytes))) {
        // Bytes of the text that continue the field's own: a longer view.
        if (size == 0) field.mBytes = bytes;
        field.mSize = static_cast<std::uint32_t>(size + length);
        return;
    }
    const std::size_t need = size + length;
    const std::size_t capacity = owned ? CapacityOf(field.mBytes) : 0;
    if (need > capacity) {
        const std::size_t extra = need - capacity;
        if (owned && Address(field.mBytes) >= Address(mBytes.mStart) &&
            Address(field.mBytes) + capacity == Address(mBytes.mNext) &&
            static_cast<std::size_t>(mBytes.mEnd - mBytes.mNext) >= extra) {
            // The field's bytes are the last ones handed out: they grow in place.
            mBytes.mNext += extra;
            SetCapacity(field.mBytes, static_cast<std::uint32_t>(need));
        } else {
            const std::size_t grownCapacity = size == 0 ? need : std::min(kMaxNodeBytes, std::max(need, 2 * size));
            char* grown = AllocateBytes(sizeof(std::uint32_t) + grownCapacity) + sizeof(std::uint32_t);
            SetCapacity(grown, static_cast<std::uint32_t>(grownCapacity));
            if (size > 0) std::memcpy(grown, field.mBytes, size);
            field.mBytes = grown;
            field.mSize = static_cast<std::uint32_t>(size) | kOwnedBytes;
        }
    }
    CopyWithCase(const_cast<char*>(field.mBytes) + size, bytes, length, asGiven ? ECase::Keep : how);
    field.mSize = static_cast<std::uint32_t>(need) | kOwnedBytes;
}

void CDocument::Assign(SBytesField field, const char* bytes, std::size_t length, ECase how) {
    SNodeBytes fresh;
    Append(SBytesField{fresh.mBytes, fresh.mSize}, bytes, length, how);
    ReleaseBytes(field.mBytes, field.mSize);
    field.mBytes = fresh.mBytes;
    field.mSize = fresh.mSize;
}

SNodeBytes CDocument::Prepare(std::string_view bytes) {
    SNodeBytes fresh;
    if (bytes.empty()) return fresh;
    if (bytes.size() > kMaxNodeBytes) throw std::bad_alloc();
    char* copy = AllocateBytes(sizeof(std::uint32_t) + bytes.size()) + sizeof(std::uint32_t);
    SetCapacity(copy, static_cast<std::uint32_t>(bytes.size()));
    std::memcpy(copy, bytes.data(), bytes.size());
    fresh.mBytes = copy;
    fresh.mSize = static_cast<std::uint32_t>(bytes.size()) | kOwnedBytes;
    return fresh;
}

// The node, then everything its lists hold, without recursion: each node's
// lists are spliced in front of the nodes still to go.
void CDocument::Recycle(CParseNode* node) noexcept {
    assert(node && node != mRoot);
    if (node->mType == KP_NODE_TAG && !(node->mDataSize & kOwnedBytes)) {
        auto* tag = static_cast<CTagNode*>(node);
        if (tag->Children()->IsEmpty() && tag->Properties()->IsEmpty()) {
            // The common case, an end tag folded into its start tag: a tag
            // with nothing of its own to give back but itself.
            LinkFree(node, (sizeof(CTagNode) + 7) / 8);
            return;
        }
    }
    CNodeList pending;
    pending.Append(node);
    while (CParseNode* next = pending.RemoveFirst()) {
        if (CNodeList* children = next->Children()) pending.SpliceFront(*children);
        if (next->mType == KP_NODE_TAG) pending.SpliceFront(*static_cast<CTagNode*>(next)->Properties());
        ReleaseBytes(next->mDataBytes, next->mDataSize);
        if (next->mType == KP_NODE_PROPERTY) {
            const SNodeBytes name = static_cast<const CPropertyNode*>(next)->mSmall == CPropertyNode::kLongNameMark
                                        ? *static_cast<const CPropertyNode*>(next)->mLongName
                                        : static_cast<const CPropertyNode*>(next)->ShortName();
            ReleaseBytes(name.mBytes, name.mSize);
        }
        LinkFree(next, SizeClassOf(next->mType));
    }
}

void CDocument::LinkFree(CParseNode* node, std::size_t sizeClass) noexcept {
    // The node's memory now only links the free nodes of its size.
    unsigned char* memory = reinterpret_cast<unsigned char*>(node);
    std::memcpy(memory, &mFree[sizeClass], sizeof(void*));
    mFree[sizeClass] = memory;
    KIVOPARSE_POISON(memory + sizeof(void*), sizeClass * 8 - sizeof(void*));
}

}  // namespace kivoparse
