#pragma once
#include <cstddef>
#include <string_view>

namespace kivoparse {

class CParseNode;

// An ordered, doubly linked list of nodes: a node's children, or a tag's
// properties. The list is two pointers inside the node that holds it; the
// nodes are the store's (see CNodeStore), linked through their own
// mPrev/mNext. Attaching at either end and removing any node are constant
// time and allocate nothing.
class CNodeList {
public:
    // Links node in at the end (atEnd) or at the front.
    void AddChild(CParseNode* node, bool atEnd) noexcept;
    CParseNode* GetFirst() const { return mFirst; }
    CParseNode* GetLast() const { return mLast; }
    bool IsEmpty() const { return mFirst == nullptr; }
    // Unlinks and returns the last node (null when empty) / the node given,
    // with its links cleared.
    CParseNode* RemoveLast() noexcept;
    CParseNode* Remove(CParseNode* node) noexcept;
    // First node whose name equals name byte for byte, up to the stored
    // name's first NUL; null if none.
    CParseNode* FindByName(std::string_view name) const;

    // Debug aid for tests: every link consistent, first/last in step.
    bool CheckLinks() const;

private:
    friend class CParseNode;
    friend class CNodeStore;
    CParseNode* mFirst = nullptr;
    CParseNode* mLast = nullptr;
};

}  // namespace kivoparse
