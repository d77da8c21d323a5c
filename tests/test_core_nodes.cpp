// The node model on its own: list primitives, the node classes' data
// operations, classification and the element rules on hand-built tags, the
// writer and the dump on hand-built trees, and teardown of deep trees.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tree/CNodeList.h"
#include "tree/CParseNode.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/CTextNode.h"
#include "tree/ReplaceAll.h"

using namespace kivoparse;

namespace {

std::unique_ptr<CParseNode> Named(const std::string& name) {
    auto node = std::make_unique<CTextNode>();
    node->SetName(name);
    return node;
}

std::unique_ptr<CTextNode> Text(const std::string& data) {
    auto node = std::make_unique<CTextNode>();
    node->SetName("TEXT NODE");
    node->SetData(data.data(), static_cast<unsigned int>(data.size()));
    return node;
}

std::unique_ptr<CTagNode> Tag(const std::string& name) {
    auto tag = std::make_unique<CTagNode>();
    tag->SetData(name.data(), static_cast<unsigned int>(name.size()));
    return tag;
}

std::unique_ptr<CPropertyNode> Property(const std::string& name, const std::string& value, bool hasValue = true) {
    auto property = std::make_unique<CPropertyNode>();
    property->SetName(name);
    property->SetData(value.data(), static_cast<unsigned int>(value.size()));
    property->bHasValue = hasValue;
    return property;
}

// The names of a list's nodes, first to last; checks on the way that the
// back links give the same nodes in reverse and that the ends are clear.
std::string Names(const CNodeList& list) {
    std::vector<std::string> forward;
    for (CParseNode* node = list.GetFirst(); node; node = node->NextSibling()) forward.push_back(node->Name());
    std::vector<std::string> backward;
    for (CParseNode* node = list.GetLast(); node; node = node->PrevSibling()) backward.insert(backward.begin(), node->Name());
    EXPECT_EQ(forward, backward) << "back links disagree with forward links";
    EXPECT_TRUE(list.CheckLinks());
    EXPECT_EQ(list.GetFirst() == nullptr, list.GetLast() == nullptr);
    std::string out;
    for (const std::string& name : forward) out += (out.empty() ? "" : ",") + name;
    return out;
}

std::string Written(CParseNode& node) {
    std::string out;
    node.WriteHTML(out);
    return out;
}

std::string Dumped(CParseNode& node) {
    std::FILE* file = std::tmpfile();
    if (!file) return "<tmpfile failed>";
    node.Dump(file);
    std::fflush(file);
    std::rewind(file);
    std::string out;
    char chunk[256];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.append(chunk, got);
    std::fclose(file);
    return out;
}

// ---------------------------------------------------------------------------
// Lists

// A script of list operations on an empty list, separated by spaces:
//   <x  attach a node named x at the front      >x  attach x at the end
//   -L  RemoveLast    -1 / -2 / -$  Remove the first / second / last node
// Every removed node must come back unlinked; "taken" lists their names
// ("null" for a RemoveLast on an empty list).
struct ListCase {
    const char* script;
    const char* taken;
    const char* after;
};

TEST(NodeList, AttachAndRemoveKeepBothLinkDirectionsAndTheEnds) {
    const ListCase cases[] = {
        {"-L", "null", ""},
        {"-L >a", "null", "a"},
        {">a >b >c -L", "c", "a,b"},
        {">only -1", "only", ""},
        {">a >b >c -1", "a", "b,c"},
        {">a >b >c -2", "b", "a,c"},
        {">a >b >c -$", "c", "a,b"},
        {">old <new", "", "new,old"},
        {">old >new", "", "old,new"},
        {"<n", "", "n"},
        {"<c >d <b <a >e", "", "a,b,c,d,e"},
        {">a >b >c -2 -L >x <y -1 -1", "b,c,y,a", "x"},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.script);
        CNodeList list;
        std::string taken;
        std::istringstream words(c.script);
        for (std::string op; words >> op;) {
            if (op[0] == '<' || op[0] == '>') {
                auto node = Named(op.substr(1));
                CParseNode* raw = node.get();
                list.AddChild(std::move(node), op[0] == '>');
                EXPECT_EQ(raw->mParent, nullptr) << "a list does not set the parent";
                continue;
            }
            std::unique_ptr<CParseNode> node;
            if (op == "-L") {
                node = list.RemoveLast();
            } else {
                CParseNode* target = op == "-$" ? list.GetLast() : list.GetFirst();
                if (op == "-2") target = target->NextSibling();
                node = list.Remove(target);
                EXPECT_EQ(node.get(), target);
            }
            taken += (taken.empty() ? "" : ",") + (node ? node->Name() : std::string("null"));
            if (node) {
                EXPECT_EQ(node->PrevSibling(), nullptr);
                EXPECT_EQ(node->NextSibling(), nullptr);
            }
        }
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(Names(list), c.after);
    }
}

