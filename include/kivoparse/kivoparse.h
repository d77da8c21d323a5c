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
#include <optional>
#include <utility>
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
class UrlMap;

// A map file line that is not a pair: what() says which and why, as in
// "line 3 has no TAB; each line must be old value, TAB, new value".
class MapError : public std::runtime_error {
public:
    MapError(std::size_t line, const std::string& message) : std::runtime_error(message), mLine(line) {}
    std::size_t Line() const { return mLine; }  // counted from 1

private:
    std::size_t mLine;
};

// ---- Map files: one pair a line, old value, TAB, new value ----

// One pair of a map file.
struct MapLine {
    std::optional<std::string> document;  // the path of its "@document" section; none above the first
    std::string from;      // the old value; of a prefix rule, the start it replaces (no "*")
    std::string to;        // the new value (of a prefix rule, without its "*")
    bool prefix = false;   // a prefix rule
    std::size_t line = 0;  // where the map file holds it, from 1; 0 for a pair made otherwise
};

// How much of the format a map file is read with:
// Pairs: every byte but the first TAB and the line feed of a line belongs
//   to the values (CR and NUL too); an empty last line is ignored.
// Rules: as Pairs, and at the end of either value "*" are read in pairs,
//   "**" standing for one "*"; one left over ends a prefix rule's old value
//   (and marks the rest on its new value, where it may be left out). A line
//   "@kinds LIST" (no TAB) names the kinds the map was made for.
// Sections: as Rules, and a line "@document PATH" (no TAB) starts the
//   pairs of that document alone.
enum class MapFormat : unsigned char { Pairs, Rules, Sections };

// What a map file's text holds, and what its reader noticed that is most
// likely a mistake (both stay bytes of the values).
struct MapFile {
    std::vector<MapLine> lines;
    std::optional<std::string> kinds;   // the LIST of its last "@kinds" line
    std::vector<std::string> sections;  // the path of each "@document" line, in order
    bool byteOrderMark = false;         // starts with a UTF-8 byte order mark
    std::size_t crLfLines = 0;          // lines that end in CR LF (or a CR at the end)
    std::size_t lineCount = 0;          // lines in all
};

// The map file's lines. Throws MapError for its first line that is not a
// pair: without a TAB, an empty prefix, a "*" left over on an exact pair's
// new value, or an "@kinds" LIST that is no list of kinds.
MapFile ReadMapFile(std::string_view text, MapFormat format);
// The text of a map file that reads back (as Sections) as file: "@kinds
// LIST" first when it has kinds, then the pairs of no document, then the
// others, an "@document PATH" line wherever the document changes, and last
// a line for each of its sections that holds no pair; each "*" at the end
// of a value doubled, one more ending a prefix rule's. Throws MapError
// (Line(): the pair's place in lines, from 1; 0 for a section) for what
// the format cannot hold: a line feed in a value, a TAB in an old value,
// or a TAB or line feed in a document.
std::string WriteMapFile(const MapFile& file);

// Receives bytes a piece at a time: written HTML, or one trace line
// (without its line end). A sink that throws stops the work and the
// exception reaches the caller: a write leaves the tree as it was, a
// traced parse leaves no tree (as before the first parse).
using ByteSink = std::function<void(std::string_view bytes)>;

// ---- Every URL a page holds: kinds, occurrences, rule maps, callbacks ----
//
// Beyond the images and links above, a page names the resources it loads
// and the places it leads to in other attributes too. Each (tag, attribute)
// belongs to one kind (docs/cli.md, "URL kinds", has the table):
//   Image     IMG src, INPUT src, background of any tag (as GetImages)
//   Link      A href (as GetHrefs)
//   Resource  LINK href, SCRIPT src
//   Frame     IFRAME src, FRAME src
//   Media     EMBED/SOURCE/TRACK/AUDIO/VIDEO src, VIDEO poster, OBJECT data
//   Area      AREA href
//   Form      FORM action
//   Srcset    each URL of IMG/SOURCE srcset
//   Refresh   the URL part of META content when http-equiv is "refresh"
//   Css       each url(...) and @import "..." of style attributes and of
//             STYLE elements' text
// Image and Link are the default; the others are asked for.
enum class UrlKind : unsigned char { Image, Link, Resource, Frame, Media, Area, Form, Srcset, Refresh, Css };
constexpr std::size_t kUrlKindCount = 10;

