// Tree assembly: the builder attaching nodes, folding end tags into their
// start tags and closing a start tag, and the index of open start tags it
// keeps.
#include <cassert>
#include <cstdint>
#include <cstring>

#include "tree/CNodeList.h"
#include "tree/COpenTagIndex.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/CTreeBuilder.h"
#include "tree/HashMix.h"

namespace kivoparse {

namespace {

std::uint64_t PackName(std::string_view name) {
    std::uint64_t word = 0;
    std::memcpy(&word, name.data(), name.size());
    return word;
}

// An end tag's name without its "/".
std::string_view EndName(const CTagNode& endTag) {
    return endTag.CTagNode::GetName().substr(endTag.GetDataLength() > 0 ? 1 : 0);
}

}  // namespace

COpenTagIndex::COpenTagIndex() : mTops(kFirstName + kKnownNameCount, 0) {}

std::uint32_t COpenTagIndex::KindOf(const CParseNode& node) {
    if (node.mType == KP_NODE_PROPERTY) return kStopper;
    if (node.mType != KP_NODE_TAG) return kNotKept;
    // A node of the tag type is a CTagNode: its state is read directly.
    const auto& tag = static_cast<const CTagNode&>(node);
    if (!tag.bOpen) return kNotKept;
    if (tag.bEndTag) return kStopper;  // a fresh end tag
    const int type = tag.CParseNode::GetTagType();
    if (type > 0 && static_cast<std::uint32_t>(type) < kFirstName) return static_cast<std::uint32_t>(type);
    // A name with its "/" (an end tag that matched nothing) is none of the common ones.
    const int known = tag.KnownNameIndex();
    if (known >= 0 && !tag.StartsWithSlash()) return kFirstName + static_cast<std::uint32_t>(known);
    return AddName(tag.CTagNode::GetName());
}

std::uint32_t COpenTagIndex::AddName(std::string_view name) {
    const std::uint32_t fresh = static_cast<std::uint32_t>(mTops.size());
    std::uint32_t kind;
    if (name.size() > sizeof(std::uint64_t)) {
        kind = mByName.emplace(std::string(name), fresh).first->second;
    } else {
        const std::uint64_t word = PackName(name);
        kind = mShort
                   .FindOrAdd(Mix(word ^ mShort.Seed()), [word](const SShortName& entry) { return entry.mWord == word; },
                              SShortName{word, fresh})
                   .mKind;
    }
    if (kind == fresh) mTops.push_back(0);
    return kind;
}

std::uint32_t COpenTagIndex::FindName(std::string_view name) const {
    if (name.size() > sizeof(std::uint64_t)) {
        auto it = mByName.find(std::string(name));
        return it != mByName.end() ? it->second : kNotKept;
    }
    const std::uint64_t word = PackName(name);
    const SShortName* entry =
        mShort.Find(Mix(word ^ mShort.Seed()), [word](const SShortName& found) { return found.mWord == word; });
    return entry ? entry->mKind : kNotKept;
}

void COpenTagIndex::Added(const CParseNode& node) {
    const std::uint32_t kind = KindOf(node);
    if (kind == kNotKept) return;
    mEntries.push_back(SEntry{&node, kind, mTops[kind]});
    mTops[kind] = static_cast<std::uint32_t>(mEntries.size());
}

void COpenTagIndex::Pop() {
    const SEntry& entry = mEntries.back();
    mTops[entry.mKind] = entry.mPrevious;
    mEntries.pop_back();
}

void COpenTagIndex::Removed(const CParseNode& node) {
    // Nodes leave from the end of the list, so a kept one is the last entry.
    if (!mEntries.empty() && mEntries.back().mNode == &node) {
        Pop();
        return;
    }
    assert(KindOf(node) == kNotKept);
}

std::uint32_t COpenTagIndex::Nearest(const CTagNode& endTag) const {
    const int tagType = endTag.CParseNode::GetTagType();
    if (tagType != 0) {
        return tagType > 0 && static_cast<std::uint32_t>(tagType) < kFirstName
                   ? mTops[static_cast<std::size_t>(tagType)]
                   : 0;
    }
    const int known = endTag.KnownNameIndex();
    if (known >= 0) return mTops[kFirstName + static_cast<std::size_t>(known)];
    const std::uint32_t kind = FindName(EndName(endTag));
    return kind == kNotKept ? 0 : mTops[kind];
}

CTagNode* COpenTagIndex::At(std::uint32_t position) const {
    return static_cast<CTagNode*>(const_cast<CParseNode*>(mEntries[position - 1].mNode));
}

long COpenTagIndex::TakeFrom(std::uint32_t position) {
    if (mTops[kStopper] > position) return -1;
    const long taken = static_cast<long>(mEntries.size()) - static_cast<long>(position) + 1;
    while (mEntries.size() >= position) Pop();
    return taken;
}

void COpenTagIndex::Clear() {
    while (!mEntries.empty()) Pop();
}

void CTreeTrace::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(format, args);
    va_end(args);
}

CTreeBuilder::CTreeBuilder(CDocument& document, CTreeTrace* trace, const CTagHook* tagHook, bool trackOpenTags)
    : mDocument(document),
      mRoot(document.Root()),
      mTrace(trace),
      mTagHook(tagHook),
      mOpenTags(trackOpenTags ? std::make_unique<COpenTagIndex>() : nullptr) {}

CTreeBuilder::~CTreeBuilder() = default;

namespace {

// A classified tag is matched by its type alone, an unclassified one by name.
bool IsStartTagOf(const CParseNode& node, int tagType, std::string_view endName) {
    if (node.mType != KP_NODE_TAG) return false;
    const auto& tag = static_cast<const CTagNode&>(node);
    return tag.CParseNode::GetTagType() == tagType && tag.bOpen && (tagType != 0 || tag.CTagNode::GetName() == endName);
}

}  // namespace

