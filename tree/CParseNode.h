#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tree/CValueList.h"

namespace kivoparse {

class CNodeContext;
class CNodeList;

// Type codes: which class a node is. Walkers test them where they must
// tell kinds apart.
enum : int {
    KP_NODE_ROOT = 1,
    KP_NODE_TAG = 2,
    KP_NODE_PROPERTY = 3,
    KP_NODE_COMMENT = 4,
    KP_NODE_TEXT = 5,
    KP_NODE_LIST = 6,
};

// The base of every node, and the class of the root. A node owns its child
// list (and through it its children); a list owns the nodes linked into it.
// mPrev/mNext are the links of the one list that holds the node.
//
// The subtree operations (writing, collecting, rewriting, dumping and
// destruction) never make one call per level, since folding can nest a
// document a million levels deep; destruction allocates nothing (see
// CNodeList), so a tree can be dropped while memory is short.
class CParseNode {
public:
    CParseNode() : CParseNode(KP_NODE_ROOT) {}
    CParseNode(const CParseNode&) = delete;
    CParseNode& operator=(const CParseNode&) = delete;

    // The fourteen operations, in slot order.
    virtual void FixAttributeValues(int tagType, const std::string& name,
                                    const CValueList& src, const CValueList& dest);
    virtual void GetAttributeValues(int tagType, const std::string& name, CValueList& values);
    virtual void WriteHTML(std::string& out);
    virtual bool IsOpen() const { return false; }
    virtual int GetTagType() const { return mTagType; }
    virtual void Normalize() {}
    virtual const char* GetData() const { return mData.c_str(); }
    virtual void AppendData(const char* bytes, unsigned int length) { mData.append(bytes, length); }
    virtual void SetData(const char* bytes, unsigned int length) { mData.assign(bytes, length); }
    virtual const char* GetName() const { return mName.c_str(); }
    virtual void ClearChildren();
    // Takes ownership of node. Attaching a fresh end tag folds the nodes
    // after its start tag into that tag.
    virtual void AddChild(std::unique_ptr<CParseNode> node, bool atEnd);
    virtual void Dump(std::FILE* out);
    virtual ~CParseNode();

    void SetEngine(CNodeContext* engine) { mEngine = engine; }
    unsigned int GetDataLength() const { return static_cast<unsigned int>(mData.size()); }
    void ResetLinks() { mPrev = nullptr; mNext = nullptr; }
    // From now on the child list counts its open start tags by kind, so that
    // an end tag that matches none of them is known without a walk.
    void TrackOpenTags();

    // The stored bytes whole (GetData stops at the first NUL).
    const std::string& Data() const { return mData; }
    // Exchanges the stored bytes with data; cannot fail.
    void SwapData(std::string& data) noexcept { mData.swap(data); }
    const std::string& Name() const { return mName; }
    void SetName(std::string name) { mName = std::move(name); }
    CNodeList* Children() const { return mChildren.get(); }
    CParseNode* NextSibling() const { return mNext; }
    CParseNode* PrevSibling() const { return mPrev; }
    CNodeContext* Engine() const { return mEngine; }

protected:
    explicit CParseNode(int type);

public:
    const int mType;
    // The node it was attached through (a folded node's start tag); read by
    // nothing in the system.
    CParseNode* mParent = nullptr;

protected:
    friend class CNodeList;
    friend class CParsingEngine;

    std::unique_ptr<CNodeList> mChildren;
    CParseNode* mPrev = nullptr;
    CParseNode* mNext = nullptr;
    std::string mName;
    CNodeContext* mEngine = nullptr;  // the engine that made it; not owned
    int mTagType = 0;
    std::string mData;

    // End-tag folding (tree assembly).
    void FoldEndTag(std::unique_ptr<class CTagNode> endTag);
    bool FoldBySplice(std::unique_ptr<CTagNode>& endTag, int tagType, const char* endName);
};

}  // namespace kivoparse
