// Inputs made at random or found by the fuzzer: fast mode must write and
// collect exactly what literal mode does, and URL collection and rewriting
// must match a model of them.
#include <algorithm>

#include "TestSupport.h"
#include "engine/CParsingEngine.h"
#include "kivoparse/kivoparse.h"
#include "links/ReplaceAll.h"

using namespace kivoparse;
using namespace kivoparse_test;

namespace {

using Values = std::vector<std::string>;

// Rewriting both kinds in one walk writes what the two rewrites one after
// the other write, and the HTML streamed to a sink is GetHTML's.
void ExpectOneWalkAgrees(const std::string& input) {
    Parser once, twice;
    ASSERT_EQ(once.ParseHTML(input), 0);
    ASSERT_EQ(twice.ParseHTML(input), 0);
    const Values images = once.GetImages(), hrefs = once.GetHrefs();
    Values newImages, newHrefs;
    for (std::size_t i = 0; i < images.size(); ++i) newImages.push_back("i" + std::to_string(i));
    for (std::size_t i = 0; i < hrefs.size(); ++i) newHrefs.push_back("h" + std::to_string(i));
    ASSERT_EQ(once.Rewrite(UrlMap(images, newImages), UrlMap(hrefs, newHrefs)), 0);
    ASSERT_EQ(twice.FixImages(images, newImages), 0);
    ASSERT_EQ(twice.FixHrefs(hrefs, newHrefs), 0);
    std::string streamed;
    once.WriteHTML([&streamed](std::string_view piece) { streamed += piece; });
    ASSERT_EQ(streamed, twice.GetHTML());
}

void ExpectModesAgree(const std::string& input, bool rawText = false) {
    CParsingEngine fast, literal;
    fast.SetDocumentBase("/b/");
    literal.SetDocumentBase("/b/");
    fast.SetRawText(rawText);
    literal.SetRawText(rawText);
    literal.SetLiteral(true);
    ASSERT_EQ(fast.ParseHTML(input), 0);
    ASSERT_EQ(literal.ParseHTML(input), 0);
    ASSERT_EQ(fast.GetHTML(), literal.GetHTML());
    ASSERT_EQ(fast.GetImages(), literal.GetImages());
    ASSERT_EQ(fast.GetHrefs(), literal.GetHrefs());
    ExpectCollectAndRewriteAgree(fast);
    ExpectOneWalkAgrees(input);
}

// Bytes weighted towards those the tokenizer acts on, the tokens that
// trigger the shortcuts, and now and then a name long enough to cross the
// 1000-byte buffers; one input in four is uniform bytes.
std::string RandomInput(std::mt19937& rng, std::size_t maxLength) {
    static const std::string markup = "<<<<>>>||||/==''\"\"  \r\n\t-!%:_\\", names = "abcdeABCDE0189";
    static const char* const words[] = {"<b>",  "</b>",      "<|",        "|>",           "<img src=", "<td align=",
                                        "</",   "</span>",   "<style>",   "<a href='",    "<BODY>",    "</BLOCKQUOTE>",
                                        "<!--", "-->",       "/b/",       "designtimesp=", "<input src=", " background="};
    auto below = [&rng](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const std::size_t length = below(maxLength + 1);
    std::string out;
    const bool uniform = below(4) == 0;
    while (out.size() < length) {
        const std::size_t kind = uniform ? 100 : below(100);
        if (kind < 35) out += markup[below(markup.size())];
        else if (kind < 65) out += names[below(names.size())];
        else if (kind < 85) out += words[below(std::size(words))];
        else if (kind < 90) out += '\0';
        else if (kind < 99 || uniform) out += static_cast<char>(below(256));
        else out += std::string(990 + below(1100), names[below(names.size())]);
    }
    return out;
}

TEST(RandomDocuments, FastModeWritesAndCollectsWhatLiteralModeDoes) {
    std::mt19937 rng(20240611u);
    for (int i = 0; i < 1200; ++i) {
        const std::string input = RandomInput(rng, i % 60 == 0 ? 2000 : 120);
        SCOPED_TRACE("random input #" + std::to_string(i) + ": " + ::testing::PrintToString(input));
        ExpectModesAgree(input);
        if (HasFatalFailure()) return;
    }
}

// With the raw-text setting: random documents with the start and end tags
// of raw-text elements (and near misses) put in at random places.
TEST(RandomDocuments, RawTextFastModeWritesWhatLiteralModeDoes) {
    static const char* const tags[] = {"<script>", "</script>", "<style>", "</STYLE >", "<title>", "</TiTlE/",
                                       "</scrip",  "<textarea a=b>", "</textarea\t", "<xmp>", "</xmp\n", "<script/>"};
    std::mt19937 rng(20261207u);
    for (int i = 0; i < 1200; ++i) {
        std::string input = RandomInput(rng, i % 60 == 0 ? 2000 : 120);
        for (std::size_t k = rng() % 6; k > 0; --k)
            input.insert(input.empty() ? 0 : rng() % input.size(), tags[rng() % std::size(tags)]);
        SCOPED_TRACE("random input #" + std::to_string(i) + ": " + ::testing::PrintToString(input));
        ExpectModesAgree(input, true);
        if (HasFatalFailure()) return;
    }
}

TEST(RandomDocuments, RunsOfInsertOpenersAgreeWithLiteralMode) {
    for (const char* piece : {"<|", "<|x", "< |", "<|<", "|>", "<a b=<|", "<a b='<|", "<|a|>", "<a x=", "</q>"}) {
        for (std::size_t count = 1; count <= 12; ++count) {
            for (const char* tail : {"", "<P>", "|>|>|>", "'>", "x<b>", "1 :<p>"}) {
                SCOPED_TRACE(Repeat(piece, count) + tail);
                ExpectModesAgree(Repeat(piece, count) + tail);
                if (HasFatalFailure()) return;
            }
        }
    }
}

// Short values over a few bytes (both letter cases, NUL, a high byte).
std::string RandomValue(std::mt19937& rng) {
    static const char bytes[] = {'a', 'A', 'b', 'B', '\0', '\xE4', '/'};
    std::string value(rng() % 4, ' ');
    for (char& c : value) c = bytes[rng() % sizeof bytes];
    return value;
}

// What collection compares: ASCII letters folded, up to the first NUL.
std::string Key(const std::string& value) {
    std::string key = value.substr(0, value.find('\0'));
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

TEST(RandomDocuments, CollectionAndRewriteMatchAModel) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 400; ++round) {
        Values values(1 + rng() % 60), firsts, src, dest;
        std::string input, expected;
        for (std::string& value : values) {
            value = RandomValue(rng);
            input += "<img src=\"" + value + "\">";
            const auto seen = std::find_if(firsts.begin(), firsts.end(),
                                           [&](const std::string& f) { return Key(f) == Key(value); });
            if (seen == firsts.end()) firsts.push_back(value.substr(0, value.find('\0')));
        }
        for (int i = 0, n = static_cast<int>(rng() % 8); i < n; ++i) {
            src.push_back(RandomValue(rng));
            dest.push_back("n" + std::to_string(i));
        }
        for (const std::string& value : values) {
            const auto hit = std::find_if(src.begin(), src.end(),
                                          [&](const std::string& s) { return Key(s) == Key(value); });
            expected += "<IMG src=\"" + (hit == src.end() ? value : dest[hit - src.begin()]) + "\">";
        }
        SCOPED_TRACE(::testing::PrintToString(input));
        Parser parser;
        ASSERT_EQ(parser.ParseHTML(input), 0);
        ASSERT_EQ(parser.GetImages(), firsts);
        ASSERT_EQ(parser.FixImages(src, dest), 0);
        ASSERT_EQ(parser.GetHTML(), expected);
    }
}

// ReplaceAll, whichever way it goes (a deletion, a single byte, the general
// rule), and the deleter kept for the document base give what the rule says
// word for word: replace the first occurrence, then search again from the
// start. Short texts over two letters make the overlaps and the occurrences
// formed by joining the bytes around a replacement («aab» from «aaab»).
TEST(RandomTexts, ReplaceAllAndTheDeleterRestartFromTheBeginning) {
    std::mt19937 rng(20261206);
    auto text = [&rng](std::size_t maxLength) {
        std::string out(std::uniform_int_distribution<std::size_t>(0, maxLength)(rng), 'a');
        for (char& c : out) c = "ab"[rng() % 2];
        return out;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string search = text(3), subject = text(12);
        if (search.empty()) continue;
        // Shorter than a longer search, so that the rule comes to an end.
        const std::string replacement = text(search.size() == 1 ? 3 : search.size() - 1);
        if (replacement.find(search) != std::string::npos) continue;
        std::string expected = subject;
        for (std::size_t at = expected.find(search); at != std::string::npos; at = expected.find(search))
            expected.replace(at, search.size(), replacement);
        SCOPED_TRACE(subject + " less " + search + " for " + replacement);
        ASSERT_EQ(ReplaceAll(subject, search, replacement), expected);
        std::uint64_t steps = 0;
        if (replacement.empty()) {
            ASSERT_EQ(CTextDeleter(search).DeleteFrom(subject, steps), expected);
        }
    }
}

// Every input in tests/data/regress (past fuzzer findings, inputs at buffer
// and nesting edges) and every sample page, which also writes the documented
// output.
TEST(Replays, RegressionInputsAndSamplesAgreeWithLiteralMode) {
    const fs::path data = KIVOPARSE_TEST_DATA, source = data.parent_path().parent_path();
    std::size_t count = 0;
    for (const fs::path& dir : {data / "regress", source / "samples"}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().extension() == ".md") continue;
            SCOPED_TRACE(entry.path().string());
            ExpectModesAgree(ReadFile(entry.path()));
            if (++count, dir == data / "regress") continue;
            Parser parser;
            ASSERT_EQ(parser.ParseHTML(ReadFile(entry.path())), 0);
            EXPECT_EQ(parser.GetHTML(), ReadFile(source / "docs" / "expected" / entry.path().filename()));
        }
    }
    EXPECT_GT(count, 8u);
}

}  // namespace
