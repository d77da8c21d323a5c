// URL kinds beyond images and links: the value scanners, every occurrence
// with its place, rule maps and callbacks, from the tables under
// tests/data/links; and the properties that tie the kind-based calls to
// the eight operations: the image and link kinds list and rewrite exactly as GetImages,
// GetHrefs, FixImages and FixHrefs do.
#include <strings.h>

#include <algorithm>
#include <stdexcept>

#include "TestSupport.h"
#include "kivoparse/kivoparse.h"
#include "kivoparse/site.h"
#include "links/CPrefixRules.h"
#include "links/UrlPaths.h"
#include "links/UrlScan.h"

using namespace kivoparse;
using namespace kivoparse_test;

namespace {

class Scan : public ::testing::TestWithParam<SCase> {};
TEST_P(Scan, FindsTheUrlsOfTheValue) {
    const SCase& c = GetParam();
    const std::string value = c["in"];
    std::vector<SSpan> spans;
    if (c["shape"] == "srcset") ScanSrcset(value, spans);
    else if (c["shape"] == "refresh") ScanRefresh(value, spans);
    else if (c["shape"] == "css") ScanCss(value, spans);
    else FAIL() << "unknown shape " << c["shape"];
    std::vector<std::string> urls;
    for (const SSpan& span : spans) {
        ASSERT_LE(span.mStart + span.mLength, value.size());
        urls.push_back(value.substr(span.mStart, span.mLength));
    }
    EXPECT_EQ(urls, c.List("urls"));
}
INSTANTIATE_TEST_SUITE_P(Data, Scan, ::testing::ValuesIn(LoadCases({"links/scan.txt"}, "urls")), CaseName);

UrlKinds KindsOf(const SCase& c) {
    UrlKinds kinds;
    std::string error;
    if (!UrlKinds::Parse(c["kinds"], kinds, error)) throw std::runtime_error(c.mWhere + ": " + error);
    return kinds;
}

class Places : public ::testing::TestWithParam<SCase> {};
TEST_P(Places, ListsEveryOccurrenceWithItsPlace) {
    const SCase& c = GetParam();
    Parser parser;
    parser.SetDocumentBase(c["base"]);
    parser.ParseHTML(c["in"]);
    std::vector<std::string> got;
    for (const UrlOccurrence& o : parser.GetUrlOccurrences(KindsOf(c))) {
        got.push_back(std::to_string(o.line) + ":" + std::to_string(o.column) + " " + UrlKindName(o.kind) + " " +
                      o.tag + " " + (o.attribute.empty() ? "-" : o.attribute) + " " + o.url);
    }
    EXPECT_EQ(got, c.List("urls"));
}
INSTANTIATE_TEST_SUITE_P(Data, Places, ::testing::ValuesIn(LoadCases({"links/kinds.txt"}, "urls")), CaseName);

// Reads the case's "map:" with parse: a map refused must be a case with
// "error:", its line and message. Returns whether the map was read.
template <class FParse>
bool ReadCaseMap(const SCase& c, FParse parse) {
    try {
        parse(c["map"]);
    } catch (const MapError& error) {
        if (!c.Has("error")) ADD_FAILURE() << error.what();
        else EXPECT_EQ(std::to_string(error.Line()) + " " + error.what(), c["error"]);
        return false;
    }
    EXPECT_FALSE(c.Has("error")) << "read without error";
    return !c.Has("error");
}

class Rules : public ::testing::TestWithParam<SCase> {};
TEST_P(Rules, RewriteByTheRuleMap) {
    const SCase& c = GetParam();
    UrlMap map;
    if (!ReadCaseMap(c, [&map](const std::string& text) { map = UrlMap::ParseRules(text); })) return;
    Parser parser;
    parser.ParseHTML(c["in"]);
    ASSERT_EQ(parser.Rewrite(KindsOf(c), map), 0);
    EXPECT_EQ(parser.GetHTML(), c["out"]);
}
INSTANTIATE_TEST_SUITE_P(Data, Rules, ::testing::ValuesIn(LoadCases({"links/rules.txt"}, "out")), CaseName);
// The error cases close with "error:" instead; they are read as their own table.
INSTANTIATE_TEST_SUITE_P(Errors, Rules, ::testing::ValuesIn(LoadCases({"links/rules-errors.txt"}, "error")),
                         CaseName);

// Maps with sections for single documents.
class SiteMaps : public ::testing::TestWithParam<SCase> {};
TEST_P(SiteMaps, RewriteADocumentByItsSectionFirst) {
    const SCase& c = GetParam();
    SiteMap map;
    if (!ReadCaseMap(c, [&map](const std::string& text) { map = SiteMap::Parse(text); })) return;
    EXPECT_EQ(map.Documents(), c.List("documents"));
    if (c.Has("kinds")) {
        ASSERT_TRUE(map.Kinds().has_value());
        EXPECT_EQ(map.Kinds()->Bits(), KindsOf(c).Bits());
    } else {
        EXPECT_FALSE(map.Kinds().has_value());
    }
    if (c.Has("section")) {
        EXPECT_EQ(map.SectionFor(c["document"]).value_or("-"), c["section"]);
    }
    Parser parser;
    parser.ParseHTML(c["in"]);
    ASSERT_EQ(map.Rewrite(parser, UrlKinds::All(), c["document"]), 0);
    EXPECT_EQ(parser.GetHTML(), c["out"]);
}
INSTANTIATE_TEST_SUITE_P(Data, SiteMaps, ::testing::ValuesIn(LoadCases({"links/sitemaps.txt"}, "out")), CaseName);
INSTANTIATE_TEST_SUITE_P(Errors, SiteMaps, ::testing::ValuesIn(LoadCases({"links/sitemaps-errors.txt"}, "error")),
                         CaseName);

// Every document of the tables: the image and link kinds through the
// kind-based calls give what GetImages, GetHrefs, FixImages and FixHrefs give, and each place of a value read as
// written holds its URL there.
std::vector<SCase> Documents() {
    std::vector<SCase> all = LoadCases({"core/roundtrip.txt", "core/roundtrip-more.txt"}, "out");
    for (const SCase& c : LoadCases({"links/collect.txt"}, "hrefs")) all.push_back(c);
    for (const SCase& c : LoadCases({"links/kinds.txt"}, "urls")) all.push_back(c);
    return all;
}

class SeedKinds : public ::testing::TestWithParam<SCase> {};
TEST_P(SeedKinds, ListAndRewriteAsTheSeedDoes) {
    const SCase& c = GetParam();
    Parser parser, seed;
    for (Parser* p : {&parser, &seed}) {
        p->SetDocumentBase(c["base"]);
        p->ParseHTML(c["in"]);
    }
    const std::vector<std::string> images = seed.GetImages(), hrefs = seed.GetHrefs();
    EXPECT_EQ(parser.GetUrls(UrlKind::Image), images);
    EXPECT_EQ(parser.GetUrls(UrlKind::Link), hrefs);
    std::vector<std::string> both = images;
    for (const std::string& href : hrefs) {
        bool seen = false;
        for (const std::string& image : images) seen = seen || strcasecmp(image.c_str(), href.c_str()) == 0;
        if (!seen) both.push_back(href);
    }
    EXPECT_EQ(parser.GetUrls(), both);

    std::vector<std::string> newImages, newHrefs;
    for (std::size_t i = 0; i < images.size(); ++i) newImages.push_back("img" + std::to_string(i));
    for (std::size_t i = 0; i < hrefs.size(); ++i) newHrefs.push_back("href" + std::to_string(i));
    ASSERT_EQ(seed.FixImages(images, newImages), 0);
    ASSERT_EQ(seed.FixHrefs(hrefs, newHrefs), 0);
    ASSERT_EQ(parser.Rewrite(UrlKind::Image, UrlMap(images, newImages)), 0);
    ASSERT_EQ(parser.Rewrite(UrlKind::Link, UrlMap(hrefs, newHrefs)), 0);
    EXPECT_EQ(parser.GetHTML(), seed.GetHTML());
}
INSTANTIATE_TEST_SUITE_P(Data, SeedKinds, ::testing::ValuesIn(Documents()), CaseName);

TEST_P(SeedKinds, PlacesHoldTheirUrlsAndNoCallbackChangesNothing) {
    const SCase& c = GetParam();
    const std::string input = c["in"];
    Parser parser;
    parser.ParseHTML(input);
    const std::string html = parser.GetHTML();
    std::size_t before = 0;  // where the URL before is placed
    for (const UrlOccurrence& o : parser.GetUrlOccurrences(UrlKinds::All())) {
        ASSERT_LE(o.offset, input.size());
        // Without a document base a value is read as written, but for an
        // insert block inside it or an empty one: then the place is its
        // name's, or where the URL before is.
        const std::string there = input.substr(o.offset, std::max(o.url.size(), o.attribute.size()));
        EXPECT_TRUE(there.compare(0, o.url.size(), o.url) == 0 || strncasecmp(there.c_str(), o.attribute.c_str(), o.attribute.size()) == 0 ||
                    strncasecmp(input.c_str() + o.offset, o.tag.c_str(), o.tag.size()) == 0 || o.offset == before)
            << o.tag << " " << o.attribute << " " << o.url << " at " << o.offset;
        before = o.offset;
        const std::size_t lineStart = input.rfind('\n', o.offset == 0 ? 0 : o.offset - 1);
        EXPECT_EQ(o.column, o.offset - (lineStart == std::string::npos || o.offset == 0 ? 0 : lineStart + 1) + 1);
    }
    std::size_t asked = 0;
    ASSERT_EQ(parser.Rewrite(UrlKinds::All(),
                             [&](UrlKind, std::string_view) -> std::optional<std::string> {
                                 ++asked;
                                 return std::nullopt;
                             }),
              0);
    EXPECT_EQ(asked, parser.GetUrlOccurrences(UrlKinds::All()).size());
    EXPECT_EQ(parser.GetHTML(), html);
    // The same URL given back: every value as it was, byte for byte (the
    // bytes after a NUL too, though the URL stops at it).
    ASSERT_EQ(parser.Rewrite(UrlKinds::All(),
                             [](UrlKind, std::string_view url) { return std::optional<std::string>(url); }),
              0);
    EXPECT_EQ(parser.GetHTML(), html);
}

TEST(UrlCallback, SeesKindAndUrlAndAThrowLeavesTheTree) {
    Parser parser;
    parser.ParseHTML("<link href=a.css><img srcset='x.jpg 1x, y.jpg 2x'><a href=p.htm>x</a>");
    std::vector<std::string> seen;
    parser.Rewrite(UrlKinds::All(), [&](UrlKind kind, std::string_view url) -> std::optional<std::string> {
        seen.push_back(std::string(UrlKindName(kind)) + " " + std::string(url));
        if (url == "y.jpg") return std::string("z.jpg");
        return std::nullopt;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"resources a.css", "srcset x.jpg", "srcset y.jpg", "links p.htm"}));
    EXPECT_EQ(parser.GetHTML(), "<LINK href=\"a.css\"><IMG srcset=\"x.jpg 1x, z.jpg 2x\"><A href=\"p.htm\">x</A>");
    const std::string before = parser.GetHTML();
    EXPECT_THROW(parser.Rewrite(UrlKinds::All(),
                                [](UrlKind, std::string_view url) -> std::optional<std::string> {
                                    if (url == "p.htm") throw std::runtime_error("no");
                                    return std::string("changed");
                                }),
                 std::runtime_error);
    EXPECT_EQ(parser.GetHTML(), before);
}

