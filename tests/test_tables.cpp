// The tables of cases under tests/data: round trips (both modes), whole
// traces, the tree a parse builds, and image and link collection and
// rewriting. A new case is a few lines of data.
#include <algorithm>
#include <cstdio>

#include "TestSupport.h"
#include "engine/CParsingEngine.h"
#include "kivoparse/kivoparse.h"
#include "output/TreeWriter.h"
#include "tree/CNodeList.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"

using namespace kivoparse;
using namespace kivoparse_test;

namespace {

// Fast mode must write the expected HTML; so must literal mode, which reads
// long inputs too slowly to be tried on them.
class RoundTrip : public ::testing::TestWithParam<SCase> {};
TEST_P(RoundTrip, WritesTheExpectedHtmlInBothModes) {
    const SCase& c = GetParam();
    if (c.Has("disabled")) GTEST_SKIP() << c["disabled"];
    const std::string input = c["in"];
    CParsingEngine fast, literal;
    fast.SetDocumentBase(c["base"]);
    literal.SetDocumentBase(c["base"]);
    ASSERT_EQ(fast.ParseHTML(input), 0);
    EXPECT_EQ(fast.GetInputLength(), static_cast<std::int32_t>(input.size()));
    const std::string html = fast.GetHTML();
    EXPECT_TRUE(html == c["out"]) << "fast mode wrote " << ::testing::PrintToString(html.substr(0, 200));
    EXPECT_TRUE(fast.GetHTML() == html) << "a second write differs";
    if (input.size() <= 5000) {
        literal.SetLiteral(true);
        ASSERT_EQ(literal.ParseHTML(input), 0);
        EXPECT_EQ(literal.GetHTML(), c["out"]) << "in literal mode";
    }
    ExpectCollectAndRewriteAgree(fast);
}
INSTANTIATE_TEST_SUITE_P(Data, RoundTrip,
                         ::testing::ValuesIn(LoadCases({"core/roundtrip.txt", "core/roundtrip-more.txt",
                                                        "core/long-runs.txt"}, "out")), CaseName);

// Each trace file: "in: text", optionally "raw-text: on" (the parse's
// raw-text setting), "---", then the log's exact content.
std::vector<SCase> Traces() {
    std::vector<SCase> cases;
    for (const auto& entry : fs::directory_iterator(fs::path(KIVOPARSE_TEST_DATA) / "core" / "traces")) {
        const std::string text = ReadFile(entry.path());
        const std::size_t in = text.find("\nin: ") + 5, rule = text.find("\n---\n");
        if (in < 5 || rule == std::string::npos) throw std::runtime_error("bad " + entry.path().string());
        const bool rawText = text.substr(0, rule + 1).find("\nraw-text: on\n") != std::string::npos;
        cases.push_back({entry.path().stem().string(),
                         {{"in", text.substr(in, text.find('\n', in) - in)},
                          {"log", text.substr(rule + 5)},
                          {"raw-text", rawText ? "on" : "off"}}});
    }
    std::sort(cases.begin(), cases.end(), [](const SCase& a, const SCase& b) { return a.mWhere < b.mWhere; });
    return cases;
}

class Trace : public ::testing::TestWithParam<SCase> {};
TEST_P(Trace, LogHoldsExactlyTheExpectedLines) {
    const SCase& c = GetParam();
    const fs::path log = TempPath("trace");
    Parser traced, fast;
    traced.SetRawText(c["raw-text"] == "on");
    fast.SetRawText(c["raw-text"] == "on");
    traced.SetLogFile(log.string());
    ASSERT_EQ(traced.ParseHTML(c["in"]), 0);
    EXPECT_EQ(ReadLog(log), c.mFields.at("log"));
    ASSERT_EQ(fast.ParseHTML(c["in"]), 0);
    EXPECT_EQ(fast.GetHTML(), traced.GetHTML());
}
INSTANTIATE_TEST_SUITE_P(Data, Trace, ::testing::ValuesIn(Traces()), CaseName);

// A compact picture of a small tree, see tests/data/core/trees.txt.
std::string Shape(const CNodeList* list) {
    using std::string;
    std::string out;
    if (list && !list->CheckLinks()) out = "!badlinks ";
    for (const CParseNode* node = list ? list->GetFirst() : nullptr; node; node = node->NextSibling()) {
        out += out.empty() || out == "!badlinks " ? "" : ", ";
        if (node->mType != KP_NODE_TAG) {
            out += (node->Name() == "KIVO INSERT" ? "I\"" : node->Name() == "TEXT NODE" ? "T\"" : "?\"") +
                   string(node->Data()) + "\"";
            continue;
        }
        const auto* tag = static_cast<const CTagNode*>(node);
        out += "<" + string(tag->Data()) + (tag->bOpen ? "" : " closed") + (tag->bEndTag ? " end" : "");
        for (const CParseNode* p = tag->Properties() ? tag->Properties()->GetFirst() : nullptr; p;
             p = p->NextSibling()) {
            const auto* property = static_cast<const CPropertyNode*>(p);
            const string value(property->Data());
            out += " " + string(property->Name()) +
                   (property->bHasValue ? "=\"" + value + "\"" : value.empty() ? "" : "{" + value + "}");
        }
        out += ">";
        if (tag->Children() && !tag->Children()->IsEmpty()) out += "[" + Shape(tag->Children()) + "]";
    }
    return out;
}

std::string Dumped(CParseNode& node) {
    std::FILE* file = std::tmpfile();
    if (!file) return "<no tmpfile>";
    DumpTree(node, file);
    std::rewind(file);
    std::string out;
    for (int c; (c = std::fgetc(file)) != EOF;) out += static_cast<char>(c);
    std::fclose(file);
    return out;
}

class Tree : public ::testing::TestWithParam<SCase> {};
TEST_P(Tree, RootHoldsTheExpectedNodes) {
    const SCase& c = GetParam();
    for (bool literal : {false, true}) {
        CParsingEngine engine;
        engine.SetLiteral(literal);
        ASSERT_EQ(engine.ParseHTML(c["in"]), 0);
        EXPECT_EQ(Shape(engine.GetRoot()->Children()), c["tree"]) << (literal ? "in literal mode" : "");
        EXPECT_EQ(Dumped(*engine.GetRoot()), c.Has("dump") ? c["dump"] : engine.GetHTML());
    }
}
INSTANTIATE_TEST_SUITE_P(Data, Tree, ::testing::ValuesIn(LoadCases({"core/trees.txt"}, "tree")), CaseName);

// Collection: what GetImages and GetHrefs list after a parse (twice).
class Collect : public ::testing::TestWithParam<SCase> {};
TEST_P(Collect, ListsFirstOccurrencesInPassOrder) {
    const SCase& c = GetParam();
    Parser parser;
    parser.SetDocumentBase(c["base"]);
    ASSERT_EQ(parser.ParseHTML(c["in"]), 0);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(parser.GetImages(), c.List("images"));
        EXPECT_EQ(parser.GetHrefs(), c.List("hrefs"));
    }
    if (c.Has("out")) {
        EXPECT_EQ(parser.GetHTML(), c["out"]);
    }
}
INSTANTIATE_TEST_SUITE_P(Data, Collect, ::testing::ValuesIn(LoadCases({"links/collect.txt"}, "hrefs")), CaseName);

