#pragma once
// What fix did, told on the standard error when it ends: pages read, pages
// changed, and the URLs rewritten per kind. The workers add to it as they
// finish a page; it is read once they are all done.
#include <array>
#include <atomic>
#include <cstddef>
#include <string>

#include <kivoparse/kivoparse.h>

namespace kivoparse {
namespace cli {

class CFixSummary {
public:
    // From now on the pages are counted; dryRun: the summary says nothing
    // was written.
    void Want(bool dryRun) {
        bWanted = true;
        bDryRun = dryRun;
    }
    bool Wanted() const { return bWanted; }
    // One page read and rewritten; normalised: its URLs were not counted
    // one by one (the normalised rewrite does not count them).
    void Add(const KeptRewrite& page, bool normalised);
    // One stylesheet read and rewritten (always keeping its bytes).
    void AddStylesheet(const KeptRewrite& sheet);
    // "kivoparse: 3 pages read, 1 changed; 4 URLs rewritten (images 1, links 3)\n";
    // stylesheets are named apart: "1 page and 2 stylesheets read, ..."
    std::string Text() const;

private:
    bool bWanted = false;
    bool bDryRun = false;
    std::atomic<std::size_t> mPages{0};
    std::atomic<std::size_t> mStylesheets{0};
    std::atomic<std::size_t> mChanged{0};
    std::atomic<std::size_t> mNormalised{0};
    std::atomic<std::size_t> mLeftAlone{0};
    std::array<std::atomic<std::size_t>, kUrlKindCount> mRewritten{};
};

}  // namespace cli
}  // namespace kivoparse