TEST(UrlKindsList, NamesAndErrors) {
    UrlKinds kinds;
    std::string error;
    ASSERT_TRUE(UrlKinds::Parse("images,css", kinds, error));
    EXPECT_EQ(kinds, UrlKinds(UrlKind::Image) | UrlKind::Css);
    ASSERT_TRUE(UrlKinds::Parse("all", kinds, error));
    EXPECT_EQ(kinds, UrlKinds::All());
    EXPECT_FALSE(UrlKinds::Parse("images,,links", kinds, error) || UrlKinds::Parse("Images", kinds, error));
    EXPECT_EQ(kinds, UrlKinds::All());  // unchanged
    for (std::size_t i = 0; i < kUrlKindCount; ++i) {
        ASSERT_TRUE(UrlKinds::Parse(UrlKindName(static_cast<UrlKind>(i)), kinds, error));
        EXPECT_EQ(kinds, UrlKinds(static_cast<UrlKind>(i)));
    }
}

// Before any parse there is nothing to list or rewrite; a map of lists of
// different lengths is refused as FixImages refuses it.
TEST(UrlKindsList, NoTreeAndUnevenMap) {
    Parser parser;
    EXPECT_TRUE(parser.GetUrls(UrlKinds::All()).empty());
    EXPECT_TRUE(parser.GetUrlOccurrences(UrlKinds::All()).empty());
    EXPECT_EQ(parser.Rewrite(UrlKinds::All(), UrlMap({"a"}, {})), -1);
    parser.ParseHTML("<a href=a>x</a>");
    EXPECT_EQ(parser.Rewrite(UrlKinds::All(), UrlMap({"a"}, {})), -1);
    EXPECT_EQ(parser.GetHTML(), "<A href=\"a\">x</A>");
}

