#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "log/CLogFile.h"
#include "tree/COpenTagIndex.h"

namespace kivoparse {

// What a parse does to the image URLs of the tree it builds (the document
// base: see links/CDocumentBase.h). The tree only calls it.
class CUrlFilter {
public:
    // value as it is to be stored; work grows by the bytes looked at.
    virtual std::string Apply(std::string_view value, std::uint64_t& work) const = 0;

protected:
    ~CUrlFilter() = default;
};

// One parse's context, owned by the tree's store and filled by whoever
// parses (the engine) before the first node is attached: the trace log
// while one is written, the filter of image URLs (the document base), the
// count of work done by the tree, and the index of open start tags that
// the fast mode keeps for the root's list. A tree made without a parse has
// none of them.
class CParseContext {
public:
    CParseContext() = default;
    CParseContext(const CParseContext&) = delete;
    CParseContext& operator=(const CParseContext&) = delete;

    // The log while a trace file is set, else null: callers test it before
    // they format anything.
    CLogFile* Trace() const { return mTrace; }
    void SetTrace(CLogFile* trace) { mTrace = trace; }

    // The filter of image URLs, or null when they are kept as written.
    const CUrlFilter* ImageFilter() const { return mImageFilter; }
    void SetImageFilter(const CUrlFilter* filter) { mImageFilter = filter; }

    // Work done by the tree for the parse, in the unit of bytes read.
    void CountWork(std::uint64_t steps) { mWork += steps; }
    std::uint64_t Work() const { return mWork; }
    // value through the image filter (which must be set), counted.
    std::string FilterImageUrl(std::string_view value) { return mImageFilter->Apply(value, mWork); }

    // The index of open start tags of the root's list, or null.
    COpenTagIndex* OpenTags() const { return mOpenTags.get(); }
    void TrackOpenTags() {
        if (!mOpenTags) mOpenTags = std::make_unique<COpenTagIndex>();
    }

private:
    CLogFile* mTrace = nullptr;
    const CUrlFilter* mImageFilter = nullptr;
    std::uint64_t mWork = 0;
    std::unique_ptr<COpenTagIndex> mOpenTags;
};

}  // namespace kivoparse
