#include "kivoparse/kivoparse.h"

#include <string>
#include <utility>

#include "api/Handles.h"

#define KIVOPARSE_STRINGIFY2(x) #x
#define KIVOPARSE_STRINGIFY(x) KIVOPARSE_STRINGIFY2(x)
#define KIVOPARSE_VERSION_STRING                                                   \
    KIVOPARSE_STRINGIFY(KIVOPARSE_VERSION_MAJOR)                                   \
    "." KIVOPARSE_STRINGIFY(KIVOPARSE_VERSION_MINOR) "." KIVOPARSE_STRINGIFY(KIVOPARSE_VERSION_PATCH)

namespace kivoparse {

Parser::Parser() : mCtrl(std::make_unique<Control>()) {}
Parser::~Parser() = default;
Parser::Parser(Parser&& other) noexcept = default;
Parser& Parser::operator=(Parser&& other) noexcept = default;

// A moved-from Parser has no control; it gets a fresh one on first use, so
// it behaves as a new Parser instead of failing.
Parser::Control& Parser::Ctrl() {
    if (!mCtrl) mCtrl = std::make_unique<Control>();
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

int Parser::FixImages(const UrlMap& map) { return Rewrite(UrlKind::Image, map); }
int Parser::FixHrefs(const UrlMap& map) { return Rewrite(UrlKind::Link, map); }

const char* Version() { return KIVOPARSE_VERSION_STRING; }

UrlMap::UrlMap() = default;
UrlMap::UrlMap(std::vector<std::string> src, std::vector<std::string> dest)
    : mMap(std::make_shared<const Table>(std::move(src), std::move(dest))) {}

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
