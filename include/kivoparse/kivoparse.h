// kivoparse: parses an HTML text into a tree, writes it back normalised,
// and lists or rewrites the URLs it holds.
//
//   kivoparse::Parser parser;
//   parser.ParseHTML("<img src=a.gif><a href=p.htm>x</a>");
//   std::string html = parser.GetHTML();     // <IMG src="a.gif"><A href="p.htm">x</A>
//   std::vector<std::string> urls = parser.GetImages();  // {"a.gif"}
//   parser.FixImages({"A.GIF"}, {"b.gif"});  // now <IMG src="b.gif">
//
//   // Every kind of URL, and an edit that keeps every other byte:
//   kivoparse::UrlMap moved = kivoparse::UrlMap::ParseRules("img/*\tassets/img/*\n");
//   kivoparse::KeptRewrite kept = kivoparse::RewriteKeepingBytes(page, kivoparse::UrlKinds::All(), moved);
//   // kept.html: page with only its moved URLs changed; UnifiedDiff shows them.
//
// Strings are bytes (any value, NUL included) in no particular encoding.
// URL values are matched without regard to ASCII letter case, up to their
// first NUL. A Parser is not thread-safe; separate Parsers share nothing,
// and maps never change once made, so threads may share them. Nothing
// here consults a locale. The tool's manual (docs/cli.md) has the tables
// this header refers to.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The version of this header; Version() gives the library's own.
#define KIVOPARSE_VERSION_MAJOR 1
#define KIVOPARSE_VERSION_MINOR 0
#define KIVOPARSE_VERSION_PATCH 0

namespace kivoparse {

const char* Version();  // the library's version, "MAJOR.MINOR.PATCH"

// Receives bytes a piece at a time: written HTML, or one trace line
// (without its line end). A sink that throws stops the work and the
// exception reaches the caller: a write leaves the tree as it was, a
// traced parse leaves no tree (as before the first parse).
using ByteSink = std::function<void(std::string_view bytes)>;

// ---- URL kinds ----
// Each (tag, attribute) that holds a URL belongs to one kind (docs/cli.md,
// "URL kinds", has the table). Image and Link are the default.
enum class UrlKind : unsigned char {
    Image,     // IMG src, INPUT src, background of any tag (as GetImages)
    Link,      // A href (as GetHrefs)
    Resource,  // LINK href, SCRIPT src
    Frame,     // IFRAME src, FRAME src
    Media,     // EMBED/SOURCE/TRACK/AUDIO/VIDEO src, VIDEO poster, OBJECT data
    Area,      // AREA href
    Form,      // FORM action
    Srcset,    // each URL of IMG/SOURCE srcset
    Refresh,   // the URL part of META content when http-equiv is "refresh"
    Css,       // each url(...) and @import "..." of style attributes and STYLE text
};
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
    // A comma-separated list of names ("images,links,css"; "all"). False,
    // with a message naming the word, for an unknown or empty one.
    static bool Parse(std::string_view list, UrlKinds& kinds, std::string& error);

private:
    unsigned mBits = 0;
};
// "images", "links", "resources", "frames", "media", "areas", "forms",
// "srcset", "refresh" or "css", as --kinds takes them.
const char* UrlKindName(UrlKind kind);

// One URL where the document holds it. A value that is no longer the text
// as read (a base stripped it, a rewrite changed it, an insert block in
// it) or that is empty is placed at its attribute's name if written in
// lower case, else at its tag's name if written in upper case, else where
// the URL before it is placed, or at 0.
struct UrlOccurrence {
    UrlKind kind;
    std::string tag;        // upper case as written back ("IMG")
    std::string attribute;  // lower case; "" for the text of a STYLE element
    std::string url;
    std::size_t offset;     // of the URL's first byte in the parsed text
    std::size_t line;       // from 1
    std::size_t column;     // from 1, in bytes
};

// Decides the new value of one URL: nothing keeps it as it is.
using UrlRewriter = std::function<std::optional<std::string>(UrlKind kind, std::string_view url)>;

class UrlMap;

class Parser {
public:
    Parser();
    ~Parser();
    Parser(Parser&& other) noexcept;  // a moved-from Parser behaves as a new one
    Parser& operator=(Parser&& other) noexcept;
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // ---- The eight operations ----
    // Replaces any earlier tree with html's. Never rejects: 0; -1 (empty tree) for 2 GiB or more.
    int ParseHTML(std::string html);
    // The tree written back: tag names upper case, attribute names lower case, values
    // double-quoted. "" before the first parse.
    std::string GetHTML();
    // IMG src, then INPUT src, then background of any tag, each in document order; of values
    // equal but for letter case the first. Empty before the first parse.
    std::vector<std::string> GetImages();
    // A href values, likewise.
    std::vector<std::string> GetHrefs();
    // Each value GetImages would list that equals src[i] (first i wins) becomes dest[i].
    // -1 if the lists differ in length (nothing changed), else 0.
    int FixImages(const std::vector<std::string>& src, const std::vector<std::string>& dest);
    // As FixImages, for the values GetHrefs would list.
    int FixHrefs(const std::vector<std::string>& src, const std::vector<std::string>& dest);
    // From the next parse on, image URLs get "\" turned into "/" and lose every occurrence
    // of base (its "\" turned likewise); "" turns this off.
    void SetDocumentBase(const std::string& base);
    // From now on appends a trace line per parser step to the file; lines that cannot be
    // written (e.g. for "") are dropped.
    void SetLogFile(const std::string& fileName);

