// Rewrites that keep every other byte and the diffs made from their edits:
// the tables of tests/data/links/keep.txt and diff.txt, and on generated
// pages the properties that make such a rewrite safe to review: the edits
// lie exactly on URLs, splicing them gives the output, and the diff holds
// both texts.
#include <random>
#include <sstream>

#include "TestSupport.h"
#include "kivoparse/kivoparse.h"

using namespace kivoparse;
using namespace kivoparse_test;

namespace {

UrlKinds KindsOf(const SCase& c) {
    UrlKinds kinds;
    std::string error;
    if (!UrlKinds::Parse(c["kinds"], kinds, error)) throw std::runtime_error(c.mWhere + ": " + error);
    return kinds;
}

std::string CountsOf(const KeptRewrite& kept) {
    std::string out;
    for (std::size_t i = 0; i < kUrlKindCount; ++i) {
        if (kept.rewritten[i] == 0) continue;
        if (!out.empty()) out += ' ';
        out += std::string(UrlKindName(static_cast<UrlKind>(i))) + "=" + std::to_string(kept.rewritten[i]);
    }
    return out;
}

class KeepBytes : public ::testing::TestWithParam<SCase> {};
TEST_P(KeepBytes, ReplacesOnlyTheUrls) {
    const SCase& c = GetParam();
    const std::string in = c["in"];
    const UrlMap map = UrlMap::ParseRules(c["map"]);
    const KeptRewrite kept = RewriteKeepingBytes(in, KindsOf(c), map);
    EXPECT_EQ(kept.html, c["out"]);
    EXPECT_EQ(kept.leftAlone, c.Has("left") ? std::stoul(c["left"]) : 0u);
    if (c.Has("counts")) {
        EXPECT_EQ(CountsOf(kept), c["counts"]);
    }
    EXPECT_EQ(kept.Changed(), kept.html != in);
    // A callback deciding as the map does gives the same bytes.
    const KeptRewrite called = RewriteKeepingBytes(in, KindsOf(c), [&](UrlKind, std::string_view url) {
        return map.Apply(url);
    });
    EXPECT_EQ(called.html, kept.html);
}
INSTANTIATE_TEST_SUITE_P(Data, KeepBytes, ::testing::ValuesIn(LoadCases({"links/keep.txt"}, "out")), CaseName);

class Diff : public ::testing::TestWithParam<SCase> {};
TEST_P(Diff, ShowsTheChangedLinesWithTheirContext) {
    const SCase& c = GetParam();
    const std::string in = c["in"];
    const KeptRewrite kept = RewriteKeepingBytes(in, KindsOf(c), UrlMap::ParseRules(c["map"]));
    EXPECT_EQ(UnifiedDiff(c["path"], in, kept), c["diff"]);
}
INSTANTIATE_TEST_SUITE_P(Data, Diff, ::testing::ValuesIn(LoadCases({"links/diff.txt"}, "diff")), CaseName);

// A page of many lines, URLs in every quoting, some on lines of their own,
// comments, CR LF or LF, with or without a final newline.
std::string GeneratedPage(std::mt19937& random) {
    const char* urls[] = {"img/a.gif", "IMG/B.GIF", "pages/x.htm", "other/y.htm", "img/c d.gif", "pages/q\"s.htm"};
    const char* ends[] = {"\n", "\r\n"};
    const std::string end = ends[random() % 2];
    std::string page = "<HTML>" + end + "<!-- <a href=pages/x.htm> -->" + end;
    const int lines = 20 + static_cast<int>(random() % 80);
    for (int i = 0; i < lines; ++i) {
        const std::string url = urls[random() % 6];
        switch (random() % 8) {
        case 0: page += "<a href=" + url + ">x</a>"; break;
        case 1: page += "<A HREF='" + url + "'>x</A> text"; break;
        case 2: page += "  <img src=\"" + url + "\" alt=\"a b\">"; break;
        case 3: page += "<img srcset=\"" + url + " 1x, " + url + " 2x\">"; break;
        case 4: page += "<p style='background:url(" + url + ")'>"; break;
        case 5: page += "plain text line"; break;
        case 6: page += "<link rel=stylesheet href=" + url + "><script>var s = \"<a href='x'>\";</script>"; break;
        default: page += ""; break;
        }
        page += end;
    }
    if (random() % 2) page += "</HTML>";
    return page;
}

// Each edit replaces exactly a URL the page lists at that place, the edits
// spliced into the input give the output, and every line outside the edits
// is unchanged.
TEST(KeepBytesOnGeneratedPages, EachChangedLineDiffersOnlyInsideUrls) {
    std::mt19937 random(30);
    const UrlMap map = UrlMap::ParseRules("img/*\tassets/images/*\npages/x.htm\t../x.html\npages/*\tp/*\n");
    for (int round = 0; round < 200; ++round) {
        const std::string page = GeneratedPage(random);
        const KeptRewrite kept = RewriteKeepingBytes(page, UrlKinds::All(), map);
        Parser parser;
        parser.SetRawText(true);
        parser.ParseHTML(page);
        std::map<std::size_t, std::string> urlAt;
        for (const UrlOccurrence& o : parser.GetUrlOccurrences(UrlKinds::All())) urlAt[o.offset] = o.url;
        std::string spliced;
        std::size_t copied = 0;
        std::vector<bool> lineChanged;
        for (const UrlEdit& edit : kept.edits) {
            ASSERT_GE(edit.offset, copied) << "edits overlap or are out of order";
            ASSERT_EQ(urlAt.count(edit.offset), 1u) << "an edit where no URL is, at " << edit.offset;
            EXPECT_EQ(page.substr(edit.offset, edit.length), urlAt[edit.offset]);
            spliced += page.substr(copied, edit.offset - copied) + edit.replacement;
            copied = edit.offset + edit.length;
        }
        spliced += page.substr(copied);
        ASSERT_EQ(spliced, kept.html);
        // Line by line: a line that no edit touches is the same line.
        std::istringstream before(page), after(kept.html);
        std::string a, b;
        std::size_t offset = 0, edit = 0;
        while (std::getline(before, a)) {
            ASSERT_TRUE(std::getline(after, b));
            const std::size_t lineEnd = offset + a.size();
            bool touched = false;
            while (edit < kept.edits.size() && kept.edits[edit].offset <= lineEnd) {
                touched = true;
                ++edit;
            }
            if (!touched) {
                EXPECT_EQ(a, b);
            }
            offset = lineEnd + 1;
        }
        EXPECT_FALSE(std::getline(after, b));
        EXPECT_EQ(kept.leftAlone, 0u);
    }
}

// The diff holds both texts: its "-" and context lines are the old lines
// at the places the hunk headers give, its "+" and context lines the new
// ones.
TEST(KeepBytesOnGeneratedPages, TheDiffHoldsBothTexts) {
    std::mt19937 random(31);
    const UrlMap map = UrlMap::ParseRules("img/*\tassets/images/*\npages/x.htm\t../x.html\n");
    auto linesOf = [](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    };
    for (int round = 0; round < 200; ++round) {
        const std::string page = GeneratedPage(random);
        const KeptRewrite kept = RewriteKeepingBytes(page, UrlKinds::All(), map);
        const std::string diff = UnifiedDiff("site/p.html", page, kept);
        if (!kept.Changed()) {
            EXPECT_EQ(diff, "");
            continue;
        }
        const std::vector<std::string> oldLines = linesOf(page), newLines = linesOf(kept.html);
        std::vector<std::string> lines = linesOf(diff);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "--- a/site/p.html");
        EXPECT_EQ(lines[1], "+++ b/site/p.html");
        std::size_t oldAt = 0, newAt = 0, oldLeft = 0, newLeft = 0;
        for (std::size_t i = 2; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (line.rfind("@@ -", 0) == 0) {
                ASSERT_EQ(oldLeft + newLeft, 0u) << "hunk " << line << " after a short one";
                unsigned long o = 0, oc = 1, n = 0, nc = 1;
                if (std::sscanf(line.c_str(), "@@ -%lu,%lu +%lu,%lu @@", &o, &oc, &n, &nc) != 4) {
                    std::istringstream header(line.substr(4));
                    char c;
                    header >> o;
                    if (header.peek() == ',') header >> c >> oc;
                    header >> c >> n;
                    if (header.peek() == ',') header >> c >> nc;
                }
                ASSERT_GE(o, oldAt + 1) << line;
                oldAt = o - 1, newAt = n - 1, oldLeft = oc, newLeft = nc;
                continue;
            }
            if (line == "\\ No newline at end of file") continue;
            ASSERT_FALSE(line.empty());
            const std::string text = line.substr(1);
            if (line[0] != '+') {
                ASSERT_GT(oldLeft, 0u);
                ASSERT_LT(oldAt, oldLines.size());
                EXPECT_EQ(text, oldLines[oldAt]);
                ++oldAt, --oldLeft;
            }
            if (line[0] != '-') {
                ASSERT_GT(newLeft, 0u);
                ASSERT_LT(newAt, newLines.size());
                EXPECT_EQ(text, newLines[newAt]);
                ++newAt, --newLeft;
            }
        }
        EXPECT_EQ(oldLeft + newLeft, 0u);
        EXPECT_EQ(oldLines.size() - oldAt, newLines.size() - newAt) << "lines after the last hunk";
    }
}

}  // namespace
