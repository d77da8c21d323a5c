#pragma once
#include <cstddef>
#include <string_view>

namespace kivoparse {

class CParseNode;

// An ordered, doubly linked list of nodes: a node's children, or a tag's
// properties. The list is one pointer inside the node that holds it, to its
// first node; the nodes are the document's (see CDocument), linked through
// their own mPrev/mNext, and the first node's mPrev names the last (whose
// mNext is null), so both ends are at hand without a second pointer. Every
// edit of a list is one of the primitives below: each is constant time,
// allocates nothing, and asserts in debug builds that the links it touches
// are consistent.
class CNodeList {
public:
    CNodeList() = default;
    CNodeList(const CNodeList&) = delete;
    CNodeList& operator=(const CNodeList&) = delete;
    CNodeList(CNodeList&& other) noexcept : mFirst(other.mFirst) { other.mFirst = nullptr; }

    // Links a node that no list holds in at the end (atEnd) or the front.
    void Insert(CParseNode* node, bool atEnd) noexcept;
    void Append(CParseNode* node) noexcept { Insert(node, true); }
    void Prepend(CParseNode* node) noexcept { Insert(node, false); }
    // Moves every node of other, in order, to the end (atEnd) or the front
    // of this list; other is left empty.
    void Splice(CNodeList& other, bool atEnd) noexcept;
    void SpliceBack(CNodeList& other) noexcept { Splice(other, true); }
    void SpliceFront(CNodeList& other) noexcept { Splice(other, false); }
    // Every node, in order, as a list of its own; this one is left empty.
    CNodeList TakeAll() noexcept { return CNodeList(std::move(*this)); }
    // The nodes after node (which this list holds), in order, as a list of
    // their own; node is the last of this one then.
    CNodeList TakeAfter(CParseNode* node) noexcept;
    // Unlinks and returns the last / first node (null when empty) / the node
    // given, with its links cleared.
    CParseNode* RemoveLast() noexcept;
    CParseNode* RemoveFirst() noexcept;
    CParseNode* Remove(CParseNode* node) noexcept;

    CParseNode* GetFirst() const { return mFirst; }
    inline CParseNode* GetLast() const;
    bool IsEmpty() const { return mFirst == nullptr; }
    // First node whose name equals name byte for byte, up to the stored
    // name's first NUL; null if none.
    inline CParseNode* FindByName(std::string_view name) const;

    // Debug aid for tests: every link consistent, the first naming the last.
    bool CheckLinks() const;

private:
    // The invariants of the ends, asserted by each primitive.
    bool EndsHold() const noexcept;

    CParseNode* mFirst = nullptr;
};

}  // namespace kivoparse
