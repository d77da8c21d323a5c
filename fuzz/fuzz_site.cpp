// libFuzzer entry for every URL a page holds and for the site check. The
// input's first line names the site's files (separated by spaces, at most
// 32, each put under the root "s"); its next byte picks the options; the
// rest is the document, checked as "s/page.html" or "s/d/page.html", read
// with the raw-text setting (as the tool's check reads it) when the option
// byte's top bit is set.
//   - each occurrence lies in the document at the line and column its
//     offset gives; each kind's occurrences are those of all kinds with that
//     kind; GetUrls lists only URLs that occur, and its images and links are
//     GetImages and GetHrefs;
//   - rewriting every URL to itself, or to nothing, changes no byte; a
//     rewriter that throws leaves the tree as it was; rewriting every URL
//     to itself with one byte more keeps every occurrence, one byte longer;
//   - the two ways of checking (the occurrences, or them made ready by
//     Prepare) find the same; the counts agree with the findings; the
//     suggested map reads as a site map (and, without sections, as a rule
//     map), and applied to the document leaves no more missing and no URL
//     in another letter case but those a map file cannot hold;
//   - the check with the page's base and anchors: its counts agree with its
//     findings, fragments included;
//   - the document read as a stylesheet: each URL lies where its offset,
//     line and column say; a rewrite to itself changes nothing, and one
//     that adds a byte edits each URL or leaves it alone, and its output is
//     the input with its edits made;
//   - any document read as a rule map or a site map gives pairs or an error
//     that names one of its lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kivoparse/kivoparse.h"
#include "kivoparse/site.h"

namespace {

using kivoparse::SiteFinding;
using kivoparse::SiteProblem;
using kivoparse::UrlKind;
using kivoparse::UrlKinds;
using kivoparse::UrlOccurrence;

void Fail(int line) {
    std::fprintf(stderr, "fuzz_site.cpp:%d: check failed\n", line);
    __builtin_trap();
}
#define Expect(...) ((__VA_ARGS__) ? void() : Fail(__LINE__))

struct SThrown {};

bool SameOccurrence(const UrlOccurrence& a, const UrlOccurrence& b) {
    return a.kind == b.kind && a.tag == b.tag && a.attribute == b.attribute && a.url == b.url &&
           a.offset == b.offset && a.line == b.line && a.column == b.column;
}

bool SameFindings(const std::vector<SiteFinding>& a, const std::vector<SiteFinding>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const SiteFinding& x, const SiteFinding& y) {
               return x.problem == y.problem && SameOccurrence(x.occurrence, y.occurrence) && x.path == y.path &&
                      x.actual == y.actual && x.repaired == y.repaired;
           });
}

std::size_t CountOf(const std::vector<SiteFinding>& findings, SiteProblem problem) {
    return static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(),
                                                  [problem](const SiteFinding& f) { return f.problem == problem; }));
}

// The line and column an offset of text has, counted from 1.
void Place(const std::string& text, std::size_t offset, std::size_t& line, std::size_t& column) {
    const std::size_t lineStart = offset == 0 ? 0 : text.rfind('\n', offset - 1) + 1;  // npos + 1 is 0
    line = 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
    column = offset - lineStart + 1;
}

