// The tree a parse builds: which nodes the root holds, open or closed, with
// which children and properties; the 1000-byte collecting buffers; long
// names; NUL bytes inside the text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/CParsingEngine.h"
#include "tree/CNodeList.h"
#include "tree/CParseNode.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"

using namespace kivoparse;

namespace {

// A compact picture of a (small) subtree:
//   text run  T"data"     insert block  I"data"     comment  C"data"
//   tag       <NAME[ closed][ end] tTYPE[ name="value"| name| name{data}]>[ [children]]
// A property without "=" is its bare name, followed by {data} if it holds any.
std::string Shape(const CParseNode* node);

std::string ShapeList(const CNodeList* list) {
    std::string out;
    if (!list) return out;
    for (const CParseNode* node = list->GetFirst(); node; node = node->NextSibling()) {
        if (!out.empty()) out += ", ";
        out += Shape(node);
    }
    return out;
}

std::string Shape(const CParseNode* node) {
    switch (node->mType) {
        case KP_NODE_TEXT:
            if (node->Name() == "KIVO INSERT") return "I\"" + node->Data() + "\"";
            if (node->Name() == "TEXT NODE") return "T\"" + node->Data() + "\"";
            return "?" + node->Name() + "\"" + node->Data() + "\"";
        case KP_NODE_COMMENT:
            return "C\"" + node->Data() + "\"";
        case KP_NODE_TAG: {
            const auto* tag = static_cast<const CTagNode*>(node);
            std::string out = "<" + tag->Data();
            if (!tag->bOpen) out += " closed";
            if (tag->bEndTag) out += " end";
            out += " t" + std::to_string(tag->GetTagType());
            if (const CNodeList* properties = tag->Properties()) {
                for (const CParseNode* p = properties->GetFirst(); p; p = p->NextSibling()) {
                    const auto* property = static_cast<const CPropertyNode*>(p);
                    out += " " + property->Name();
                    if (property->bHasValue)
                        out += "=\"" + property->Data() + "\"";
                    else if (!property->Data().empty())
                        out += "{" + property->Data() + "}";
                }
            }
            out += ">";
            if (tag->Children() && !tag->Children()->IsEmpty()) out += "[" + ShapeList(tag->Children()) + "]";
            return out;
        }
        default:
            return "?type" + std::to_string(node->mType);
    }
}

std::string RootShape(CParsingEngine& engine) {
    CParseNode* root = engine.GetRoot();
    if (!root) return "<no root>";
    return ShapeList(root->Children());
}

struct TreeCase {
    const char* input;
    const char* shape;
};

// The tree right after the parse, before anything else touches it.
const TreeCase kTreeCases[] = {
    {"", ""},
    {"abc", ""},
    {"<P class=a>x</P>", "<P closed end t0 class=\"a\">[T\"x\"]"},
    {"<B>x</B>", "<B closed end t10>[T\"x\"]"},
    {"<Q>x</Q>", "<Q closed end t0>[T\"x\"]"},
    {"<B>1<B>2</B>", "<B t10>, T\"1\", <B closed end t10>[T\"2\"]"},
    {"<B><I>x</B>", "<B closed end t10>[<I t0>, T\"x\"]"},
    {"<B><I>x</I></B>", "<B closed end t10>[<I closed end t0>[T\"x\"]]"},
    {"<B>1</B>2</B>", "<B closed end t10>[T\"1\"], T\"2\", </B t10>"},
    {"x</SPAN>", "T\"x\""},
    {"<b>x</span>", "<B t10>, T\"x\""},
    {"</B>", "</B t10>"},
    {"</b></b>", "</B closed end t10>"},
    {"</q></q>", "</Q t0>, </Q t0>"},
    {"</b>x</b>", "</B closed end t10>[T\"x\"]"},
    {"<BODY><BLOCKQUOTE>x</BODY>", "<BODY t18>, <BLOCKQUOTE closed end t18>[T\"x\"]"},
    {"<div><p>1</div><p>2", "<DIV closed end t0>[<P t0>, T\"1\"], <P t0>"},
    {"</b class=x>", "</B t10 class=\"x\">"},
    {"<b>y</b class=x>", "<B closed end t10>[T\"y\"]"},
    {"a<%b<P>", "T\"a<%b\", <P t0>"},
    {"<P><%<B>", "<P t0>, T\"<%\", <B t10>"},
    {"<|x|><%<P>", "I\"<|x|><%\", <P t0>"},
    {"<><P>", "T\"<>\", <P t0>"},
    {"<|abc|>", "I\"<|abc|>\""},
    {"< |abc| >", "I\"<|abc| >\""},
    {"<|a<|b<|c<|d|>|>|>|>", "T\"<|a\", I\"<|b<|c<|d|>|>|>\""},
    {"<|1<|2<|3<|4<P>", "T\"<|1<|2<|3<|4\", <P t0>"},
    {"<|<|<|<|x|>|>|>|><P>", "T\"<|\", I\"<|<|<|x|>|>|>\", T\"|>\", <P t0>"},
    {"<|x|><|abc<P>", "I\"<|x|><|abc\", <P t0>"},
    {"x<P><|abc", "T\"x\", <P t0>"},
    {"<IMG SRC=a.gif>", "<IMG t57 src=\"a.gif\">"},
    {"<img alt=x src=a.gif>", "<IMG t57 src=\"a.gif\" alt=\"x\">"},
    {"<input checked>", "<INPUT t58 checked>"},
    {"<input checked >", "<INPUT t58 checked>"},
    {"<a b=>", "<A t3 b=\"\">"},
    {"<a =x>", "<A t3 =\"x\">"},
    {"<a =>", "<A t3>"},
    {"<a =''>", "<A t3>"},
    {"<a b = 'c'>", "<A t3 b=\"c\">"},
    {"<td nowrap\r\n class=x>", "<TD t106 nowrap\r\n class=\"x\">"},
    {"<a b\r\nc=d>", "<A t3 b\r\nc=\"d\">"},
    {"<a href='x<|y' z|>w'>", "<A t3 href=\"x<|y' z|>w\">"},
    {"<a href=x<|y z|>w>", "<A t3 href=\"x<|y z|>w\">"},
    {"<style type>", "<STYLE t101 type{text/css}>"},
    {"<style>", "<STYLE t101 type=\"text/css\">"},
    {"</style>", "</STYLE t101 type=\"text/css\">"},
    {"<td align=middle>", "<TD t106 align=\"center\">"},
    {"<br\n>", "<BR\n t0>"},
    {"< b>", "< B t0>"},
    {"<!DOCTYPE html><P>", "T\"<!DOCTYPE html>\", <P t0>"},
    {"<|abc>", "<|ABC t0>"},
    {"<a b \nc=d>", "<A t3 b \nc=\"d\">"},
    {"<a b='<|x|><|y|>'>", "<A t3 b=\"<|x|><|y|>\">"},
};

class CoreTreeShape : public ::testing::TestWithParam<TreeCase> {};

TEST_P(CoreTreeShape, RootHoldsTheExpectedNodes) {
    const TreeCase& c = GetParam();
    SCOPED_TRACE(c.input);
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(c.input), 0);
    EXPECT_EQ(RootShape(engine), c.shape);
    CParseNode* root = engine.GetRoot();
    ASSERT_NE(root, nullptr);
    if (root->Children()) {
        EXPECT_TRUE(root->Children()->CheckLinks());
    }
}