// A set of kinds.
class UrlKinds {
public:
    constexpr UrlKinds() = default;  // no kind
    constexpr UrlKinds(UrlKind kind) : mBits(1u << static_cast<unsigned>(kind)) {}
    static constexpr UrlKinds Default() { return UrlKinds(UrlKind::Image) | UrlKind::Link; }
    static constexpr UrlKinds All() { return FromBits((1u << kUrlKindCount) - 1); }
    static constexpr UrlKinds FromBits(unsigned bits) {
        UrlKinds kinds;
        kinds.mBits = bits & ((1u << kUrlKindCount) - 1);
        return kinds;
    }
    constexpr UrlKinds operator|(UrlKinds other) const { return FromBits(mBits | other.mBits); }
    constexpr bool Has(UrlKind kind) const { return (mBits >> static_cast<unsigned>(kind)) & 1u; }
    constexpr bool Empty() const { return mBits == 0; }
    constexpr unsigned Bits() const { return mBits; }
    constexpr bool operator==(UrlKinds other) const { return mBits == other.mBits; }
    // A comma-separated list of kind names ("images,links,css"; "all" for
    // every kind). False, with a message naming the word, for an unknown
    // or empty one; kinds is then unchanged.
    static bool Parse(std::string_view list, UrlKinds& kinds, std::string& error);

private:
    unsigned mBits = 0;
};
// The name of a kind as --kinds takes it: "images", "links", "resources",
// "frames", "media", "areas", "forms", "srcset", "refresh", "css".
const char* UrlKindName(UrlKind kind);

// One URL where the document holds it. tag: upper case as written back
// ("IMG"); attribute: lower case, "" for the text of a STYLE element.
// offset: of the URL's first byte in the parsed text; line and column
// count from 1 (column in bytes). A value that is no longer the text as
// read (a document base stripped it, a rewrite changed it, an insert block
// inside it) or that is empty is placed at its attribute's name if that is
// written in lower case, else at its tag's name if that is written in upper
// case, else where the URL before it (of any kind) is placed, or at 0.
struct UrlOccurrence {
    UrlKind kind;
    std::string tag;
    std::string attribute;
    std::string url;
    std::size_t offset;
    std::size_t line;
    std::size_t column;
};

// Decides the new value of one URL: nothing keeps it as it is.
using UrlRewriter = std::function<std::optional<std::string>(UrlKind kind, std::string_view url)>;

// ---- Stylesheets: the URLs of CSS text, and edits that keep its bytes ----
//
// The URLs of a stylesheet's text: each url(...) (quoted or not) and each
// @import "..." outside comments and other strings, as kind Css with tag
// and attribute "", offset, line and column in css.
std::vector<UrlOccurrence> GetCssUrlOccurrences(std::string_view css);

// One URL replaced by a byte-keeping rewrite: its bytes [offset, offset +
// length) of the input, and what stands there now (the new URL as written:
// quotes or character references added where its place needed them).
struct UrlEdit {
    std::size_t offset;
    std::size_t length;
    std::string replacement;
    UrlKind kind;
};

// A rewrite that kept every byte but those of the URLs it changed
// (RewriteKeepingBytes below, and RewriteCssKeepingBytes).
struct KeptRewrite {
    std::string html;              // the output: the input with the edits made
    std::vector<UrlEdit> edits;    // in the order of the input, never overlapping
    std::size_t rewritten[kUrlKindCount] = {};  // edits of each kind (index: UrlKind)
    std::size_t leftAlone = 0;     // URLs a new value was found for but could not be written
    bool Changed() const { return !edits.empty(); }
    std::size_t Rewritten() const;  // edits of every kind
};

