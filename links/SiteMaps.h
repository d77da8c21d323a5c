#pragma once
// The tables behind a SiteMap, shared by its copies: for links/SiteMap.cpp,
// which reads them, and the public API's rewrite of a parser's document.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <kivoparse/site.h>

#include "links/UrlPaths.h"

namespace kivoparse {

// Sections are found by their document's path without "." and empty
// segments, so that "./site/a.html" finds the section of "site/a.html".
struct SiteMap::SMaps {
    UrlMap mAll;
    std::unordered_map<std::string, UrlMap> mByDocument;
    std::vector<std::string> mDocuments;  // as first written, sorted
    std::optional<UrlKinds> mKinds;       // of the "@kinds" line
    std::optional<std::string> mKindsList;  // as that line writes them
    std::unordered_map<std::string, std::string> mNameOf;  // a section's path without dots: as first written

    const UrlMap* Section(const std::string& document) const {
        if (mByDocument.empty()) return nullptr;
        const auto found = mByDocument.find(PathWithoutDots(document));
        return found == mByDocument.end() ? nullptr : &found->second;
    }
};

}  // namespace kivoparse
