// kivoparse/site.h: a site's URLs checked against its files before and
// after a move, and rule maps with sections for single documents.
//
//   kivoparse::SiteCheck check = kivoparse::SiteCheck::OnDisk();
//   kivoparse::Parser parser;
//   parser.SetRawText(true);  // scripts and styles read as a browser reads them
//   parser.ParseHTML(text_of("site/a/page.html"));
//   for (const kivoparse::SiteFinding& f :
//        check.Check("site/a/page.html", "site", parser.GetUrlOccurrences()))
//       ...;  // f.problem, f.occurrence.line, f.path, f.actual, f.repaired
//   std::string map = check.SuggestedMap();  // repairs the case-only URLs
//
// Paths are bytes, separated by "/"; "" is the current folder. Nothing here
// consults a locale. A SiteCheck is not thread-safe but for Prepare: the
// usual way is for worker threads to parse, collect the occurrences (a
// Parser each) and Prepare them, and for one thread to hand them to Check
// in the documents' order. A SiteMap never changes once made: threads may
// share one.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <kivoparse/kivoparse.h>

namespace kivoparse {

// What is wrong with one local URL.
enum class SiteProblem : unsigned char {
    Missing,    // nothing by that name
    OtherCase,  // found only with letter case ignored ("Logo.GIF" for "logo.gif")
    AboveRoot,  // a ".." would leave the site's root: a browser stays at the root
    NoAnchor,   // the page is there, but holds no id or A name of the fragment
};

struct SiteFinding {
    SiteProblem problem;
    UrlOccurrence occurrence;  // the URL and its place in the document
    // The path the URL names, from the document's folder or the root.
    // Missing: as far as it is found on disk, then the rest as written.
    // AboveRoot: where a browser goes, from the root. NoAnchor: the page.
    std::string path;
    std::string actual;    // OtherCase: the path as it is on disk; NoAnchor: the fragment
    std::string repaired;  // OtherCase: the URL spelt as on disk (query and fragment kept)
    std::string document;  // NoAnchor: the document holding the URL, as given to Check
};

// What the checks so far have seen.
struct SiteCounts {
    std::size_t checked = 0;    // relative and root-relative URLs looked up
    std::size_t missing = 0;
    std::size_t otherCase = 0;
    std::size_t external = 0;   // with a scheme or "//host": counted, not fetched
    std::size_t templates = 0;  // holding an insert block "<|...|>": known only when served
    std::size_t aboveRoot = 0;  // climbing above the root (not counted as missing)
    std::size_t fragments = 0;  // fragments looked up (CheckAnchors)
    std::size_t noAnchor = 0;   // of those, without their anchor
};

// A document's URLs made ready for SiteCheck::Check: each split into its
// path segments and hashed. Only a SiteCheck makes one.
class SiteUrls {
public:
    SiteUrls();
    ~SiteUrls();
    SiteUrls(SiteUrls&& other) noexcept;
    SiteUrls& operator=(SiteUrls&& other) noexcept;
    std::size_t Size() const;

private:
    friend class SiteCheck;
    struct SUrls;
    std::unique_ptr<SUrls> mUrls;
};

// Checks the URLs of the documents of a site against the names of its
// files. URLs with a query or fragment are checked without them; percent
// escapes and character references are decoded; "." and ".." are followed
// (never above the root: a ".." there stays, as in a browser, and is
// reported); a URL ending in "/" must name a folder. A page's <base href>
// is where its relative URLs start. Each folder is listed once, the first
// time a URL leads into it.
class SiteCheck {
public:
    // Lists the names in folder ("" is the current folder), without "."
    // and "..". False when folder is not a folder that can be read.
    using FolderLister = std::function<bool(const std::string& folder, std::vector<std::string>& names)>;

    // The files on this computer's disk.
    static SiteCheck OnDisk();
    // Only the files named (as "site/a/page.html"; "." segments and empty
    // ones are passed over): the folders are those their paths go through.
    // For a site known by its list of files.
    static SiteCheck OfPaths(const std::vector<std::string>& files);
    explicit SiteCheck(FolderLister lister);
    // A moved-from SiteCheck may only be assigned to or destroyed.
    ~SiteCheck();
    SiteCheck(SiteCheck&& other) noexcept;
    SiteCheck& operator=(SiteCheck&& other) noexcept;

    // The occurrences made ready for Check. Any number of threads may call
    // this at once, while another calls Check: workers that parse the
    // documents thus take this share of the work off the checking thread.
    SiteUrls Prepare(std::vector<UrlOccurrence> occurrences) const;
    // The same with what else the page says: the href of its BASE (nothing:
    // none; Parser::GetBaseHref) and the names its fragments can lead to
    // (Parser::GetAnchors), and the kinds its occurrences were chosen by.
    SiteUrls Prepare(std::vector<UrlOccurrence> occurrences, std::optional<std::string> baseHref,
                     std::vector<std::string> anchors, UrlKinds kinds) const;
    // All of that from the page parser holds, its URLs of kinds. The anchors
    // are kept only once CheckFragments is on.
    SiteUrls Prepare(Parser& parser, UrlKinds kinds) const;

