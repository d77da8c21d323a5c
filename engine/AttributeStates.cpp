// The attribute states: names, "=", quoted and unquoted values, and insert
// blocks inside values.
#include "engine/CParsingEngine.h"
#include "engine/SLoop.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"

namespace kivoparse {

// The attribute being read is made by its first name byte, or for a value
// without a name, by the first byte of the value.
void CParsingEngine::EnsureProperty() {
    if (!mCurrentProperty) mCurrentProperty = MakeNode<CPropertyNode>(*mTree);
    mCurrentObject = mCurrentProperty.get();
    mCurrentParent = mCurrentTag.get();
}

void CParsingEngine::AttachProperty() {
    if (!mCurrentProperty) return;
    // The common case, an attribute being filled going to its tag, without
    // the general attach: what that does to it, and nothing more.
    if (!mTrace && mCurrentObject == mCurrentProperty.get() && mCurrentParent && mCurrentParent == mCurrentTag.get() &&
        mCurrentParent->mType == KP_NODE_TAG) {
        FlushBuffer();
        mCurrentObject = nullptr;
        static_cast<CTagNode*>(mCurrentParent)->Properties()->Insert(mCurrentProperty.release(), true);
        return;
    }
    AddCurrentObjectToCurrentParent();
}

// The ">" after attributes: the tag, not the attribute, is what finishes.
void CParsingEngine::FinishTagAfterProperties() {
    mCurrentObject = mCurrentTag.get();
    FinishTag();
}

// A value ends at its closing quote, or unquoted at a space.
void CParsingEngine::EndValue() {
    AttachProperty();
    mReturnState = KP_PROPERTY_NAME;
    mCurrentProperty.reset();
    mValueInsertStep = 0;
    mState = KP_NON_WHITE_SPACE;
}

void CParsingEngine::OnPropertyName(SLoop& loop, unsigned char c) {
    switch (c) {
    case '>':
        if (mCurrentProperty) {
            mCurrentProperty->bHasValue = false;
            FlushPropertyName();
            AttachProperty();
        }
        FinishTagAfterProperties();
        TakeTextAfterTag(loop);
        return;
    case ' ':
        FlushPropertyName();
        mState = KP_PROPERTY_EQUAL_SIGN;
        return;
    case '=':
        FlushPropertyName();
        mState = KP_PROPERTY_VALUE;
        return;
    default:
        if (!IsNameByte(c)) {
            loop.bByte = TextFallback();
            return;
        }
        EnsureProperty();
        // A long name stays whole: a full buffer goes to the name, never to
        // the value.
        if (mBuffer.Count() == kBlockSize - 1) FlushPropertyName();
        const std::int64_t end = mShortcuts.NameRunEnd(loop.bByte, kPropertyNameRun.data(), true);
        TakeByteAndRun(loop, c, end);
        // The name is whole: an "=" after it, and a quote after that, are
        // read now.
        if (StepTo(loop, '=', '=')) {
            OnPropertyName(loop, '=');
            if (StepTo(loop, '"', '\'')) OnPropertyValue(loop, mText[loop.bByte]);
        }
        return;
    }
}

void CParsingEngine::OnPropertyEqualSign(SLoop& loop, unsigned char c) {
    if (c == '=') {
        mState = KP_PROPERTY_VALUE;
    } else if (c != ' ') {
        // No "=": the attribute has no value; the byte begins the next one.
        if (mCurrentProperty) mCurrentProperty->bHasValue = false;
        AttachProperty();
        mCurrentProperty.reset();
        loop.bRedoState = true;
        mState = KP_PROPERTY_NAME;
    }
}

void CParsingEngine::OnPropertyValue(SLoop& loop, unsigned char c) {
    if (c == ' ') return;
    if (c == '"' || c == '\'') {
        loop.bQuote = c;
        mState = KP_STRING_PROPERTY;
        // The value's first byte is read now (what follows it never comes
        // back to this state before the loop does).
        if (StepOn(loop)) OnStringProperty(loop, mText[loop.bByte]);
        return;
    }
    loop.bRedoState = true;
    mState = KP_NONSTRING_PROPERTY;
}

// An insert block inside the value has just completed: the value so far
// (ending in its "<|") is handed over, then the block's content and its
// closing "|>", so the value holds the block exactly as written.
void CParsingEngine::MergeValueInsert() {
    if (mValueInsertStep != 4) return;
    EnsureProperty();
    if (mCurrentInsert) {
        FlushBuffer();
        mCurrentProperty->AppendData(*mTree, mCurrentInsert->Data().data() + 2, mCurrentInsert->GetDataLength() - 2);
        mCurrentInsert.reset();
    }
    mValueInsertStep = 0;
}

void CParsingEngine::OnStringProperty(SLoop& loop, unsigned char c) {
    MergeValueInsert();
    if (c == loop.bQuote) {
        EndValue();
    } else if (c == '<') {
        mValueInsertStep = 3;
        AddByte(c);
    } else if (c == '|' && mValueInsertStep == 3) {
        OpenInsertInValue(loop, KP_STRING_PROPERTY);
    } else {
        // Spaces between "<" and "|" still open a block.
        if (c != ' ') mValueInsertStep = 0;
        EnsureProperty();
        if (mValueInsertStep != 0) {
            AddByte(c);
            return;
        }
        const std::int64_t end = mShortcuts.RunEndAt(loop.bByte, loop.bQuote, '<', '|', '|');
        TakeByteAndRun(loop, c, end);
        // The closing quote ends the value now, and a ">" right after it
        // the tag.
        if (StepTo(loop, loop.bQuote, loop.bQuote)) {
            EndValue();
            if (StepTo(loop, '>', '>')) OnNonWhiteSpace(loop, '>');
        }
    }
}

void CParsingEngine::OnNonStringProperty(SLoop& loop, unsigned char c) {
    MergeValueInsert();
    switch (c) {
    case ' ':
        EndValue();
        return;
    case '>':
        AttachProperty();
        FinishTagAfterProperties();
        mValueInsertStep = 0;
        TakeTextAfterTag(loop);
        return;
    case '<':
        mValueInsertStep = 3;
        AddByte(c);
        return;
    default:
        if (c == '|' && mValueInsertStep == 3) {
            OpenInsertInValue(loop, KP_NONSTRING_PROPERTY);
            return;
        }
        mValueInsertStep = 0;
        EnsureProperty();
        const std::int64_t end = mShortcuts.RunEndAt(loop.bByte, ' ', '>', '<', '|');
        TakeByteAndRun(loop, c, end);
        return;
    }
}

void CParsingEngine::OpenInsertInValue(SLoop& loop, EParseState valueState) {
    AddByte('|');
    mInsertStart = static_cast<std::int32_t>(loop.bByte);
    mState = KP_END_PIPE_KIVOINSERT;
    mReturnState = valueState;
    mAbandonState = valueState;
    mValueInsertStep = 4;
    mPipeFlag = 0;
    loop.nInsertDepth = 1;
    mCurrentInsert = NewInsertBlock(*mTree);
    mCurrentInsert->SetData(*mTree, "<|", 2);
    mInsertBuffer.Clear();
    mCurrentObject = mCurrentInsert.get();
    SkipDoomedInsert(loop);
}

}  // namespace kivoparse
