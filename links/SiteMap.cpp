// A rule map with "@document PATH" sections: the text is cut at the
// section lines, the pieces of one document joined, and each read as a
// rule map of its own.
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include <kivoparse/site.h>

#include "links/RuleMap.h"
#include "links/UrlPaths.h"

namespace kivoparse {

// Sections are found by their document's path without "." and empty
// segments, so that "./site/a.html" finds the section of "site/a.html".
struct SiteMap::SMaps {
    UrlMap mAll;
    std::unordered_map<std::string, UrlMap> mByDocument;
    std::vector<std::string> mDocuments;  // as first written, sorted
    std::optional<UrlKinds> mKinds;       // of the "@kinds" line
    std::unordered_map<std::string, std::string> mNameOf;  // a section's path without dots: as first written

    const UrlMap* Section(const std::string& document) const {
        if (mByDocument.empty()) return nullptr;
        const auto found = mByDocument.find(PathWithoutDots(document));
        return found == mByDocument.end() ? nullptr : &found->second;
    }
};

SiteMap::SiteMap() : mMaps(std::make_shared<const SMaps>()) {}

SiteMap SiteMap::Parse(std::string_view text) {
    auto maps = std::make_shared<SMaps>();
    // Part 0 holds the lines above the first section, each other part the
    // lines of one document's sections, with the line of the text each
    // comes from.
    struct SPart {
        std::string mText;
        std::vector<std::size_t> mLines;
    };
    std::vector<SPart> parts(1);
    std::unordered_map<std::string, std::size_t> partOf;  // a document's path without dots: its part
    const std::string_view mark = "@document ";
    std::size_t current = 0, line = 0;
    for (std::size_t start = 0; start < text.size();) {
        ++line;
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view row = text.substr(start, end - start);
        start = end;
        if (row.compare(0, mark.size(), mark) != 0 || row.find('\t') != std::string_view::npos) {
            const std::string_view bare = row.substr(0, row.size() - (row.back() == '\n' ? 1 : 0));
            UrlKinds kinds;
            std::string ignored;  // a bad list is told by the part's reader, with its line
            if (IsKindsLine(bare) && UrlKinds::Parse(KindsOfLine(bare), kinds, ignored)) maps->mKinds = kinds;
            parts[current].mText.append(row);
            parts[current].mLines.push_back(line);
            continue;
        }
        std::string document(row.substr(mark.size()));
        if (!document.empty() && document.back() == '\n') document.pop_back();
        const auto placed = partOf.emplace(PathWithoutDots(document), parts.size());
        if (placed.second) {
            maps->mNameOf.emplace(placed.first->first, document);
            parts.emplace_back();
            maps->mDocuments.push_back(document);
        }
        current = placed.first->second;
    }
    // Each part is a rule map of its own; of their errors, the first line's
    // is told, counted in the whole text.
    std::optional<MapError> first;
    std::vector<UrlMap> read(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        try {
            read[i] = UrlMap::ParseRules(parts[i].mText);
        } catch (const MapError& error) {
            const std::vector<std::size_t>& lines = parts[i].mLines;
            const std::size_t at = lines.empty() ? line : lines[std::min(error.Line(), lines.size()) - 1];
            if (first && first->Line() <= at) continue;
            const std::string message = error.what();
            first.emplace(at, "line " + std::to_string(at) + message.substr(message.find(' ', 5)));
        }
    }
    if (first) throw *first;
    maps->mAll = std::move(read[0]);
    for (const auto& entry : partOf) maps->mByDocument[entry.first] = std::move(read[entry.second]);
    std::sort(maps->mDocuments.begin(), maps->mDocuments.end());
    SiteMap result;
    result.mMaps = std::move(maps);
    return result;
}

std::optional<std::string> SiteMap::Apply(const std::string& document, std::string_view url) const {
    if (const UrlMap* section = mMaps->Section(document)) {
        if (std::optional<std::string> value = section->Apply(url)) return value;
    }
    return mMaps->mAll.Apply(url);
}

int SiteMap::Rewrite(Parser& parser, UrlKinds kinds, const std::string& document) const {
    const UrlMap* section = mMaps->Section(document);
    if (!section) return parser.Rewrite(kinds, mMaps->mAll);
    const UrlMap& own = *section;
    const UrlMap& all = mMaps->mAll;
    return parser.Rewrite(kinds, [&own, &all](UrlKind, std::string_view url) {
        std::optional<std::string> value = own.Apply(url);
        return value ? value : all.Apply(url);
    });
}

std::vector<std::string> SiteMap::Documents() const { return mMaps->mDocuments; }

std::optional<std::string> SiteMap::SectionFor(const std::string& document) const {
    if (mMaps->mByDocument.empty()) return std::nullopt;
    const auto found = mMaps->mNameOf.find(PathWithoutDots(document));
    if (found == mMaps->mNameOf.end()) return std::nullopt;
    return found->second;
}

std::optional<UrlKinds> SiteMap::Kinds() const { return mMaps->mKinds; }

}  // namespace kivoparse