    // Checks the occurrences of the document at path document: relative
    // URLs from its folder, root-relative ones ("/...") from root. Returns
    // what is wrong, in the order of the occurrences; same-document URLs
    // ("#top") are passed over. The counts and the suggested map grow.
    std::vector<SiteFinding> Check(const std::string& document, const std::string& root,
                                   const std::vector<UrlOccurrence>& occurrences);
    // The same with the occurrences made ready by Prepare of this SiteCheck.
    std::vector<SiteFinding> Check(const std::string& document, const std::string& root, const SiteUrls& urls);
    // The same; stopAtRoot false lets ".." climb above root, for a root
    // that is only where "/..." starts (a lone page's own folder).
    std::vector<SiteFinding> Check(const std::string& document, const std::string& root, const SiteUrls& urls,
                                   bool stopAtRoot);

    const SiteCounts& Counts() const;

    // From now on (before any Prepare) the fragments of local URLs
    // ("page.html#name", "#name") are kept for CheckAnchors.
    void CheckFragments(bool on);
    // Once every document is checked: each kept fragment whose page holds
    // no such id or A name (compared byte for byte, escapes decoded; "" and
    // "top" are always there). A page that was not checked is read from
    // disk when its name ends in .html, .htm or .xhtml (OnDisk only), else
    // its fragments are passed over. In the order the URLs were checked.
    std::vector<SiteFinding> CheckAnchors();

    // A rule map (SiteMap::Parse; UrlMap::ParseRules too while it has no
    // "@document" section) that repairs every case-only URL found so far:
    // one pair for each URL that reads the same wherever it was repaired;
    // a URL that must read differently in
    // different folders gets its pairs in an "@document PATH" section for
    // each document that needs them (PATH from the root given to Check,
    // or as given when the document is not under it). The first line,
    // "@kinds LIST", names the kinds the documents were prepared with
    // (when Prepare was told them). A "*" at
    // the end of a value is written "**". A URL holding a TAB or a line
    // feed, or one in a document whose path holds either, cannot be said in
    // a map file and is left out (its finding still names the repair).
    std::string SuggestedMap() const;
    // How many repairs SuggestedMap leaves out for that reason.
    std::size_t LeftOutOfSuggestedMap() const;

private:
    class State;  // the folders read, the counts, the repairs
    std::unique_ptr<State> mCheck;
};

// A rule map whose lines "@document PATH" (a line with no TAB) start a
// section: the pairs of a section apply to that document only, before the
// pairs above the first section, which apply to every document. Paths are
// compared without their "." and empty segments ("./site//a.html" is
// "site/a.html"); several sections for one document make one. A line
// "@kinds LIST" (no TAB; LIST as UrlKinds::Parse takes it) says which
// kinds the map was made for. Copies share the same tables.
class SiteMap {
public:
    SiteMap();  // changes nothing
    // Throws MapError naming the line of the whole text.
    static SiteMap Parse(std::string_view text);
    // The map of a map file's lines, kinds (a LIST that is no list of
    // kinds is passed over) and sections, and that back: the lines for every
    // document, then each document's (in the order of Documents(), named
    // so), then the sections that hold none.
    explicit SiteMap(MapFile file);
    MapFile File() const;
    // The new value the map gives url in document, or nothing. document is
    // named as the sections name it: from the site root (SitePath).
    std::optional<std::string> Apply(const std::string& document, std::string_view url) const;
    // Rewrites the URLs of kinds in the tree parser holds, the document at
    // path document. As Parser::Rewrite.
    int Rewrite(Parser& parser, UrlKinds kinds, const std::string& document) const;
    // The same decisions applied to html's bytes: see RewriteKeepingBytes.
    KeptRewrite RewriteKeepingBytes(std::string_view html, UrlKinds kinds, const std::string& document,
                                    bool rawText = true) const;
    // The documents that have sections, each as its first section writes
    // it, sorted by their bytes.
    std::vector<std::string> Documents() const;
    // The document of the section that applies to document, as its first
    // section writes it; nothing when it has none.
    std::optional<std::string> SectionFor(const std::string& document) const;
    // The kinds of its "@kinds" line (the last, if several); nothing if none.
    std::optional<UrlKinds> Kinds() const;

private:
    struct SMaps;
    std::shared_ptr<const SMaps> mMaps;
};

// ---- Moving a file or folder inside a site ----
//
//   kivoparse::SiteMove move(files, "img", "assets/img");  // paths from the site's root
//   for each document:  // parsed with SetRawText(true), every kind
//       kivoparse::DocumentChanges d = move.Plan("a/page.html", parser.GetUrlOccurrences(kivoparse::UrlKinds::All()));
//       ...;  // d.newPath; each d.changes[i]: occurrence (old URL, place), newUrl
//
// Every URL that reaches something that moves is written to reach it at
// its new place, and the URLs of a document that moves are written to
// reach from there what they reached before. A URL keeps its style
// (relative, root-relative, absolute under the site's URL), its query,
// fragment and surrounding white space, and the spelling of every path
// segment it still has; new names are written with %XX for the bytes a URL
// or an attribute value cannot hold as they are. A URL that reaches its
// target only in another letter case (as a server that ignores case finds
// it) is taken to reach that target; its segments keep their letter case
// but for those the move names anew, which are written as dst spells them.
// A URL that reaches no file follows the move when its path lies under
// what moves. "." and ".." are taken
// lexically and ".." stops at the site's root, as in a browser.

// A move that cannot be made: what() says why ("'img' is no file or folder
// of the site").
class MoveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct UrlChange {
    UrlOccurrence occurrence;  // the URL as written and its place
    std::string newUrl;
};

// What a move does to one document. Paths are from the site's root.
struct DocumentChanges {
    std::string path;                // before the move
    std::string newPath;             // after it: path unless the document moves
    std::vector<UrlChange> changes;  // in the order of the occurrences given
};

class SiteMove {
public:
    // files: every file of the site, from its root ("a/page.html",
    // "img/logo.gif"); what moves and where, from the root too; siteUrl:
    // where the site is served ("https://example.com/docs/"), so that
    // absolute URLs under it and root-relative ones under its path are the
    // site's; "" when it is not known (root-relative URLs start at the
    // root). Throws MoveError when src is no file or folder of files, dst
    // is one (a change of letter case only excepted), dst lies inside src,
    // either is the root or climbs out of it, or siteUrl is no
    // "scheme://host/..." URL.
    SiteMove(const std::vector<std::string>& files, const std::string& src, const std::string& dst,
             const std::string& siteUrl = std::string());
    ~SiteMove();
    SiteMove(SiteMove&& other) noexcept;
    SiteMove& operator=(SiteMove&& other) noexcept;

