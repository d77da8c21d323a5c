// The public header must compile on its own, before anything else.
#include "kivoparse/kivoparse.h"
#include "kivoparse/kivoparse.h"  // and twice

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Values = std::vector<std::string>;

// The example at the top of the header, line for line.
TEST(PublicHeader, ExampleRunsAsDocumented) {
    kivoparse::Parser parser;
    parser.ParseHTML("<img src=a.gif><a href=p.htm>x</a>");
    std::string html = parser.GetHTML();
    EXPECT_EQ(html, "<IMG src=\"a.gif\"><A href=\"p.htm\">x</A>");
    std::vector<std::string> urls = parser.GetImages();
    EXPECT_EQ(urls, Values{"a.gif"});
    EXPECT_EQ(parser.FixImages({"A.GIF"}, {"b.gif"}), 0);
    EXPECT_EQ(parser.GetHTML(), "<IMG src=\"b.gif\"><A href=\"p.htm\">x</A>");
}

TEST(PublicHeader, NewParserHasNoDocument) {
    kivoparse::Parser parser;
    EXPECT_EQ(parser.GetHTML(), "");
    EXPECT_EQ(parser.GetImages(), Values{});
    EXPECT_EQ(parser.GetHrefs(), Values{});
    EXPECT_EQ(parser.FixImages({"a"}, {"b"}), 0);
    EXPECT_EQ(parser.FixHrefs({"a"}, {}), -1);
}

TEST(PublicHeader, MovedParserKeepsDocumentAndSourceStartsAfresh) {
    kivoparse::Parser parser;
    parser.SetDocumentBase("/b/");
    parser.ParseHTML("<img src=/b/a.gif><a href=/b/p.htm>");
    kivoparse::Parser moved(std::move(parser));
    EXPECT_EQ(moved.GetImages(), Values{"a.gif"});
    EXPECT_EQ(moved.GetHrefs(), Values{"/b/p.htm"});
    EXPECT_EQ(parser.GetHTML(), "");  // NOLINT(bugprone-use-after-move): documented behaviour
    parser.ParseHTML("<img src=/b/a.gif>");
    EXPECT_EQ(parser.GetImages(), Values{"/b/a.gif"});  // a fresh parser has no base
    parser = std::move(moved);
    EXPECT_EQ(parser.GetImages(), Values{"a.gif"});
}

}  // namespace