// FixImages, FixHrefs and the one-pass rewrite apply a rule map's prefix
// rules too; an uneven map still changes nothing.
TEST(UrlKindsList, SeedRewritesTakeRuleMaps) {
    Parser parser;
    parser.ParseHTML("<img src=old/a.gif><a href=old/b.htm>x</a><img src=old/c.gif>");
    ASSERT_EQ(parser.FixImages(UrlMap({"old/c.gif"}, {"c.gif"}, {{"old/", "new/"}})), 0);
    ASSERT_EQ(parser.Rewrite(UrlMap::ParseRules("x/*\ty/"), UrlMap::ParseRules("old/*\tpages/\n")), 0);
    EXPECT_EQ(parser.Rewrite(UrlMap::ParseRules("x/*\ty/"), UrlMap({"a"}, {})), -1);
    EXPECT_EQ(parser.GetHTML(), "<IMG src=\"new/a.gif\"><A href=\"pages/b.htm\">x</A><IMG src=\"c.gif\">");
}

// A million levels: the new walk never recurses per level.
TEST(MillionLevels, UrlKindsWalkAndRewrite) {
    const std::size_t levels = 1000000;
    Parser parser;
    parser.ParseHTML(Repeat("<b style=\"background:url(x.gif)\">", levels) + Repeat("</b>", levels));
    EXPECT_EQ(parser.GetUrlOccurrences(UrlKind::Css).size(), levels);
    ASSERT_EQ(parser.Rewrite(UrlKind::Css, UrlMap({"x.gif"}, {"y.gif"})), 0);
    EXPECT_EQ(parser.GetUrls(UrlKind::Css), std::vector<std::string>{"y.gif"});
}

}  // namespace


