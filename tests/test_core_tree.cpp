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

// A compact picture of a (small) subtree, which also shows badly linked
// lists ("!badlinks") and non-properties among the properties:
//   text run  T"data"     insert block  I"data"     comment  C"data"
//   tag       <NAME[ closed][ end] tTYPE[ name="value"| name| name{data}]>[ [children]]
// A property without "=" is its bare name, followed by {data} if it holds any.
std::string Shape(const CParseNode* node);

std::string ShapeList(const CNodeList* list) {
    std::string out;
    if (!list) return out;
    if (!list->CheckLinks()) out = "!badlinks ";
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
                if (!properties->CheckLinks()) out += " !badlinks";
                for (const CParseNode* p = properties->GetFirst(); p; p = p->NextSibling()) {
                    if (p->mType != KP_NODE_PROPERTY) out += " ?notproperty";
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

struct TreeCase {
    std::string input;
    std::string shape;
};

using namespace std::string_literals;

// The tree right after the parse, before anything else touches it.
const TreeCase kTreeCases[] = {
    {"", ""},
    {"abc", ""},
    {"<P class=a>x</P>", "<P closed end t0 class=\"a\">[T\"x\"]"},
    {"<B>x</B>", "<B closed end t10>[T\"x\"]"},
    {"<Q>x</Q>", "<Q closed end t0>[T\"x\"]"},
    {"<B>1<B>2</B>", "<B t10>, T\"1\", <B closed end t10>[T\"2\"]"},
    {"<B><I>x</B>", "<B closed end t10>[<I t0>, T\"x\"]"},
    {"<B>1<I>2</B>3<P>", "<B closed end t10>[T\"1\", <I t0>, T\"2\"], T\"3\", <P t0>"},
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
    {"x<A href=y title=z>", "T\"x\", <A t3 href=\"y\" title=\"z\">"},
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
    // NUL bytes are ordinary bytes of text and values; in a tag name they
    // make the tag text.
    {"a\0b<P>"s, "T\"a\0b\", <P t0>"s},
    {"<img src='a\0b' alt=\0>"s, "<IMG t57 src=\"a\0b\" alt=\"\0\">"s},
    {"<|\0|\0>|>"s, "I\"<|\0|\0>|>\""s},
    {"<a\0b><P>"s, "T\"<a\0b>\", <P t0>"s},
};

TEST(TreeAssembly, RootHoldsTheExpectedNodes) {
    for (const TreeCase& c : kTreeCases) {
        SCOPED_TRACE(c.input);
        CParsingEngine engine;
        ASSERT_EQ(engine.ParseHTML(c.input), 0);
        CParseNode* root = engine.GetRoot();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(ShapeList(root->Children()), c.shape);
        EXPECT_STREQ(root->GetName(), "ROOT");
        EXPECT_STREQ(root->GetData(), "");
        EXPECT_EQ(root->Engine(), &engine);
    }
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

// ---------------------------------------------------------------------------
// The collecting buffers hand on 1000-byte blocks; nothing is lost at the
// seams. In these templates "@" stands for a long run of lower-case letters
// and "#" for the same run upper-cased.

std::string Pattern(std::size_t length, char first) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out += static_cast<char>(first + static_cast<int>(i % 26));
    return out;
}

std::string Expand(const std::string& pattern, std::size_t length) {
    std::string out;
    for (char c : pattern) {
        if (c == '@') out += Pattern(length, 'a');
        else if (c == '#') out += Pattern(length, 'A');
        else out += c;
    }
    return out;
}

TEST(CollectingBuffers, LongTextNamesValuesAndInsertsAreKeptWhole) {
    const struct {
        const char* input;
        const char* html;
    } cases[] = {
        {"@", ""},  // text without markup never reaches the tree
        {"@<P>", "@<P>"},
        {"<@>x</@>", "<#>x</#>"},
        {"<@ k=v>", "<# k=\"v\">"},
        {"<a #=v>", "<A @=\"v\">"},
        {"<a #>", "<A @>"},
        {"<a # b='c'>", "<A @ b=\"c\">"},
        {"<a b='@'>", "<A b=\"@\">"},
        {"<a b=@>", "<A b=\"@\">"},
        {"<|@|>", "<|@|>"},
        {"<a b='@<|#|>@'>", "<A b=\"@<|#|>@\">"},
    };
    for (const auto& c : cases) {
        for (std::size_t length : {999u, 1000u, 1001u, 1999u, 2000u, 2001u, 2500u}) {
            SCOPED_TRACE(std::string(c.input) + " with runs of " + std::to_string(length));
            const std::string input = Expand(c.input, length);
            CParsingEngine engine;
            ASSERT_EQ(engine.ParseHTML(input), 0);
            EXPECT_EQ(engine.GetInputLength(), static_cast<std::int32_t>(input.size()));
            EXPECT_TRUE(engine.GetHTML() == Expand(c.html, length));
        }
    }
    CParsingEngine nuls;
    ASSERT_EQ(nuls.ParseHTML(std::string(3000, '\0')), 0);
    EXPECT_EQ(nuls.GetHTML(), "");
    EXPECT_EQ(nuls.GetInputLength(), 3000);
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

}  // namespace
