// Tree assembly: attaching nodes, folding end tags into their start tags,
// and closing a start tag.
#include <cstdint>
#include <cstring>

#include "tree/CNodeContext.h"
#include "tree/CNodeList.h"
#include "tree/COpenTagIndex.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"

namespace kivoparse {

void COpenTagIndex::Count(const CParseNode& node, int delta) {
    if (node.mType != KP_NODE_TAG) return;
    // A node of the tag type is a CTagNode: its state is read directly.
    const auto& tag = static_cast<const CTagNode&>(node);
    if (!tag.bOpen) return;
    const int type = tag.CParseNode::GetTagType();
    if (type > 0 && type < static_cast<int>(mByType.size())) {
        mByType[static_cast<std::size_t>(type)] += delta;
    } else {
        CountOf(tag.CTagNode::GetName()) += delta;
    }
}

long& COpenTagIndex::CountOf(const char* name) {
    const std::size_t length = std::strlen(name);
    if (length > sizeof(std::uint64_t)) return mByName[std::string(name, length)];
    std::uint64_t word = 0;
    std::memcpy(&word, name, length);
    return mByShortName[word];
}

bool COpenTagIndex::MayMatch(int tagType, const char* endName) const {
    if (tagType != 0) {
        return tagType > 0 && tagType < static_cast<int>(mByType.size()) &&
               mByType[static_cast<std::size_t>(tagType)] > 0;
    }
    const std::size_t length = std::strlen(endName);
    if (length > sizeof(std::uint64_t)) {
        auto it = mByName.find(std::string(endName, length));
        return it != mByName.end() && it->second > 0;
    }
    std::uint64_t word = 0;
    std::memcpy(&word, endName, length);
    auto it = mByShortName.find(word);
    return it != mByShortName.end() && it->second > 0;
}

namespace {

// A classified tag is matched by its type alone, an unclassified one by name.
bool IsStartTagOf(const CParseNode& node, int tagType, const char* endName) {
    return node.mType == KP_NODE_TAG && node.GetTagType() == tagType && node.IsOpen() &&
           (tagType != 0 || std::strcmp(node.GetName(), endName) == 0);
}

}  // namespace

void CParseNode::TrackOpenTags() {
    if (!mChildren) mChildren = std::make_unique<CNodeList>();
    if (!mChildren->mOpenTags) mChildren->mOpenTags = std::make_unique<COpenTagIndex>();
}

void CParseNode::AddChild(std::unique_ptr<CParseNode> node, bool atEnd) {
    if (!mChildren) mChildren = std::make_unique<CNodeList>();
    node->mParent = this;
    if (node->mType == KP_NODE_TAG) {
        auto* tag = static_cast<CTagNode*>(node.get());
        // Only a fresh end tag is open and an end tag at once.
        if (tag->IsEndTag() && tag->IsOpen()) {
            node.release();
            FoldEndTag(std::unique_ptr<CTagNode>(tag));
            return;
        }
    }
    if (COpenTagIndex* index = mChildren->OpenTags()) index->Added(*node);
    mChildren->AddChild(std::move(node), atEnd);
}

// An end tag walks back from the end of the list to the nearest open start
// tag of its kind. Every node it passes moves into the end tag, in order;
// the start tag then takes them all as its children and the end tag goes.
// With no start tag, the nodes go back where they were and the end tag
// stays after them as an ordinary node ("SPAN" excepted, which is dropped).
void CParseNode::FoldEndTag(std::unique_ptr<CTagNode> endTag) {
    CNodeList* list = mChildren.get();
    const char* endName = endTag->GetName() + 1;  // without its "/"
    const int tagType = endTag->GetTagType();
    CLogFile* log = mEngine ? mEngine->Trace() : nullptr;
    COpenTagIndex* index = list->OpenTags();
    if (log) log->Log("Found End Tag: %s", endName);

    // Without a trace, the run after the start tag moves as one splice.
    if (index && !log && index->MayMatch(tagType, endName) && FoldBySplice(endTag, tagType, endName)) {
        // The start tag, closed now, has its type and its end-tag mark:
        // classifying it again would change nothing, so only its rules run.
        if (tagType != 0) {
            auto* start = static_cast<CTagNode*>(list->GetLast());
            start->ApplyPropertyRules();
            start->ApplyDesignTimeRules();
        }
        return;
    }
    if (!index || index->MayMatch(tagType, endName)) {
        for (std::unique_ptr<CParseNode> node = list->RemoveLast(); node; node = list->RemoveLast()) {
            if (IsStartTagOf(*node, tagType, endName)) {
                if (log) log->Log("Found Matching Start Tag: %s", node->GetName());
                auto* start = static_cast<CTagNode*>(node.get());
                if (index) index->Removed(*start);
                start->CloseWithEndTag(std::move(endTag));
                list->AddChild(std::move(node), true);
                // A classified tag is classified and tidied once more.
                if (tagType != 0) start->Normalize();
                return;
            }
            if (mEngine) mEngine->CountWork(1);
            if (log) log->Log("Adding %s to %s", node->GetName(), endName);
            if (index) index->Removed(*node);
            endTag->AddChild(std::move(node), false);
        }
        // The list is empty: the former children, in order, are the end
        // tag's now, and its list becomes the receiver's.
        if (endTag->mChildren) {
            endTag->mChildren->mOpenTags = std::move(list->mOpenTags);
            mChildren = std::move(endTag->mChildren);
        }
        for (CParseNode* node = mChildren ? mChildren->GetFirst() : nullptr; node; node = node->NextSibling()) {
            node->mParent = this;  // never left pointing at the end tag
            if (index) index->Added(*node);
        }
    }
    if (log) log->Log("Start Tag NOT FOUND for %s", endName);
    if (!mChildren) mChildren = std::make_unique<CNodeList>();
    if (tagType == KP_TAG_SPAN) return;  // endTag is destroyed here
    endTag->ClearEndTag();
    if (index) index->Added(*endTag);
    mChildren->AddChild(std::move(endTag), true);
}

// The nodes after the nearest open start tag of the end tag's kind become
// that tag's children in one splice, and the end tag closes it: what the
// node-by-node walk of FoldEndTag leaves, without moving each node twice.
// Takes endTag and returns true when done; returns false, having changed
// nothing, when the walk is needed: no such start tag, a property or a fresh
// end tag among the nodes, or children already on either tag.
bool CParseNode::FoldBySplice(std::unique_ptr<CTagNode>& endTag, int tagType, const char* endName) {
    CNodeList* list = mChildren.get();
    if (endTag->mChildren) return false;
    CParseNode* start = list->mLast;
    std::uint64_t passed = 0;
    bool cursorInRun = false;
    while (start && !IsStartTagOf(*start, tagType, endName)) {
        if (start->mType == KP_NODE_PROPERTY) return false;
        if (start->mType == KP_NODE_TAG && static_cast<CTagNode*>(start)->IsEndTag() && start->IsOpen())
            return false;
        if (list->mCursor == start) cursorInRun = true;
        ++passed;
        start = start->mPrev;
    }
    if (!start || start->mChildren) return false;
    // A walk's cursor on a node that moves ends, as when the nodes leave one by one.
    if (list->mCursor == start) cursorInRun = true;

    auto* startTag = static_cast<CTagNode*>(start);
    COpenTagIndex* index = list->OpenTags();
    if (CParseNode* first = start->mNext) {
        auto run = std::make_unique<CNodeList>();
        run->mFirst = first;
        run->mLast = list->mLast;
        first->mPrev = nullptr;
        start->mNext = nullptr;
        list->mLast = start;
        for (CParseNode* node = first; node; node = node->mNext) {
            index->Removed(*node);
            node->mParent = start;
        }
        start->mChildren = std::move(run);
        if (mEngine) mEngine->CountWork(passed);
    }
    index->Removed(*startTag);
    if (cursorInRun) list->mCursor = nullptr;
    // Takes no children from the end tag, having its own now.
    startTag->CloseWithEndTag(std::move(endTag));
    return true;
}

void CTagNode::AddChild(std::unique_ptr<CParseNode> node, bool atEnd) {
    if (node->mType != KP_NODE_PROPERTY) {
        CParseNode::AddChild(std::move(node), atEnd);
        return;
    }
    if (!mProperties) mProperties = std::make_unique<CNodeList>();
    node->mParent = this;
    mProperties->AddChild(std::move(node), atEnd);
}

void CTagNode::CloseWithEndTag(std::unique_ptr<CTagNode> endTag) {
    // An open start tag has no children of its own: it takes the end tag's.
    if (!mChildren) {
        mChildren = std::move(endTag->mChildren);
        // The nodes were attached through the end tag, which goes now.
        for (CParseNode* node = mChildren ? mChildren->GetFirst() : nullptr; node; node = node->NextSibling())
            node->mParent = this;
    }
    bOpen = false;
    bEndTag = true;
    endTag.reset();
    ApplyPropertyRules();
    ApplyDesignTimeRules();
}

}  // namespace kivoparse