namespace {

class Paths : public ::testing::TestWithParam<SCase> {};
TEST_P(Paths, SplitsTheUrlAsACheckReadsIt) {
    const SCase& c = GetParam();
    const std::string url = c["url"];
    const SUrlPath path = SplitUrlPath(url);
    static const char* const kClasses[] = {"relative", "root", "external", "same", "template"};
    EXPECT_EQ(kClasses[static_cast<int>(path.mClass)], c["class"]);
    std::vector<std::string> names;
    for (const SUrlSegment& segment : path.mSegments) {
        names.push_back(segment.mName);
        EXPECT_EQ(DecodeUrlBytes(url.substr(segment.mRawStart, segment.mRawEnd - segment.mRawStart)), segment.mName);
    }
    EXPECT_EQ(names, c.List("segments"));
    EXPECT_EQ(path.mNamesFolder ? "yes" : "no", c["folder"]);
}
INSTANTIATE_TEST_SUITE_P(Data, Paths, ::testing::ValuesIn(LoadCases({"links/paths.txt"}, "folder")), CaseName);

class Recase : public ::testing::TestWithParam<SCase> {};
TEST_P(Recase, KeepsEveryByteButTheLetterCase) {
    const SCase& c = GetParam();
    const std::string out = RecaseSegment(c["raw"], c["actual"]);
    EXPECT_EQ(out, c["out"]);
    EXPECT_EQ(DecodeUrlBytes(out), c["actual"]);
}
INSTANTIATE_TEST_SUITE_P(Data, Recase, ::testing::ValuesIn(LoadCases({"links/recase.txt"}, "out")), CaseName);

}  // namespace

#include <ctime>

namespace {

// The least processor time of one call of work over runs rounds: time the
// process spends waiting for a core on a loaded machine does not count.
// Each round calls work until the clock has moved by 20 ms at least and
// takes the time per call: the clock's steps are coarse on some systems (a
// millisecond or more under Windows, where a short call reads as 0 s).
template <class Work>
double BestCpuSeconds(int runs, Work work) {
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        const std::clock_t start = std::clock();
        std::clock_t now;
        long calls = 0;
        do {
            work();
            ++calls;
            now = std::clock();
        } while (now - start < CLOCKS_PER_SEC / 50);
        best = std::min(best, static_cast<double>(now - start) / CLOCKS_PER_SEC / static_cast<double>(calls));
    }
    return best;
}

