#pragma once
#include <string>
#include <string_view>
#include <utility>

#include "links/CFoldedIndex.h"
#include "links/CPrefixRules.h"
#include "tree/CValueList.h"

namespace kivoparse {

// A rewrite table: old and new URL values, the old ones indexed when the
// table is made. Made once for many documents (it owns its lists), or for
// one rewrite over lists that outlive it (it borrows them). Nothing changes
// it afterwards, so threads rewriting different trees may share one.
class CUrlMap {
public:
    CUrlMap(CValueList src, CValueList dest)
        : mOwnedSrc(std::move(src)), mOwnedDest(std::move(dest)), mSrc(&mOwnedSrc), mDest(&mOwnedDest) {
        Index();
    }
    // Borrows src and dest, which must outlive the table.
    CUrlMap(const CValueList* src, const CValueList* dest) : mSrc(src), mDest(dest), mSources(*src) { Index(); }
    CUrlMap(const CUrlMap&) = delete;
    CUrlMap& operator=(const CUrlMap&) = delete;

    // Whether the lists were as long when the table was made: the one
    // length check. An invalid table matches nothing (a rewrite with it
    // gives -1 and changes nothing).
    bool IsValid() const { return mValid; }
    // The new value of url: the new value of the first old value equal to
    // it under ASCII case folding, else the rules' (see CPrefixRules).
    // False, out untouched, when neither gives one.
    bool Apply(std::string_view url, std::string& out) const {
        if (!mValid) return false;
        const std::size_t at = mSources.FindIndexed(url);
        if (at != CFoldedIndex::npos) {
            out = (*mDest)[at];
            return true;
        }
        return mPrefixes.Apply(url, out);
    }
    const CValueList& SourceValues() const { return *mSrc; }
    const CValueList& Destinations() const { return *mDest; }
    // Rules for the values that no pair matches (see CPrefixRules); added
    // while the table is made, before it is shared.
    CPrefixRules& Prefixes() { return mPrefixes; }
    const CPrefixRules& Prefixes() const { return mPrefixes; }

private:
    void Index() {
        mValid = mSrc->size() == mDest->size();
        if (mValid) mSources.IndexAll();
    }

    CValueList mOwnedSrc;
    CValueList mOwnedDest;
    const CValueList* mSrc;
    const CValueList* mDest;
    CFoldedIndex mSources{*mSrc};  // over *mSrc, so declared after it
    CPrefixRules mPrefixes;
    bool mValid = false;
};

}  // namespace kivoparse
