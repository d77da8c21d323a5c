#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "engine/CFallbackMemo.h"
#include "log/CLogFile.h"
#include "tree/CParseNode.h"

namespace kivoparse {

class CTagNode;
class CPropertyNode;
class CTextNode;
class CCommentNode;
class COpenTagIndex;
class CInsertOracle;

// The ten tokenizer states; the values are the ones the trace describes.
enum EParseState : int {
    KP_BETWEEN_TAGS = 0,
    KP_TAG_NAME = 1,
    KP_END_PIPE_KIVOINSERT = 2,
    KP_NON_WHITE_SPACE = 3,
    KP_PROPERTY_NAME = 4,
    KP_PROPERTY_EQUAL_SIGN = 5,
    KP_PROPERTY_VALUE = 6,
    KP_STRING_PROPERTY = 7,
    KP_NONSTRING_PROPERTY = 8,
    KP_COMMENTEND = 9,
};
constexpr int KP_STATE_COUNT = 10;

// Turns one HTML text into a tree of nodes and keeps the tree until it is
// destroyed. Make one engine per parse: ParseHTML runs once.
class CParsingEngine {
public:
    CParsingEngine();
    CParsingEngine(const CParsingEngine&) = delete;
    CParsingEngine& operator=(const CParsingEngine&) = delete;
    virtual ~CParsingEngine();

    void SetLogLink(CLogLink* link) { mLogLink = link; }
    void SetDocumentBase(std::string base) { mDocumentBase = std::move(base); }
    const std::string& DocumentBase() const { return mDocumentBase; }

    // Builds the tree from every byte of text and one final NUL. Returns 0;
    // -1 (and an empty tree) for a text of 2 GiB or more, which the 32-bit
    // positions cannot address.
    int ParseHTML(std::string text);

    // The tree written back as normalised HTML.
    std::string GetHTML();
    // Image sources and backgrounds / link targets, first occurrence kept,
    // duplicates under ASCII case folding dropped.
    CValueList GetImages();
    CValueList GetHrefs();
    // Rewrites the values that match src (ASCII case-insensitive, whole
    // value) with the entry of dest at the same index. Returns 0, or -1
    // (nothing touched) when src and dest differ in length.
    int FixImages(const CValueList& src, const CValueList& dest);
    int FixHrefs(const CValueList& src, const CValueList& dest);

    CParseNode* GetRoot() const { return mRoot; }
    std::int32_t GetInputLength() const { return mInputLength; }

    // The log the engine and its nodes trace to while a file is set, or
    // null. Callers test it before they format anything.
    CLogFile* Trace() const { return mTrace; }

    // The engine's small operations, used by the tokenizer states.
    void ClearAllWorkingObjects();
    void AddByte(unsigned char byte);
    void FlushBuffer();
    void FlushPropertyName();
    void AddByteToInsert(unsigned char byte);
    void FlushInsertBuffer();
    std::int32_t AbandonInsert();
    static bool IsNameByte(unsigned char byte);

    // Tree assembly: attach the finished mCurrentObject to mCurrentParent;
    // turn an abandoned tag's "<" back into text.
    void AddCurrentObjectToCurrentParent();
    std::int32_t TextFallback();

    // Open start tags among the root's children, by kind, so that an end tag
    // that matches nothing is known at once. Null while tracing, when the
    // fold walks the list line by line.
    COpenTagIndex* OpenTagsOf(const CParseNode* parent) const;

private:
    struct SLoop;  // the loop variables of one ParseHTML call
    int RunTokenizer(const unsigned char* text, std::int32_t n);
    void TraceState(unsigned char c) const;
    unsigned ControlCode(const SLoop& loop) const;

    // One handler per state; each sets the next state and the loop's step.
    void OnBetweenTags(SLoop& loop, unsigned char c);
    void OnTagName(SLoop& loop, unsigned char c);
    void OnEndPipeInsert(SLoop& loop, unsigned char c);
    void OnNonWhiteSpace(SLoop& loop, unsigned char c);
    void OnPropertyName(SLoop& loop, unsigned char c);
    void OnPropertyEqualSign(SLoop& loop, unsigned char c);
    void OnPropertyValue(SLoop& loop, unsigned char c);
    void OnStringProperty(SLoop& loop, unsigned char c);
    void OnNonStringProperty(SLoop& loop, unsigned char c);
    void OnCommentEnd(SLoop& loop, unsigned char c);

    // Named actions shared by the handlers.
    void OpenTag(SLoop& loop);
    void OpenInsertAfterTag(SLoop& loop);
    void OpenInsertInValue(SLoop& loop, EParseState valueState);
    void CompleteInsert();
    void EnsureProperty();
    void AttachProperty();
    void FinishTag();
    void EndValue();
    void MergeValueInsert();
    void DiscardWorkingObjects();
    void SkipDoomedInsert(SLoop& loop);

    std::string mDocumentBase;
    CLogLink* mLogLink = nullptr;
    std::int32_t mInputLength = 0;
    std::int32_t mTagStart = 0;
    std::int32_t mInsertStart = 0;
    std::int32_t mBufferCount = 0;
    char mBuffer[1024];
    char mInsertBuffer[1024];
    std::int32_t mInsertCount = 0;
    std::int32_t mValueInsertStep = 0;
    EParseState mAbandonState = KP_BETWEEN_TAGS;
    EParseState mReturnState = KP_PROPERTY_NAME;
    EParseState mState = KP_BETWEEN_TAGS;
    std::int32_t mPipeFlag = 0;
    CCommentNode* mCurrentComment = nullptr;
    CParseNode* mCurrentParent = nullptr;
    CPropertyNode* mCurrentProperty = nullptr;
    CParseNode* mCurrentTag = nullptr;
    CParseNode* mRoot = nullptr;  // owned: the whole tree
    CParseNode* mTopParent = nullptr;
    CTextNode* mCurrentInsert = nullptr;
    CParseNode* mCurrentObject = nullptr;

    CLogFile* mTrace = nullptr;  // mLogLink's log while it has a file
    std::unique_ptr<COpenTagIndex> mOpenTags;
    const unsigned char* mText = nullptr;  // the text being parsed
    std::int32_t mAbandonCount = 0;
    std::unique_ptr<CInsertOracle> mInsertOracle;
    CFallbackMemo mFallbacks;
};

}  // namespace kivoparse
