// A million levels of nesting, once for each operation on the tree: parse,
// write and destroy; collect and rewrite. None may recurse once per level.
#include "TestSupport.h"
#include "kivoparse/kivoparse.h"

using kivoparse_test::Repeat;

namespace {

constexpr std::size_t kMillion = 1000000;

// Every end tag closes its level only if every level nests in the one before.
TEST(MillionLevels, ParseWriteAndDestroy) {
    kivoparse::Parser parser;
    ASSERT_EQ(parser.ParseHTML(Repeat("<b>", kMillion) + Repeat("</b>", kMillion)), 0);
    EXPECT_TRUE(parser.GetHTML() == Repeat("<B>", kMillion) + Repeat("</B>", kMillion));
}

// Every thousandth level carries a background: a thousand values, in order.
TEST(MillionLevels, CollectAndRewrite) {
    std::vector<std::string> values, renamed;
    std::string input;
    for (std::size_t i = 0; i < kMillion; ++i) {
        if (i % 1000 != 0) {
            input += "<i>";
            continue;
        }
        values.push_back("v" + std::to_string(i));
        renamed.push_back("r" + std::to_string(i));
        input += "<i background=" + values.back() + ">";
    }
    kivoparse::Parser parser;
    ASSERT_EQ(parser.ParseHTML(input + Repeat("</i>", kMillion)), 0);
    EXPECT_EQ(parser.GetImages(), values);
    ASSERT_EQ(parser.FixImages(values, renamed), 0);
    EXPECT_EQ(parser.GetImages(), renamed);
}

}  // namespace
