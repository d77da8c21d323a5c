#pragma once
#include <array>
#include <cassert>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/CCollectBuffer.h"
#include "engine/CShortcuts.h"
#include "log/CLogFile.h"
#include "tree/CDocument.h"
#include "tree/CParseNode.h"
#include "tree/CPropertyNode.h"
#include "tree/CTextNode.h"
#include "tree/CTreeBuilder.h"
#include "tree/Inline.h"

namespace kivoparse {

class CTagNode;

// The tokenizer states; the values are the ones the trace describes.
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
    // Only with the raw-text setting: the content of SCRIPT, STYLE and the
    // other raw-text elements, up to the end tag that ends it.
    KP_RAW_TEXT = 10,
};
constexpr int KP_STATE_COUNT = 11;

// Builds documents: one HTML text and the settings in, one CDocument out.
// Each Parse starts from fresh state, so a second parse gives what a fresh
// engine gives. The engine reads the bytes (the tokenizer states); a tree
// builder it owns for the parse assembles the tree. Writing a document is
// output/'s, collecting and rewriting its URLs links/'s.
//
// Running out of memory (std::bad_alloc) leaves the engine usable; the
// document being built is dropped.
class CParsingEngine {
public:
    CParsingEngine();
    CParsingEngine(const CParsingEngine&) = delete;
    CParsingEngine& operator=(const CParsingEngine&) = delete;
    ~CParsingEngine();

    void SetLogLink(CLogLink* link) { mLogLink = link; }
    // What the next parses do to each tag's attributes after the tree's own
    // rules (the document base of links/); null for nothing. Not owned: it
    // must outlive the parses.
    void SetTagHook(const CTagHook* hook) { mTagHook = hook; }
    // Whether the next parses read the content of a raw-text element
    // (SCRIPT, STYLE, XMP, IFRAME, NOEMBED, NOFRAMES, TEXTAREA, TITLE) as
    // text up to its end tag, as a browser does; off by default.
    void SetRawText(bool rawText) { bRawText = rawText; }
    bool IsRawText() const { return bRawText; }
    // The raw-text element a start tag of this name (upper case, as stored)
    // opens, or "" when it opens none. A "/" or line feed at the end of the
    // name is passed over, as a browser passes over «<script/>».
    static std::string_view RawTextElement(std::string_view tagName);

    // The document of every byte of text and one final NUL. status (when
    // given) is 0, or -1 for a text of 2 GiB or more, which the 32-bit
    // positions cannot address: its document is empty.
    std::unique_ptr<CDocument> Parse(std::string text, int* status = nullptr);

    // The literal mode reads byte by byte with every shortcut off: the
    // reference that the fast mode (the default) must agree with. It is
    // always on while a trace is written, since every byte read is a line.
    void SetLiteral(bool literal) { mLiteral = literal; }
    bool IsLiteral() const { return mLiteral || TraceWanted(); }

    // The work of the last Parse in bytes read: loop steps (a byte read
    // again counts again), bytes taken in runs or scanned by a shortcut,
    // bytes scanned to strip the document base, and nodes an end tag passed
    // over. A measure of cost that does not depend on the machine.
    std::uint64_t BytesRead() const { return mWork + mTreeWork; }

    // The name-byte test of tag and attribute names: digits, letters, "-",
    // "/", space, line feed and carriage return.
    static bool IsNameByte(unsigned char byte) { return kNameBytes[byte]; }

private:
    static constexpr std::int32_t kBlockSize = CCollectBuffer::kBlockSize;

    struct SLoop;  // the loop variables of one Parse call

    // The trace handed to the tree builder: the lines go to the log.
    class CLogTrace final : public CTreeTrace {
    public:
        CLogFile* mLog = nullptr;
        void LogV(const char* format, va_list args) override { mLog->LogV(format, args); }
    };

    // Reads text (mTree's) into mTree.
    void BuildTree();

    // The engine's small operations, used by the tokenizer states.
    // In line: it follows every tag, and its slots are mostly empty by then.
    void ClearAllWorkingObjects() {
        if (mTrace) mTrace->Log("CParsingEngine::ClearAllWorkingObjects()");
        mCurrentTag.reset();
        mCurrentProperty.reset();
        mCurrentInsert.reset();
        mCurrentComment.reset();
    }
    // The bytes of buffer go on to target's data (nowhere without a target).
    void HandOn(CCollectBuffer& buffer, CParseNode* target) {
        if (buffer.IsEmpty()) return;
        const std::string_view bytes = buffer.Bytes(mText);
        if (target) target->AppendData(*mTree, bytes.data(), bytes.size());
        buffer.Clear();
    }
    void AddByte(unsigned char byte);
    void FlushBuffer() {
        if (!mBuffer.IsEmpty()) HandOn(mBuffer, mCurrentObject);
    }
    void FlushPropertyName();
    // Name bytes read go to the attribute being read, lower-cased (the
    // tokenizer is in an attribute name only while it fills one).
    void AppendPropertyName(CParseNode* node, const char* bytes, std::size_t length) {
        assert(node->mType == KP_NODE_PROPERTY);
        if (node->mType == KP_NODE_PROPERTY)
            static_cast<CPropertyNode*>(node)->AppendName(*mTree, bytes, length, ECase::Lower);
    }
    void AddByteToInsert(unsigned char byte);
    void FlushInsertBuffer();
    std::int32_t AbandonInsert();