INSTANTIATE_TEST_SUITE_P(Parse, CoreTreeShape, ::testing::ValuesIn(kTreeCases));

TEST(TreeAssembly, RootIsANodeNamedRootWithTypeOneAndNoData) {
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML("<P>"), 0);
    CParseNode* root = engine.GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->mType, 1);
    EXPECT_STREQ(root->GetName(), "ROOT");
    EXPECT_STREQ(root->GetData(), "");
    EXPECT_EQ(root->Engine(), &engine);
}

TEST(TreeAssembly, EmptyTextGivesARootWithoutChildren) {
    CParsingEngine engine;
    EXPECT_EQ(engine.ParseHTML(""), 0);
    EXPECT_EQ(engine.GetInputLength(), 0);
    ASSERT_NE(engine.GetRoot(), nullptr);
    CNodeList* children = engine.GetRoot()->Children();
    EXPECT_TRUE(children == nullptr || children->IsEmpty());
    EXPECT_EQ(engine.GetHTML(), "");
}

TEST(TreeAssembly, MatchedTagsAreClosedAndNodesLinkedInOrder) {
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML("<B>1<I>2</B>3<P>"), 0);
    CNodeList* top = engine.GetRoot()->Children();
    ASSERT_NE(top, nullptr);
    CParseNode* b = top->GetFirst();
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->mType, KP_NODE_TAG);
    auto* bTag = static_cast<CTagNode*>(b);
    EXPECT_STREQ(bTag->GetName(), "B");
    EXPECT_FALSE(bTag->IsOpen());
    EXPECT_TRUE(bTag->IsEndTag());
    EXPECT_EQ(bTag->GetTagType(), 10);
    EXPECT_EQ(bTag->Properties(), nullptr);
    ASSERT_NE(bTag->Children(), nullptr);
    CParseNode* one = bTag->Children()->GetFirst();
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->mType, KP_NODE_TEXT);
    EXPECT_STREQ(one->GetName(), "TEXT NODE");
    EXPECT_STREQ(one->GetData(), "1");
    CParseNode* i = one->NextSibling();
    ASSERT_NE(i, nullptr);
    EXPECT_STREQ(i->GetName(), "I");
    EXPECT_TRUE(i->IsOpen());
    EXPECT_EQ(i->Children(), nullptr);
    CParseNode* two = i->NextSibling();
    ASSERT_NE(two, nullptr);
    EXPECT_STREQ(two->GetData(), "2");
    EXPECT_EQ(two->NextSibling(), nullptr);
    EXPECT_TRUE(bTag->Children()->CheckLinks());

    CParseNode* three = b->NextSibling();
    ASSERT_NE(three, nullptr);
    EXPECT_STREQ(three->GetData(), "3");
    CParseNode* p = three->NextSibling();
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->GetName(), "P");
    EXPECT_EQ(p->NextSibling(), nullptr);
    EXPECT_TRUE(top->CheckLinks());
    EXPECT_EQ(engine.GetHTML(), "<B>1<I>2</B>3<P>");
}