// Families of documents built to make the new paths slow: each is listed
// and rewritten at two sizes, 16 times apart, in one run; a linear path
// takes about 16 times as long, a quadratic one about 256 times. The best
// of five runs of each size is compared, against a bar of 64.
TEST(UrlKindsScaling, AdversarialFamiliesStayLinear) {
    struct SFamily {
        const char* name;
        std::string (*make)(std::size_t n);
    };
    const SFamily families[] = {
        {"one srcset of many candidates",
         [](std::size_t n) { return "<img srcset=\"" + Repeat("a.jpg 1x,", n) + "\">"; }},
        {"a srcset of open groups", [](std::size_t n) { return "<img srcset=\"a " + Repeat("(", n) + "\">"; }},
        {"CSS of unclosed url(", [](std::size_t n) { return "<style>" + Repeat("url(", n) + "</style>"; }},
        {"CSS of unclosed strings and comments",
         [](std::size_t n) { return "<p style='" + Repeat("url(\"/*", n) + "'>"; }},
        {"many URLs on many lines", [](std::size_t n) { return Repeat("<a href=a.htm>\n", n); }},
        {"a long refresh", [](std::size_t n) { return "<meta http-equiv=refresh content='" + Repeat("5", n) + "'>"; }},
    };
    const UrlMap map = UrlMap::ParseRules("a*\tb*\na.jpg\tc.jpg\n");
    auto seconds = [&](const std::string& text) {
        Parser parser;
        return BestCpuSeconds(5, [&] {
            parser.ParseHTML(text);
            parser.GetUrlOccurrences(UrlKinds::All());
            parser.Rewrite(UrlKinds::All(), map);
            UnifiedDiff("p", text, RewriteKeepingBytes(text, UrlKinds::All(), map));
        });
    };
    for (const SFamily& family : families) {
        const double small = seconds(family.make(4000)), large = seconds(family.make(64000));
        EXPECT_LT(large, 64 * std::max(small, 1e-4)) << family.name << ": " << small << " s, then " << large << " s";
    }
}

// Prefix rules: a look-up walks the value once, whatever the number of
// rules: 16 times the rules, about the same time.
TEST(UrlKindsScaling, PrefixRulesCostNothingPerRule) {
    auto seconds = [](std::size_t n) {
        CPrefixRules rules;
        for (std::size_t i = 0; i < n; ++i) rules.Add("http://host/" + std::to_string(i * 7919 % n) + "/", "x/");
        std::string out;
        return BestCpuSeconds(5, [&] {
            for (std::size_t i = 0; i < 20000; ++i) rules.Apply("http://host/" + std::to_string(i) + "/page.html", out);
        });
    };
    const double small = seconds(2000), large = seconds(32000);
    EXPECT_LT(large, 8 * std::max(small, 1e-4)) << small << " s, then " << large << " s";
}

}  // namespace

