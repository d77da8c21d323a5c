// The fast mode: it must build the tree the literal mode (byte by byte, every
// shortcut off) builds, which the tables and random documents check, while
// reading at most a small constant times the input (BytesRead bounds the
// work that the adversarial families need); each parse starts afresh; and
// the document base is stripped in one pass.

#include <cstdint>

#include "TestSupport.h"
#include "engine/CShortcuts.h"
#include "tree/CDocument.h"

using kivoparse_test::CEngineParse;
using kivoparse_test::Repeat;

namespace {

struct SResult {
    std::string html;
    std::uint64_t bytesRead;
};

SResult Parse(const std::string& input, const std::string& base = "", bool rawText = false) {
    CEngineParse engine(base, false, rawText);
    EXPECT_EQ(engine.ParseHTML(input), 0);
    return {engine.GetHTML(), engine.BytesRead()};
}

}  // namespace

// Nothing learnt from one text carries over to the next parse.
TEST(EngineModes, ASecondParseOnOneEngineGivesWhatAFreshEngineGives) {
    const std::string first = ":|< |\" <x|<x =a%=<=<bx%=x=<=b\"xb ";
    const std::string second = "xpb=|  >>x\"|<=|< p =:";
    CEngineParse engine;
    engine.ParseHTML(first);
    engine.ParseHTML(second);
    EXPECT_EQ(engine.GetHTML(), Parse(second).html);
    EXPECT_EQ(engine.GetHTML(), "xpb=|  >>x\"|<=|");

    std::mt19937 random(7);
    const std::string alphabet = "<>|=\"' abp/:%\n";
    std::string previous;
    for (int i = 0; i < 2000; ++i) {
        std::string text;
        for (std::size_t n = random() % 40; n > 0; --n) text += alphabet[random() % alphabet.size()];
        engine.ParseHTML(text);
        ASSERT_EQ(engine.GetHTML(), Parse(text).html) << "after «" << previous << "»: «" << text << "»";
        previous = text;
    }
}

// The families that read the text once per "<" if read literally. Each must
// stay within a few bytes read per byte of input in the fast mode.
TEST(EngineModes, AdversarialFamiliesReadLinearly) {
    struct SFamily { const char* name; std::string text, base; bool rawText = false; };
    const std::vector<SFamily> families = {
        {"tags falling back after 2000 inner tags", Repeat("<a x=", 2000) + "1 :<p>", ""},
        {"unmatched end tags", Repeat("<p>x", 2000) + Repeat("</div>", 50000), ""},
        {"abandoned insert blocks", Repeat("<|", 50000), ""},
        {"one abandoned block of bars", "<" + Repeat("|", 100000), ""},
        {"long failing tags", Repeat("<a " + Repeat("b=c ", 2000) + ":>", 20), ""},
        {"values full of tags", Repeat("<a x='" + Repeat("<b ", 1000), 20), ""},
        {"a self-overlapping base", "<img src=" + Repeat("a", 200000) + ">", Repeat("a", 1000) + "b"},
        {"raw text full of near end tags", "<script>" + Repeat("</scrip<", 50000), "", true},
        {"raw text of lone <", "<style>" + Repeat("<", 200000) + "</style", "", true},
        {"raw-text elements opened and closed", Repeat("<title>a</title>", 20000), "", true},
    };
    for (const SFamily& family : families) {
        const SResult fast = Parse(family.text, family.base, family.rawText);
        EXPECT_LE(fast.bytesRead, 8 * family.text.size() + 8 * family.base.size()) << family.name;
        EXPECT_GE(fast.bytesRead, family.text.size()) << family.name;
    }
}

// The document base is deleted from image URLs wherever it occurs, each
// search from the beginning again, in one linear pass: checked against the
// rule as written.
TEST(EngineModes, StrippingTheBaseMatchesTheRestartingRule) {
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
        const SResult result = Parse("<img src=\"" + text + "\">", search);
        ASSERT_EQ(result.html, "<IMG src=\"" + restarting(text, search) + "\">")
            << "«" << text << "» without «" << search << "»";
    }
}

// A name run read sixteen bytes at a step ends where reading byte by byte
// ends it: every byte value, at every place of a step and near the end of
// the text, in both name sets.
TEST(EngineModes, NameRunsEndWhereByteByByteReadingEndsThem) {
    for (const bool carriageReturn : {false, true}) {
        bool run[256] = {};
        for (int c = 0; c < 256; ++c) {
            run[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
                     c == '/' || c == '\n' || (carriageReturn && c == '\r');
        }
        for (int stop = 0; stop < 256; ++stop) {
            for (std::size_t place = 1; place < 40; place += 3) {
                std::string text = "x" + Repeat("aZ09-/\n", 6).substr(0, place - 1);
                if (carriageReturn) text[place / 2] = '\r';
                text += static_cast<char>(stop);
                text += "abcdefghijklmnopqrstuvwxyz";
                for (const std::size_t length : {text.size(), place, place + 1, place + 5}) {
                    const std::string cut = text.substr(0, length);
                    std::size_t expected = 1;
                    while (expected < cut.size() && run[static_cast<unsigned char>(cut[expected])]) ++expected;
                    kivoparse::CShortcuts shortcuts;
                    shortcuts.Begin(true, reinterpret_cast<const unsigned char*>(cut.c_str()),
                                    static_cast<std::int32_t>(cut.size()));
                    ASSERT_EQ(shortcuts.NameRunEnd(0, run, carriageReturn), static_cast<std::int64_t>(expected))
                        << "byte " << stop << " at " << place << " of " << cut.size() << ", carriage return "
                        << carriageReturn;
                }
            }
        }
    }
}

// A name is cut at its first NUL, whatever its length and wherever the NUL
// is (the short ones are tested a word at a time).
TEST(EngineModes, NamesAreCutAtTheirFirstNul) {
    for (std::size_t size = 0; size <= 40; ++size) {
        for (std::size_t nul = 0; nul <= size; ++nul) {
            for (const char other : {'\x01', 'A', '\x80', '\xff'}) {
                std::string name(size, other);
                if (nul < size) name[nul] = '\0';
                if (nul + 3 < size) name[nul + 3] = '\0';  // a second NUL changes nothing
                ASSERT_EQ(kivoparse::UpToNul(name), std::string_view(name).substr(0, nul))
                    << size << " bytes, NUL at " << nul;
            }
        }
    }
}

// A short name is tested for letters of one case a word at a time: every
// byte value at every place of names of 1 to 16 bytes, whose other bytes
// are the other case's letters and the bytes just outside the range.
TEST(EngineModes, ShortNamesAreTestedForLettersInEveryByte) {
    for (const unsigned char first : {static_cast<unsigned char>('A'), static_cast<unsigned char>('a')}) {
        const char other = first == 'A' ? 'z' : 'Z';
        for (std::size_t size = 1; size <= 16; ++size) {
            for (int byte = 0; byte < 256; ++byte) {
                for (std::size_t at = 0; at < size; ++at) {
                    std::string name(size, other);
                    if (size > 2) name[(at + 1) % size] = static_cast<char>(first - 1);
                    if (size > 3) name[(at + 2) % size] = static_cast<char>(first + 26);
                    name[at] = static_cast<char>(byte);
                    bool expected = false;
                    for (const char c : name) expected |= static_cast<unsigned char>(static_cast<unsigned char>(c) - first) < 26;
                    ASSERT_EQ(kivoparse::HasLetterShort(name.data(), name.size(), first), expected)
                        << "byte " << byte << " at " << at << " of " << size << ", from " << first;
                }
            }
        }
    }
}