TEST(TreeAssembly, NodesMadeByTheEngineKnowTheirEngine) {
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML("x<A href=y>"), 0);
    CParseNode* text = engine.GetRoot()->Children()->GetFirst();
    CParseNode* tag = text->NextSibling();
    EXPECT_EQ(text->Engine(), &engine);
    EXPECT_EQ(tag->Engine(), &engine);
    EXPECT_EQ(static_cast<CTagNode*>(tag)->Properties()->GetFirst()->Engine(), &engine);
}

TEST(TreeAssembly, AttributesAreNotChildren) {
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML("<A href=x title=y>"), 0);
    auto* tag = static_cast<CTagNode*>(engine.GetRoot()->Children()->GetFirst());
    EXPECT_EQ(tag->Children(), nullptr);
    ASSERT_NE(tag->Properties(), nullptr);
    CParseNode* href = tag->Properties()->GetFirst();
    EXPECT_EQ(href->mType, KP_NODE_PROPERTY);
    EXPECT_STREQ(href->GetName(), "href");
    EXPECT_STREQ(href->GetData(), "x");
    EXPECT_TRUE(static_cast<CPropertyNode*>(href)->bHasValue);
    EXPECT_STREQ(href->NextSibling()->GetName(), "title");
}

// ---------------------------------------------------------------------------
// The collecting buffers hand on 1000-byte blocks; nothing is lost at the seams.

TEST(CollectingBuffers, LongTextWithoutMarkupNeverReachesTheTree) {
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(std::string(2500, 't')), 0);
    CNodeList* children = engine.GetRoot()->Children();
    EXPECT_TRUE(children == nullptr || children->IsEmpty());
    EXPECT_EQ(engine.GetHTML(), "");
    EXPECT_EQ(engine.GetInputLength(), 2500);
}