// Any text read as a map: pairs, or an error that names one of its lines.
template <class FParse>
void ReadAsMap(const std::string& text, FParse parse) {
    try {
        parse(text);
    } catch (const kivoparse::MapError& error) {
        Expect(error.Line() >= 1 && error.Line() <= 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    }
}

void CheckOccurrences(kivoparse::Parser& parser, const std::string& document, const std::vector<UrlOccurrence>& all) {
    for (const UrlOccurrence& o : all) {
        Expect(o.offset <= document.size());
        std::size_t line = 0, column = 0;
        Place(document, o.offset, line, column);
        Expect(o.line == line && o.column == column);
    }
    for (unsigned k = 0; k < kivoparse::kUrlKindCount; ++k) {
        const UrlKind kind = static_cast<UrlKind>(k);
        const std::vector<UrlOccurrence> some = parser.GetUrlOccurrences(kind);
        std::vector<UrlOccurrence> expected;
        std::copy_if(all.begin(), all.end(), std::back_inserter(expected),
                     [kind](const UrlOccurrence& o) { return o.kind == kind; });
        Expect(some.size() == expected.size() && std::equal(some.begin(), some.end(), expected.begin(), SameOccurrence));
        for (const std::string& url : parser.GetUrls(kind)) {
            Expect(std::any_of(expected.begin(), expected.end(), [&url](const UrlOccurrence& o) { return o.url == url; }));
        }
    }
    Expect(parser.GetUrls(UrlKind::Image) == parser.GetImages());
    Expect(parser.GetUrls(UrlKind::Link) == parser.GetHrefs());
}

void CheckRewrites(kivoparse::Parser& parser, const std::string& document, const std::string& html,
                   const std::vector<UrlOccurrence>& all, unsigned options) {
    const UrlKinds every = UrlKinds::All();
    Expect(parser.Rewrite(every, [](UrlKind, std::string_view url) { return std::optional<std::string>(url); }) == 0);
    Expect(parser.GetHTML() == html);
    Expect(parser.Rewrite(every, [](UrlKind, std::string_view) { return std::optional<std::string>(); }) == 0);
    Expect(parser.GetHTML() == html);
    std::size_t calls = 0, throwAt = options % 5;
    try {
        parser.Rewrite(every, [&](UrlKind, std::string_view url) {
            if (calls++ == throwAt) throw SThrown{};
            return std::optional<std::string>(std::string(url) + "x");
        });
    } catch (const SThrown&) {
        Expect(parser.GetHTML() == html);
    }
    if (options & 0x10) {
        parser.ParseHTML(document);  // a rewriter that did not throw changed the values
        Expect(parser.Rewrite(every, [](UrlKind, std::string_view url) { return std::string(url) + "x"; }) == 0);
        const std::vector<UrlOccurrence> longer = parser.GetUrlOccurrences(every);
        Expect(longer.size() == all.size());
        for (std::size_t i = 0; i < longer.size() && i < all.size(); ++i) {
            Expect(longer[i].kind == all[i].kind && longer[i].url == all[i].url + "x");
        }
    }
}

void CheckStylesheet(const std::string& css) {
    const std::vector<UrlOccurrence> found = kivoparse::GetCssUrlOccurrences(css);
    for (const UrlOccurrence& o : found) {
        Expect(o.kind == UrlKind::Css && o.offset + o.url.size() <= css.size() && css.compare(o.offset, o.url.size(), o.url) == 0);
        std::size_t line = 0, column = 0;
        Place(css, o.offset, line, column);
        Expect(o.line == line && o.column == column);
    }
    const kivoparse::KeptRewrite same =
        kivoparse::RewriteCssKeepingBytes(css, [](UrlKind, std::string_view url) { return std::optional<std::string>(url); });
    Expect(!same.Changed() && same.leftAlone == 0);
    const kivoparse::KeptRewrite longer =
        kivoparse::RewriteCssKeepingBytes(css, [](UrlKind, std::string_view url) { return std::string(url) + "x"; });
    Expect(longer.edits.size() + longer.leftAlone == found.size());
    std::string applied;
    std::size_t copied = 0;
    for (const kivoparse::UrlEdit& e : longer.edits) {
        Expect(e.offset >= copied && e.offset + e.length <= css.size());
        applied.append(css, copied, e.offset - copied);
        applied += e.replacement;
        copied = e.offset + e.length;
    }
    applied.append(css, copied, std::string::npos);
    Expect(!longer.Changed() || applied == longer.html);
}

void CheckMove(const std::vector<std::string>& files, const std::string& document, const std::string& path) {
    std::vector<std::string> site;
    for (const std::string& file : files) site.push_back(file.substr(2));  // from the root "s"
    const std::string src = site[0].substr(0, site[0].find('/'));
    std::optional<kivoparse::SiteMove> move;
    try {
        move.emplace(site, src, "m/" + src, "https://h/s/");
    } catch (const kivoparse::MoveError&) {
        return;  // "." or ".." as the first name, say
    }
    const std::string doc = path.substr(2);
    kivoparse::Parser parser;
    parser.SetRawText(true);
    parser.ParseHTML(document);
    const std::vector<UrlOccurrence> all = parser.GetUrlOccurrences(UrlKinds::All());
    const std::optional<std::string> base = parser.GetBaseHref();
    const kivoparse::DocumentChanges d = move->Plan(doc, all, base);
    Expect(d.newPath == move->NewPath(doc));
    const kivoparse::UrlRewriter rewriter = move->Rewriter(doc, base);
    std::size_t next = 0;
    for (const UrlOccurrence& o : all) {
        const std::optional<std::string> fresh = rewriter(o.kind, o.url);
        const bool listed = next < d.changes.size() && SameOccurrence(d.changes[next].occurrence, o);
        Expect(listed == fresh.has_value());
        if (!listed) continue;
        Expect(*fresh == d.changes[next].newUrl && *fresh != o.url);
        ++next;
    }
    Expect(next == d.changes.size());
    const kivoparse::KeptRewrite kept = kivoparse::RewriteKeepingBytes(document, UrlKinds::All(), rewriter);
    Expect(kept.edits.size() + kept.leftAlone == d.changes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = std::min(input.find('\n'), input.size());
    if (lineEnd + 1 >= input.size() || lineEnd > 1024) return 0;
    std::vector<std::string> files;
    for (std::size_t start = 0; start < lineEnd && files.size() < 32;) {
        const std::size_t space = std::min(input.find(' ', start), lineEnd);
        if (space > start) files.push_back("s/" + input.substr(start, space - start));
        start = space + 1;
    }
    const unsigned options = static_cast<unsigned char>(input[lineEnd + 1]);
    const std::string document = input.substr(lineEnd + 2);
    const std::string path = options & 1 ? "s/d/page.html" : "s/page.html", root = "s";

    kivoparse::Parser parser;
    parser.SetRawText((options & 0x80) != 0);
    parser.ParseHTML(document);
    const std::string html = parser.GetHTML();
    const std::vector<UrlOccurrence> all = parser.GetUrlOccurrences(UrlKinds::All());
    CheckOccurrences(parser, document, all);

    // The site check, both ways, and its suggested map applied.
    kivoparse::SiteCheck check = kivoparse::SiteCheck::OfPaths(files);
    const std::vector<SiteFinding> findings = check.Check(path, root, all);
    kivoparse::SiteCheck prepared = kivoparse::SiteCheck::OfPaths(files);
    Expect(SameFindings(findings, prepared.Check(path, root, prepared.Prepare(all))));
    const kivoparse::SiteCounts& counts = check.Counts();
    const std::size_t missing = CountOf(findings, SiteProblem::Missing), otherCase = CountOf(findings, SiteProblem::OtherCase);
    Expect(counts.missing == missing && counts.otherCase == otherCase && counts.checked >= missing + otherCase);
    Expect(counts.checked + counts.external + counts.templates <= all.size());
    for (const SiteFinding& f : findings) {
        Expect(std::any_of(all.begin(), all.end(), [&f](const UrlOccurrence& o) { return SameOccurrence(o, f.occurrence); }));
    }
    const std::string suggested = check.SuggestedMap();
    Expect(otherCase > 0 || suggested.empty());
    const kivoparse::SiteMap repairs = kivoparse::SiteMap::Parse(suggested);
    if (repairs.Documents().empty()) kivoparse::UrlMap::ParseRules(suggested);  // no sections: a plain rule map
    if (options & 2) {
        // Sections name the document from the root.
        Expect(repairs.Rewrite(parser, UrlKinds::All(), kivoparse::SitePath(path, root)) == 0);
        kivoparse::SiteCheck again = kivoparse::SiteCheck::OfPaths(files);
        const std::vector<SiteFinding> after = again.Check(path, root, parser.GetUrlOccurrences(UrlKinds::All()));
        // Only a URL that a map file cannot hold stays as it was.
        const std::size_t unsayable = static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(), [](const SiteFinding& f) {
            return f.problem == SiteProblem::OtherCase && f.occurrence.url.find_first_of("\t\n") != std::string::npos;
        }));
        Expect(CountOf(after, SiteProblem::OtherCase) <= unsayable && CountOf(after, SiteProblem::Missing) <= missing);
        Expect((check.LeftOutOfSuggestedMap() > 0) == (unsayable > 0));
        parser.ParseHTML(document);
    }

    // The check with the page's base and its anchors.
    kivoparse::SiteCheck anchored = kivoparse::SiteCheck::OfPaths(files);
    anchored.CheckFragments(true);
    const std::vector<SiteFinding> seen = anchored.Check(path, root, anchored.Prepare(parser, UrlKinds::All()));
    const std::vector<SiteFinding> anchors = anchored.CheckAnchors();
    const kivoparse::SiteCounts& told = anchored.Counts();
    Expect(told.missing == CountOf(seen, SiteProblem::Missing) && told.aboveRoot == CountOf(seen, SiteProblem::AboveRoot));
    Expect(told.noAnchor == anchors.size() && told.noAnchor <= told.fragments);
    for (const SiteFinding& f : anchors) Expect(f.problem == SiteProblem::NoAnchor && f.document == path);

    CheckStylesheet(document);
    if (!files.empty()) CheckMove(files, document, path);
    CheckRewrites(parser, document, html, all, options >> 2);

    ReadAsMap(document, [](const std::string& text) {
        const kivoparse::UrlMap rules = kivoparse::UrlMap::ParseRules(text);
        Expect(rules.Sources().size() == rules.Size());
        rules.Apply(text.substr(0, 16));
    });
    ReadAsMap(document, [](const std::string& text) {
        const kivoparse::SiteMap sections = kivoparse::SiteMap::Parse(text);
        const std::vector<std::string> documents = sections.Documents();
        Expect(std::is_sorted(documents.begin(), documents.end()));
        for (const std::string& d : documents) sections.Apply(d, text.substr(0, 16));
        // What the writer makes of the lines reads back as the same lines,
        // and so does what the map gives back of them.
        const kivoparse::MapFile file = kivoparse::ReadMapFile(text, kivoparse::MapFormat::Sections);
        const kivoparse::MapFile again = kivoparse::ReadMapFile(kivoparse::WriteMapFile(file), kivoparse::MapFormat::Sections);
        Expect(again.lines.size() == file.lines.size() && again.kinds == file.kinds);
        for (std::size_t i = 0; i < file.lines.size() && i < again.lines.size(); ++i) {
            const kivoparse::MapLine &a = file.lines[i], &b = again.lines[i];
            Expect(a.document == b.document && a.from == b.from && a.to == b.to && a.prefix == b.prefix);
        }
        const kivoparse::SiteMap back(kivoparse::ReadMapFile(kivoparse::WriteMapFile(sections.File()), kivoparse::MapFormat::Sections));
        Expect(back.Documents() == documents);
        for (const std::string& d : documents) Expect(back.Apply(d, text.substr(0, 16)) == sections.Apply(d, text.substr(0, 16)));
    });
    return 0;
}
