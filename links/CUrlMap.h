#pragma once
#include <utility>

#include "links/CFoldedIndex.h"
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
        mSources.IndexAll();
    }
    // Borrows src and dest, which must outlive the table.
    CUrlMap(const CValueList* src, const CValueList* dest) : mSrc(src), mDest(dest), mSources(*src) {
        mSources.IndexAll();
    }
    CUrlMap(const CUrlMap&) = delete;
    CUrlMap& operator=(const CUrlMap&) = delete;

    // The one length check: a rewrite with lists of different lengths
    // changes nothing and gives -1.
    bool IsValid() const { return mSrc->size() == mDest->size(); }
    const CFoldedIndex& Sources() const { return mSources; }
    const CValueList& SourceValues() const { return *mSrc; }
    const CValueList& Destinations() const { return *mDest; }

private:
    CValueList mOwnedSrc;
    CValueList mOwnedDest;
    const CValueList* mSrc;
    const CValueList* mDest;
    CFoldedIndex mSources{*mSrc};  // over *mSrc, so declared after it
};

}  // namespace kivoparse
