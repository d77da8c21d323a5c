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
    if (mTrace)
        mTrace->Log("ADDING NODE: %s\t parent %s\t data %s", mCurrentObject->GetName(), mCurrentParent->GetName(),
                    mCurrentObject->GetData());
    mCurrentObject->Normalize();
    // The tree owns the node from here.
    std::unique_ptr<CParseNode> node = TakeCurrentObject();
    mCurrentObject = nullptr;
    if (node) mCurrentParent->AddChild(std::move(node), true);
}

// The tag being read is dropped and its "<" becomes text: it continues the
// text node at the end of the root's list (text or insert block alike), or
// starts a new one. Reading resumes after the "<".
std::int32_t CParsingEngine::TextFallback() {
    mShortcuts.FellBack();
    DiscardWorkingObjects();  // the unattached tag with its attributes
    ClearAllWorkingObjects();
    mBufferCount = 0;

    std::unique_ptr<CParseNode> text;
    CNodeList* list = mTopParent->Children();
    if (list && !list->IsEmpty()) {
        std::unique_ptr<CParseNode> last = list->RemoveLast();
        if (last->mType == KP_NODE_TEXT) {
            text = std::move(last);
        } else {
            list->AddChild(std::move(last), true);
        }
    }
    if (!text) {
        text = std::make_unique<CTextNode>();
        text->SetName("TEXT NODE");
    }
    text->AppendData("<", 1);
    mCurrentObject = text.get();
    mCurrentTag = std::move(text);
    mCurrentParent = mTopParent;
    mState = KP_BETWEEN_TAGS;
    return mTagStart;
}

}  // namespace kivoparse