    const std::string& Source() const;       // src without "." and empty segments
    const std::string& Destination() const;  // likewise
    // Each file that moves, before and after, in the order of files.
    const std::vector<std::pair<std::string, std::string>>& MovedFiles() const;
    // Where path (a file of the site or not) is after the move.
    std::string NewPath(const std::string& path) const;
    // The URLs of the document at path document (before the move) that the
    // move changes; baseHref: its <base href> (Parser::GetBaseHref), which
    // its relative URLs start from (one outside the site: they are left
    // alone, and its root-relative ones too). A stylesheet's URLs come from GetCssUrlOccurrences. Threads
    // may call this at once.
    DocumentChanges Plan(const std::string& document, const std::vector<UrlOccurrence>& occurrences,
                         const std::optional<std::string>& baseHref = std::nullopt) const;
    // The same decision a URL at a time, for RewriteKeepingBytes and
    // RewriteCssKeepingBytes: the new URL, or nothing when it stays. Valid
    // while this SiteMove lives.
    UrlRewriter Rewriter(const std::string& document,
                         const std::optional<std::string>& baseHref = std::nullopt) const;
    // Plan and Rewriter for the document given as its text: a page is
    // parsed with raw text on for every kind of URL and its <base href>; a
    // path ending in ".css" (any letter case) is a stylesheet.
    DocumentChanges PlanDocument(const std::string& document, std::string_view text) const;
    // The text with the URLs PlanDocument lists rewritten, every other
    // byte kept (RewriteKeepingBytes, RewriteCssKeepingBytes).
    KeptRewrite RewriteDocument(const std::string& document, std::string_view text) const;

private:
    struct SSite;
    std::unique_ptr<const SSite> mSite;
};

// A whole move planned at once: the moved files, and each document that
// changes (in the order given) with its changes.
struct MovePlan {
    std::vector<std::pair<std::string, std::string>> movedFiles;
    std::vector<DocumentChanges> documents;
    std::size_t documentsRead = 0;
};

// Plans the move of src to dst for a site of files whose documents are
// given as (path, bytes): pages are parsed with raw text on, every kind
// of URL, their <base href> honoured; a path ending in ".css" (any letter
// case) is a stylesheet. Throws MoveError as SiteMove does.
MovePlan PlanMove(const std::vector<std::string>& files,
                  const std::vector<std::pair<std::string, std::string>>& documents, const std::string& src,
                  const std::string& dst, const std::string& siteUrl = std::string());

// path as a site map's sections name it: the part below root when it lies
// below it, else the whole path; both without "." and empty segments
// ("./site//a/p.html" from "site" is "a/p.html"; "" is the current folder).
std::string SitePath(const std::string& path, const std::string& root);

}  // namespace kivoparse
