// Golden data for the core engine: round trips (input -> exact GetHTML text)
// from tests/data/core/roundtrip.txt, and whole trace files from
// tests/data/core/traces/*.txt. A new case is a few lines of data.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/CParsingEngine.h"
#include "log/CLogFile.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using kivoparse::CParsingEngine;

namespace {

const fs::path kCoreData = fs::path(KIVOPARSE_TEST_DATA) / "core";

std::string ReadWhole(const fs::path& path) {
    if (!fs::is_regular_file(path)) throw std::runtime_error("cannot open " + path.string());
    return kivoparse_test::ReadFile(path);
}

// \t \r \n \0 \xHH \\ ; every other byte stands for itself.
std::string Unescape(const std::string& text, const std::string& where) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size()) throw std::runtime_error(where + ": lone backslash at end");
        const char e = text[++i];
        switch (e) {
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case '0': out += '\0'; break;
            case '\\': out += '\\'; break;
            case 'x': {
                if (i + 2 >= text.size())
                    throw std::runtime_error(where + ": short \\x escape");
                const std::string hex = text.substr(i + 1, 2);
                if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                    !std::isxdigit(static_cast<unsigned char>(hex[1])))
                    throw std::runtime_error(where + ": bad \\x escape");
                out += static_cast<char>(std::stoi(hex, nullptr, 16));
                i += 2;
                break;
            }
            default:
                throw std::runtime_error(where + ": unknown escape \\" + std::string(1, e));
        }
    }
    return out;
}

// "tag: text" or a bare "tag:" (empty text). Returns false if the line does
// not carry that tag.
bool TakeField(const std::string& line, const std::string& tag, std::string& text) {
    if (line.compare(0, tag.size() + 1, tag + ":") != 0) return false;
    if (line.size() == tag.size() + 1) {
        text.clear();
        return true;
    }
    if (line[tag.size() + 1] != ' ') return false;
    text = line.substr(tag.size() + 2);
    return true;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A readable form of bytes for failure messages, escapes included.
std::string Visible(const std::string& bytes) { return ::testing::PrintToString(bytes); }

// ---------------------------------------------------------------------------
// Round trips

struct RoundTripCase {
    int line = 0;
    std::string base;
    std::string input;
    std::string output;
};

// GoogleTest would otherwise print the raw bytes of the struct, padding
// included, which valgrind rightly reports.
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << "roundtrip.txt line " << c.line; }

std::vector<RoundTripCase> LoadRoundTrips() {
    const fs::path path = kCoreData / "roundtrip.txt";
    const std::vector<std::string> lines = SplitLines(ReadWhole(path));
    std::vector<RoundTripCase> cases;
    RoundTripCase pending;
    bool haveBase = false;
    bool haveInput = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string where = path.string() + ":" + std::to_string(i + 1);
        if (line.empty() || line[0] == '#') continue;
        std::string text;
        if (TakeField(line, "base", text)) {
            if (haveBase || haveInput) throw std::runtime_error(where + ": unexpected base:");
            pending.base = Unescape(text, where);
            haveBase = true;
        } else if (TakeField(line, "in", text)) {
            if (haveInput) throw std::runtime_error(where + ": in: without out:");
            pending.input = Unescape(text, where);
            pending.line = static_cast<int>(i + 1);
            haveInput = true;
        } else if (TakeField(line, "out", text)) {
            if (!haveInput) throw std::runtime_error(where + ": out: without in:");
            pending.output = Unescape(text, where);
            cases.push_back(pending);
            pending = RoundTripCase();
            haveBase = false;
            haveInput = false;
        } else {
            throw std::runtime_error(where + ": expected base:, in: or out:");
        }
    }
    if (haveInput || haveBase) throw std::runtime_error(path.string() + ": last case unfinished");
    return cases;
}

class CoreRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(CoreRoundTrip, WritesBackExactly) {
    const RoundTripCase& c = GetParam();
    SCOPED_TRACE("roundtrip.txt line " + std::to_string(c.line) + ": in " + Visible(c.input) +
                 (c.base.empty() ? "" : " base " + Visible(c.base)));
    CParsingEngine engine;
    engine.SetDocumentBase(c.base);
    ASSERT_EQ(engine.ParseHTML(c.input), 0);
    EXPECT_EQ(engine.GetInputLength(), static_cast<std::int32_t>(c.input.size()));
    const std::string html = engine.GetHTML();
    EXPECT_EQ(html, c.output);
    // Writing changes nothing: a second call gives the same bytes.
    EXPECT_EQ(engine.GetHTML(), html);
}

std::string RoundTripName(const ::testing::TestParamInfo<RoundTripCase>& info) {
    return "line_" + std::to_string(info.param.line);
}

INSTANTIATE_TEST_SUITE_P(Golden, CoreRoundTrip, ::testing::ValuesIn(LoadRoundTrips()), RoundTripName);

TEST(CoreRoundTripData, HasTheWorkedExamples) {
    // Guards against a data file that silently lost its cases.
    const std::vector<RoundTripCase> cases = LoadRoundTrips();
    EXPECT_GT(cases.size(), 150u);
    const std::pair<std::string, std::string> worked[] = {
        {"<P class=a>x</P>", "<P class=\"a\">x</P>"}, {"<BODY><BLOCKQUOTE>x</BODY>", "<BODY><BLOCKQUOTE>x</BLOCKQUOTE>"},
        {"a<%b<P>", "a<%b<P>"}, {"</b></b>", "</B><//B>"}, {"</q></q>", "</Q></Q>"}};
    for (const auto& w : worked) {
        EXPECT_TRUE(std::any_of(cases.begin(), cases.end(), [&](const RoundTripCase& c) {
            return c.input == w.first && c.output == w.second && c.base.empty();
        })) << w.first;
    }
}

// ---------------------------------------------------------------------------
// Whole traces

struct TraceCase {
    std::string name;
    std::string input;
    std::string expected;  // the log file's exact content
};

void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }

std::vector<TraceCase> LoadTraces() {
    std::vector<TraceCase> cases;
    const fs::path dir = kCoreData / "traces";
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".txt") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string text = ReadWhole(file);
        TraceCase c;
        c.name = file.stem().string();
        std::replace_if(c.name.begin(), c.name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
        std::size_t pos = 0;
        bool haveInput = false;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos) throw std::runtime_error(file.string() + ": no --- line");
            const std::string line = text.substr(pos, end - pos);
            pos = end + 1;
            if (line == "---") break;
            if (line.empty() || line[0] == '#') continue;
            std::string field;
            if (!TakeField(line, "in", field)) throw std::runtime_error(file.string() + ": expected in:");
            c.input = Unescape(field, file.string());
            haveInput = true;
        }
        if (!haveInput) throw std::runtime_error(file.string() + ": no in: line");
        c.expected = text.substr(pos);
        cases.push_back(c);
    }
    return cases;
}

class CoreTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(CoreTrace, LogHoldsExactlyTheExpectedLines) {
    const TraceCase& c = GetParam();
    const kivoparse_test::TempPath logFile("trace");
    const fs::path& logPath = logFile.Path();
    kivoparse_test::STrace trace(logFile.String());
    std::string htmlTraced;
    {
        CParsingEngine engine;
        engine.SetLogLink(&trace.mLink);
        ASSERT_EQ(engine.ParseHTML(c.input), 0);
        htmlTraced = engine.GetHTML();
    }
    const std::string actual = kivoparse_test::ReadLog(logPath);

    // Multi-line texts are reported with a line diff.
    EXPECT_EQ(actual, c.expected);

    // Tracing must not change the tree.
    CParsingEngine quiet;
    ASSERT_EQ(quiet.ParseHTML(c.input), 0);
    EXPECT_EQ(quiet.GetHTML(), htmlTraced);
}

std::string TraceName(const ::testing::TestParamInfo<TraceCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Golden, CoreTrace, ::testing::ValuesIn(LoadTraces()), TraceName);

TEST(CoreTraceData, HasAtLeastTheRequiredTraces) { EXPECT_GE(LoadTraces().size(), 5u); }

}  // namespace
