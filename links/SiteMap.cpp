// A rule map with "@document PATH" sections: the pairs of each document
// make a map of their own, beside the map of the pairs for every document.
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include <kivoparse/site.h>

#include "links/SiteMaps.h"
#include "links/UrlPaths.h"

namespace kivoparse {

SiteMap::SiteMap() : mMaps(std::make_shared<const SMaps>()) {}

SiteMap SiteMap::Parse(std::string_view text) { return SiteMap(ReadMapFile(text, MapFormat::Sections)); }

SiteMap::SiteMap(MapFile file) {
    auto maps = std::make_shared<SMaps>();
    UrlKinds kinds;
    std::string ignored;
    if (file.kinds && UrlKinds::Parse(*file.kinds, kinds, ignored)) {
        maps->mKinds = kinds;
        maps->mKindsList = std::move(file.kinds);
    }
    // Part i (from 1) holds the lines of one document's sections.
    std::vector<std::vector<MapLine>> parts(1);
    std::unordered_map<std::string, std::size_t> partOf;  // a document's path without dots: its part
    auto partFor = [&](const std::string& document) {
        const auto placed = partOf.emplace(PathWithoutDots(document), parts.size());
        if (placed.second) {
            maps->mNameOf.emplace(placed.first->first, document);
            maps->mDocuments.push_back(document);
            parts.emplace_back();
        }
        return placed.first->second;
    };
    // Each document as its first section writes it, with pairs or none.
    for (const std::string& document : file.sections) partFor(document);
    // The lines for every document stay where they are.
    std::size_t kept = 0;
    for (MapLine& line : file.lines) {
        if (line.document) parts[partFor(*line.document)].push_back(std::move(line));
        else if (&line != &file.lines[kept]) file.lines[kept++] = std::move(line);
        else ++kept;
    }
    file.lines.resize(kept);
    maps->mAll = UrlMap(std::move(file.lines));
    for (const auto& entry : partOf) maps->mByDocument[entry.first] = UrlMap(std::move(parts[entry.second]));
    std::sort(maps->mDocuments.begin(), maps->mDocuments.end());
    mMaps = std::move(maps);
}

MapFile SiteMap::File() const {
    MapFile file;
    file.lines = mMaps->mAll.Lines();
    file.kinds = mMaps->mKindsList;
    for (const std::string& document : mMaps->mDocuments) {
        file.sections.push_back(document);
        for (MapLine& line : mMaps->Section(document)->Lines()) {
            line.document = document;
            file.lines.push_back(std::move(line));
        }
    }
    return file;
}

std::optional<std::string> SiteMap::Apply(const std::string& document, std::string_view url) const {
    if (const UrlMap* section = mMaps->Section(document)) {
        if (std::optional<std::string> value = section->Apply(url)) return value;
    }
    return mMaps->mAll.Apply(url);
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
