#pragma once
#include <utility>

#include "tree/CFoldedIndex.h"
#include "tree/CValueList.h"

namespace kivoparse {

// A rewrite table made once for many documents: old and new URL values, the
// old ones indexed when the table is made. Nothing changes it afterwards, so
// threads rewriting different trees may share one.
class CUrlMap {
public:
    CUrlMap(CValueList src, CValueList dest) : mSrc(std::move(src)), mDest(std::move(dest)), mSources(mSrc) {
        mSources.IndexAll();
    }
    CUrlMap(const CUrlMap&) = delete;
    CUrlMap& operator=(const CUrlMap&) = delete;

    // A rewrite with lists of different lengths changes nothing and gives -1.
    bool IsValid() const { return mSrc.size() == mDest.size(); }
    const CFoldedIndex& Sources() const { return mSources; }
    const CValueList& SourceValues() const { return mSrc; }
    const CValueList& Destinations() const { return mDest; }

private:
    CValueList mSrc;
    CValueList mDest;
    CFoldedIndex mSources;  // over mSrc, so declared after it
};

}  // namespace kivoparse
