// A rule map with "@document PATH" sections: the text is cut at the
// section lines, the pieces of one document joined, and each read as a
// rule map of its own.
#include <algorithm>
#include <unordered_map>
#include <utility>

#include <kivoparse/site.h>

namespace kivoparse {

struct SiteMap::SMaps {
    UrlMap mAll;
    std::unordered_map<std::string, UrlMap> mByDocument;
};

SiteMap::SiteMap() : mMaps(std::make_shared<const SMaps>()) {}

SiteMap SiteMap::Parse(std::string_view text) {
    auto maps = std::make_shared<SMaps>();
    std::string document, chunk;
    std::size_t line = 0, chunkStart = 1;
    std::unordered_map<std::string, std::pair<std::string, std::size_t>> chunks;  // text, first line
    auto flush = [&]() {
        if (document.empty()) {
            chunks[""] = {chunk, chunkStart};
        } else {
            auto& known = chunks[document];
            if (known.first.empty()) known.second = chunkStart;
            known.first += chunk;
        }
        chunk.clear();
    };
    const std::string_view mark = "@document ";
    for (std::size_t start = 0; start < text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view row = text.substr(start, end - start);
        if (row.compare(0, mark.size(), mark) == 0 && row.find('\t') == std::string_view::npos) {
            flush();
            document.assign(row.substr(mark.size()));
            if (!document.empty() && document.back() == '\n') document.pop_back();
            chunkStart = line + 2;
        } else {
            chunk.append(row);
        }
        start = end;
    }
    flush();
    for (auto& entry : chunks) {
        try {
            UrlMap map = UrlMap::ParseRules(entry.second.first);
            if (entry.first.empty()) maps->mAll = std::move(map);
            else maps->mByDocument[entry.first] = std::move(map);
        } catch (const MapError& error) {
            // Lines of a section count from its first; the text's count.
            const std::size_t at = error.Line() + entry.second.second - 1;
            const std::string message = error.what();
            throw MapError(at, "line " + std::to_string(at) + message.substr(message.find(' ', 5)));
        }
    }
    SiteMap result;
    result.mMaps = std::move(maps);
    return result;
}

std::optional<std::string> SiteMap::Apply(const std::string& document, std::string_view url) const {
    const auto section = mMaps->mByDocument.find(document);
    if (section != mMaps->mByDocument.end()) {
        if (std::optional<std::string> value = section->second.Apply(url)) return value;
    }
    return mMaps->mAll.Apply(url);
}

int SiteMap::Rewrite(Parser& parser, UrlKinds kinds, const std::string& document) const {
    const auto section = mMaps->mByDocument.find(document);
    if (section == mMaps->mByDocument.end()) return parser.Rewrite(kinds, mMaps->mAll);
    const UrlMap& own = section->second;
    const UrlMap& all = mMaps->mAll;
    return parser.Rewrite(kinds, [&own, &all](UrlKind, std::string_view url) {
        std::optional<std::string> value = own.Apply(url);
        return value ? value : all.Apply(url);
    });
}

std::vector<std::string> SiteMap::Documents() const {
    std::vector<std::string> documents;
    for (const auto& entry : mMaps->mByDocument) documents.push_back(entry.first);
    std::sort(documents.begin(), documents.end());
    return documents;
}

}  // namespace kivoparse
