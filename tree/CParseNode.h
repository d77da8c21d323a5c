#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kivoparse {

class CNodeContext;
class CNodeList;

// An ordered list of 8-bit values (URLs) as collected and rewritten.
using CValueList = std::vector<std::string>;

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
// destruction) walk with an explicit stack, never one call per level, since
// folding can nest a document a million levels deep.
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
    const std::string& Name() const { return mName; }
    void SetName(std::string name) { mName = std::move(name); }
    CNodeList* Children() const { return mChildren; }
    CParseNode* NextSibling() const { return mNext; }
    CParseNode* PrevSibling() const { return mPrev; }
    CNodeContext* Engine() const { return mEngine; }

protected:
    explicit CParseNode(int type) : mType(type) {}

public:
    const int mType;
    // The node it was attached through (a folded node's start tag); read by
    // nothing in the system.
    CParseNode* mParent = nullptr;

protected:
    friend class CNodeList;
    friend class CParsingEngine;

    CNodeList* mChildren = nullptr;  // owned
    CParseNode* mPrev = nullptr;
    CParseNode* mNext = nullptr;
    std::string mName;
    CNodeContext* mEngine = nullptr;  // the engine that made it; not owned
    int mTagType = 0;
    std::string mData;

    // Destruction without recursion: ReleaseOwned moves what this node owns
    // (its lists, or a list's nodes) onto a work list; DestroyOwned deletes a
    // work list, releasing each node's belongings before deleting it.
    void ReleaseOwned(std::vector<CParseNode*>& into);
    static void DestroyOwned(std::vector<CParseNode*>& pending);

    // End-tag folding (tree assembly).
    void FoldEndTag(std::unique_ptr<class CTagNode> endTag);
};

}  // namespace kivoparse
