#pragma once
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "tree/CNodeList.h"
#include "tree/CDocument.h"

namespace kivoparse {

// Type codes: which class a node is. Walkers test them where they must
// tell kinds apart.
enum : int {
    KP_NODE_ROOT = 1,
    KP_NODE_TAG = 2,
    KP_NODE_PROPERTY = 3,
    KP_NODE_COMMENT = 4,
    KP_NODE_TEXT = 5,
};

// Gives a node that nothing links to back to the document that made it
// (see NodePtr).
struct SRecycle {
    CDocument* mDocument = nullptr;
    void operator()(CParseNode* node) const noexcept;
};
// Owns a node that no list holds yet: a working node of the tokenizer, or
// one just removed from a list. Attaching it moves it into a list.
template <class T>
using NodePtr = std::unique_ptr<T, SRecycle>;

// The base of every node: links and bytes. A node belongs to the document
// that made it, which releases it with the tree, but it does not know that
// document, so whatever stores bytes for it is handed the document.
//
// Nodes are sized to what they hold, since a page of 50 MB makes about
// 3.5 million of them: the base (a text run or a comment) is 32 bytes,
// type, flags and data size in the first word, then the links and the
// data; an attribute adds its name (40), the root a child list (40), a tag
// a child list and an attribute list (48). There is no virtual table: the
// few calls whose work depends on the kind test mType. A node's child list
// holds its children, linked through their mPrev/mNext.
//
// Building a tree is tree/CTreeBuilder's; what is done with a whole tree
// lives beside it: writing and dumping in output/, collecting and rewriting
// URLs in links/. Their walks never make one call per level, since folding
// can nest a document a million levels deep.
class CParseNode {
public:
    CParseNode(const CParseNode&) = delete;
    CParseNode& operator=(const CParseNode&) = delete;

    // Open: a start tag not yet closed by its end tag (other nodes never are).
    bool IsOpen() const { return mType == KP_NODE_TAG && bOpen; }
    // The tag type of a classified tag; 0 for any other node.
    int GetTagType() const { return mType == KP_NODE_TAG ? mSmall : 0; }
    std::string_view GetData() const { return Data(); }
    // Extends / sets the data with bytes kept by document, the node's own; a
    // tag's are stored upper-cased.
    inline void AppendData(CDocument& document, const char* bytes, std::size_t length);
    void SetData(CDocument& document, const char* bytes, std::size_t length) {
        bKnownName = false;
        document.Assign(DataField(), bytes, length, mType == KP_NODE_TAG ? ECase::Upper : ECase::Keep);
    }
    // A tag's name is its data up to the first NUL; the others' see Name.
    std::string_view GetName() const {
        if (mType != KP_NODE_TAG) return Name();
        return bKnownName ? Data() : UpToNul(Data());
    }

    std::size_t GetDataLength() const { return mDataSize & ~kOwnedBytes; }
    void ResetLinks() { mPrev = nullptr; mNext = nullptr; }

    // The stored bytes whole (a C string view of them stops at a NUL).
    std::string_view Data() const { return ViewOf(mDataBytes, mDataSize); }
    // Sets bytes made beforehand by the document; cannot fail.
    void TakeData(const SNodeBytes& data) noexcept {
        bKnownName = false;
        mDataBytes = data.mBytes;
        mDataSize = data.mSize;
    }
    // An attribute's name as stored; "TEXT NODE" or "KIVO INSERT" for text,
    // "ROOT" for the root, nothing for a tag or a comment.
    inline std::string_view Name() const;
    // The child list of the root and of a tag; null for the other nodes,
    // which never have children.
    inline CNodeList* Children();
    inline const CNodeList* Children() const;
    CParseNode* NextSibling() const { return mNext; }
    // The first node of a list names the last through mPrev: it has no previous sibling.
    CParseNode* PrevSibling() const { return mPrev && mPrev->mNext ? mPrev : nullptr; }

protected:
    explicit CParseNode(int type)
        : mType(static_cast<unsigned char>(type)),
          bOpen(true),
          bEndTag(false),
          bHasValue(true),
          bInsert(false),
          bKnownName(false) {}
    ~CParseNode() = default;  // nodes are not destroyed one by one: their document releases them

public:
    const unsigned char mType;
    // Per-class flags, kept in the first word where they cost no room: a
    // tag's (see CTagNode) and an attribute's (see CPropertyNode).
    bool bOpen : 1;
    bool bEndTag : 1;
    bool bHasValue : 1;

protected:
    friend class CNodeList;
    friend class CDocument;
    friend class CTreeBuilder;

