#pragma once
#include <cassert>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string_view>

#include "tree/COpenTagIndex.h"
#include "tree/CParseNode.h"
#include "tree/CTagNode.h"

namespace kivoparse {

class CTreeBuilder;

// Where the builder's trace lines go, one line per call, formatted as
// printf formats. Whoever builds a tree with a trace supplies one.
class CTreeTrace {
public:
    void Log(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    virtual void LogV(const char* format, va_list args) = 0;

protected:
    ~CTreeTrace() = default;
};

// What is done to a tag's attributes after the builder's own rules each
// time they run (when the tag is attached, and again when its end tag
// closes it), if the tag has attributes: the document base, which links/
// supplies, takes the base out of image URLs with it.
class CTagHook {
public:
    // Changes tag's attributes through builder (its document stores their
    // bytes, its work counter counts the bytes looked at).
    virtual void Apply(CTagNode& tag, CTreeBuilder& builder) const = 0;

protected:
    ~CTagHook() = default;
};

// Builds one document's tree: attaches the nodes a parse hands it, folds
// the nodes after a start tag into it when its end tag comes, and tidies
// each tag (its type, the rules of IMG, TD and STYLE, design-time
// attributes, then the tag hook). It lives for one parse, which owns it and
// hands it on by reference; it holds that parse's trace (null without one),
// tag hook (null without one), work counter and, when asked for, the index
// of the open start tags of the root's list.
class CTreeBuilder {
public:
    // trackOpenTags: keep the index, which lets an end tag find its start
    // tag without walking back and move the nodes between in one splice.
    // Without it, and always while a trace is written, nodes move one by one.
    CTreeBuilder(CDocument& document, CTreeTrace* trace, const CTagHook* tagHook, bool trackOpenTags);
    CTreeBuilder(const CTreeBuilder&) = delete;
    CTreeBuilder& operator=(const CTreeBuilder&) = delete;
    ~CTreeBuilder();

    CDocument& Document() const { return mDocument; }
    // The trace while one is written, else null: callers test it before
    // they format anything.
    CTreeTrace* Trace() const { return mTrace; }

    // Work done for the tree, in the unit of bytes read.
    void CountWork(std::uint64_t steps) { mWork += steps; }
    std::uint64_t Work() const { return mWork; }

    // parent takes node, at the end of its list or at the front: a tag's
    // attributes go to its property list, anything else to its children.
    // Attaching a fresh end tag folds the nodes after its start tag into
    // that tag instead. An attribute, the most common case, and text at the
    // end of a list are settled here without a call.
    void AddChild(CParseNode& parent, NodePtr<CParseNode>&& node, bool atEnd) {
        if (node->mType == KP_NODE_PROPERTY && parent.mType == KP_NODE_TAG) {
            static_cast<CTagNode&>(parent).Properties()->Insert(node.release(), atEnd);
            return;
        }
        if (node->mType == KP_NODE_TEXT && atEnd) {
            // Text, the next most common, is never in the open-tag index:
            // it joins the end of the list at once.
            ChildList(parent).Insert(node.release(), true);
            return;
        }
        AttachChild(parent, std::move(node), atEnd);
    }
    // A tag is classified and tidied; other nodes are left as they are.
    void Normalize(CParseNode& node) {
        if (node.mType == KP_NODE_TAG) NormalizeTag(static_cast<CTagNode&>(node));
    }

private:
    // The children of a node that takes them: the root or a tag.
    static CNodeList& ChildList(CParseNode& parent) {
        assert(parent.mType == KP_NODE_TAG || parent.mType == KP_NODE_ROOT);
        return static_cast<CParentNode&>(parent).mChildren;
    }
    // AddChild but for an attribute of a tag.
    void AttachChild(CParseNode& parent, NodePtr<CParseNode>&& node, bool atEnd);
    void NormalizeTag(CTagNode& tag);
    void FoldEndTag(CParseNode& parent, NodePtr<CTagNode> endTag);
    bool FoldBySplice(CParseNode& parent, NodePtr<CTagNode>& endTag);
    // Closes start with its end tag, which goes back to the document.
    void CloseWithEndTag(CTagNode& start, NodePtr<CTagNode> endTag);
    // The rules of IMG, TD and STYLE, and the design-time attributes with
    // the tag hook; most tags need neither, which is settled here without a
    // call.
    void ApplyPropertyRules(CTagNode& tag) {
        const int type = tag.CParseNode::GetTagType();
        if (type == KP_TAG_IMG || type == KP_TAG_TD || type == KP_TAG_STYLE) ApplyTypeRules(tag);
    }
    void ApplyDesignTimeRules(CTagNode& tag) {
        if (!tag.Properties()->IsEmpty() && (mTagHook || HasLongPropertyName(tag))) DropDesignTimeProperties(tag);
    }
    // Whether a property name is as long as a design-time one.
    static bool HasLongPropertyName(const CTagNode& tag) {
        for (const CParseNode* property = tag.Properties()->GetFirst(); property; property = property->NextSibling()) {
            if (property->Name().size() >= 12) return true;
        }
        return false;
    }
    void ApplyTypeRules(CTagNode& tag);
    void DropDesignTimeProperties(CTagNode& tag);
    // The index of open start tags when parent is the root and one is kept.
    COpenTagIndex* OpenTagsOf(const CParseNode& parent) const {
        return &parent == mRoot ? mOpenTags.get() : nullptr;
    }

    CDocument& mDocument;
    const CParseNode* const mRoot;
    CTreeTrace* const mTrace;
    const CTagHook* const mTagHook;
    std::uint64_t mWork = 0;
    std::unique_ptr<COpenTagIndex> mOpenTags;
};

}  // namespace kivoparse
