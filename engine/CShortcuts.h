#pragma once
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/CFallbackMemo.h"
#include "engine/CInsertOracle.h"

namespace kivoparse {

// The fast mode's shortcuts, in one place. Each one reaches the same tree as
// reading byte by byte, with less reading:
// - text between tags is taken a run at a time, up to the next "<";
// - inside a tag, so are names and values, up to the next byte that the
//   state acts on, while the memo has nothing to record;
// - a tag known to end in the text fallback falls back at once (the memo);
// - an insert block known to be abandoned is abandoned at once (the oracle).
// The fourth, the index of open start tags that settles an unmatched end
// tag at once, belongs to the tree: the engine asks the root to keep one
// when On().
//
// Switched off (the literal mode) every query answers as if the shortcut
// did not exist. Begin starts a parse from fresh state, so nothing learnt
// from one text is applied to another.
class CShortcuts {
public:
    // A new parse of text[0, n) (text[n] is its NUL).
    void Begin(bool on, const unsigned char* text, std::int32_t n) {
        mOn = on;
        mText = text;
        mLength = n;
        mAbandonCount = 0;
        mOracle.reset();
        mFallbacks = CFallbackMemo();
    }
    // The parse is over: the text may go away.
    void End() {
        mText = nullptr;
        mOracle.reset();
        mFallbacks = CFallbackMemo();
    }

    bool On() const { return mOn; }

    // Called before each byte that the loop reads, with the tokenizer's
    // state. True when the tag being read is known to fall back from here.
    // code() gives the control code of the tag state (see CFallbackMemo).
    template <class Code>
    bool FallsBackAt(std::int64_t position, bool betweenTags, bool insideTag, unsigned char c, Code code) {
        if (!mOn) return false;
        if (betweenTags) {
            mFallbacks.Between(position);
            return false;
        }
        return insideTag && (c == '<' || !mFallbacks.IsIdle()) && mFallbacks.Visit(position, code(), c);
    }
    // Whether FallsBackAt, asked inside a tag about byte c, is sure to
    // answer false and record nothing: a byte read again at once in another
    // state may then skip the loop.
    bool ReadsOn(unsigned char c) const { return mOn && c != '<' && mFallbacks.IsIdle(); }
    // The tag being read has fallen back.
    void FellBack() {
        if (mOn) mFallbacks.FellBack();
    }

    // The end of the run of text that starts at position: the next "<" or
    // the end of the text. position + 1 when runs are not taken.
    std::int64_t TextRunEnd(std::int64_t position) const {
        if (!mOn || position >= mLength) return position + 1;
        const unsigned char* from = mText + position;
        const auto* lt = static_cast<const unsigned char*>(
            std::memchr(from, '<', static_cast<std::size_t>(mLength - position)));
        return lt ? lt - mText : mLength;
    }

    // The end of the run of name bytes after position (digits, letters,
    // "-", "/", line feed, and carriage return when carriageReturn), at most
    // the end of the text: inside a tag, the bytes that a name state would
    // only collect. position + 1 when runs are not taken, or while the memo
    // records every position of the tag being read. Read sixteen bytes at a
    // step where the processor can, so that a name's end costs no branch per
    // byte; run is the same set as a table of 256, which the last bytes of
    // the text and other processors read.
    std::int64_t NameRunEnd(std::int64_t position, const bool* run, bool carriageReturn) const {
        if (!mOn || !mFallbacks.IsIdle()) return position + 1;
        const unsigned char* at = mText + position + 1;
        const unsigned char* const end = mText + mLength;
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
        // Letters: the byte with 0x20 set is a to z. Each range test moves
        // the range to the bottom of the signed bytes and compares once.
        const __m128i caseBit = _mm_set1_epi8(0x20);
        const __m128i toLetters = _mm_set1_epi8(static_cast<char>(0x80 - 'a'));
        const __m128i letterCount = _mm_set1_epi8(static_cast<char>(0x80 + 26));
        const __m128i toDigits = _mm_set1_epi8(static_cast<char>(0x80 - '0'));
        const __m128i digitCount = _mm_set1_epi8(static_cast<char>(0x80 + 10));
        const __m128i slashBit = _mm_set1_epi8(0x02), slash = _mm_set1_epi8('/');  // "-" with 0x02 set is "/"
        const __m128i lineFeed = _mm_set1_epi8('\n');
        const __m128i carriage = _mm_set1_epi8(carriageReturn ? '\r' : '\n');
        for (; end - at >= 16; at += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            const __m128i letter =
                _mm_cmplt_epi8(_mm_add_epi8(_mm_or_si128(bytes, caseBit), toLetters), letterCount);
            const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(bytes, toDigits), digitCount);
            const __m128i other = _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(bytes, slashBit), slash),
                                               _mm_or_si128(_mm_cmpeq_epi8(bytes, lineFeed), _mm_cmpeq_epi8(bytes, carriage)));
            const unsigned names =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(letter, digit), other)));
            if (names != 0xFFFFu) return at + __builtin_ctz(~names) - mText;
        }
#else
        (void)carriageReturn;
#endif
        while (at < end && run[*at]) ++at;
        return at - mText;
    }

    // The same for a run that ends at the first of four bytes (a value:
    // its quote or the bytes that may open an insert block), read sixteen
    // bytes at a step where the processor can.
    std::int64_t RunEndAt(std::int64_t position, unsigned char a, unsigned char b, unsigned char c,
                          unsigned char d) const {
        if (!mOn || !mFallbacks.IsIdle()) return position + 1;
        const unsigned char* at = mText + position + 1;
        const unsigned char* const end = mText + mLength;
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
        const __m128i va = _mm_set1_epi8(static_cast<char>(a)), vb = _mm_set1_epi8(static_cast<char>(b));
        const __m128i vc = _mm_set1_epi8(static_cast<char>(c)), vd = _mm_set1_epi8(static_cast<char>(d));
        for (; end - at >= 16; at += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            const __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, va), _mm_cmpeq_epi8(bytes, vb)),
                                               _mm_or_si128(_mm_cmpeq_epi8(bytes, vc), _mm_cmpeq_epi8(bytes, vd)));
            if (const int mask = _mm_movemask_epi8(stops)) return at + __builtin_ctz(static_cast<unsigned>(mask)) - mText;
        }
#endif
        while (at < end && *at != a && *at != b && *at != c && *at != d) ++at;
        return at - mText;
    }

    // An insert block was abandoned.
    void Abandoned() { ++mAbandonCount; }
    // Whether the block opened by the "|" at openingBar is bound to be
    // abandoned. Asked only once some block has been abandoned, so ordinary
    // documents never build the oracle. bytesRead grows by the bytes the
    // oracle reads when it is built.
    bool InsertAbandoned(std::int32_t openingBar, std::uint64_t& bytesRead) {
        if (!mOn || mAbandonCount == 0) return false;
        if (!mOracle) {
            mOracle = std::make_unique<CInsertOracle>(mText, mLength);
            bytesRead += static_cast<std::uint64_t>(mLength);
        }
        return mOracle->IsAbandoned(openingBar);
    }

private:
    bool mOn = true;
    const unsigned char* mText = nullptr;
    std::int32_t mLength = 0;
    std::int32_t mAbandonCount = 0;
    std::unique_ptr<CInsertOracle> mOracle;
    CFallbackMemo mFallbacks;
};

}  // namespace kivoparse