    bool bInsert : 1;  // text: an insert block
    // A tag: its name views the table of common names (see
    // CTagNode::TakeKnownName); every write of the data clears it.
    bool bKnownName : 1;
    // A tag's type (see CTagNode::ClassifyTag), an attribute's name size
    // (see CPropertyNode); 0 in the other nodes.
    std::uint16_t mSmall = 0;
    std::uint32_t mDataSize = 0;  // see SNodeBytes
    CParseNode* mPrev = nullptr;
    CParseNode* mNext = nullptr;
    const char* mDataBytes = "";

    SBytesField DataField() { return SBytesField{mDataBytes, mDataSize}; }
    // A tag's data: its name, viewing a constant when it is a common one.
    void AppendTagData(CDocument& document, const char* bytes, std::size_t length);
};

// The root, and the base of tags: a node with children.
class CParentNode : public CParseNode {
public:
    CParentNode() : CParseNode(KP_NODE_ROOT) {}

protected:
    friend class CParseNode;
    friend class CTreeBuilder;
    explicit CParentNode(int type) : CParseNode(type) {}

    CNodeList mChildren;
};

// One attribute: the name (lower-cased by the engine), the data is the
// value as written, without its quotes. bHasValue: an "=" was written.
//
// The name's size is kept in the first word, in 16 bits: its top bit says
// the bytes are the document's own (as kOwnedBytes does), the other 15 the
// count. A name of kLongName bytes or more (only hostile pages hold one) is
// kept by the document instead, and the node names that record.
class CPropertyNode : public CParseNode {
public:
    CPropertyNode() : CParseNode(KP_NODE_PROPERTY) {}

    std::string_view PropertyName() const {
        if (mSmall == kLongNameMark) return ViewOf(mLongName->mBytes, mLongName->mSize);
        return {mNameBytes, static_cast<std::size_t>(mSmall & ~kOwnedShort)};
    }
    // Extends the name, its case changed as asked. Throws std::bad_alloc,
    // leaving the name as it was.
    void AppendName(CDocument& document, const char* bytes, std::size_t length, ECase how) {
        if (mSmall == 0 && how == ECase::Lower && length - 1 < 16 && !HasLetterShort(bytes, length, 'A') &&
            document.IsInText(bytes)) {
            // Most names: a short view of the text, in lower case already.
            mNameBytes = bytes;
            mSmall = static_cast<std::uint16_t>(length);
            return;
        }
        if (mSmall != kLongNameMark && length < kLongName - (mSmall & ~kOwnedShort)) {
            SNodeBytes name = ShortName();
            document.Append(SBytesField{name.mBytes, name.mSize}, bytes, length, how);
            mNameBytes = name.mBytes;
            mSmall = static_cast<std::uint16_t>((name.mSize & ~kOwnedBytes) | (name.mSize & kOwnedBytes ? kOwnedShort : 0));
            return;
        }
        AppendLongName(document, bytes, length, how);
    }
    // A name that lives as long as the program ("type").
    void SetStaticName(const char* name) noexcept {
        const std::size_t length = std::strlen(name);
        assert(length < kLongName);
        mNameBytes = name;
        mSmall = static_cast<std::uint16_t>(length);
    }

private:
    friend class CDocument;

    static constexpr std::uint16_t kOwnedShort = 0x8000;
    static constexpr std::uint16_t kLongNameMark = 0xFFFF;
    static constexpr std::size_t kLongName = 0x7FFF;

    SNodeBytes ShortName() const {
        return SNodeBytes{mNameBytes, (mSmall & ~kOwnedShort) | (mSmall & kOwnedShort ? kOwnedBytes : 0u)};
    }
    // The name as the document's record, made on the first long append.
    void AppendLongName(CDocument& document, const char* bytes, std::size_t length, ECase how);