void CTreeBuilder::AttachChild(CParseNode& parent, NodePtr<CParseNode>&& node, bool atEnd) {
    if (node->mType == KP_NODE_TAG) {
        auto* tag = static_cast<CTagNode*>(node.get());
        // Only a fresh end tag is open and an end tag at once.
        if (tag->bEndTag && tag->bOpen) {
            node.release();
            FoldEndTag(parent, Owned(mDocument, tag));
            return;
        }
    }
    COpenTagIndex* index = OpenTagsOf(parent);
    if (index && atEnd) index->Added(*node);
    ChildList(parent).Insert(node.release(), atEnd);
    if (index && !atEnd) {
        // Made again in list order: the index follows a list that grows at its end.
        index->Clear();
        for (CParseNode* child = ChildList(parent).GetFirst(); child; child = child->mNext) index->Added(*child);
    }
}

// An end tag walks back from the end of the list to the nearest open start
// tag of its kind. Every node it passes moves into the end tag, in order;
// the start tag then takes them all as its children and the end tag goes.
// With no start tag, the nodes go back where they were and the end tag
// stays after them as an ordinary node ("SPAN" excepted, which is dropped).
void CTreeBuilder::FoldEndTag(CParseNode& parent, NodePtr<CTagNode> endTag) {
    CNodeList* list = &ChildList(parent);
    const int tagType = endTag->CParseNode::GetTagType();
    CTreeTrace* log = mTrace;
    COpenTagIndex* index = OpenTagsOf(parent);

    // Without a trace, the run after the start tag moves as one splice.
    if (index && !log && FoldBySplice(parent, endTag)) {
        // The start tag, closed now, has its type and its end-tag mark:
        // classifying it again would change nothing, so only its rules run.
        if (tagType != 0) {
            auto* start = static_cast<CTagNode*>(list->GetLast());
            ApplyPropertyRules(*start);
            ApplyDesignTimeRules(*start);
        }
        return;
    }
    const std::string_view endName = EndName(*endTag);
    const int nameLength = static_cast<int>(endName.size());
    if (log) log->Log("Found End Tag: %.*s", nameLength, endName.data());
    if (!index || index->MayMatch(*endTag)) {
        for (CParseNode* node = list->RemoveLast(); node; node = list->RemoveLast()) {
            if (IsStartTagOf(*node, tagType, endName)) {
                auto* start = static_cast<CTagNode*>(node);
                if (log) {
                    const std::string_view name = start->CTagNode::GetName();
                    log->Log("Found Matching Start Tag: %.*s", static_cast<int>(name.size()), name.data());
                }
                if (index) index->Removed(*start);
                CloseWithEndTag(*start, std::move(endTag));
                list->Append(start);
                // A classified tag is classified and tidied once more.
                if (tagType != 0) NormalizeTag(*start);
                return;
            }
            CountWork(1);
            if (log) {
                const std::string_view name = UpToNul(node->GetName());
                log->Log("Adding %.*s to %.*s", static_cast<int>(name.size()), name.data(), nameLength, endName.data());
            }
            if (index) index->Removed(*node);
            AddChild(*endTag, Owned(mDocument, node), false);
        }
        // The list is empty: the former children, in order, are the end
        // tag's now, and its list becomes the receiver's.
        list->SpliceBack(endTag->mChildren);
        if (index) {
            for (CParseNode* node = list->GetFirst(); node; node = node->mNext) index->Added(*node);
        }
    }
    if (log) log->Log("Start Tag NOT FOUND for %.*s", nameLength, endName.data());
    if (tagType == KP_TAG_SPAN) return;  // endTag goes back to the document here
    endTag->ClearEndTag();
    if (index) index->Added(*endTag);
    list->Append(endTag.release());
}

// The nodes after the nearest open start tag of the end tag's kind become
// that tag's children in one splice, and the end tag closes it: what the
// node-by-node walk of FoldEndTag leaves, without moving each node twice.
// Takes endTag and returns true when done; returns false, having changed
// nothing, when the walk is needed: no such start tag, a property or a fresh
// end tag among the nodes, or children already on either tag.
bool CTreeBuilder::FoldBySplice(CParseNode& parent, NodePtr<CTagNode>& endTag) {
    if (!endTag->mChildren.IsEmpty()) return false;
    COpenTagIndex* index = OpenTagsOf(parent);
    const std::uint32_t position = index->Nearest(*endTag);
    if (position == 0) return false;
    CTagNode* start = index->At(position);
    if (!start->mChildren.IsEmpty()) return false;
    // The open tags among the moved nodes leave the index with the start
    // tag; the other nodes are not visited.
    const long taken = index->TakeFrom(position);
    if (taken < 0) return false;
    if (start->mNext) {
        CNodeList after = ChildList(parent).TakeAfter(start);
        start->mChildren.SpliceBack(after);
    }
    CountWork(static_cast<std::uint64_t>(taken));
    CloseWithEndTag(*start, std::move(endTag));
    return true;
}

void CTreeBuilder::CloseWithEndTag(CTagNode& start, NodePtr<CTagNode> endTag) {
    // An open start tag has no children of its own: it takes the end tag's.
    if (start.mChildren.IsEmpty()) start.mChildren.SpliceBack(endTag->mChildren);
    start.bOpen = false;
    start.bEndTag = true;
    endTag.reset();
    ApplyPropertyRules(start);
    ApplyDesignTimeRules(start);
}

}  // namespace kivoparse
