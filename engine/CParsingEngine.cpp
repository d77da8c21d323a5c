// The engine object: parse entry, the loop frame, the collecting buffers and
// the small operations the tokenizer states build on.
#include "engine/CParsingEngine.h"

#include <array>
#include <climits>

#include "engine/SLoop.h"
#include "tree/CNodeList.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"

namespace kivoparse {

namespace {

constexpr std::array<const char*, KP_STATE_COUNT> kStateNames{
    "KP_BETWEEN_TAGS",       "KP_TAG_NAME",          "KP_END_PIPE_KIVOINSERT", "KP_NON_WHITE_SPACE",
    "KP_PROPERTY_NAME",      "KP_PROPERTY_EQUAL_SIGN", "KP_PROPERTY_VALUE",    "KP_STRING_PROPERTY",
    "KP_NONSTRING_PROPERTY", "KP_COMMENTEND",          "KP_RAW_TEXT",
};
static_assert(kStateNames.size() == KP_RAW_TEXT + 1, "one trace name per state");

// Name bytes: digits, letters, "-", "/", space, line feed, carriage return.
constexpr std::array<bool, 256> MakeNameBytes() {
    std::array<bool, 256> table{};
    for (int c = '0'; c <= '9'; ++c) table[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
    table['-'] = table['/'] = table[' '] = table['\n'] = table['\r'] = true;
    return table;
}

// A name byte but those listed.
constexpr std::array<bool, 256> NameBytesBut(const char* stops) {
    std::array<bool, 256> table = MakeNameBytes();
    for (; *stops; ++stops) table[static_cast<unsigned char>(*stops)] = false;
    return table;
}

// The states that read text between constructs, and those that read the
// inside of a tag (the rest read insert blocks and comments), one bit each.
constexpr unsigned kTextStates = (1u << KP_BETWEEN_TAGS) | (1u << KP_RAW_TEXT);
constexpr unsigned kTagStates = ((1u << KP_STATE_COUNT) - 1) & ~kTextStates &
                                ~((1u << KP_END_PIPE_KIVOINSERT) | (1u << KP_COMMENTEND));

}  // namespace

const std::array<bool, 256> CParsingEngine::kNameBytes = MakeNameBytes();
const std::array<bool, 256> CParsingEngine::kTagNameRun = NameBytesBut(" \r");
const std::array<bool, 256> CParsingEngine::kPropertyNameRun = NameBytesBut(" ");

CParsingEngine::CParsingEngine() = default;

CParsingEngine::~CParsingEngine() = default;

std::unique_ptr<CDocument> CParsingEngine::Parse(std::string text, int* status) {
    // Every parse starts from fresh state and a fresh document.
    DiscardWorkingObjects();
    mBuilder.reset();
    mTree.reset();
    mTopParent = mCurrentParent = nullptr;
    mState = KP_BETWEEN_TAGS;
    mValueInsertStep = 0;
    mTagStart = 0;
    mBuffer.Clear();
    mInsertBuffer.Clear();
    mTrace = TraceWanted() ? mLogLink->mLog : nullptr;
    mTreeTrace.mLog = mTrace;
    mWork = 0;
    mTreeWork = 0;

    // Positions are 32-bit: a text they cannot address is not parsed at all.
    // The document keeps the text, which its nodes view.
    const bool tooLong = text.size() > static_cast<std::size_t>(INT32_MAX);
    if (tooLong) text = std::string();
    mTree = std::make_unique<CDocument>(std::move(text));
    if (status) *status = tooLong ? -1 : 0;
    if (tooLong) {
        mInputLength = 0;
        return std::move(mTree);
    }
    mInputLength = static_cast<std::int32_t>(mTree->Text().size());
    mText = reinterpret_cast<const unsigned char*>(mTree->Text().c_str());
    int result = 0;
    try {
        mShortcuts.Begin(!IsLiteral(), mText, mInputLength);
        mBuilder.emplace(*mTree, mTrace ? &mTreeTrace : nullptr, mTagHook, mShortcuts.On());
        mTopParent = mCurrentParent = mTree->Root();
        result = RunTokenizer(mText, mInputLength);
    } catch (...) {
        // Out of memory: nothing half-built is kept, the document included.
        mText = nullptr;
        mShortcuts.End();
        DiscardWorkingObjects();
        mBuilder.reset();
        mTree.reset();
        mTopParent = mCurrentParent = nullptr;
        mInputLength = 0;
        throw;
    }
    mText = nullptr;
    mShortcuts.End();

    // Whatever is unfinished is lost: an unclosed tag, attribute or the
    // text after the last construct.
    DiscardWorkingObjects();
    mTreeWork = mBuilder->Work();
    mBuilder.reset();
    mTopParent = mCurrentParent = nullptr;
    if (status) *status = result;
    return std::move(mTree);
}

// The loop frame: the only place that re-reads a byte and writes the
// per-byte trace line. Handlers move bByte only to rewind (text fallback,
// abandoned block) or past a run of text taken at once. text[n] is the
// terminating NUL, read like any byte.
int CParsingEngine::RunTokenizer(const unsigned char* text, std::int32_t n) {
    SLoop loop;
    while (loop.bByte <= n || loop.bRedoState) {
        if (loop.bRedoState) {
            if (loop.bByte <= 0) {
                if (mTrace) mTrace->Log("ERROR bRedoState=TRUE AND bByte<=0");
                return -2;
            }
            if (mTrace) mTrace->Log(" bRedoState=TRUE");
            --loop.bByte;
            loop.bRedoState = false;
        }
        // An insert block still open at the end is abandoned: its bytes are
        // read again from the one after its opening "|".
        if (loop.bByte >= n && mState == KP_END_PIPE_KIVOINSERT) loop.bByte = AbandonInsert() + 1;

        const unsigned char c = text[loop.bByte];
        mAt = loop.bByte;
        ++mWork;
        if (mTrace) TraceState(c);
        const unsigned stateBit = 1u << mState;
        if (mShortcuts.FallsBackAt(loop.bByte, (stateBit & kTextStates) != 0, (stateBit & kTagStates) != 0, c,
                                   [&] { return ControlCode(loop); })) {
            // This tag is bound to fall back: it does so now.
            loop.bByte = TextFallback() + 1;
            continue;
        }
        switch (mState) {
        case KP_BETWEEN_TAGS: OnBetweenTags(loop, c); break;
        case KP_TAG_NAME: OnTagName(loop, c); break;
        case KP_END_PIPE_KIVOINSERT: OnEndPipeInsert(loop, c); break;
        case KP_NON_WHITE_SPACE: OnNonWhiteSpace(loop, c); break;
        case KP_PROPERTY_NAME: OnPropertyName(loop, c); break;
        case KP_PROPERTY_EQUAL_SIGN: OnPropertyEqualSign(loop, c); break;
        case KP_PROPERTY_VALUE: OnPropertyValue(loop, c); break;
        case KP_STRING_PROPERTY: OnStringProperty(loop, c); break;
        case KP_NONSTRING_PROPERTY: OnNonStringProperty(loop, c); break;
        case KP_COMMENTEND: OnCommentEnd(loop, c); break;
        case KP_RAW_TEXT: OnRawText(loop, c); break;
        }
        ++loop.bByte;
    }
    return 0;
}

// Everything the tokenizer's choices inside a tag depend on besides the
// bytes ahead, as one of 15 codes (insert blocks are never remembered).
unsigned CParsingEngine::ControlCode(const SLoop& loop) const {
    const unsigned step = mValueInsertStep == 3 ? 1u : mValueInsertStep == 4 ? 2u : 0u;
    switch (mState) {
    case KP_TAG_NAME: return loop.nNameBytes > 0 ? 1u : 0u;
    case KP_NON_WHITE_SPACE: return 2;
    case KP_PROPERTY_NAME: return 3;
    case KP_PROPERTY_EQUAL_SIGN: return 4;
    case KP_PROPERTY_VALUE: return 5;
    case KP_STRING_PROPERTY: return 6 + (loop.bQuote == '"' ? 3u : 0u) + step;
    case KP_NONSTRING_PROPERTY: return 12 + step;
    case KP_BETWEEN_TAGS:
    case KP_END_PIPE_KIVOINSERT:
    case KP_COMMENTEND:
    case KP_RAW_TEXT: break;
    }
    return 15;
}

void CParsingEngine::TraceState(unsigned char c) const {
    mTrace->Log("STARTSTATE: %s \tByte: %c", kStateNames[mState], c);
}

// Destroys the working objects that were never attached.
void CParsingEngine::DiscardWorkingObjects() {
    mCurrentTag.reset();
    mCurrentInsert.reset();
    mCurrentProperty.reset();
    mCurrentComment.reset();
    mCurrentObject = nullptr;
}

// The node mCurrentObject names, out of the slot that owns it.
NodePtr<CParseNode> CParsingEngine::TakeCurrentObject() {
    if (!mCurrentObject) return nullptr;
    if (mCurrentObject == mCurrentTag.get()) return std::move(mCurrentTag);
    if (mCurrentObject == mCurrentProperty.get()) return std::move(mCurrentProperty);
    if (mCurrentObject == mCurrentInsert.get()) return std::move(mCurrentInsert);
    if (mCurrentObject == mCurrentComment.get()) return std::move(mCurrentComment);
    return nullptr;
}

// The bytes after the one just collected, up to end, go to the node being
// filled at once: the same bytes as one at a time.
void CParsingEngine::TakeRun(SLoop& loop, std::int64_t end) {
    const std::int64_t from = loop.bByte + 1;
    if (end <= from) return;
    const char* bytes = reinterpret_cast<const char*>(mText) + from;
    auto length = static_cast<std::size_t>(end - from);
    mWork += length;
    if (mBuffer.RunsUpTo(from)) {
        // The bytes collected run on into these: one piece, so that a name
        // arrives whole.
        bytes -= mBuffer.Count();
        length += static_cast<std::size_t>(mBuffer.Count());
        mBuffer.Clear();
    }
    if (mState == KP_PROPERTY_NAME) {
        FlushPropertyName();
        AppendPropertyName(mCurrentObject, bytes, length);
    } else {
        FlushBuffer();
        mCurrentObject->AppendData(*mTree, bytes, length);
    }
    loop.bByte = end - 1;
}

// The byte c just read and the run after it, up to end: to the node being
// filled in one piece when nothing is collected before them, else c is
// collected and the run handed on after it.
void CParsingEngine::TakeByteAndRun(SLoop& loop, unsigned char c, std::int64_t end) {
    if (end <= loop.bByte + 1 || !mBuffer.IsEmpty()) {
        AddByte(c);
        TakeRun(loop, end);
        return;
    }
    const char* bytes = reinterpret_cast<const char*>(mText) + loop.bByte;
    const auto length = static_cast<std::size_t>(end - loop.bByte);
    mWork += length - 1;
    if (mState == KP_PROPERTY_NAME) AppendPropertyName(mCurrentObject, bytes, length);
    else mCurrentObject->AppendData(*mTree, bytes, length);
    loop.bByte = end - 1;
}

void CParsingEngine::AddByte(unsigned char byte) {
    if (mBuffer.Add(byte, mAt, mText)) FlushBuffer();
}

// An attribute name ends: its bytes go to the name, lower-cased.
void CParsingEngine::FlushPropertyName() {
    if (mBuffer.IsEmpty()) return;
    const std::string_view bytes = mBuffer.Bytes(mText);
    if (mCurrentObject) AppendPropertyName(mCurrentObject, bytes.data(), bytes.size());
    mBuffer.Clear();
}

void CParsingEngine::AddByteToInsert(unsigned char byte) {
    if (!mCurrentInsert) {
        if (mTrace) mTrace->Log("Error no insert to add byte to");
        return;
    }
    if (mInsertBuffer.Add(byte, mAt, mText)) FlushInsertBuffer();
}

void CParsingEngine::FlushInsertBuffer() { HandOn(mInsertBuffer, mCurrentInsert.get()); }

std::int32_t CParsingEngine::AbandonInsert() {
    mShortcuts.Abandoned();
    mCurrentInsert.reset();
    mPipeFlag = 0;
    mState = mAbandonState;
    mInsertBuffer.Clear();
    mCurrentObject = (mAbandonState == KP_TAG_NAME) ? mCurrentTag.get() : mCurrentProperty.get();
    return mInsertStart;
}

// A block that is bound to be abandoned is abandoned at once, with the same
// effect as reading it to its end: reading resumes after its opening "|" in
// the state before it.
void CParsingEngine::SkipDoomedInsert(SLoop& loop) {
    if (mShortcuts.InsertAbandoned(mInsertStart, mWork)) loop.bByte = AbandonInsert();
}

}  // namespace kivoparse
