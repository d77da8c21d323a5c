#include "links/CFoldedIndex.h"

namespace kivoparse {

namespace {

unsigned char FoldByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// The innermost index registered on this thread; each links to the one
// registered before it.
thread_local CFoldedIndex* tActiveIndex = nullptr;

}  // namespace

int CompareNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const unsigned char x = FoldByte(*a);
        const unsigned char y = FoldByte(*b);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

bool CFoldedIndex::SFoldedLess::operator()(std::size_t a, std::size_t b) const {
    return CompareNoCase((*mList)[a].c_str(), (*mList)[b].c_str()) < 0;
}

bool CFoldedIndex::SFoldedLess::operator()(std::size_t a, const char* b) const {
    return CompareNoCase((*mList)[a].c_str(), b) < 0;
}

bool CFoldedIndex::SFoldedLess::operator()(const char* a, std::size_t b) const {
    return CompareNoCase(a, (*mList)[b].c_str()) < 0;
}

CFoldedIndex::CFoldedIndex(const CValueList& list)
    : mList(&list), mFirst(SFoldedLess{&list}), mOuter(tActiveIndex) {
    tActiveIndex = this;
}

CFoldedIndex::~CFoldedIndex() { tActiveIndex = mOuter; }

CFoldedIndex* CFoldedIndex::ActiveFor(const CValueList& list) {
    for (CFoldedIndex* index = tActiveIndex; index; index = index->mOuter) {
        if (index->mList == &list) return index;
    }
    return nullptr;
}

void CFoldedIndex::Sync() {
    if (mList->size() < mIndexed) {
        mFirst.clear();
        mIndexed = 0;
    }
    // Entries go in front to back and a set keeps the first of equal keys,
    // so each key maps to the entry a scan would stop at.
    for (; mIndexed < mList->size(); ++mIndexed) mFirst.insert(mIndexed);
}

std::size_t CFoldedIndex::Find(const char* text) {
    Sync();
    const auto found = mFirst.find(text);
    return found == mFirst.end() ? npos : *found;
}

std::size_t FindNoCase(const CValueList& list, const char* text) {
    if (CFoldedIndex* index = CFoldedIndex::ActiveFor(list)) return index->Find(text);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (CompareNoCase(list[i].c_str(), text) == 0) return i;
    }
    return CFoldedIndex::npos;
}

}  // namespace kivoparse
