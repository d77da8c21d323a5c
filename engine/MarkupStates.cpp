// The markup states: text between tags, tag names, the white space before an
// attribute, insert blocks «<|...|>» and comment bodies.
#include <algorithm>
#include <cstring>

#include "engine/CParsingEngine.h"
#include "engine/SLoop.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"

namespace kivoparse {

void CParsingEngine::OnBetweenTags(SLoop& loop, unsigned char c) {
    if (c == '<') {
        OpenTag(loop);
        // The tag's first byte is read now.
        if (StepOn(loop)) OnTagName(loop, mText[loop.bByte]);
        return;
    }
    // The whole run of text up to the next "<" goes in at once.
    TakeText(loop, c, mShortcuts.TextRunEnd(loop.bByte));
}

// The byte c and the text after it up to end go to the pending text node,
// made if there is none.
void CParsingEngine::TakeText(SLoop& loop, unsigned char c, std::int64_t end) {
    if (!mCurrentTag) mCurrentTag = MakeNode<CTextNode>(*mTree);
    mCurrentObject = mCurrentTag.get();
    if (end == loop.bByte + 1) {
        AddByte(c);
        return;
    }
    // The whole run of text goes in at once, after any bytes still
    // collected: the node ends up with the same bytes.
    mWork += static_cast<std::uint64_t>(end - loop.bByte - 1);
    FlushBuffer();
    mCurrentObject->AppendData(*mTree, reinterpret_cast<const char*>(mText) + loop.bByte, static_cast<std::size_t>(end - loop.bByte));
    loop.bByte = end - 1;  // the last byte taken
}

// "<": pending text is attached, and a tag is begun.
void CParsingEngine::OpenTag(SLoop& loop) {
    mTagStart = static_cast<std::int32_t>(loop.bByte);
    if (mCurrentTag) {
        mCurrentObject = mCurrentTag.get();
        mCurrentParent = mTopParent;
        if (!mTrace && mCurrentTag->mType == KP_NODE_TEXT) {
            // The text before the tag, without the general attach: what
            // that does to it, and nothing more.
            FlushBuffer();
            mCurrentObject = nullptr;
            mBuilder->AddChild(*mTopParent, std::move(mCurrentTag), true);
        } else {
            AddCurrentObjectToCurrentParent();
        }
        if (mTrace) mTrace->Log("Creating New mCurrentTag");
    }
    mCurrentTag = MakeNode<CTagNode>(*mTree);
    mCurrentObject = mCurrentTag.get();
    loop.nNameBytes = 0;
    mState = KP_TAG_NAME;
}

void CParsingEngine::OnTagName(SLoop& loop, unsigned char c) {
    if ((c == ' ' || c == '\r') && loop.nNameBytes > 0) {
        mReturnState = KP_PROPERTY_NAME;
        FlushBuffer();
        mState = KP_NON_WHITE_SPACE;
        // The byte after the space is read now: most often the first
        // attribute's name.
        if (StepOn(loop)) OnNonWhiteSpace(loop, mText[loop.bByte]);
        return;
    }
    if (c == '>' && loop.nNameBytes > 0) {
        FinishTag();
        TakeTextAfterTag(loop);
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
    if (c == ' ') {
        AddByte(c);
        return;
    }
    const std::int64_t end = mShortcuts.NameRunEnd(loop.bByte, kTagNameRun.data(), false);
    loop.nNameBytes += static_cast<std::int32_t>(end - loop.bByte);
    TakeByteAndRun(loop, c, end);
    // The name is whole: a ">" or a space after it is read now.
    if (StepTo(loop, '>', ' ')) OnTagName(loop, mText[loop.bByte]);
}

void CParsingEngine::OpenInsertAfterTag(SLoop& loop) {
    AddByte('|');
    mState = KP_END_PIPE_KIVOINSERT;
    mReturnState = KP_BETWEEN_TAGS;
    mAbandonState = KP_TAG_NAME;
    mValueInsertStep = 0;
    mPipeFlag = 0;
    mInsertStart = static_cast<std::int32_t>(loop.bByte);
    if (!mCurrentInsert) mCurrentInsert = NewInsertBlock(*mTree);
    mCurrentInsert->SetData(*mTree, "<|", 2);
    loop.nInsertDepth = 1;
    mCurrentObject = mCurrentInsert.get();
    SkipDoomedInsert(loop);
}

// Inside a block every byte is kept; ScanInsertByte follows the nesting.
void CParsingEngine::OnEndPipeInsert(SLoop& loop, unsigned char c) {
    AddByteToInsert(c);
    switch (ScanInsertByte(loop.nInsertDepth, mPipeFlag, c)) {
    case EInsertEvent::None:
        return;
    case EInsertEvent::Abandoned:
        // Read on from the byte after the outermost opening "|".
        loop.bByte = AbandonInsert();
        return;
    case EInsertEvent::Completed:
        CompleteInsert();
        return;
    }
}

void CParsingEngine::CompleteInsert() {
    if (mReturnState == KP_BETWEEN_TAGS) {
        // The block replaces the tag its "<" began; the "|" and any spaces
        // collected for that tag are dropped.
        mCurrentTag.reset();
        FlushInsertBuffer();
        mBuffer.Clear();
        AddCurrentObjectToCurrentParent();
    } else {
        // Inside a value: the value state merges the block at its next byte.
        FlushInsertBuffer();
    }
    mState = mReturnState;
}

void CParsingEngine::OnNonWhiteSpace(SLoop& loop, unsigned char c) {
    if (c == ' ' || c == '\n' || c == '\r') return;
    mState = mReturnState;
    if (mState == KP_PROPERTY_NAME && mShortcuts.ReadsOn(c)) {
        // The byte goes to the next state now, as the loop's next step
        // would hand it: that step is counted, and nothing else differs.
        ++mWork;
        OnPropertyName(loop, c);
        return;
    }
    loop.bRedoState = true;
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
        mCurrentObject = nullptr;
        mState = KP_BETWEEN_TAGS;
    } else {
        loop.nDashes = 0;
        AddByte(c);
    }
}

// ---- Raw text (only with the raw-text setting) ----

namespace {

// The elements whose content a browser reads as text up to their end tag.
// NOSCRIPT is not among them: its content is markup where scripts do not
// run, and that is where its links (fallback images and pages) matter.
// PLAINTEXT is not either: nothing ever ends it, so one stray tag would
// hide every later link of the page.
constexpr std::string_view kRawTextElements[] = {"SCRIPT", "STYLE",    "XMP",      "IFRAME",
                                                 "NOEMBED", "NOFRAMES", "TEXTAREA", "TITLE"};

unsigned char UpperAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

}  // namespace

std::string_view CParsingEngine::RawTextElement(std::string_view tagName) {
    while (!tagName.empty() && (tagName.back() == '/' || tagName.back() == '\n')) tagName.remove_suffix(1);
    for (const std::string_view element : kRawTextElements) {
        if (tagName == element) return element;
    }
    return {};
}

// A tag finishes (mCurrentObject is the tag) while the raw-text setting is
// on: after it is attached, a raw-text element's content is read as text.
void CParsingEngine::FinishTagWithRawText() {
    FlushBuffer();  // the name is whole: its last bytes go to the tag now
    const std::string_view element = RawTextElement(mCurrentTag->GetName());
    mCurrentParent = mTopParent;
    AddCurrentObjectToCurrentParent();
    ClearAllWorkingObjects();
    mCurrentObject = nullptr;
    mState = KP_BETWEEN_TAGS;
    if (element.empty()) return;
    mRawTextEnd = element;
    mState = KP_RAW_TEXT;
}

// Whether the "<" at position begins the end tag of the raw-text element:
// "</", its name in any letter case, then white space, "/" or ">". A few
// bytes are looked at, however long the text.
bool CParsingEngine::IsRawTextEnd(std::int64_t position) const {
    const std::int64_t nameAt = position + 2;
    const auto length = static_cast<std::int64_t>(mRawTextEnd.size());
    if (nameAt + length >= mInputLength || mText[position + 1] != '/') return false;
    for (std::int64_t i = 0; i < length; ++i) {
        if (UpperAscii(mText[nameAt + i]) != static_cast<unsigned char>(mRawTextEnd[static_cast<std::size_t>(i)]))
            return false;
    }
    switch (mText[nameAt + length]) {
    case ' ': case '\t': case '\n': case '\f': case '\r': case '/': case '>': return true;
    default: return false;
    }
}

// The content of a raw-text element: every byte is text, a "<" included,
// until the element's end tag, whose "<" is then read again between tags. An insert
// block here is text too, kept byte for byte. At the end of the input the
// text read so far is kept, though no end tag came: the element stays open
// and the text follows it.
void CParsingEngine::OnRawText(SLoop& loop, unsigned char c) {
    if (loop.bByte >= mInputLength) {
        if (mCurrentTag) {
            mCurrentObject = mCurrentTag.get();
            mCurrentParent = mTopParent;
            AddCurrentObjectToCurrentParent();
        }
        mState = KP_BETWEEN_TAGS;
        return;
    }
    if (c == '<' && IsRawTextEnd(loop.bByte)) {
        // The end tag is read again between tags, as any tag.
        mState = KP_BETWEEN_TAGS;
        loop.bRedoState = true;
        return;
    }
    // A "<" that ends nothing is one byte of text; the run after it is
    // taken from the next byte on.
    TakeText(loop, c, c == '<' ? loop.bByte + 1 : mShortcuts.TextRunEnd(loop.bByte));
}

}  // namespace kivoparse
