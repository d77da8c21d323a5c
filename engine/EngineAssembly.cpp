// The engine's side of tree assembly: attaching a finished node, and the
// text fallback for a "<" that opened nothing.
#include "engine/CParsingEngine.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"

namespace kivoparse {

void CParsingEngine::AddCurrentObjectToCurrentParent() {
    if (mTrace) mTrace->Log("CParsingEngine::AddCurrentObjectToCurrentParent()");
    FlushBuffer();
    if (mTrace) {
        const std::string_view name = UpToNul(mCurrentObject->GetName());
        const std::string_view parent = UpToNul(mCurrentParent->GetName());
        const std::string_view data = UpToNul(mCurrentObject->GetData());
        mTrace->Log("ADDING NODE: %.*s\t parent %.*s\t data %.*s", static_cast<int>(name.size()), name.data(),
                    static_cast<int>(parent.size()), parent.data(), static_cast<int>(data.size()), data.data());
    }
    mBuilder->Normalize(*mCurrentObject);
    // The tree owns the node from here.
    NodePtr<CParseNode> node = TakeCurrentObject();
    mCurrentObject = nullptr;
    if (node) mBuilder->AddChild(*mCurrentParent, std::move(node), true);
}

void CParsingEngine::AttachTag() {
    if (mTrace || !mCurrentObject || mCurrentObject != mCurrentTag.get() || mCurrentObject->mType != KP_NODE_TAG) {
        AddCurrentObjectToCurrentParent();
        return;
    }
    FlushBuffer();
    mBuilder->Normalize(*mCurrentObject);
    mCurrentObject = nullptr;
    mBuilder->AddChild(*mCurrentParent, std::move(mCurrentTag), true);
}

// The tag being read is dropped and its "<" becomes text: it continues the
// text node at the end of the root's list (text or insert block alike), or
// starts a new one. Reading resumes after the "<".
std::int32_t CParsingEngine::TextFallback() {
    mShortcuts.FellBack();
    DiscardWorkingObjects();  // the unattached tag with its attributes
    ClearAllWorkingObjects();
    mBuffer.Clear();

    NodePtr<CParseNode> text;
    CNodeList* list = mTopParent->Children();
    if (list->GetLast() && list->GetLast()->mType == KP_NODE_TEXT) text = Owned(*mTree, list->RemoveLast());
    if (!text) text = MakeNode<CTextNode>(*mTree);
    // The "<" as read, so that text that goes on from it stays a view.
    const char* lt = mText[mTagStart] == '<' ? reinterpret_cast<const char*>(mText) + mTagStart : "<";
    text->AppendData(*mTree, lt, 1);
    mCurrentObject = text.get();
    mCurrentTag = std::move(text);
    mCurrentParent = mTopParent;
    mState = KP_BETWEEN_TAGS;
    return mTagStart;
}

}  // namespace kivoparse
