// The planning of a move inside a site: a site's files, a move, a
// document, and the URLs it changes (tests/data/links/moves.txt).
#include <kivoparse/kivoparse.h>
#include <kivoparse/site.h>

#include <algorithm>
#include <ctime>

#include "tests/TestSupport.h"

using namespace kivoparse;
using namespace kivoparse_test;

namespace {

// "docs/p.html 1:10 images ../img/x.gif -> ../pics/x.gif"
std::vector<std::string> Changes(const DocumentChanges& d) {
    std::vector<std::string> out;
    for (const UrlChange& c : d.changes) {
        out.push_back(std::to_string(c.occurrence.line) + ":" + std::to_string(c.occurrence.column) + " " +
                      UrlKindName(c.occurrence.kind) + " " + c.occurrence.url + " -> " + c.newUrl);
    }
    return out;
}

}  // namespace

// files: the site; move: src, dst (and site-url: where it is served);
// document: the page planned, in: its text; new-path: where it goes;
// changes: each as [LINE:COLUMN KIND OLD -> NEW]; or error: the message of
// a move refused.
class Move : public ::testing::TestWithParam<SCase> {};
TEST_P(Move, ChangesTheUrlsThatReachWhatMoves) {
    const SCase& c = GetParam();
    const std::vector<std::string> move = c.List("move");
    ASSERT_EQ(move.size(), 2u) << c.mWhere;
    if (c.Has("error")) {
        try {
            SiteMove(c.List("files"), move[0], move[1], c["site-url"]);
            ADD_FAILURE() << "no error; expected " << c["error"];
        } catch (const MoveError& error) {
            EXPECT_EQ(error.what(), c["error"]);
        }
        return;
    }
    const SiteMove plan(c.List("files"), move[0], move[1], c["site-url"]);
    Parser parser;
    parser.SetRawText(true);
    parser.ParseHTML(c["in"]);
    const DocumentChanges d = plan.Plan(c["document"], parser.GetUrlOccurrences(UrlKinds::All()), parser.GetBaseHref());
    EXPECT_EQ(d.newPath, c.Has("new-path") ? c["new-path"] : c["document"]);
    EXPECT_EQ(Changes(d), c.List("changes"));
    if (c.Has("moved")) {
        std::vector<std::string> moved;
        for (const auto& [from, to] : plan.MovedFiles()) moved.push_back(from + " -> " + to);
        EXPECT_EQ(moved, c.List("moved"));
    }
}
INSTANTIATE_TEST_SUITE_P(Data, Move, ::testing::ValuesIn(LoadCases({"links/moves.txt"}, "end")), CaseName);

// The whole plan of a small site: only the documents that change, each
// with its new path; the count of documents read.
TEST(MovePlan, ListsTheDocumentsThatChange) {
    const MovePlan plan = PlanMove({"index.html", "img/a.gif", "img/b.gif", "guide/p.html", "other.html"},
                                   {{"index.html", "<img src=img/a.gif>"},
                                    {"guide/p.html", "<a href=../index.html>i</a><img src=../img/b.gif>"},
                                    {"other.html", "<a href=guide/p.html>g</a>"}},
                                   "img", "guide/img");
    ASSERT_EQ(plan.documentsRead, 3u);
    ASSERT_EQ(plan.documents.size(), 2u);
    EXPECT_EQ(plan.documents[0].path, "index.html");
    EXPECT_EQ(Changes(plan.documents[0]), std::vector<std::string>{"1:10 images img/a.gif -> guide/img/a.gif"});
    EXPECT_EQ(Changes(plan.documents[1]), std::vector<std::string>{"1:37 images ../img/b.gif -> img/b.gif"});
    EXPECT_EQ(plan.movedFiles.size(), 2u);
}

// Many documents and URLs: the plan costs the same per URL however large
// the site (one look-up a URL, no scan of the files).
TEST(MoveScaling, APlanStaysLinearInTheSite) {
    auto seconds = [](std::size_t n) {
        std::vector<std::string> files;
        std::string page;
        for (std::size_t i = 0; i < n; ++i) {
            files.push_back("d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".html");
            page += "<a href=../d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".html>x</a>\n";
        }
        const auto start = std::clock();
        const SiteMove move(files, "d1", "e/d1");
        Parser parser;
        parser.ParseHTML(page);
        const DocumentChanges d = move.Plan("d2/p.html", parser.GetUrlOccurrences(UrlKinds::All()));
        EXPECT_EQ(d.changes.size(), n / 100);
        return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    };
    const double small = seconds(2000), large = seconds(32000);
    EXPECT_LT(large, 64 * std::max(small, 1e-3)) << small << " s, then " << large << " s";
}