    // Tree assembly: attach the finished mCurrentObject to mCurrentParent;
    // turn an abandoned tag's "<" back into text.
    void AddCurrentObjectToCurrentParent();
    // The same for a finished tag (mCurrentObject), the common case, without
    // the tests the general attach makes for every kind of node.
    void AttachTag();
    std::int32_t TextFallback();

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
    KIVOPARSE_NOINLINE void OnRawText(SLoop& loop, unsigned char c);

    // Named actions shared by the handlers.
    void OpenTag(SLoop& loop);
    void OpenInsertAfterTag(SLoop& loop);
    void OpenInsertInValue(SLoop& loop, EParseState valueState);
    void CompleteInsert();
    void EnsureProperty();
    void AttachProperty();
    // The tag being read (mCurrentObject) is whole: it joins the top
    // parent, and text follows. In line: it ends every tag.
    void FinishTag() {
        if (bRawText) {
            FinishTagWithRawText();
            return;
        }
        mCurrentParent = mTopParent;
        AttachTag();
        ClearAllWorkingObjects();
        mState = KP_BETWEEN_TAGS;
    }
    void FinishTagAfterProperties();
    // FinishTag with the raw-text setting on (kept out of the default path).
    KIVOPARSE_NOINLINE void FinishTagWithRawText();
    bool IsRawTextEnd(std::int64_t position) const;
    void EndValue();
    void MergeValueInsert();
    void DiscardWorkingObjects();
    NodePtr<CParseNode> TakeCurrentObject();
    void SkipDoomedInsert(SLoop& loop);
    void TakeRun(SLoop& loop, std::int64_t end);
    void TakeText(SLoop& loop, unsigned char c, std::int64_t end);
    void TakeByteAndRun(SLoop& loop, unsigned char c, std::int64_t end);
    // Whether the byte after the one just read is a or b and the loop's next
    // step would only hand it to a state: that step is then taken here
    // (counted and its place noted) and the caller hands it on.
    bool StepTo(SLoop& loop, unsigned char a, unsigned char b);
    // The same for any byte inside a tag.
    bool StepOn(SLoop& loop);
    // A tag has ended: the run of text after it, if any, is taken now, as
    // the loop's next step would take it (never a "<", so no tag is begun
    // from here and nothing nests).
    void TakeTextAfterTag(SLoop& loop);

    static const std::array<bool, 256> kNameBytes;  // see IsNameByte
    // The bytes that the name states only collect, taken a run at a time
    // (the value states' runs end at one of a few bytes: see RunEndAt).
    static const std::array<bool, 256> kTagNameRun;
    static const std::array<bool, 256> kPropertyNameRun;
    bool TraceWanted() const { return mLogLink && mLogLink->mLog && mLogLink->mLog->IsOn(); }

    CLogLink* mLogLink = nullptr;
    const CTagHook* mTagHook = nullptr;
    bool bRawText = false;
    // In KP_RAW_TEXT: the element whose end tag ends the text ("SCRIPT").
    std::string_view mRawTextEnd;
    // The trace of the parse (null without one) and the bytes its loop read;
    // the tree's own work is counted by its builder, and kept after it.
    CLogFile* mTrace = nullptr;
    CLogTrace mTreeTrace;
    std::uint64_t mWork = 0;
    std::uint64_t mTreeWork = 0;
    std::int32_t mInputLength = 0;
    std::int32_t mTagStart = 0;
    std::int32_t mInsertStart = 0;
    std::int64_t mAt = 0;  // the position of the byte being read
    CCollectBuffer mBuffer;        // a name, a value or text
    CCollectBuffer mInsertBuffer;  // an insert block
    std::int32_t mValueInsertStep = 0;
    EParseState mAbandonState = KP_BETWEEN_TAGS;
    EParseState mReturnState = KP_PROPERTY_NAME;
    EParseState mState = KP_BETWEEN_TAGS;
    std::int32_t mPipeFlag = 0;
    // The document being built, while Parse runs: its nodes, their bytes and
    // the text they view; the root is its first node. Its builder lives as
    // long.
    std::unique_ptr<CDocument> mTree;
    std::optional<CTreeBuilder> mBuilder;
    // The working slots own what the tokenizer has made and not yet handed
    // to the tree; attaching a node moves it out of its slot. mCurrentObject
    // names the one being filled (a slot's node), mCurrentParent and
    // mTopParent the node it goes to: aliases, never owners. Declared after
    // mTree, they give their nodes back before the document goes.
    NodePtr<CCommentNode> mCurrentComment;
    CParseNode* mCurrentParent = nullptr;
    NodePtr<CPropertyNode> mCurrentProperty;
    NodePtr<CParseNode> mCurrentTag;  // a tag, or the text being read
    CParseNode* mTopParent = nullptr;
    NodePtr<CTextNode> mCurrentInsert;
    CParseNode* mCurrentObject = nullptr;

    const unsigned char* mText = nullptr;  // the text being parsed
    bool mLiteral = false;
    CShortcuts mShortcuts;
};

}  // namespace kivoparse