// CSS text with each URL the map matches replaced by its new value and
// every other byte kept. A new value that its place cannot hold as it is
// written (an unquoted url() gaining white space, a quote, "(" or ")"; a
// quoted one gaining its quote or a line end) is left alone and counted.
KeptRewrite RewriteCssKeepingBytes(std::string_view css, const UrlMap& map);
KeptRewrite RewriteCssKeepingBytes(std::string_view css, const UrlRewriter& rewriter);
// ---- end of the URL block ----

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
    // Exact pairs and prefix rules: a value that no pair matches and that
    // starts with prefixes[i].first (letter case ignored, the longest
    // prefix wins, then the first given) has that start replaced by
    // prefixes[i].second.
    UrlMap(std::vector<std::string> src, std::vector<std::string> dest,
           std::vector<std::pair<std::string, std::string>> prefixes);
    // A rule map: the lines of Parse, where an old value that ends in one
    // "*" is a prefix rule ("http://old.example.com/*<TAB>https://example.com/*";
    // the "*" of the new value may be left out). At the end of either value
    // "**" stands for one literal "*". Throws MapError for a line without a
    // TAB, an empty prefix, or a "*" left over on an exact pair's new value.
    static UrlMap ParseRules(std::string_view text);
    // The exact pairs and prefix rules of lines (their documents are not
    // looked at), and the lines back: the exact pairs, then the rules, each
    // in their order (line 0: a map keeps no line numbers).
    explicit UrlMap(std::vector<MapLine> lines);
    std::vector<MapLine> Lines() const;
    bool HasPrefixRules() const;
    // The new value the map gives url (its exact pairs, then its prefix
    // rules), or nothing. Nothing for a map of lists of different lengths.
    std::optional<std::string> Apply(std::string_view url) const;

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
    // From the next parse on, true reads the content of SCRIPT, STYLE, XMP,
    // IFRAME, NOEMBED, NOFRAMES, TEXTAREA and TITLE as text up to the
    // element's end tag ("</" and its name in any letter case, then white
    // space, "/" or ">"), as a browser does: «<script>x("<a href=y>")
    // </script>» holds one text node and no link, and is written back with
    // its content byte for byte. Insert blocks «<|...|>» inside it are text
    // too; content that no end tag closes is kept as text after the open
    // element (the default parse drops text after the last construct).
    // NOSCRIPT and PLAINTEXT stay markup. The current tree stays as it is.
    //
    // false, the setting of a new Parser, reads markup inside those elements
    // as tags: the operations of the first release keep their output. Work
    // on a site's URLs (GetUrlOccurrences and Rewrite by kinds, SiteCheck,
    // SiteMap::Rewrite) wants true, which the tool's urls, check and
    // fix --map and the Python and web calls for them set; a Parser made for
    // such work sets it before its first parse.
    void SetRawText(bool rawText);

    // ---- URL kinds (see UrlKind) ----
    // The URLs of the chosen kinds without duplicates under ASCII case
    // folding: kind by kind, each kind's attributes in the order of the
    // table, each in document order. GetUrls(UrlKind::Image) is GetImages().
    std::vector<std::string> GetUrls(UrlKinds kinds = UrlKinds::Default());
    // Every URL of the chosen kinds with its place, in document order.
    std::vector<UrlOccurrence> GetUrlOccurrences(UrlKinds kinds = UrlKinds::Default());
    // Rewrites each URL of the chosen kinds that the map's exact pairs or,
    // failing those, its prefix rules match. A URL inside a longer value
    // (srcset, refresh, CSS) is replaced alone and the rest of the value
    // stays byte for byte; a whole value is replaced whole, as FixImages
    // does. -1 for a map made of lists of different lengths (nothing
    // changed), else 0.
    int Rewrite(UrlKinds kinds, const UrlMap& map);
    // The same with a function deciding each URL; a URL it gives back
    // unchanged stays as it is. When it throws, the tree stays as it was
    // and the exception passes on.
    int Rewrite(UrlKinds kinds, const UrlRewriter& rewriter);

    // ---- What a site check needs of a page beyond its URLs ----
    // The names a fragment ("page.html#name") can lead to: the id of every
    // element and the name of every A, as written, in document order.
    std::vector<std::string> GetAnchors();
    // The href of the first BASE element that has one, as written: the URL
    // the page's relative URLs are resolved against. Nothing when none has.
    std::optional<std::string> GetBaseHref();

private:
    CKIVOParseCtrl& Ctrl();
    std::unique_ptr<CKIVOParseCtrl> mCtrl;
};

