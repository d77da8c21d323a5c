#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "tree/Inline.h"

namespace kivoparse {

class CParseNode;
// The size class of a node of a type (see KP_NODE_ROOT...): its size in
// units of 8 bytes.
std::size_t SizeClassOf(int type) noexcept;

// The bytes of a node's name or data and their count. They are a view into
// the parsed text wherever the stored bytes equal it (text runs, most values
// and names), else bytes of the document that made the node, or a literal that
// lives as long as the program. The document's own bytes are marked by the top
// bit of the count (kOwnedBytes) and preceded by their capacity (4 bytes),
// so that they can grow in place.
constexpr std::uint32_t kOwnedBytes = 0x80000000u;
constexpr std::size_t kMaxNodeBytes = kOwnedBytes - 1;

inline std::string_view ViewOf(const char* bytes, std::uint32_t size) { return {bytes, size & ~kOwnedBytes}; }

// Whether any of 0 to 16 bytes passes test, asked of words that cover them
// (two that may overlap; below four bytes, the first, middle and last bytes
// one by one): no branch per byte. test takes std::uint64_t, std::uint32_t
// and unsigned char.
template <class Test>
KIVOPARSE_INLINE bool AnyShortBytes(const char* bytes, std::size_t size, Test test) {
    if (size >= 8) {
        std::uint64_t head, tail;
        std::memcpy(&head, bytes, 8);
        std::memcpy(&tail, bytes + size - 8, 8);
        return test(head) || test(tail);
    }
    if (size >= 4) {
        std::uint32_t head, tail;
        std::memcpy(&head, bytes, 4);
        std::memcpy(&tail, bytes + size - 4, 4);
        return test(head) || test(tail);
    }
    const auto byte = [bytes](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
    return size != 0 && (test(byte(0)) || test(byte(size / 2)) || test(byte(size - 1)));
}

// Whether a word (or a byte) holds a zero byte.
inline bool HasZeroByte(std::uint64_t word) {
    return ((word - 0x0101010101010101u) & ~word & 0x8080808080808080u) != 0;
}
inline bool HasZeroByte(std::uint32_t word) { return ((word - 0x01010101u) & ~word & 0x80808080u) != 0; }
inline bool HasZeroByte(unsigned char byte) { return byte == 0; }

// The bytes of a C string: up to the first NUL.
KIVOPARSE_INLINE std::string_view UpToNul(std::string_view bytes) {
    const std::size_t size = bytes.size();
    if (size <= 16) {
        // Short names, which hold no NUL: two words that overlap cover the
        // bytes (three bytes cover up to three), tested without a branch
        // per byte. A name with a NUL is looked at byte by byte.
        const char* const p = bytes.data();
        if (!AnyShortBytes(p, size, [](auto word) { return HasZeroByte(word); })) return bytes;
        for (std::size_t i = 0; i < size; ++i) {
            if (p[i] == '\0') return bytes.substr(0, i);
        }
        return bytes;
    }
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    return nul ? bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data())) : bytes;
}

// A name or data by value: a rewrite's new value, made beforehand.
struct SNodeBytes {
    const char* mBytes = "";
    std::uint32_t mSize = 0;
};

// A node's name or data, to be changed in place.
struct SBytesField {
    const char*& mBytes;
    std::uint32_t& mSize;
};

// Asks the system to back the whole 2 MiB pages inside [memory, memory +
// size) with huge pages, where it lets a program ask (Linux); a page fault
// then costs one per 2 MiB instead of one per 4 KiB. Only a hint.
void AdviseHugePages(void* memory, std::size_t size) noexcept;
// Asks the system to back the whole pages inside [memory, memory + size)
// at once, where it lets a program ask (Linux 5.14 and later), instead of
// one page fault at each first touch. Only a hint: pages already backed
// stay as they are.
void PrefaultPages(void* memory, std::size_t size) noexcept;

// How bytes are stored: as given, A-Z as a-z, or a-z as A-Z.
enum class ECase : unsigned char { Keep, Lower, Upper };

// Whether a word (or a byte) holds a byte from first to first + 25 (a
// letter of one case; bytes with the top bit set are none).
inline bool HasLetterByte(std::uint64_t word, unsigned char first) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kTops = 0x8080808080808080u;
    const std::uint64_t low = word & ~kTops;
    return ((low + (0x80u - first) * kOnes) & ~(low + (0x80u - first - 26u) * kOnes) & ~word & kTops) != 0;
}
inline bool HasLetterByte(std::uint32_t word, unsigned char first) {
    constexpr std::uint32_t kOnes = 0x01010101u, kTops = 0x80808080u;
    const std::uint32_t low = word & ~kTops;
    return ((low + (0x80u - first) * kOnes) & ~(low + (0x80u - first - 26u) * kOnes) & ~word & kTops) != 0;
}
inline bool HasLetterByte(unsigned char byte, unsigned char first) {
    return static_cast<unsigned char>(byte - first) < 26;
}

// Whether 1 to 16 bytes hold a letter of the case that first begins.
inline bool HasLetterShort(const char* bytes, std::size_t length, unsigned char first) {
    return AnyShortBytes(bytes, length, [first](auto word) { return HasLetterByte(word, first); });
}

// Whether storing bytes as asked changes any of them.
inline bool NeedsCaseChange(const char* bytes, std::size_t length, ECase how) {
    if (how == ECase::Keep) return false;
    const char from = how == ECase::Upper ? 'a' : 'A';
    for (std::size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i] - from) < 26) return true;
    }
    return false;
}

