// The literal mode (byte by byte, every shortcut off) is the reference; the
// fast mode must build the same tree while reading at most a small constant
// times the input. Cases from tests/data/engine/modes.txt run in both modes,
// random documents compare the two, and BytesRead bounds the work that the
// adversarial families need.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/CParsingEngine.h"
#include "tree/ReplaceAll.h"

using kivoparse::CParsingEngine;

namespace {

struct SCase {
    int line;
    std::string base, input, output;
};

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case '0': out += '\0'; break;
            case 'x': out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)); i += 2; break;
            default: out += text[i]; break;
        }
    }
    return out;
}

std::vector<SCase> ReadCases(const std::string& name) {
    const std::string path = std::string(KIVOPARSE_TEST_DATA) + "/engine/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<SCase> cases;
    SCase next{};
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto text = [&line] { return Unescape(line.substr(line.find(' ') + 1)); };
        if (line.rfind("base:", 0) == 0) {
            next.base = text();
        } else if (line.rfind("in:", 0) == 0) {
            next.input = text();
            next.line = number;
        } else if (line.rfind("out:", 0) == 0) {
            next.output = text();
            cases.push_back(next);
            next = SCase{};
        }
    }
    return cases;
}

struct SResult {
    std::string html;
    std::vector<std::string> images, hrefs;
    std::uint64_t bytesRead;
};

SResult Parse(const std::string& input, bool literal, const std::string& base = "") {
    CParsingEngine engine;
    engine.SetLiteral(literal);
    engine.SetDocumentBase(base);
    EXPECT_EQ(engine.ParseHTML(input), 0);
    return {engine.GetHTML(), engine.GetImages(), engine.GetHrefs(), engine.BytesRead()};
}

std::string Repeat(const std::string& piece, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += piece;
    return out;
}

}  // namespace

TEST(EngineModes, TableCasesComeOutTheSameInBothModes) {
    const std::vector<SCase> cases = ReadCases("modes.txt");
    ASSERT_FALSE(cases.empty());
    for (const SCase& c : cases) {
        SCOPED_TRACE("modes.txt line " + std::to_string(c.line));
        EXPECT_EQ(Parse(c.input, true, c.base).html, c.output) << "literal";
        EXPECT_EQ(Parse(c.input, false, c.base).html, c.output) << "fast";
    }
}

TEST(EngineModes, LiteralIsASwitchAndForcedWhileTracing) {
    CParsingEngine engine;
    EXPECT_FALSE(engine.IsLiteral());
    engine.SetLiteral(true);
    EXPECT_TRUE(engine.IsLiteral());
    engine.SetLiteral(false);
    kivoparse::CLogFile log;
    kivoparse::CLogLink link;
    link.mLog = &log;
    engine.SetLogLink(&link);
    EXPECT_FALSE(engine.IsLiteral());
    log.SetPath("");  // a trace that writes nothing still reads literally
    EXPECT_TRUE(engine.IsLiteral());
}

// Nothing learnt from one text carries over to the next parse.
TEST(EngineModes, ASecondParseOnOneEngineGivesWhatAFreshEngineGives) {
    const std::string first = ":|< |\" <x|<x =a%=<=<bx%=x=<=b\"xb ";
    const std::string second = "xpb=|  >>x\"|<=|< p =:";
    CParsingEngine engine;
    engine.ParseHTML(first);
    engine.ParseHTML(second);
    EXPECT_EQ(engine.GetHTML(), Parse(second, false).html);
    EXPECT_EQ(engine.GetHTML(), "xpb=|  >>x\"|<=|");

    std::mt19937 random(7);
    const std::string alphabet = "<>|=\"' abp/:%\n";
    std::string previous;
    for (int i = 0; i < 2000; ++i) {
        std::string text;
        for (std::size_t n = random() % 40; n > 0; --n) text += alphabet[random() % alphabet.size()];
        engine.ParseHTML(text);
        ASSERT_EQ(engine.GetHTML(), Parse(text, false).html) << "after «" << previous << "»: «" << text << "»";
        previous = text;
    }
}

// Random documents of markup-heavy bytes: the fast mode must write the same
// HTML and collect the same URLs as the literal mode.
TEST(EngineModes, RandomDocumentsAgreeInBothModes) {
    std::mt19937 random(20261206);
    const std::vector<std::string> pieces = {
        "<", ">", "|", "<|", "|>", "</", "=", "\"", "'", " ", "\n", "\r", "a", "b", "x", ":", "%", "\0",
        "img", "src", "background", "td", "span", "style", "a href=", "<img src=", "</img>", "<b>", "</b>"};
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        for (std::size_t n = random() % 60; n > 0; --n) text += pieces[random() % pieces.size()];
        const std::string base = (i % 3 == 0) ? "a" : (i % 3 == 1) ? "" : "<a";
        const SResult literal = Parse(text, true, base), fast = Parse(text, false, base);
        ASSERT_EQ(fast.html, literal.html) << "«" << text << "» base «" << base << "»";
        ASSERT_EQ(fast.images, literal.images) << "«" << text << "»";
        ASSERT_EQ(fast.hrefs, literal.hrefs) << "«" << text << "»";
    }
}

// The families that read the text once per "<" if read literally. Each must
// stay within a few bytes read per byte of input in the fast mode.
TEST(EngineModes, AdversarialFamiliesReadLinearly) {
    struct SFamily {
        const char* name;
        std::string text;
        std::string base;
    };
    const std::vector<SFamily> families = {
        {"tags falling back after 2000 inner tags", Repeat("<a x=", 2000) + "1 :<p>", ""},
        {"unmatched end tags", Repeat("<p>x", 2000) + Repeat("</div>", 50000), ""},
        {"abandoned insert blocks", Repeat("<|", 50000), ""},
        {"one abandoned block of bars", "<" + Repeat("|", 100000), ""},
        {"long failing tags", Repeat("<a " + Repeat("b=c ", 2000) + ":>", 20), ""},
        {"values full of tags", Repeat("<a x='" + Repeat("<b ", 1000), 20), ""},
        {"a self-overlapping base", "<img src=" + Repeat("a", 200000) + ">", Repeat("a", 1000) + "b"},
    };
    for (const SFamily& family : families) {
        const SResult fast = Parse(family.text, false, family.base);
        EXPECT_LE(fast.bytesRead, 8 * family.text.size() + 8 * family.base.size()) << family.name;
        EXPECT_GE(fast.bytesRead, family.text.size()) << family.name;
    }
}

// Deleting every occurrence of a text, each search from the beginning again,
// in one linear pass: checked against the rule as written.
TEST(EngineModes, DeletingEveryOccurrenceMatchesTheRestartingRule) {
    const auto restarting = [](std::string text, const std::string& search) {
        for (std::size_t at = text.find(search); at != std::string::npos; at = text.find(search))
            text.erase(at, search.size());
        return text;
    };
    std::mt19937 random(11);
    for (int i = 0; i < 20000; ++i) {
        std::string text, search;
        for (std::size_t n = random() % 14; n > 0; --n) text += "ab"[random() % 2];
        for (std::size_t n = 1 + random() % 4; n > 0; --n) search += "ab"[random() % 2];
        ASSERT_EQ(kivoparse::ReplaceAll(text, search, ""), restarting(text, search))
            << "«" << text << "» without «" << search << "»";
    }
    EXPECT_EQ(kivoparse::ReplaceAll("aaab", "aab", ""), "a");
}
