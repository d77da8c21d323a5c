#include "kivoparse/kivoparse.h"

#include <utility>

#include "control/CKIVOParseCtrl.h"
#include "links/CUrlMap.h"

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

UrlMap::UrlMap() = default;
UrlMap::UrlMap(std::vector<std::string> src, std::vector<std::string> dest)
    : mMap(std::make_shared<const CUrlMap>(std::move(src), std::move(dest))) {}

void Parser::SetDocumentBase(const std::string& base) { Ctrl().SetDocumentBase(base); }
void Parser::SetLogFile(const std::string& fileName) { Ctrl().SetLogFile(fileName); }

}  // namespace kivoparse
