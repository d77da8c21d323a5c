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

// The base of every node, and the class of the root. A node is links and
// bytes: it belongs to the document that made it, which releases it with
// the tree, but it does not know that document, so whatever stores bytes
// for it is handed the document. A node's child list holds its children,
// linked through their mPrev/mNext.
//
// Building a tree is tree/CTreeBuilder's; what is done with a whole tree
// lives beside it: writing and dumping in output/, collecting and rewriting
// URLs in links/. Their walks never make one call per level, since folding
// can nest a document a million levels deep.
class CParseNode {
public:
    CParseNode() : CParseNode(KP_NODE_ROOT) {}
    CParseNode(const CParseNode&) = delete;
    CParseNode& operator=(const CParseNode&) = delete;

    virtual bool IsOpen() const { return false; }
    virtual int GetTagType() const { return mTagType; }
    virtual std::string_view GetData() const { return ViewOf(mDataBytes, mDataSize); }
    // Extends / sets the data with bytes kept by document, the node's own.
    virtual void AppendData(CDocument& document, const char* bytes, std::size_t length) {
        document.Append(DataField(), bytes, length);
    }
    virtual void SetData(CDocument& document, const char* bytes, std::size_t length) {
        document.Assign(DataField(), bytes, length);
    }
    virtual std::string_view GetName() const { return ViewOf(mNameBytes, mNameSize); }
    // Nodes are not destroyed one by one: their document releases them.
    virtual ~CParseNode() = default;

    std::size_t GetDataLength() const { return mDataSize & ~kOwnedBytes; }
    void ResetLinks() { mPrev = nullptr; mNext = nullptr; }

    // The stored bytes whole (a C string view of them stops at a NUL).
    std::string_view Data() const { return ViewOf(mDataBytes, mDataSize); }
    // Sets bytes made beforehand by the document; cannot fail.
    void TakeData(const SNodeBytes& data) noexcept {
        mDataBytes = data.mBytes;
        mDataSize = data.mSize;
    }
    std::string_view Name() const { return ViewOf(mNameBytes, mNameSize); }
    void SetName(CDocument& document, std::string_view name) { document.Assign(NameField(), name.data(), name.size()); }
    // Extends the name, its case changed as asked.
    void AppendName(CDocument& document, const char* bytes, std::size_t length, ECase how) {
        document.Append(NameField(), bytes, length, how);
    }
    // A name that lives as long as the program ("ROOT", "TEXT NODE", ...).
    void SetStaticName(const char* name) noexcept {
        mNameBytes = name;
        mNameSize = static_cast<std::uint32_t>(std::strlen(name));
    }
    CNodeList* Children() { return &mChildren; }
    const CNodeList* Children() const { return &mChildren; }
    CParseNode* NextSibling() const { return mNext; }
    // The first node of a list names the last through mPrev: it has no previous sibling.
    CParseNode* PrevSibling() const { return mPrev && mPrev->mNext ? mPrev : nullptr; }

protected:
    explicit CParseNode(int type) : mType(static_cast<unsigned char>(type)) {}

public:
    const unsigned char mType;
    // Per-class flags, kept here where they cost no room: a tag's (see
    // CTagNode) and a property's (see CPropertyNode).
    bool bOpen = true;
    bool bEndTag = false;
    bool bHasValue = true;

protected:
    friend class CNodeList;
    friend class CDocument;
    friend class CTreeBuilder;

    unsigned char mSizeClass = 0;  // the document's size class of the node
    std::int16_t mTagType = 0;
    CParseNode* mPrev = nullptr;
    CParseNode* mNext = nullptr;
    CNodeList mChildren;
    const char* mNameBytes = "";
    const char* mDataBytes = "";
    std::uint32_t mNameSize = 0;  // see SNodeBytes
    std::uint32_t mDataSize = 0;

    SBytesField NameField() { return SBytesField{mNameBytes, mNameSize}; }
    SBytesField DataField() { return SBytesField{mDataBytes, mDataSize}; }
};

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
    node->mSizeClass = static_cast<unsigned char>(sizeClass);
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