// ---- One document, one call ----
//
// Each parses html as a new Parser does after SetDocumentBase(base) and
// SetRawText(rawText), makes the one Parser call named and gives back what
// it gives. A text of 2 GiB or more throws std::length_error. The calls of
// the first release read markup inside scripts and styles as tags unless
// asked; those over every kind of URL read them as a browser does.
std::string Normalize(std::string html, const std::string& base = "", bool rawText = false);      // GetHTML
std::vector<std::string> Images(std::string html, const std::string& base = "", bool rawText = false);  // GetImages
std::vector<std::string> Hrefs(std::string html, const std::string& base = "", bool rawText = false);   // GetHrefs
// Rewrite(images, links), then GetHTML: a map of lists of different
// lengths changes nothing.
std::string Rewrite(std::string html, const UrlMap& images, const UrlMap& links, const std::string& base = "",
                    bool rawText = false);
std::vector<std::string> Urls(std::string html, UrlKinds kinds, const std::string& base = "",
                              bool rawText = true);  // GetUrls
std::vector<UrlOccurrence> UrlOccurrences(std::string html, UrlKinds kinds, const std::string& base = "",
                                          bool rawText = true);  // GetUrlOccurrences
// Rewrite(kinds, map or rewriter), then GetHTML. A rewriter that throws:
// the exception passes on.
std::string RewriteUrls(std::string html, UrlKinds kinds, const UrlMap& map, const std::string& base = "",
                        bool rawText = true);
std::string RewriteUrls(std::string html, UrlKinds kinds, const UrlRewriter& rewriter, const std::string& base = "",
                        bool rawText = true);

// ---- Rewrites that keep every other byte ----
//
// Rewrite(kinds, map) changes the tree and GetHTML writes it back
// normalised. RewriteKeepingBytes changes the input itself: only the bytes
// of the URLs whose value changes are replaced and every other byte (letter
// case, quotes, comments, white space, line ends, the final newline) stays
// as it was; an input with no URL changed comes back byte for byte. The
// decision is Rewrite's: exact pairs, then prefix rules; a whole value is
// replaced whole, a URL inside a longer value (srcset, refresh, CSS) alone.
// The input is read with raw text on (see SetRawText), as a browser reads
// it, so nothing inside a SCRIPT is taken for a URL.
//
// A new URL is written so that the value's own quoting still holds it:
//   "double-quoted"  each '"' of the new URL is written "&quot;"
//   'single-quoted'  each "'" is written "&#39;"
//   unquoted, whole  a new value that is empty or holds white space or one
//                    of " ' = < > ` gets quotes: double ones, or single ones
//                    when it holds '"' and no "'" (else '"' is "&quot;")
//   unquoted, a URL inside a longer value: each such byte is written as a
//                    character reference ("&#32;", "&gt;", "&quot;", ...)
// Browsers decode the references in attribute values; this library keeps
// attribute values as written, so it reads them back as written.
// Left alone (counted in leftAlone, the input kept) are URLs whose value is
// not the text as written: a value holding an insert block ("<|...|>") and
// an empty value (quoted or not, it has no bytes to replace); and a URL of a
// STYLE element's text whose new value holds "<" (it could end the element).

// (UrlEdit and KeptRewrite are above, with the stylesheets' rewrite.)

// A map made of lists of different lengths changes nothing. A rewriter that
// throws: the exception passes on.
// rawText false reads markup inside scripts and styles as tags, as a Parser
// does by default.
KeptRewrite RewriteKeepingBytes(std::string_view html, UrlKinds kinds, const UrlMap& map, bool rawText = true);
KeptRewrite RewriteKeepingBytes(std::string_view html, UrlKinds kinds, const UrlRewriter& rewriter,
                                bool rawText = true);

// The change from before to after.html as a unified diff with 3 lines of
// context, as "diff -u" and git print it: "--- a/PATH", "+++ b/PATH", then
// "@@ -l,n +l,n @@" hunks; "\ No newline at end of file" after a last line
// without one. Lines end at "\n" (a CR stays part of its line). "" when
// nothing changed. Built from the edits: linear in the size of both texts.
// before must be the text after was made from: edits out of order, beyond
// before, or that do not make after.html's length throw std::invalid_argument.
std::string UnifiedDiff(std::string_view path, std::string_view before, const KeptRewrite& after);

}  // namespace kivoparse
