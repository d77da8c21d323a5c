// kivoparse: parses an HTML text into a tree, writes it back normalised,
// and lists or rewrites the image and link URLs it holds.
//
//   kivoparse::Parser parser;
//   parser.ParseHTML("<img src=a.gif><a href=p.htm>x</a>");
//   std::string html = parser.GetHTML();     // <IMG src="a.gif"><A href="p.htm">x</A>
//   std::vector<std::string> urls = parser.GetImages();  // {"a.gif"}
//   parser.FixImages({"A.GIF"}, {"b.gif"});  // now <IMG src="b.gif">
//
// Strings are bytes (any value, NUL included) in no particular encoding.
// URL values are matched without regard to ASCII letter case, up to their
// first NUL. A Parser is not thread-safe; separate Parsers share nothing.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The version of this header; Version() gives the library's own.
#define KIVOPARSE_VERSION_MAJOR 1
#define KIVOPARSE_VERSION_MINOR 0
#define KIVOPARSE_VERSION_PATCH 0

namespace kivoparse {

// The library's version, "MAJOR.MINOR.PATCH".
const char* Version();

class CKIVOParseCtrl;
class CUrlMap;

// A map file line that is not a pair: what() says which and why, as in
// "line 3 has no TAB; each line must be old value, TAB, new value".
class MapError : public std::runtime_error {
public:
    MapError(std::size_t line, const std::string& message) : std::runtime_error(message), mLine(line) {}
    std::size_t Line() const { return mLine; }  // counted from 1

private:
    std::size_t mLine;
};

// Receives bytes a piece at a time: written HTML, or one trace line
// (without its line end). A sink that throws stops the work; the exception
// reaches the caller and the tree stays as it was.
using ByteSink = std::function<void(std::string_view bytes)>;

// Pairs of old and new URL values made once, to rewrite many documents with
// the same pairs without indexing the old values for each: a run over a
// whole site builds one and hands it to every Parser. It never changes once
// made, so threads may share one; copies share the same table.
class UrlMap {
public:
    // An empty table: a rewrite with it changes nothing.
    UrlMap();
    // Lists of different lengths make a table that rewrites nothing: the
    // FixImages and FixHrefs that take it return -1, as for the two lists.
    UrlMap(std::vector<std::string> src, std::vector<std::string> dest);
    // The pairs of a map file's text: one pair a line, the old value, a
    // TAB, the new value; the first TAB splits, every other byte (CR and
    // NUL included) is kept, and an empty last line is ignored. Throws
    // MapError for a line without a TAB.
    static UrlMap Parse(std::string_view text);

    std::size_t Size() const;
    const std::vector<std::string>& Sources() const;       // the old values
    const std::vector<std::string>& Destinations() const;  // the new values

private:
    friend class Parser;
    std::shared_ptr<const CUrlMap> mMap;
};

class Parser {
public:
    Parser();
    ~Parser();
    // A moved-from Parser behaves as a new one.
    Parser(Parser&& other) noexcept;
    Parser& operator=(Parser&& other) noexcept;
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // Replaces the tree of any earlier parse with the tree of html. Never
    // rejects input. Returns 0; -1 (empty tree) for 2 GiB or more.
    int ParseHTML(std::string html);

    // The tree written back: tag names upper-case, attribute names lower-case,
    // values double-quoted. "" before the first parse.
    std::string GetHTML();
    // The same bytes handed to sink in pieces, without the whole string.
    void WriteHTML(const ByteSink& sink);

    // IMG "src", then INPUT "src", then "background" of any element, each in
    // document order; of values equal but for letter case the first is kept.
    // Empty before the first parse.
    std::vector<std::string> GetImages();
    // A "href" values, likewise. Empty before the first parse.
    std::vector<std::string> GetHrefs();

    // Sets each value that GetImages would list and that equals src[i]
    // (letter case ignored, first i wins) to dest[i]. -1 if the lists
    // differ in length (nothing changed), else 0; 0 before the first parse.
    int FixImages(const std::vector<std::string>& src, const std::vector<std::string>& dest);
    // As FixImages, for the values that GetHrefs would list.
    int FixHrefs(const std::vector<std::string>& src, const std::vector<std::string>& dest);
    // As the two above, with the pairs of a table made once.
    int FixImages(const UrlMap& map);
    int FixHrefs(const UrlMap& map);
    // Images from the one table and links from the other, over one tree:
    // unlike writing the images' rewrite out and parsing it again for the
    // links, a value that does not read back as itself cannot hide a link.
    // -1 if either table is invalid (nothing changed), else 0.
    int Rewrite(const UrlMap& images, const UrlMap& links);

    // From the next parse on, image URLs get backslashes turned into slashes
    // and lose every occurrence of base (its backslashes turned likewise).
    // "" turns this off. The current tree stays as it is.
    void SetDocumentBase(const std::string& base);
    // From now on appends a trace line per parser step to this file (lines
    // that cannot be written, e.g. for "", are dropped silently).
    void SetLogFile(const std::string& fileName);
    // From now on hands each trace line to sink instead of a file (a later
    // SetLogFile goes back to a file); an empty sink turns the trace off.
    void SetTraceSink(ByteSink sink);

private:
    CKIVOParseCtrl& Ctrl();
    std::unique_ptr<CKIVOParseCtrl> mCtrl;
};

}  // namespace kivoparse
