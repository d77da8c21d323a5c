// Inputs that break naive parsers: a million nested tags, long runs of end
// tags and insert openers, and thousands of random byte strings. Nothing here
// asserts on time; the point is that parsing, writing, dumping and teardown
// finish without overflowing the stack or touching freed memory, and that a
// traced parse builds the same tree as an untraced one.

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "engine/CParsingEngine.h"
#include "log/CLogFile.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "TestSupport.h"

using namespace kivoparse;
using kivoparse_test::Repeat;
using kivoparse_test::STrace;
using kivoparse_test::TempPath;

namespace {

// Follows last children down from the root; counts tag levels.
std::size_t NestingDepth(CParsingEngine& engine) {
    std::size_t depth = 0;
    CNodeList* list = engine.GetRoot()->Children();
    while (list && list->GetLast() && list->GetLast()->mType == KP_NODE_TAG) {
        ++depth;
        list = list->GetLast()->Children();
    }
    return depth;
}

void DumpToScratch(CParsingEngine& engine) {
    std::FILE* scratch = std::tmpfile();
    ASSERT_NE(scratch, nullptr);
    engine.GetRoot()->Dump(scratch);
    std::fclose(scratch);
}

constexpr std::size_t kMillion = 1000000;

TEST(DeepDocuments, AMillionLevelsParseWriteDumpAndDestroy) {
    const struct {
        const char *open, *close;
        std::size_t count;
        const char *openOut, *closeOut;
        std::size_t depth;
    } cases[] = {
        {"<b>", "</b>", kMillion, "<B>", "</B>", kMillion},
        {"<b>", "", kMillion, "<B>", "", 1},  // unclosed tags stay flat
        {"<div>x", "</div>", 200000, "<DIV>x", "</DIV>", 200000},  // unclassified: matched by name
        {"<td align=middle>x", "</td>", kMillion, "<TD align=\"center\">x", "</TD>", kMillion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.open);
        auto engine = std::make_unique<CParsingEngine>();
        ASSERT_EQ(engine->ParseHTML(Repeat(c.open, c.count) + Repeat(c.close, c.count)), 0);
        EXPECT_EQ(NestingDepth(*engine), c.depth);
        if (c.depth == 1) {
            EXPECT_EQ(engine->GetRoot()->Children()->GetFirst()->Children(), nullptr);
        }
        EXPECT_TRUE(engine->GetHTML() == Repeat(c.openOut, c.count) + Repeat(c.closeOut, c.count));
        DumpToScratch(*engine);
        engine.reset();
    }
}

TEST(LongRuns, RunsOfEndTagsAndInsertOpenersFinishWithTheExpectedText) {
    const std::size_t n = 100000;
    const struct {
        std::string input;
        std::string html;  // empty: only that writing twice gives the same
    } cases[] = {
        // End tags alone alternate between kept and matched.
        {Repeat("</b>", n), Repeat("</B><//B>", n / 2)},
        {Repeat("</b>", n + 1), Repeat("</B><//B>", n / 2) + "</B>"},
        // Unmatched end tags of unclassified names are all kept, of SPAN all dropped.
        {Repeat("x</q>", n), Repeat("x</Q>", n)},
        {Repeat("x</span>", n) + "<P>", Repeat("x", n) + "<P>"},
        {Repeat("<|", n) + "<P>", ""},
        {Repeat("<|<", n) + "<P>", ""},
        {Repeat("<||", n) + "<P>", ""},
        {Repeat("< |", n) + "<P>", ""},
        {Repeat("<|a|", n) + "<P>", ""},
        {Repeat("<a b='<|", n) + "<P>", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 12) + "...");
        CParsingEngine engine;
        ASSERT_EQ(engine.ParseHTML(c.input), 0);
        const std::string html = engine.GetHTML();
        if (!c.html.empty()) {
            EXPECT_TRUE(html == c.html);
        }
        EXPECT_TRUE(engine.GetHTML() == html);
    }
}

// ---------------------------------------------------------------------------
// Random byte strings

