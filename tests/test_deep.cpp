// A million levels of nesting, once for each operation on the tree: parse
// (and destroy), write, collect, rewrite. None may recurse once per level.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "engine/CParsingEngine.h"
#include "tree/CNodeList.h"

using namespace kivoparse;
using kivoparse_test::Repeat;

namespace {

constexpr std::size_t kMillion = 1000000;

TEST(MillionLevels, ParseNestsEveryLevelAndDestroys) {
    auto engine = std::make_unique<CParsingEngine>();
    ASSERT_EQ(engine->ParseHTML(Repeat("<b>", kMillion) + Repeat("</b>", kMillion)), 0);
    std::size_t depth = 0;
    for (CNodeList* list = engine->GetRoot()->Children(); list && list->GetFirst(); list = list->GetFirst()->Children()) {
        ASSERT_EQ(list->GetFirst(), list->GetLast());
        ++depth;
    }
    EXPECT_EQ(depth, kMillion);
    engine.reset();
}

TEST(MillionLevels, Write) {
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(Repeat("<b>", kMillion) + Repeat("</b>", kMillion)), 0);
    EXPECT_TRUE(engine.GetHTML() == Repeat("<B>", kMillion) + Repeat("</B>", kMillion));
}

// Every thousandth level carries a background: a thousand values, in order.
std::string DeepDocumentWithImages(std::vector<std::string>& values) {
    std::string input;
    for (std::size_t i = 0; i < kMillion; ++i) {
        if (i % 1000 != 0) {
            input += "<i>";
            continue;
        }
        values.push_back("v" + std::to_string(i));
        input += "<i background=" + values.back() + ">";
    }
    return input + Repeat("</i>", kMillion);
}

TEST(MillionLevels, Collect) {
    std::vector<std::string> values;
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(DeepDocumentWithImages(values)), 0);
    EXPECT_EQ(engine.GetImages(), values);
}

TEST(MillionLevels, Rewrite) {
    std::vector<std::string> values, renamed;
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(DeepDocumentWithImages(values)), 0);
    for (std::size_t i = 0; i < values.size(); ++i) renamed.push_back("r" + std::to_string(i));
    ASSERT_EQ(engine.FixImages(values, renamed), 0);
    EXPECT_EQ(engine.GetImages(), renamed);
}

}  // namespace