// Rewriting: "fix: images" or "fix: hrefs" from src to dest, the result,
// the HTML, and optionally the lists collected afterwards.
class Rewrite : public ::testing::TestWithParam<SCase> {};
TEST_P(Rewrite, RewritesWholeMatchingValues) {
    const SCase& c = GetParam();
    Parser parser;
    parser.SetDocumentBase(c["base"]);
    ASSERT_EQ(parser.ParseHTML(c["in"]), 0);
    const std::vector<std::string> images = parser.GetImages(), hrefs = parser.GetHrefs();
    const bool onImages = c["fix"] == "images";
    const int result = onImages ? parser.FixImages(c.List("src"), c.List("dest"))
                                : parser.FixHrefs(c.List("src"), c.List("dest"));
    EXPECT_EQ(std::to_string(result), c.Has("result") ? c["result"] : "0");
    EXPECT_EQ(parser.GetHTML(), c["out"]);
    Parser prepared;  // the same pairs as a map made once
    prepared.SetDocumentBase(c["base"]);
    prepared.ParseHTML(c["in"]);
    const kivoparse::UrlMap map(c.List("src"), c.List("dest"));
    EXPECT_EQ(onImages ? prepared.FixImages(map) : prepared.FixHrefs(map), result);
    EXPECT_EQ(prepared.GetHTML(), c["out"]);
    // A refused call changes nothing that collection sees.
    if (c.Has("images") || result != 0) {
        EXPECT_EQ(parser.GetImages(), c.Has("images") ? c.List("images") : images);
    }
    if (c.Has("hrefs") || result != 0) {
        EXPECT_EQ(parser.GetHrefs(), c.Has("hrefs") ? c.List("hrefs") : hrefs);
    }
}
INSTANTIATE_TEST_SUITE_P(Data, Rewrite, ::testing::ValuesIn(LoadCases({"links/rewrite.txt"}, "out")), CaseName);

}  // namespace

namespace {

// Parses with the raw-text setting: the tree and the HTML in both modes, the
// same through the public Parser, and, when given, the default parse's HTML.
class RawText : public ::testing::TestWithParam<SCase> {};
TEST_P(RawText, ContentIsTextUpToTheEndTag) {
    const SCase& c = GetParam();
    for (bool literal : {false, true}) {
        CParsingEngine engine;
        engine.SetLiteral(literal);
        engine.SetRawText(true);
        ASSERT_EQ(engine.ParseHTML(c["in"]), 0);
        EXPECT_EQ(Shape(engine.GetRoot()->Children()), c["tree"]) << (literal ? "in literal mode" : "");
        EXPECT_EQ(engine.GetHTML(), c["out"]) << (literal ? "in literal mode" : "");
    }
    Parser parser;
    parser.SetRawText(true);
    ASSERT_EQ(parser.ParseHTML(c["in"]), 0);
    const std::string html = parser.GetHTML();
    EXPECT_EQ(html, c["out"]);
    // What is written reads back as the same text.
    ASSERT_EQ(parser.ParseHTML(html), 0);
    EXPECT_EQ(parser.GetHTML(), html) << "written HTML does not read back as itself";
    if (c.Has("default")) {
        Parser plain;
        ASSERT_EQ(plain.ParseHTML(c["in"]), 0);
        EXPECT_EQ(plain.GetHTML(), c["default"]);
    }
}
INSTANTIATE_TEST_SUITE_P(Data, RawText, ::testing::ValuesIn(LoadCases({"core/raw-text.txt"}, "out")), CaseName);

}  // namespace