// Bytes weighted towards the ones the tokenizer acts on.
std::string RandomInput(std::mt19937& rng, std::size_t maxLength) {
    static const std::string markup = "<<<<>>>||||/==''\"\"  \r\n\t-!%:_";
    static const std::string names = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static const char* const words[] = {"<b>", "</b>", "<|", "|>", "<img src=", "<td align=", "</span>",
                                        "<style>", "<a href='", "designtimesp=1 ", "</", "<BODY>", "</BLOCKQUOTE>"};
    std::uniform_int_distribution<std::size_t> lengthDist(0, maxLength);
    std::uniform_int_distribution<int> pick(0, 99);
    const std::size_t length = lengthDist(rng);
    std::string out;
    while (out.size() < length) {
        const int kind = pick(rng);
        if (kind < 35) {
            out += markup[std::uniform_int_distribution<std::size_t>(0, markup.size() - 1)(rng)];
        } else if (kind < 70) {
            out += names[std::uniform_int_distribution<std::size_t>(0, names.size() - 1)(rng)];
        } else if (kind < 80) {
            out += words[std::uniform_int_distribution<std::size_t>(0, std::size(words) - 1)(rng)];
        } else if (kind < 86) {
            out += '\0';
        } else if (kind < 94) {
            out += static_cast<char>(std::uniform_int_distribution<int>(0x80, 0xFF)(rng));
        } else if (kind < 99) {
            out += static_cast<char>(std::uniform_int_distribution<int>(0, 0xFF)(rng));
        } else {
            // A name or value long enough to cross the 1000-byte buffers.
            const std::size_t run = std::uniform_int_distribution<std::size_t>(990, 2100)(rng);
            out += std::string(run, names[std::uniform_int_distribution<std::size_t>(0, names.size() - 1)(rng)]);
        }
    }
    return out;
}

void CheckParsesCleanly(const std::string& input) {
    auto engine = std::make_unique<CParsingEngine>();
    ASSERT_EQ(engine->ParseHTML(input), 0);
    ASSERT_NE(engine->GetRoot(), nullptr);
    if (CNodeList* children = engine->GetRoot()->Children()) {
        ASSERT_TRUE(children->CheckLinks());
    }
    const std::string html = engine->GetHTML();
    ASSERT_EQ(engine->GetHTML(), html);
    engine.reset();
}

TEST(RandomInput, ThousandsOfRandomByteStringsNeverCrashTheParser) {
    std::mt19937 rng(20240611u);
    for (int i = 0; i < 4000; ++i) {
        const std::string input = RandomInput(rng, i % 10 == 0 ? 3000 : 200);
        SCOPED_TRACE("random input #" + std::to_string(i));
        CheckParsesCleanly(input);
        if (HasFatalFailure()) return;
    }
}

TEST(RandomInput, UniformRandomBytesNeverCrashTheParser) {
    std::mt19937 rng(7u);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 2000; ++i) {
        std::string input(static_cast<std::size_t>(i % 257), '\0');
        for (char& c : input) c = static_cast<char>(byte(rng));
        SCOPED_TRACE("uniform input #" + std::to_string(i));
        CheckParsesCleanly(input);
        if (HasFatalFailure()) return;
    }
}

// Tracing switches off every shortcut: the traced parse is the byte-by-byte
// reference, and the tree must come out the same.
void ExpectTracedTreeMatchesQuiet(const std::string& input, const TempPath& log) {
    std::filesystem::remove(log.Path());
    STrace trace(log.String());
    CParsingEngine traced;
    traced.SetLogLink(&trace.mLink);
    ASSERT_EQ(traced.ParseHTML(input), 0);
    CParsingEngine quiet;
    ASSERT_EQ(quiet.ParseHTML(input), 0);
    ASSERT_EQ(traced.GetHTML(), quiet.GetHTML());
    ASSERT_TRUE(std::filesystem::exists(log.Path()));
}

TEST(RandomInput, ATracedParseBuildsTheSameTreeAsAnUntracedOne) {
    TempPath log("trace");
    std::mt19937 rng(99u);
    for (int i = 0; i < 600; ++i) {
        std::string input = RandomInput(rng, 120);
        if (i % 50 == 0) input = Repeat("<|", static_cast<std::size_t>(i / 50 + 1)) + input;
        SCOPED_TRACE("traced input #" + std::to_string(i));
        ExpectTracedTreeMatchesQuiet(input, log);
        if (HasFatalFailure()) return;
    }
}

TEST(RandomInput, RunsOfInsertOpenersMatchTheTracedReference) {
    TempPath log("insert");
    for (const char* piece : {"<|", "<|x", "< |", "<|<", "|>", "<a b=<|", "<a b='<|", "<|a|>"}) {
        for (std::size_t count = 1; count <= 12; ++count) {
            for (const char* tail : {"", "<P>", "|>|>|>", "'>", "x<b>"}) {
                const std::string input = Repeat(piece, count) + tail;
                SCOPED_TRACE(input);
                ExpectTracedTreeMatchesQuiet(input, log);
                if (HasFatalFailure()) return;
            }
        }
    }
}

}  // namespace
