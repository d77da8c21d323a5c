#pragma once
#include <cstddef>
#include <cstring>
#include <memory>

#include "tree/COpenTagIndex.h"
#include "tree/CParseNode.h"

namespace kivoparse {

// An ordered, doubly linked list of nodes: a child list or a property list.
// The list is the one owner of nodes in the tree: it holds every node linked
// into it through the links themselves (mFirst, then each mNext). AddChild
// takes a node over from a unique_ptr, RemoveLast and Remove hand one back
// in a unique_ptr, and DestroyChain is the only place where nodes are
// destroyed. One cursor (Reset/Next) serves one walk at a time.
class CNodeList : public CParseNode {
public:
    CNodeList() : CParseNode(KP_NODE_LIST) {}

    // Links node in at the end (atEnd) or at the front; never folds end tags.
    void AddChild(std::unique_ptr<CParseNode> node, bool atEnd) override;
    void Dump(std::FILE* out) override;
    ~CNodeList() override;

    void Reset() { mCursor = mFirst; }
    CParseNode* Next();
    CParseNode* GetFirst() const { return mFirst; }
    CParseNode* GetLast() const { return mLast; }
    bool IsEmpty() const { return mFirst == nullptr; }
    std::unique_ptr<CParseNode> RemoveLast();
    std::unique_ptr<CParseNode> Remove(CParseNode* node);
    // First node whose mName equals name byte for byte; null if none.
    CParseNode* FindByName(const char* name) const { return FindByName(name, std::strlen(name)); }
    // The same for a name of length bytes without a NUL.
    CParseNode* FindByName(const char* name, std::size_t length) const;

    // Debug aid for tests: every link consistent, first/last in step.
    bool CheckLinks() const;

    // The open start tags of this list by kind, kept by the tree assembly
    // when the list has one (the root's, in the fast mode); null otherwise.
    COpenTagIndex* OpenTags() const { return mOpenTags.get(); }

private:
    friend class CParseNode;
    // Destroys a chain of nodes linked by mNext that nothing else owns, and
    // everything they own, without recursion and without allocating: each
    // node's lists are spliced into the chain before the node goes.
    static void DestroyChain(CParseNode* head) noexcept;

    std::unique_ptr<COpenTagIndex> mOpenTags;
    CParseNode* mCursor = nullptr;
    CParseNode* mLast = nullptr;
    CParseNode* mFirst = nullptr;
};

}  // namespace kivoparse
