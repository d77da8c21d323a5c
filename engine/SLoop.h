#pragma once
#include <cstdint>
#include <memory>

#include "engine/CParsingEngine.h"
#include "tree/CTextNode.h"

namespace kivoparse {

// The loop variables of one Parse call (not engine members).
struct CParsingEngine::SLoop {
    std::int64_t bByte = 0;      // position of the byte being read
    bool bRedoState = false;     // read the same byte again next time
    std::int32_t nNameBytes = 0; // counted bytes of the tag name
    std::int32_t nInsertDepth = 0;
    std::int32_t nDashes = 0;
    unsigned char bQuote = 0;    // the quote that opened the value
};

// In line: each name and value ends in one of these, and a call costs more
// than the test.
KIVOPARSE_INLINE bool CParsingEngine::StepTo(SLoop& loop, unsigned char a, unsigned char b) {
    const std::int64_t next = loop.bByte + 1;
    return next < mInputLength && (mText[next] == a || mText[next] == b) && StepOn(loop);
}

KIVOPARSE_INLINE bool CParsingEngine::StepOn(SLoop& loop) {
    const std::int64_t next = loop.bByte + 1;
    if (next >= mInputLength || !mShortcuts.ReadsOn(mText[next])) return false;
    loop.bByte = next;
    mAt = next;
    ++mWork;
    return true;
}

KIVOPARSE_INLINE void CParsingEngine::TakeTextAfterTag(SLoop& loop) {
    if (mState == KP_BETWEEN_TAGS && StepOn(loop)) TakeText(loop, mText[loop.bByte], mShortcuts.TextRunEnd(loop.bByte));
}

// An insert block ("KIVO INSERT"), for the engine's insert slot.
inline NodePtr<CTextNode> NewInsertBlock(CDocument& document) {
    NodePtr<CTextNode> block = MakeNode<CTextNode>(document);
    block->MarkInsert();
    return block;
}

}  // namespace kivoparse