    union {
        const char* mNameBytes = "";  // while mSmall is not kLongNameMark
        SNodeBytes* mLongName;        // a record of the document's
    };
};

inline std::string_view CParseNode::Name() const {
    switch (mType) {
        case KP_NODE_PROPERTY: return static_cast<const CPropertyNode*>(this)->PropertyName();
        case KP_NODE_TEXT: return bInsert ? std::string_view("KIVO INSERT") : std::string_view("TEXT NODE");
        case KP_NODE_ROOT: return "ROOT";
        default: return std::string_view("", 0);
    }
}

inline CNodeList* CParseNode::Children() {
    return mType == KP_NODE_TAG || mType == KP_NODE_ROOT ? &static_cast<CParentNode*>(this)->mChildren : nullptr;
}
inline const CNodeList* CParseNode::Children() const {
    return mType == KP_NODE_TAG || mType == KP_NODE_ROOT ? &static_cast<const CParentNode*>(this)->mChildren
                                                         : nullptr;
}

inline void CParseNode::AppendData(CDocument& document, const char* bytes, std::size_t length) {
    if (mType == KP_NODE_TAG) AppendTagData(document, bytes, length);
    else document.Append(DataField(), bytes, length);
}

inline void SRecycle::operator()(CParseNode* node) const noexcept {
    assert(mDocument);
    mDocument->Recycle(node);
}

template <class T>
T* CDocument::Make() {
    // Sizes go up in steps of 8 bytes, the alignment of every node.
    constexpr std::size_t sizeClass = (sizeof(T) + 7) / 8;
    static_assert(sizeClass < kSizeClasses && alignof(T) <= 8, "a node fits a size class");
    T* node = new (AllocateNode(sizeClass * 8)) T();
    assert(SizeClassOf(node->mType) == sizeClass);
    return node;
}

// A node of class T for document, owned by the caller until attached.
template <class T>
NodePtr<T> MakeNode(CDocument& document) {
    return NodePtr<T>(document.template Make<T>(), SRecycle{&document});
}
// node, which document made, owned by the caller until attached.
template <class T>
NodePtr<T> Owned(CDocument& document, T* node) {
    return NodePtr<T>(node, SRecycle{&document});
}

inline CParseNode* CNodeList::GetLast() const { return mFirst ? mFirst->mPrev : nullptr; }

inline bool CNodeList::EndsHold() const noexcept {
    return !mFirst || (mFirst->mPrev && !mFirst->mPrev->mNext);
}

inline void CNodeList::Insert(CParseNode* node, bool atEnd) noexcept {
    assert(node && !node->mPrev && !node->mNext && node != mFirst && EndsHold());
    if (!mFirst) {
        mFirst = node->mPrev = node;
        return;
    }
    CParseNode* const last = mFirst->mPrev;
    node->mPrev = last;
    if (atEnd) {
        last->mNext = node;
    } else {
        node->mNext = mFirst;
        mFirst = node;
    }
    (atEnd ? mFirst : node->mNext)->mPrev = node;
}

inline void CNodeList::Splice(CNodeList& other, bool atEnd) noexcept {
    assert(&other != this && EndsHold() && other.EndsHold());
    if (!other.mFirst) return;
    if (mFirst) {
        CParseNode* const last = mFirst->mPrev;
        CParseNode* const otherLast = other.mFirst->mPrev;
        if (atEnd) {
            last->mNext = other.mFirst;
        } else {
            otherLast->mNext = mFirst;
        }
        other.mFirst->mPrev = last;
        mFirst->mPrev = otherLast;
        if (!atEnd) mFirst = other.mFirst;
    } else {
        mFirst = other.mFirst;
    }
    other.mFirst = nullptr;
}

inline CNodeList CNodeList::TakeAfter(CParseNode* node) noexcept {
    assert(node && EndsHold() && (node->mNext ? node->mNext->mPrev == node : node == GetLast()));
    CNodeList after;
    if (CParseNode* first = node->mNext) {
        after.mFirst = first;
        first->mPrev = mFirst->mPrev;  // the last goes with them
        node->mNext = nullptr;
        mFirst->mPrev = node;
    }
    return after;
}

inline CParseNode* CNodeList::Remove(CParseNode* node) noexcept {
    assert(node && EndsHold() && (node == mFirst || node->mPrev->mNext == node) &&
           (node->mNext ? node->mNext->mPrev == node : node == GetLast()));
    if (node == mFirst) {
        mFirst = node->mNext;
        if (mFirst) mFirst->mPrev = node->mPrev;  // still the last
    } else {
        node->mPrev->mNext = node->mNext;
        (node->mNext ? node->mNext : mFirst)->mPrev = node->mPrev;
    }
    node->mPrev = node->mNext = nullptr;
    return node;
}

// In line: the lists are short, and the name is often known to the caller's
// compiler.
inline CParseNode* CNodeList::FindByName(std::string_view name) const {
    for (CParseNode* node = mFirst; node; node = node->mNext) {
        const std::string_view candidate = node->Name();
        // A stored name matches up to its first NUL, as a C string would.
        if (candidate.size() >= name.size() && std::memcmp(candidate.data(), name.data(), name.size()) == 0 &&
            (candidate.size() == name.size() || candidate[name.size()] == '\0'))
            return node;
    }
    return nullptr;
}

inline CParseNode* CNodeList::RemoveLast() noexcept { return mFirst ? Remove(mFirst->mPrev) : nullptr; }
inline CParseNode* CNodeList::RemoveFirst() noexcept { return mFirst ? Remove(mFirst) : nullptr; }

}  // namespace kivoparse