    // ---- Beside them ----
    void WriteHTML(const ByteSink& sink);  // GetHTML's bytes in pieces, without the whole string
    void SetTraceSink(ByteSink sink);      // trace lines to sink instead of a file; empty: off
    // From the next parse on, true reads SCRIPT, STYLE, XMP, IFRAME, NOEMBED, NOFRAMES,
    // TEXTAREA and TITLE as text up to their end tag, as a browser does, and writes them back
    // byte for byte; insert blocks inside are text, and text no end tag closes is kept.
    // NOSCRIPT and PLAINTEXT stay markup. false, a new Parser's setting, reads markup inside
    // them as tags, as the eight operations always did. Work on a site's URLs wants true.
    void SetRawText(bool rawText);

    // ---- URLs by kind ----
    // The URLs of kinds, of values equal but for letter case the first: kind by kind, each
    // kind's attributes in the order of its table, each in document order.
    std::vector<std::string> GetUrls(UrlKinds kinds = UrlKinds::Default());
    // Every URL of kinds with its place, in document order.
    std::vector<UrlOccurrence> GetUrlOccurrences(UrlKinds kinds = UrlKinds::Default());
    // Each URL of kinds that the map's exact pairs, else its prefix rules, match is replaced:
    // a whole value whole, a URL inside a longer one (srcset, refresh, CSS) alone.
    // -1 for a map of lists of different lengths (nothing changed), else 0.
    int Rewrite(UrlKinds kinds, const UrlMap& map);
    // The same, rewriter deciding each URL. If it throws, the tree stays and the exception passes.
    int Rewrite(UrlKinds kinds, const UrlRewriter& rewriter);
    int FixImages(const UrlMap& map);  // Rewrite(UrlKind::Image, map)
    int FixHrefs(const UrlMap& map);   // Rewrite(UrlKind::Link, map)
    // Images by one map and links by the other over one tree, so that a rewritten value
    // cannot hide a link. -1 if either map is invalid (nothing changed), else 0.
    int Rewrite(const UrlMap& images, const UrlMap& links);
    // The id of every element and the name of every A, as written, in document order.
    std::vector<std::string> GetAnchors();
    // The href of the first BASE that has one, as written; nothing when none has.
    std::optional<std::string> GetBaseHref();

private:
    class Control;  // the parse settings and the document
    Control& Ctrl();
    std::unique_ptr<Control> mCtrl;
};

// ---- Map files: one pair a line, old value, TAB, new value (docs/cli.md, "The map file") ----

// A map file line that is not a pair; what() says why ("line 3 has no TAB; ...").
class MapError : public std::runtime_error {
public:
    MapError(std::size_t line, const std::string& message) : std::runtime_error(message), mLine(line) {}
    std::size_t Line() const { return mLine; }  // counted from 1

private:
    std::size_t mLine;
};

struct MapLine {
    std::optional<std::string> document;  // the path of its "@document" section; none above the first
    std::string from;      // the old value; of a prefix rule, the start it replaces (no "*")
    std::string to;        // the new value (of a prefix rule, without its "*")
    bool prefix = false;   // a prefix rule
    std::size_t line = 0;  // where the map file holds it, from 1; 0 for a pair made otherwise
};

// Pairs: the first TAB of a line splits it; every other byte (CR and NUL
//   too) belongs to the values; an empty last line is ignored.
// Rules: and an old value ending in one "*" is a prefix rule, "**" at the
//   end of a value stands for "*", "@kinds LIST" names the map's kinds.
// Sections: and "@document PATH" starts the pairs of that document alone.
enum class MapFormat : unsigned char { Pairs, Rules, Sections };

struct MapFile {
    std::vector<MapLine> lines;
    std::optional<std::string> kinds;   // the LIST of its last "@kinds" line
    std::vector<std::string> sections;  // the path of each "@document" line, in order
    bool byteOrderMark = false;         // starts with a UTF-8 byte order mark (kept in the value)
    std::size_t crLfLines = 0;          // lines that end in CR LF (the CR kept in the value)
    std::size_t lineCount = 0;
};

// The file's lines. Throws MapError for the first that is no pair: no TAB, an empty prefix,
// a "*" left over on an exact pair's new value, an "@kinds" LIST of no kinds.
MapFile ReadMapFile(std::string_view text, MapFormat format);
// Text that reads back as file: "@kinds" first, the pairs of every document, then each
// section's; "*" doubled at the end of values. Throws MapError (Line(): the pair, from 1;
// 0 for a section) for a line feed in a value, or a TAB in an old value or a document.
std::string WriteMapFile(const MapFile& file);