std::string Pattern(std::size_t length, char first, int span) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out += static_cast<char>(first + static_cast<int>(i % span));
    return out;
}

TEST(CollectingBuffers, TextOfAnyLengthIsKeptWhole) {
    for (std::size_t length : {999u, 1000u, 1001u, 1999u, 2000u, 2001u, 2500u}) {
        SCOPED_TRACE(length);
        const std::string text = Pattern(length, 'a', 26);
        CParsingEngine engine;
        ASSERT_EQ(engine.ParseHTML(text + "<P>"), 0);
        CParseNode* node = engine.GetRoot()->Children()->GetFirst();
        EXPECT_EQ(node->Data(), text);
        EXPECT_EQ(engine.GetHTML(), text + "<P>");
    }
}

TEST(CollectingBuffers, LongTagNamesAreUpperCasedWhole) {
    for (std::size_t length : {999u, 1000u, 1001u, 2500u}) {
        SCOPED_TRACE(length);
        const std::string name = Pattern(length, 'a', 26);
        const std::string upper = Pattern(length, 'A', 26);
        CParsingEngine engine;
        ASSERT_EQ(engine.ParseHTML("<" + name + ">x</" + name + ">"), 0);
        EXPECT_EQ(engine.GetHTML(), "<" + upper + ">x</" + upper + ">");
        // A long name with attributes after it.
        CParsingEngine withAttribute;
        ASSERT_EQ(withAttribute.ParseHTML("<" + name + " k=v>"), 0);
        EXPECT_EQ(withAttribute.GetHTML(), "<" + upper + " k=\"v\">");
    }
}

TEST(CollectingBuffers, LongAttributeNamesStayWholeAndLowerCasedInTheName) {
    for (std::size_t length : {999u, 1000u, 1001u, 1999u, 2000u, 2500u}) {
        SCOPED_TRACE(length);
        const std::string written = Pattern(length, 'A', 26);
        const std::string lower = Pattern(length, 'a', 26);
        {
            CParsingEngine engine;
            ASSERT_EQ(engine.ParseHTML("<a " + written + "=v>"), 0);
            auto* tag = static_cast<CTagNode*>(engine.GetRoot()->Children()->GetFirst());
            CParseNode* property = tag->Properties()->GetFirst();
            EXPECT_EQ(property->Name(), lower);
            EXPECT_EQ(property->Data(), "v");
            EXPECT_EQ(engine.GetHTML(), "<A " + lower + "=\"v\">");
        }
        {
            CParsingEngine engine;  // ended by ">" with no value
            ASSERT_EQ(engine.ParseHTML("<a " + written + ">"), 0);
            auto* tag = static_cast<CTagNode*>(engine.GetRoot()->Children()->GetFirst());
            auto* property = static_cast<CPropertyNode*>(tag->Properties()->GetFirst());
            EXPECT_EQ(property->Name(), lower);
            EXPECT_EQ(property->Data(), "");
            EXPECT_FALSE(property->bHasValue);
            EXPECT_EQ(engine.GetHTML(), "<A " + lower + ">");
        }
        {
            CParsingEngine engine;  // ended by a space, then another attribute
            ASSERT_EQ(engine.ParseHTML("<a " + written + " b='c'>"), 0);
            EXPECT_EQ(engine.GetHTML(), "<A " + lower + " b=\"c\">");
        }
    }
}

TEST(CollectingBuffers, LongValuesAndInsertBlocksAreKeptWhole) {
    for (std::size_t length : {999u, 1000u, 1001u, 2500u}) {
        SCOPED_TRACE(length);
        const std::string value = Pattern(length, 'a', 26);
        CParsingEngine quoted;
        ASSERT_EQ(quoted.ParseHTML("<a b='" + value + "'>"), 0);
        EXPECT_EQ(quoted.GetHTML(), "<A b=\"" + value + "\">");
        CParsingEngine unquoted;
        ASSERT_EQ(unquoted.ParseHTML("<a b=" + value + ">"), 0);
        EXPECT_EQ(unquoted.GetHTML(), "<A b=\"" + value + "\">");
        CParsingEngine insert;
        ASSERT_EQ(insert.ParseHTML("<|" + value + "|>"), 0);
        EXPECT_EQ(insert.GetHTML(), "<|" + value + "|>");
        CParsingEngine valueInsert;
        ASSERT_EQ(valueInsert.ParseHTML("<a b='" + value + "<|" + value + "|>" + value + "'>"), 0);
        EXPECT_EQ(valueInsert.GetHTML(), "<A b=\"" + value + "<|" + value + "|>" + value + "\">");
    }
}