// The site check over a list of files and over the same files on disk.
class Site : public ::testing::TestWithParam<SCase> {};
TEST_P(Site, ReportsWhatIsMissingAndWhatHasAnotherCase) {
    const SCase& c = GetParam();
    const std::string disk = TempPath("site-" + std::to_string(std::hash<std::string>()(c.mWhere))).string() + "/";
    for (const std::string& file : c.List("files")) {
        const fs::path path = fs::u8path(disk + file);  // names are UTF-8, on Windows too
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }
    for (const std::string& at : {std::string(), disk}) {
        SiteCheck check = at.empty() ? SiteCheck::OfPaths(c.List("files")) : SiteCheck::OnDisk();
        check.CheckFragments(true);
        std::vector<std::string> got;
        auto local = [&](const std::string& path) { return path.empty() ? "-" : path.substr(path.find(at) == 0 ? at.size() : 0); };
        auto add = [&](const std::string& document, const SiteFinding& f) {
            static const char* const kProblems[] = {" missing ", " case ", " above-root ", " anchor "};
            got.push_back(document + " " + std::to_string(f.occurrence.line) + ":" + std::to_string(f.occurrence.column) +
                          kProblems[static_cast<int>(f.problem)] + f.occurrence.url + " " + local(f.path) + " " +
                          local(f.actual) + " " + (f.repaired.empty() ? "-" : f.repaired));
        };
        for (const std::string& document : c.List("documents")) {
            Parser parser;
            parser.ParseHTML(c["in"]);
            for (const SiteFinding& f : check.Check(at + document, at + "site", check.Prepare(parser, UrlKinds::Default())))
                add(document, f);
        }
        for (const SiteFinding& f : check.CheckAnchors()) add(local(f.document), f);
        EXPECT_EQ(got, c.List("findings")) << (at.empty() ? "of paths" : "on disk");
        const SiteCounts& n = check.Counts();
        EXPECT_EQ(std::to_string(n.checked) + " " + std::to_string(n.missing) + " " + std::to_string(n.otherCase) + " " +
                      std::to_string(n.external) + " " + std::to_string(n.templates), c["counts"]);
        if (at.empty()) {
            EXPECT_EQ(check.SuggestedMap(), c["map"]);
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Data, Site, ::testing::ValuesIn(LoadCases({"links/site.txt"}, "map")), CaseName);

// The spellings seen stay known when their table grows, past its first
// size too: "index.html" must be repaired in x (only "Index.html" there)
// and left in y, after 1500 other URLs were seen in between.
TEST(SiteCheckSpellings, SurviveTheirTableGrowing) {
    std::vector<std::string> files{"site/x/Index.html", "site/y/index.html"};
    std::string between;
    for (int i = 0; i < 1500; ++i) {
        files.push_back("site/f" + std::to_string(i) + ".html");
        between += "<a href=../f" + std::to_string(i) + ".html>x</a>";
    }
    SiteCheck check = SiteCheck::OfPaths(files);
    Parser parser;
    for (const auto& [document, html] : {std::pair<std::string, std::string>{"site/x/p.html", "<a href=index.html>i</a>"},
                                         {"site/x/q.html", between},
                                         {"site/y/p.html", "<a href=index.html>i</a>"}}) {
        parser.ParseHTML(html);
        check.Check(document, "site", parser.GetUrlOccurrences());
    }
    // Sections name their documents from the root.
    EXPECT_EQ(check.SuggestedMap(), "@document x/p.html\nindex.html\tIndex.html\n");
}

// Stylesheets: their URLs with places, and the rewrite that keeps every
// other byte.
class Css : public ::testing::TestWithParam<SCase> {};
TEST_P(Css, ListsAndRewritesKeepingBytes) {
    const SCase& c = GetParam();
    const std::string css = c["in"];
    std::vector<std::string> urls;
    for (const UrlOccurrence& o : GetCssUrlOccurrences(css)) {
        EXPECT_EQ(o.kind, UrlKind::Css);
        EXPECT_EQ(css.substr(o.offset, o.url.size()), o.url);
        urls.push_back(std::to_string(o.line) + ":" + std::to_string(o.column) + " " + o.url);
    }
    EXPECT_EQ(urls, c.List("urls"));
    const KeptRewrite kept = RewriteCssKeepingBytes(css, UrlMap::ParseRules(c["map"]));
    EXPECT_EQ(kept.Changed() ? kept.html : css, c["out"]);
    std::vector<std::string> edits;
    for (const UrlEdit& e : kept.edits)
        edits.push_back(std::to_string(e.offset) + " " + std::to_string(e.length) + " " + e.replacement);
    EXPECT_EQ(edits, c.List("edits"));
    EXPECT_EQ(std::to_string(kept.leftAlone), c["left"]);
    EXPECT_EQ(kept.rewritten[static_cast<std::size_t>(UrlKind::Css)], kept.edits.size());
}
INSTANTIATE_TEST_SUITE_P(Data, Css, ::testing::ValuesIn(LoadCases({"links/css.txt"}, "left")), CaseName);

namespace {

class BaseFolders : public ::testing::TestWithParam<SCase> {};
TEST_P(BaseFolders, StopAtTheRootAsABrowserDoes) {
    const SCase& c = GetParam();
    const std::string root = c["root"] == "-" ? std::string() : PathWithoutDots(c["root"]);
    EXPECT_EQ(BaseFolder(c["folder"], SplitUrlPath(c["base"]), c["root"] == "-" ? nullptr : &root), c["result"]);
}
INSTANTIATE_TEST_SUITE_P(Data, BaseFolders, ::testing::ValuesIn(LoadCases({"links/base-folders.txt"}, "result")),
                         CaseName);

}  // namespace
