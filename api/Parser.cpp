#include "kivoparse/kivoparse.h"

#include <string>
#include <utility>

#include "control/CKIVOParseCtrl.h"
#include "links/CUrlMap.h"

#define KIVOPARSE_STRINGIFY2(x) #x
#define KIVOPARSE_STRINGIFY(x) KIVOPARSE_STRINGIFY2(x)
#define KIVOPARSE_VERSION_STRING                                                   \
    KIVOPARSE_STRINGIFY(KIVOPARSE_VERSION_MAJOR)                                   \
    "." KIVOPARSE_STRINGIFY(KIVOPARSE_VERSION_MINOR) "." KIVOPARSE_STRINGIFY(KIVOPARSE_VERSION_PATCH)

namespace kivoparse {

Parser::Parser() : mCtrl(std::make_unique<CKIVOParseCtrl>()) {}
Parser::~Parser() = default;
Parser::Parser(Parser&& other) noexcept = default;
Parser& Parser::operator=(Parser&& other) noexcept = default;

// A moved-from Parser has no control; it gets a fresh one on first use, so
// it behaves as a new Parser instead of failing.
CKIVOParseCtrl& Parser::Ctrl() {
    if (!mCtrl) mCtrl = std::make_unique<CKIVOParseCtrl>();
    return *mCtrl;
}

int Parser::ParseHTML(std::string html) { return Ctrl().ParseHTML(std::move(html)); }
std::string Parser::GetHTML() { return Ctrl().GetHTML(); }
void Parser::WriteHTML(const ByteSink& sink) { Ctrl().WriteHTML(sink); }
std::vector<std::string> Parser::GetImages() { return Ctrl().GetImages(); }
std::vector<std::string> Parser::GetHrefs() { return Ctrl().GetHrefs(); }

int Parser::FixImages(const std::vector<std::string>& src, const std::vector<std::string>& dest) {
    return Ctrl().FixImages(src, dest);
}

int Parser::FixHrefs(const std::vector<std::string>& src, const std::vector<std::string>& dest) {
    return Ctrl().FixHrefs(src, dest);
}

// A map with prefix rules takes the path that knows them.
int Parser::FixImages(const UrlMap& map) {
    if (map.HasPrefixRules()) return Rewrite(UrlKind::Image, map);
    return map.mMap ? Ctrl().FixImages(*map.mMap) : 0;
}
int Parser::FixHrefs(const UrlMap& map) {
    if (map.HasPrefixRules()) return Rewrite(UrlKind::Link, map);
    return map.mMap ? Ctrl().FixHrefs(*map.mMap) : 0;
}

int Parser::Rewrite(const UrlMap& images, const UrlMap& links) {
    if (images.HasPrefixRules() || links.HasPrefixRules()) {
        // The two kinds hold different attributes: one after the other is
        // the same one pass over the tree's values.
        if ((images.mMap && !images.mMap->IsValid()) || (links.mMap && !links.mMap->IsValid())) return -1;
        Rewrite(UrlKind::Image, images);
        return Rewrite(UrlKind::Link, links);
    }
    return Ctrl().Rewrite(images.mMap.get(), links.mMap.get());
}

const char* Version() { return KIVOPARSE_VERSION_STRING; }

UrlMap::UrlMap() = default;
UrlMap::UrlMap(std::vector<std::string> src, std::vector<std::string> dest)
    : mMap(std::make_shared<const CUrlMap>(std::move(src), std::move(dest))) {}

UrlMap UrlMap::Parse(std::string_view text) { return UrlMap(ReadMapFile(text, MapFormat::Pairs).lines); }

namespace {
// Made on first use: the library builds nothing before main.
const std::vector<std::string>& NoValues() {
    static const std::vector<std::string> none;
    return none;
}
}  // namespace

std::size_t UrlMap::Size() const { return mMap ? mMap->SourceValues().size() : 0; }
const std::vector<std::string>& UrlMap::Sources() const { return mMap ? mMap->SourceValues() : NoValues(); }
const std::vector<std::string>& UrlMap::Destinations() const { return mMap ? mMap->Destinations() : NoValues(); }

void Parser::SetDocumentBase(const std::string& base) { Ctrl().SetDocumentBase(base); }
void Parser::SetLogFile(const std::string& fileName) { Ctrl().SetLogFile(fileName); }
void Parser::SetRawText(bool rawText) { Ctrl().SetRawText(rawText); }
void Parser::SetTraceSink(ByteSink sink) { Ctrl().SetTraceSink(std::move(sink)); }

}  // namespace kivoparse
