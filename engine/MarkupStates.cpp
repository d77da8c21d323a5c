// The markup states: text between tags, tag names, the white space before an
// attribute, insert blocks «<|...|>» and comment bodies.
#include "engine/CParsingEngine.h"
#include "engine/SLoop.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"

namespace kivoparse {

void CParsingEngine::OnBetweenTags(SLoop& loop, unsigned char c) {
    if (c == '<') {
        OpenTag(loop);
        return;
    }
    if (!mCurrentTag) mCurrentTag = NewWorkingNode<CTextNode>(this, "TEXT NODE");
    mCurrentObject = mCurrentTag;
    AddByte(c);
}

// "<": pending text is attached, and a tag is begun.
void CParsingEngine::OpenTag(SLoop& loop) {
    mTagStart = static_cast<std::int32_t>(loop.bByte);
    if (mCurrentTag) {
        mCurrentObject = mCurrentTag;
        mCurrentParent = mTopParent;
        AddCurrentObjectToCurrentParent();
        if (mTrace) mTrace->Log("Creating New mCurrentTag");
    }
    mCurrentTag = NewWorkingNode<CTagNode>(this, nullptr);
    mCurrentObject = mCurrentTag;
    loop.nNameBytes = 0;
    mState = KP_TAG_NAME;
}

void CParsingEngine::OnTagName(SLoop& loop, unsigned char c) {
    if ((c == ' ' || c == '\r') && loop.nNameBytes > 0) {
        mReturnState = KP_PROPERTY_NAME;
        FlushBuffer();
        mState = KP_NON_WHITE_SPACE;
        return;
    }
    if (c == '>' && loop.nNameBytes > 0) {
        mCurrentParent = mTopParent;
        AddCurrentObjectToCurrentParent();
        ClearAllWorkingObjects();
        mState = KP_BETWEEN_TAGS;
        return;
    }
    if (c == '|' && loop.nNameBytes == 0) {
        OpenInsertAfterTag(loop);
        return;
    }
    if (c == '>' || !IsNameByte(c)) {
        // "<" opened nothing: its bytes go back as text and are read again.
        loop.bByte = TextFallback();
        return;
    }
    // Spaces before the first name byte stay in the name but do not count.
    AddByte(c);
    if (c != ' ') ++loop.nNameBytes;
}

void CParsingEngine::OpenInsertAfterTag(SLoop& loop) {
    AddByte('|');
    mState = KP_END_PIPE_KIVOINSERT;
    mReturnState = KP_BETWEEN_TAGS;
    mAbandonState = KP_TAG_NAME;
    mValueInsertStep = 0;
    mPipeFlag = 0;
    mInsertStart = static_cast<std::int32_t>(loop.bByte);
    if (!mCurrentInsert) mCurrentInsert = NewWorkingNode<CTextNode>(this, "KIVO INSERT");
    mCurrentInsert->SetData("<|", 2);
    loop.nInsertDepth = 1;
    mCurrentObject = mCurrentInsert;
    SkipDoomedInsert(loop);
}

// Inside a block every byte is kept. "<" then "|" nests one level deeper
// (a fourth level abandons the block); "|" then ">" closes one level.
// Spaces may stand between the two bytes of either pair.
void CParsingEngine::OnEndPipeInsert(SLoop& loop, unsigned char c) {
    AddByteToInsert(c);
    switch (c) {
    case '<':
        mPipeFlag = 1;
        return;
    case '|':
        if (mPipeFlag != 1) {
            mPipeFlag = 2;
        } else if (++loop.nInsertDepth == 4) {
            loop.bByte = AbandonInsert();
        }
        return;
    case '>':
        if (mPipeFlag != 2) {
            mPipeFlag = 0;
        } else if (--loop.nInsertDepth == 0) {
            CompleteInsert();
        }
        return;
    case ' ':
        return;
    default:
        mPipeFlag = 0;
        return;
    }
}

void CParsingEngine::CompleteInsert() {
    if (mReturnState == KP_BETWEEN_TAGS) {
        // The block replaces the tag its "<" began; the "|" and any spaces
        // collected for that tag are dropped.
        delete mCurrentTag;
        mCurrentTag = nullptr;
        FlushInsertBuffer();
        mBufferCount = 0;
        AddCurrentObjectToCurrentParent();
        mCurrentInsert = nullptr;
    } else {
        // Inside a value: the value state merges the block at its next byte.
        FlushInsertBuffer();
    }
    mState = mReturnState;
}

void CParsingEngine::OnNonWhiteSpace(SLoop& loop, unsigned char c) {
    if (c == ' ' || c == '\n' || c == '\r') return;
    loop.bRedoState = true;
    mState = mReturnState;
}

// Comments are read as text (nothing enters this state from a tag name);
// the state ends a comment body at "--" followed by ">".
void CParsingEngine::OnCommentEnd(SLoop& loop, unsigned char c) {
    if (c == '-') {
        ++loop.nDashes;
        AddByte(c);
    } else if (c == ' ') {
        AddByte(c);
    } else if (c == '>' && loop.nDashes == 2) {
        AddCurrentObjectToCurrentParent();
        mCurrentComment = nullptr;
        mCurrentObject = nullptr;
        mState = KP_BETWEEN_TAGS;
    } else {
        loop.nDashes = 0;
        AddByte(c);
    }
}

}  // namespace kivoparse