// One parsed document: the text it was parsed from, every node made for it
// with the bytes they hold, and its root. Nodes live in large blocks and are
// released with them, all at once, so dropping a document walks none of its
// nodes; a node the tree lets go of (an end tag folded into its start tag, a
// working tag that fell back) is recycled for the next node of its size.
// Nodes know nothing of their document: whatever changes a node's bytes or
// gives a node back is handed the document.
class CDocument {
public:
    // text: the text the tree is parsed from, which node bytes may view.
    explicit CDocument(std::string text = std::string());
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;
    ~CDocument();

    // A new node of class T, the document's until the document goes. Throws
    // std::bad_alloc when memory runs out.
    template <class T>
    T* Make();
    // The root: made with the document, named "ROOT".
    CParseNode* Root() const { return mRoot; }
    // node, which this document made, and everything its lists hold go back
    // to the document. Allocates nothing.
    void Recycle(CParseNode* node) noexcept;
    // Nodes are cut from blocks of this size, taken from larger pieces.
    static constexpr std::size_t kNodeBlockSize = 64 * 1024;

    // Sets / extends field with bytes (whose case is changed as asked).
    // Bytes of the parsed text that follow the field's own become part of
    // it without a copy. Throws std::bad_alloc, leaving field as it was.
    void Assign(SBytesField field, const char* bytes, std::size_t length, ECase how = ECase::Keep);
    KIVOPARSE_INLINE void Append(SBytesField field, const char* bytes, std::size_t length, ECase how = ECase::Keep) {
        // Most calls start or extend a view with the bytes of the text that
        // follow it, as they are: done here, without the call.
        if (length != 0 && field.mSize == 0 && InText(bytes) && length <= kMaxNodeBytes &&
            (how == ECase::Keep || (length <= 32 && !NeedsCaseChange(bytes, length, how)))) {
            field.mBytes = bytes;
            field.mSize = static_cast<std::uint32_t>(length);
            return;
        }
        if (how == ECase::Keep && length != 0 && !(field.mSize & kOwnedBytes) && field.mBytes + field.mSize == bytes &&
            InText(field.mBytes) && InText(bytes) && length <= kMaxNodeBytes - field.mSize) {
            field.mSize = static_cast<std::uint32_t>(field.mSize + length);
            return;
        }
        AppendSlowly(field, bytes, length, how);
    }
    // A copy of bytes in the document, for a rewrite's new value: made by
    // Prepare (which may throw), then set by CParseNode::TakeData (which
    // cannot), so that a rewrite changes every value or none.
    SNodeBytes Prepare(std::string_view bytes);

    // Keeps a record of a long attribute name (see CPropertyNode) for the
    // document's life. Throws std::bad_alloc.
    SNodeBytes* KeepLongName(SNodeBytes name) {
        mLongNames.push_back(std::make_unique<SNodeBytes>(name));
        return mLongNames.back().get();
    }

    // The text the document was parsed from.
    const std::string& Text() const { return mText; }
    // Whether bytes point into that text.
    bool IsInText(const char* bytes) const { return InText(bytes); }

private:
    struct SBlock {
        std::unique_ptr<unsigned char[]> mMemory;
        std::size_t mSize;
    };
    // Gives a piece of node blocks back: the small ones to this thread's
    // cache for the next document, the others to the system.
    struct SFreeNodeBlock {
        std::size_t mBlocks = 1;
        void operator()(unsigned char* piece) const noexcept;
    };
    // The largest piece of node blocks, 2 MiB.
    static constexpr std::size_t kLargestPiece = std::size_t{2} << 20;
    // Node blocks are cut from larger aligned pieces, which double in size.
    unsigned char* mNodePiece = nullptr;
    std::size_t mNodeBlocksLeft = 0;
    std::size_t mNodePieceBlocks = 0;
    // Bump allocation in the current block of each kind (mStart and
    // mBlockSize serve the bytes).
    struct SArena {
        unsigned char* mStart = nullptr;
        unsigned char* mNext = nullptr;
        unsigned char* mEnd = nullptr;
        std::size_t mBlockSize = 0;
    };

    // Bump allocation in the current block, in line; a recycled node of the
    // size or a new block is the out-of-line part's.
    void* AllocateNode(std::size_t size) {
        if (mFree[size / 8] == nullptr && static_cast<std::size_t>(mNodes.mEnd - mNodes.mNext) >= size) {
            void* node = mNodes.mNext;
            mNodes.mNext += size;
            return node;
        }
        return AllocateNodeSlowly(size);
    }
    void* AllocateNodeSlowly(std::size_t size);
    static unsigned char* NewNodePiece(std::size_t blocks);
    char* AllocateBytes(std::size_t size);
    unsigned char* NewBlock(std::size_t size);
    bool InText(const char* bytes) const {
        const auto address = reinterpret_cast<std::uintptr_t>(bytes), text = reinterpret_cast<std::uintptr_t>(mText.data());
        return address >= text && address < text + mText.size();
    }
    void AppendSlowly(SBytesField field, const char* bytes, std::size_t length, ECase how);
    void ReleaseBytes(const char* bytes, std::uint32_t size) noexcept;
    // node's memory joins the free nodes of its size class.
    void LinkFree(CParseNode* node, std::size_t sizeClass) noexcept;

    std::string mText;
    std::vector<SBlock> mBlocks;
    std::vector<std::unique_ptr<unsigned char[], SFreeNodeBlock>> mNodeBlocks;
    SArena mNodes;
    SArena mBytes;
    // Recycled nodes by size in units of 8 bytes, linked through their first word.
    static constexpr std::size_t kSizeClasses = 32;
    void* mFree[kSizeClasses] = {};
    // No allocation until a page holds a long name (a deque would make one
    // per document).
    std::vector<std::unique_ptr<SNodeBytes>> mLongNames;
    CParseNode* mRoot = nullptr;
};

}  // namespace kivoparse
