#include "cli/FixSummary.h"

namespace kivoparse {
namespace cli {

namespace {

std::string Counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void CFixSummary::Add(const KeptRewrite& page, bool normalised) {
    ++mPages;
    if (page.Changed()) ++mChanged;
    if (normalised) {
        ++mNormalised;
        return;
    }
    mLeftAlone += page.leftAlone;
    for (std::size_t i = 0; i < kUrlKindCount; ++i) mRewritten[i] += page.rewritten[i];
}

void CFixSummary::AddStylesheet(const KeptRewrite& sheet) {
    ++mStylesheets;
    if (sheet.Changed()) ++mChanged;
    mLeftAlone += sheet.leftAlone;
    for (std::size_t i = 0; i < kUrlKindCount; ++i) mRewritten[i] += sheet.rewritten[i];
}

std::string CFixSummary::Text() const {
    std::string text = "kivoparse: " + Counted(mPages, "page", "pages");
    if (mStylesheets > 0) text += " and " + Counted(mStylesheets, "stylesheet", "stylesheets");
    text += " read, " + std::to_string(mChanged) + (bDryRun ? " would change" : " changed");
    if (mNormalised == mPages && mPages > 0 && mStylesheets == 0) return text + " (written back normalised; URLs not counted)\n";
    std::size_t total = 0;
    std::string kinds;
    for (std::size_t i = 0; i < kUrlKindCount; ++i) {
        const std::size_t n = mRewritten[i];
        if (n == 0) continue;
        total += n;
        kinds += std::string(kinds.empty() ? "" : ", ") + UrlKindName(static_cast<UrlKind>(i)) + " " + std::to_string(n);
    }
    text += "; " + Counted(total, "URL", "URLs") + (bDryRun ? " to rewrite" : " rewritten");
    if (!kinds.empty()) text += " (" + kinds + ")";
    if (mNormalised > 0) text += "; " + std::to_string(mNormalised) + " written back normalised, their URLs not counted";
    if (mLeftAlone > 0) {
        text += "; " + std::to_string(mLeftAlone) +
                " left alone (a value holding an insert block, or an empty value, cannot be edited in place)";
    }
    return text + "\n";
}

}  // namespace cli
}  // namespace kivoparse