// Pairs of old and new URL values, indexed once for any number of
// documents. Copies share the same table.
class UrlMap {
public:
    UrlMap();  // changes nothing
    // Lists of different lengths make a map that changes nothing; what takes it returns -1.
    UrlMap(std::vector<std::string> src, std::vector<std::string> dest);
    // And prefix rules: a value no pair matches that starts with prefixes[i].first (letter
    // case ignored; the longest, then the first) has that start replaced by .second.
    UrlMap(std::vector<std::string> src, std::vector<std::string> dest,
           std::vector<std::pair<std::string, std::string>> prefixes);
    // The pairs and rules of lines (their documents are not looked at).
    explicit UrlMap(std::vector<MapLine> lines);
    static UrlMap Parse(std::string_view text);       // a map file read as MapFormat::Pairs
    static UrlMap ParseRules(std::string_view text);  // ... as MapFormat::Rules
    // The lines back: exact pairs, then rules, each in order (line 0).
    std::vector<MapLine> Lines() const;
    bool HasPrefixRules() const;
    // The new value for url (exact pairs, then prefix rules), or nothing.
    std::optional<std::string> Apply(std::string_view url) const;
    std::size_t Size() const;
    const std::vector<std::string>& Sources() const;       // the old values
    const std::vector<std::string>& Destinations() const;  // the new values

private:
    friend class Parser;
    class Table;  // the index of the old values
    std::shared_ptr<const Table> mMap;
};

// ---- One document, one call ----
// Each parses html as a new Parser would after SetDocumentBase(base) and
// SetRawText(rawText), makes the call named and gives back what it gives.
// 2 GiB or more throws std::length_error.
std::string Normalize(std::string html, const std::string& base = "", bool rawText = false);      // GetHTML
std::vector<std::string> Images(std::string html, const std::string& base = "", bool rawText = false);  // GetImages
std::vector<std::string> Hrefs(std::string html, const std::string& base = "", bool rawText = false);   // GetHrefs
// Rewrite(images, links), then GetHTML.
std::string Rewrite(std::string html, const UrlMap& images, const UrlMap& links, const std::string& base = "",
                    bool rawText = false);
std::vector<std::string> Urls(std::string html, UrlKinds kinds, const std::string& base = "",
                              bool rawText = true);  // GetUrls
std::vector<UrlOccurrence> UrlOccurrences(std::string html, UrlKinds kinds, const std::string& base = "",
                                          bool rawText = true);  // GetUrlOccurrences
// Rewrite(kinds, map or rewriter), then GetHTML.
std::string RewriteUrls(std::string html, UrlKinds kinds, const UrlMap& map, const std::string& base = "",
                        bool rawText = true);
std::string RewriteUrls(std::string html, UrlKinds kinds, const UrlRewriter& rewriter, const std::string& base = "",
                        bool rawText = true);

// ---- Rewrites that keep every other byte ----
// Only the bytes of the URLs whose value changes are replaced: letter case,
// quotes, comments, white space and line ends stay, and an input with no URL
// changed comes back byte for byte. The decisions are Rewrite(kinds, ...)'s.
// A new URL is written so that its place still holds it (docs/cli.md,
// "Edits that keep every other byte": "&quot;" in a double-quoted value,
// quotes added to an unquoted one, ...). Left alone and counted: a value
// holding an insert block, an empty value, a STYLE URL that would gain "<".

// One URL replaced: the input's bytes [offset, offset + length) and what stands there now.
struct UrlEdit {
    std::size_t offset;
    std::size_t length;
    std::string replacement;
    UrlKind kind;
};

struct KeptRewrite {
    std::string html;                           // the input with the edits made
    std::vector<UrlEdit> edits;                 // in the order of the input, never overlapping
    std::size_t rewritten[kUrlKindCount] = {};  // edits of each kind (index: UrlKind)
    std::size_t leftAlone = 0;                  // URLs given a new value that could not be written
    bool Changed() const { return !edits.empty(); }
    std::size_t Rewritten() const;  // edits of every kind
};

// html read as a browser reads it (rawText false: as a new Parser does). A map of lists of
// different lengths changes nothing; a rewriter that throws: the exception passes on.
KeptRewrite RewriteKeepingBytes(std::string_view html, UrlKinds kinds, const UrlMap& map, bool rawText = true);
KeptRewrite RewriteKeepingBytes(std::string_view html, UrlKinds kinds, const UrlRewriter& rewriter,
                                bool rawText = true);

// The URLs of a stylesheet: each url(...) and @import "..." outside comments and other
// strings, as kind Css with tag and attribute "".
std::vector<UrlOccurrence> GetCssUrlOccurrences(std::string_view css);
// The same edits in CSS text; a new value that its url() or string cannot hold is left alone.
KeptRewrite RewriteCssKeepingBytes(std::string_view css, const UrlMap& map);
KeptRewrite RewriteCssKeepingBytes(std::string_view css, const UrlRewriter& rewriter);

// The change from before to after.html as "diff -u" prints it ("--- a/PATH", "+++ b/PATH",
// hunks with 3 lines of context); "" when nothing changed. Linear in both texts. Throws
// std::invalid_argument when after's edits were not made on before.
std::string UnifiedDiff(std::string_view path, std::string_view before, const KeptRewrite& after);

}  // namespace kivoparse