// ---------------------------------------------------------------------------
// NUL bytes inside the text are ordinary bytes; GetData and GetName stop at
// the first one, the writer writes stored bytes whole.

TEST(NulBytes, TextKeepsThemAndGetDataStopsAtTheFirst) {
    const std::string input("a\0b<P>", 6);
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(input), 0);
    EXPECT_EQ(engine.GetInputLength(), 6);
    CParseNode* text = engine.GetRoot()->Children()->GetFirst();
    EXPECT_EQ(text->Data(), std::string("a\0b", 3));
    EXPECT_EQ(text->GetDataLength(), 3u);
    EXPECT_STREQ(text->GetData(), "a");
    EXPECT_EQ(engine.GetHTML(), input);
}

TEST(NulBytes, AttributeValuesKeepThem) {
    const std::string input("<img src='a\0b' alt=\0>", 21);
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(input), 0);
    auto* tag = static_cast<CTagNode*>(engine.GetRoot()->Children()->GetFirst());
    CParseNode* src = tag->Properties()->GetFirst();
    EXPECT_EQ(src->Data(), std::string("a\0b", 3));
    EXPECT_STREQ(src->GetData(), "a");
    EXPECT_EQ(src->NextSibling()->Data(), std::string(1, '\0'));
    EXPECT_EQ(engine.GetHTML(), std::string("<IMG src=\"a\0b\" alt=\"\0\">", 23));
}

TEST(NulBytes, InsertBlocksKeepThem) {
    const std::string input("<|\0|\0>|>", 8);
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(input), 0);
    EXPECT_EQ(engine.GetHTML(), input);
}

TEST(NulBytes, ANulInATagNameMakesTheTagText) {
    const std::string input("<a\0b><P>", 8);
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(input), 0);
    EXPECT_EQ(engine.GetRoot()->Children()->GetFirst()->Data(), std::string("<a\0b>", 5));
    EXPECT_EQ(engine.GetHTML(), input);
}

TEST(NulBytes, AnInputOfNulsAloneGivesNothing) {
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML(std::string(3000, '\0')), 0);
    EXPECT_EQ(engine.GetHTML(), "");
    EXPECT_EQ(engine.GetInputLength(), 3000);
}

// ---------------------------------------------------------------------------
// The engine's own small operations.

TEST(EngineOperations, NameBytesAreDigitsLettersDashSlashSpaceLineFeedAndReturn) {
    std::string names;
    for (int c = 0; c < 256; ++c)
        if (CParsingEngine::IsNameByte(static_cast<unsigned char>(c))) names += static_cast<char>(c);
    EXPECT_EQ(names, "\n\r -/0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
}

TEST(EngineOperations, DocumentBaseIsReadWhileTheTreeIsBuilt) {
    CParsingEngine engine;
    engine.SetDocumentBase("/b/");
    ASSERT_EQ(engine.ParseHTML("<img src=/b/x.gif>"), 0);
    engine.SetDocumentBase("");  // too late for this tree
    EXPECT_EQ(engine.GetHTML(), "<IMG src=\"x.gif\">");
}

TEST(EngineOperations, GetHtmlCanBeCalledRepeatedly) {
    CParsingEngine engine;
    ASSERT_EQ(engine.ParseHTML("<B><I>x</B><|y|><P a=b c>"), 0);
    const std::string first = engine.GetHTML();
    EXPECT_EQ(first, "<B><I>x</B><|y|><P a=\"b\" c>");
    EXPECT_EQ(engine.GetHTML(), first);
    EXPECT_EQ(engine.GetHTML(), first);
}

}  // namespace
