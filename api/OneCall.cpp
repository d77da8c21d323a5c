// The one-call forms of the Parser's operations: a Parser of their own for
// one document, its settings given, and the one call.
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "kivoparse/kivoparse.h"

namespace kivoparse {

namespace {

template <class Use>
auto Parsed(std::string html, const std::string& base, bool rawText, Use use) {
    Parser parser;
    parser.SetDocumentBase(base);
    parser.SetRawText(rawText);
    if (parser.ParseHTML(std::move(html)) != 0)
        throw std::length_error("the document is too large to parse (2 GiB or more)");
    return use(parser);
}

}  // namespace

std::string Normalize(std::string html, const std::string& base, bool rawText) {
    return Parsed(std::move(html), base, rawText, [](Parser& parser) { return parser.GetHTML(); });
}

std::vector<std::string> Images(std::string html, const std::string& base, bool rawText) {
    return Parsed(std::move(html), base, rawText, [](Parser& parser) { return parser.GetImages(); });
}

std::vector<std::string> Hrefs(std::string html, const std::string& base, bool rawText) {
    return Parsed(std::move(html), base, rawText, [](Parser& parser) { return parser.GetHrefs(); });
}

std::string Rewrite(std::string html, const UrlMap& images, const UrlMap& links, const std::string& base,
                    bool rawText) {
    return Parsed(std::move(html), base, rawText, [&](Parser& parser) {
        parser.Rewrite(images, links);
        return parser.GetHTML();
    });
}

std::vector<std::string> Urls(std::string html, UrlKinds kinds, const std::string& base, bool rawText) {
    return Parsed(std::move(html), base, rawText, [kinds](Parser& parser) { return parser.GetUrls(kinds); });
}

std::vector<UrlOccurrence> UrlOccurrences(std::string html, UrlKinds kinds, const std::string& base, bool rawText) {
    return Parsed(std::move(html), base, rawText,
                  [kinds](Parser& parser) { return parser.GetUrlOccurrences(kinds); });
}

std::string RewriteUrls(std::string html, UrlKinds kinds, const UrlMap& map, const std::string& base, bool rawText) {
    return Parsed(std::move(html), base, rawText, [&](Parser& parser) {
        parser.Rewrite(kinds, map);
        return parser.GetHTML();
    });
}

std::string RewriteUrls(std::string html, UrlKinds kinds, const UrlRewriter& rewriter, const std::string& base,
                        bool rawText) {
    return Parsed(std::move(html), base, rawText, [&](Parser& parser) {
        parser.Rewrite(kinds, rewriter);
        return parser.GetHTML();
    });
}

}  // namespace kivoparse