TEST(NodeList, RemovedNodeCanJoinAnotherList) {
    CNodeList from;
    from.AddChild(Named("a"), true);
    from.AddChild(Named("b"), true);
    CNodeList to;
    to.AddChild(Named("x"), true);
    to.AddChild(from.Remove(from.GetFirst()), false);
    EXPECT_EQ(Names(from), "b");
    EXPECT_EQ(Names(to), "a,x");
}

TEST(NodeList, CursorWalksOnceUntilResetAndFindByNameLeavesItAlone) {
    CNodeList empty;
    empty.Reset();
    EXPECT_EQ(empty.Next(), nullptr);
    EXPECT_EQ(empty.FindByName(""), nullptr);

    CNodeList list;
    for (const char* name : {"a", "b", "c"}) list.AddChild(Named(name), true);
    list.Reset();
    EXPECT_EQ(list.Next()->Name(), "a");
    EXPECT_EQ(list.FindByName("c"), list.GetLast());
    EXPECT_EQ(list.Next()->Name(), "b");
    EXPECT_EQ(list.Next()->Name(), "c");
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_EQ(list.Next(), nullptr);
    list.Reset();
    EXPECT_EQ(list.Next()->Name(), "a");
}

TEST(NodeList, FindByNameMatchesWholeNamesCaseSensitivelyNearestTheFront) {
    CNodeList list;
    for (const char* name : {"SRC", "srcset", "alt", "src", "src"}) list.AddChild(Named(name), true);
    const struct {
        const char* name;
        int index;  // -1: not found
    } cases[] = {{"src", 3}, {"sr", -1}, {"SRC", 0}, {"srcset", 1}, {"alt", 2}, {"", -1}, {"Src", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CParseNode* want = nullptr;
        if (c.index >= 0) {
            want = list.GetFirst();
            for (int i = 0; i < c.index; ++i) want = want->NextSibling();
        }
        EXPECT_EQ(list.FindByName(c.name), want);
    }
}

// ---------------------------------------------------------------------------
// Node classes

TEST(ParseNode, DataTakesExactlyTheGivenBytesAndGetDataStopsAtTheFirstNul) {
    CParseNode root;
    CPropertyNode property;
    CTagNode emptyTag;
    for (CParseNode* node : std::vector<CParseNode*>{&root, &property, &emptyTag}) {
        ASSERT_NE(node->GetData(), nullptr);
        ASSERT_NE(node->GetName(), nullptr);
        EXPECT_STREQ(node->GetData(), "");
        EXPECT_STREQ(node->GetName(), "");
    }
    CTextNode text;
    text.AppendData("abcdef", 2);
    text.AppendData("XYZ", 1);
    text.AppendData("", 0);
    EXPECT_EQ(text.Data(), "abX");
    text.SetData("hello", 4);
    EXPECT_EQ(text.Data(), "hell");
    text.SetData("a\0b", 3);
    EXPECT_EQ(text.GetDataLength(), 3u);
    EXPECT_EQ(text.Data(), std::string("a\0b", 3));
    EXPECT_STREQ(text.GetData(), "a");
}

TEST(TagNode, DataIsUpperCasedAsciiOnlyPieceByPieceAndIsItsName) {
    CTagNode tag;
    const char in[] = "td/!-09az`{@[AZ\x80\xe9\xff\0q";
    const char want[] = "TD/!-09AZ`{@[AZ\x80\xe9\xff\0Q";
    tag.AppendData(in, sizeof in - 1);
    EXPECT_EQ(tag.Data(), std::string(want, sizeof want - 1));
    tag.SetData("bl", 2);
    tag.AppendData("ockquote", 8);
    EXPECT_EQ(tag.Data(), "BLOCKQUOTE");
    tag.SetData("td-x", 2);
    EXPECT_EQ(tag.Data(), "TD");
    tag.SetName("ignored");
    EXPECT_STREQ(tag.GetName(), "TD");
}

TEST(TagNode, PropertiesGoToThePropertyListOtherNodesToTheChildren) {
    auto tag = Tag("A");
    auto href = Property("b", "2");
    CParseNode* rawHref = href.get();
    tag->AddChild(std::move(href), true);
    EXPECT_EQ(tag->Children(), nullptr);
    tag->AddChild(Property("c", "3"), true);
    tag->AddChild(Property("a", "1"), false);
    EXPECT_EQ(Names(*tag->Properties()), "a,b,c");
    EXPECT_EQ(rawHref->mParent, tag.get());

    auto text = Text("x");
    CParseNode* rawText = text.get();
    tag->AddChild(std::move(text), true);
    tag->AddChild(Text("0"), false);
    EXPECT_EQ(rawText->mParent, tag.get());
    EXPECT_EQ(Names(*tag->Properties()), "a,b,c");
    EXPECT_EQ(Written(*tag), "<A a=\"1\" b=\"2\" c=\"3\">0x");
}

TEST(ParseNode, ClearChildrenDestroysTheChildListAndAllBelow) {
    CParseNode root;
    auto tag = Tag("B");
    tag->AddChild(Property("p", "v"), true);
    tag->AddChild(Text("inner"), true);
    root.AddChild(std::move(tag), true);
    root.AddChild(Text("x"), true);
    root.AddChild(Text("0"), false);
    EXPECT_EQ(root.Children()->GetLast()->mParent, &root);
    EXPECT_EQ(Written(root), "0<B p=\"v\">innerx");
    root.ClearChildren();
    EXPECT_EQ(root.Children(), nullptr);
    root.ClearChildren();  // nothing left: harmless
    EXPECT_EQ(Written(root), "");
}

// ---------------------------------------------------------------------------
// Classification and element rules on hand-built tags

TEST(TagClassification, TheTagTableGivesEachKnownNameItsCode) {
    const struct {
        const char* name;
        int type;
        bool endTag;
    } cases[] = {
        {"!DOCTYPE", 2, false}, {"A", 3, false},       {"ABBR", 4, false},      {"ACRONYM", 5, false},
        {"ADDRESS", 6, false},  {"APPLET", 7, false},  {"AREA", 8, false},      {"AUDIOSCOPE", 9, false},
        {"B", 10, false},       {"BASE", 11, false},   {"BASEFONT", 12, false}, {"BDO", 13, false},
        {"BGSOUND", 14, false}, {"BIG", 15, false},    {"BLACKFACE", 16, false}, {"BLINK", 17, false},
        {"BLOCKQUOTE", 18, false}, {"BODY", 18, false}, {"BQ", 20, false},     {"BR", 21, false},
        {"BUTTON", 22, false},  {"!--", 29, false},    {"FONT", 41, false},     {"IMG", 57, false},
        {"INPUT", 58, false},   {"SPAN", 98, false},   {"STYLE", 101, false},   {"TD", 106, false},
        {"TR", 112, false},
        // Not in the table; an empty name is left alone.
        {"P", 0, false},        {"DIV", 0, false},     {"TABLE", 0, false},     {"HTML", 0, false},
        {"IMGX", 0, false},     {"IM", 0, false},      {"TH", 0, false},        {"T", 0, false},
        {"AB", 0, false},       {"BODYX", 0, false},   {"BLOCKQUOT", 0, false}, {"!DOCTYP", 0, false},
        {"!-", 0, false},       {" B", 0, false},      {"BR/", 0, false},       {"BR\n", 0, false},
        {"", 0, false},
        // End tags: the "/" is looked past and marks the tag.
        {"/IMG", 57, true},     {"/B", 10, true},      {"/BODY", 18, true},     {"/P", 0, true},
        {"/", 0, true},         {"//B", 0, true},      {"/SPAN", 98, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto tag = Tag(c.name);
        tag->ClassifyTag();
        EXPECT_EQ(tag->GetTagType(), c.type);
        EXPECT_EQ(tag->IsEndTag(), c.endTag);
    }
}

TEST(TagClassification, NeverResetsTheTypeNorClearsTheEndMark) {
    auto tag = Tag("/IMG");
    tag->ClassifyTag();
    ASSERT_EQ(tag->GetTagType(), 57);
    tag->SetData("P", 1);
    tag->ClassifyTag();
    EXPECT_EQ(tag->GetTagType(), 57);
    EXPECT_TRUE(tag->IsEndTag());
}

struct PropertySpec {
    const char* name;
    const char* value;
};

struct RuleCase {
    const char* tag;
    std::vector<PropertySpec> properties;
    const char* written;  // after Normalize, and again after a second pass
};

// The rules on parsed tags are round trips in tests/data/core/roundtrip.txt;
// these rows are what a parse cannot build (upper-case property names, two
// "src") or what the round trips lack, and every rule must hold on a second pass.
TEST(ElementRules, NormalizeAppliesEachTagsRuleOnceAndForAll) {
    const RuleCase cases[] = {
        // IMG: the first lower-case "src" moves to the front, the others keep their order.
        {"IMG", {{"a", "1"}, {"src", "s"}, {"b", "2"}, {"src", "t"}},
         "<IMG src=\"s\" a=\"1\" b=\"2\" src=\"t\">"},
        {"IMG", {{"alt", "1"}, {"SRC", "2"}}, "<IMG alt=\"1\" SRC=\"2\">"},
        // TD: align "middle" in any letter case becomes "center"; nothing else does.
        {"TD", {{"align", "middle"}}, "<TD align=\"center\">"},
        {"TD", {{"align", "middlex"}}, "<TD align=\"middlex\">"},
        {"TD", {{"align", " middle"}}, "<TD align=\" middle\">"},
        {"TD", {{"align", ""}}, "<TD align=\"\">"},
        {"TD", {{"ALIGN", "middle"}}, "<TD ALIGN=\"middle\">"},
        // STYLE: type="text/css" is added once.
        {"STYLE", {}, "<STYLE type=\"text/css\">"},
    };
    for (const RuleCase& c : cases) {
        auto tag = Tag(c.tag);
        for (const PropertySpec& p : c.properties) tag->AddChild(Property(p.name, p.value), true);
        tag->Normalize();
        SCOPED_TRACE(c.written);
        EXPECT_EQ(Written(*tag), c.written);
        if (tag->Properties()) {
            EXPECT_TRUE(tag->Properties()->CheckLinks());
        }
        tag->Normalize();
        tag->ApplyPropertyRules();
        EXPECT_EQ(Written(*tag), c.written) << "a second pass changed the tag";
    }
}

TEST(ElementRules, AnImgWithAnEmptiedPropertyListIsLeftAlone) {
    auto tag = Tag("IMG");
    tag->AddChild(Property("x", "1"), true);
    std::unique_ptr<CParseNode> gone = tag->Properties()->RemoveLast();
    tag->Normalize();
    ASSERT_NE(tag->Properties(), nullptr);
    EXPECT_TRUE(tag->Properties()->IsEmpty());
    EXPECT_EQ(Written(*tag), "<IMG>");  // and no space for the empty list
}

TEST(ElementRules, EachDesignTimePassRemovesAtMostOneOfEachName) {
    auto tag = Tag("P");
    tag->AddChild(Property("designtimesp", "1"), true);
    tag->AddChild(Property("DESIGNTIMESP", "2"), true);
    tag->AddChild(Property("designtimeurl", "3"), true);
    tag->AddChild(Property("designtimeurl", "4"), true);
    tag->AddChild(Property("x", "5"), true);
    tag->ApplyDesignTimeRules();
    // The upper-case name is looked for first.
    EXPECT_EQ(Written(*tag), "<P designtimesp=\"1\" designtimeurl=\"4\" x=\"5\">");
    tag->ApplyDesignTimeRules();
    EXPECT_EQ(Written(*tag), "<P x=\"5\">");
    tag->ApplyDesignTimeRules();
    EXPECT_EQ(Written(*tag), "<P x=\"5\">");
}

TEST(ReplaceAllText, EverySearchStartsAgainAtTheBeginning) {
    const struct {
        std::string text, search, replacement, result;
    } cases[] = {
        {"aabb", "ab", "", ""},
        {"aaabbb", "ab", "", ""},
        {"a\\b\\\\c", "\\", "/", "a/b//c"},
        {"xax", "a", "bb", "xbbx"},
        {"x/dir/y", "/dir/", "", "xy"},
        {"nothing here", "zz", "y", "nothing here"},
        {"", "a", "b", ""},
        {"/Web/x", "/web/", "", "/Web/x"},
        {std::string("a\0b\0c", 5), std::string("\0", 1), "-", "a-b-c"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReplaceAll(c.text, c.search, c.replacement), c.result) << c.text;
}

// ---------------------------------------------------------------------------
// Writer and dump on hand-built trees

std::unique_ptr<CParseNode> TagWith(const char* name, std::unique_ptr<CParseNode> first,
                                    std::unique_ptr<CParseNode> second, bool endTag = false) {
    auto tag = Tag(name);
    tag->AddChild(std::move(first), true);
    tag->AddChild(std::move(second), true);
    tag->bEndTag = endTag;
    return tag;
}

struct WriterCase {
    const char* what;
    std::unique_ptr<CParseNode> (*make)();
    std::string written;
    std::string dumped;  // "=": same as written; "": not checked
};

// Only what a parse cannot build or the round trips do not already show.
TEST(HtmlWriter, WritesAndDumpsHandBuiltNodes) {
    const WriterCase cases[] = {
        {"closed tag", [] { return TagWith("P", Property("class", "a"), Text("x"), true); }, "<P class=\"a\">x</P>",
         "="},
        // A bare property is its name; the dump prints every property with its data.
        {"bare property", [] { return TagWith("TD", Property("nowrap", "ignored", false), Property("a", "b")); },
         "<TD nowrap a=\"b\">", "<TD nowrap=\"ignored\" a=\"b\">"},
        {"lone property", [] { return std::unique_ptr<CParseNode>(Property("nowrap", "", false)); }, "nowrap",
         "nowrap=\"\""},
        {"NUL in name, value and text",
         [] {
             auto tag = std::make_unique<CTagNode>();
             tag->SetData("b\0c", 3);
             tag->AddChild(Property("v", std::string("1\0" "2", 3)), true);
             tag->AddChild(Text(std::string("x\0y", 3)), true);
             tag->bEndTag = true;
             return std::unique_ptr<CParseNode>(std::move(tag));
         },
         std::string("<B v=\"1\0" "2\">x\0y</B>", 18), ""},
        {"plain nodes write data then children",
         [] {
             auto root = std::make_unique<CParseNode>();
             root->SetData("R", 1);
             root->AddChild(Text("t"), true);
             auto comment = std::make_unique<CCommentNode>();
             comment->SetName("!--");
             comment->SetData("<!-- c -->", 10);
             root->AddChild(std::move(comment), true);
             auto insert = std::make_unique<CTextNode>();
             insert->SetName("KIVO INSERT");
             insert->SetData("<|i|>", 5);
             root->AddChild(std::move(insert), true);
             root->AddChild(Text(std::string("a\0b", 3)), true);
             root->AddChild(Text("c"), true);
             return root;
         },
         std::string("Rt<!-- c --><|i|>a\0bc", 21), "Rt<!-- c --><|i|>ac"},  // the dump prints text up to a NUL
        {"nested tags close inside out",
         [] {
             auto inner = Tag("I");
             inner->AddChild(Text("x"), true);
             // Closed the way a matched end tag closes it; an open tag marked
             // as an end tag would fold on attach instead.
             inner->bOpen = false;
             inner->bEndTag = true;
             return TagWith("B", std::move(inner), Text("y"), true);
         },
         "<B><I>x</I>y</B>", "="},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CParseNode> node = c.make();
        EXPECT_EQ(Written(*node), c.written);
        if (!c.dumped.empty()) {
            EXPECT_EQ(Dumped(*node), c.dumped == "=" ? c.written : c.dumped);
        }
        // The output string is appended to, never replaced.
        std::string out = "prefix:";
        node->WriteHTML(out);
        EXPECT_EQ(out, "prefix:" + c.written);
    }
}

TEST(HtmlDump, ListsDumpTheirNodesWithoutMovingTheCursor) {
    CNodeList list;
    list.AddChild(Text("a"), true);
    list.AddChild(Text("b"), true);
    list.Reset();
    EXPECT_EQ(Dumped(list), "ab");
    EXPECT_EQ(list.Next()->Data(), "a");
}

// ---------------------------------------------------------------------------
// Deep and wide trees are torn down without recursion

TEST(NodeTeardown, AMillionNestedTagsAreDestroyedWithoutOverflowingTheStack) {
    constexpr int kDepth = 1000000;
    auto top = Tag("B");
    CTagNode* deepest = top.get();
    for (int i = 0; i < kDepth; ++i) {
        auto child = Tag("B");
        CTagNode* raw = child.get();
        child->AddChild(Property("p", "v"), true);
        deepest->AddChild(std::move(child), true);
        deepest->bOpen = false;
        deepest->bEndTag = true;
        deepest = raw;
    }
    deepest->AddChild(Text("leaf"), true);
    top.reset();  // must not recurse once per level
}

TEST(NodeTeardown, AMillionSiblingsAreDestroyed) {
    auto root = std::make_unique<CParseNode>();
    for (int i = 0; i < 1000000; ++i) root->AddChild(Text("x"), true);
    root.reset();
}

}  // namespace
