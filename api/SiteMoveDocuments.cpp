// A move's plan and rewrite of a document given as its text: pages parsed
// as a browser reads them, stylesheets read as CSS.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <kivoparse/kivoparse.h>
#include <kivoparse/site.h>

namespace kivoparse {

namespace {

bool IsStylesheet(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return end == ".css";
}

// Whether text may hold a BASE element: "<base" in any letter case. Most
// pages have none, and need no parse to learn that their base is their own
// folder.
bool MayHoldBase(std::string_view text) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        if (text.size() - at >= 5 && fold(text[at + 1]) == 'b' && fold(text[at + 2]) == 'a' &&
            fold(text[at + 3]) == 's' && fold(text[at + 4]) == 'e') {
            return true;
        }
    }
    return false;
}

}  // namespace

DocumentChanges SiteMove::PlanDocument(const std::string& document, std::string_view text) const {
    if (IsStylesheet(document)) return Plan(document, GetCssUrlOccurrences(text));
    Parser parser;
    parser.SetRawText(true);
    parser.ParseHTML(std::string(text));
    return Plan(document, parser.GetUrlOccurrences(UrlKinds::All()), parser.GetBaseHref());
}

KeptRewrite SiteMove::RewriteDocument(const std::string& document, std::string_view text) const {
    if (IsStylesheet(document)) return RewriteCssKeepingBytes(text, Rewriter(document));
    std::optional<std::string> base;
    if (MayHoldBase(text)) {
        Parser parser;
        parser.SetRawText(true);
        parser.ParseHTML(std::string(text));
        base = parser.GetBaseHref();
    }
    return RewriteKeepingBytes(text, UrlKinds::All(), Rewriter(document, base));
}

MovePlan PlanMove(const std::vector<std::string>& files, const std::vector<std::pair<std::string, std::string>>& documents,
                  const std::string& src, const std::string& dst, const std::string& siteUrl) {
    const SiteMove move(files, src, dst, siteUrl);
    MovePlan plan;
    plan.movedFiles = move.MovedFiles();
    for (const auto& [path, bytes] : documents) {
        DocumentChanges changes = move.PlanDocument(path, bytes);
        ++plan.documentsRead;
        if (!changes.changes.empty()) plan.documents.push_back(std::move(changes));
    }
    return plan;
}

}  // namespace kivoparse
