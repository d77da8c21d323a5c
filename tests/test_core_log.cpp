// The diagnostic log: one line per call, appended; the 99/100 and 1000/1001
// byte boundaries of the two formatting buffers; redirection; a log that
// cannot be written never disturbs the caller.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/CParsingEngine.h"
#include "log/CLogFile.h"

namespace fs = std::filesystem;
using kivoparse::CLogFile;
using kivoparse::CLogLink;
using kivoparse::CParsingEngine;

namespace {

std::atomic<int> gCounter{0};

// A fresh path in the temporary directory, unique per test and call.
fs::path FreshPath(const char* stem) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path path = fs::temp_directory_path() /
                    ("kivoparse_corelog_" + std::string(info->name()) + "_" + stem + "_" +
                     std::to_string(gCounter++) + ".log");
    fs::remove(path);
    return path;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Removes the file when the test ends, whatever happens.
struct TempFile {
    explicit TempFile(const char* stem) : path(FreshPath(stem)) {}
    ~TempFile() {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    fs::path path;
};

void CallLogV(CLogFile& log, const char* format, ...) {
    va_list args;
    va_start(args, format);
    log.LogV(format, args);
    va_end(args);
}

struct LengthCase {
    std::size_t length;
    std::size_t written;
};

TEST(DiagnosticLog, LinesUpTo1000BytesAreWrittenWholeAndLongerOnesCut) {
    const LengthCase cases[] = {{0, 0},     {1, 1},       {98, 98},     {99, 99},     {100, 100},
                                {101, 101}, {999, 999},   {1000, 1000}, {1001, 1000}, {1002, 1000},
                                {2500, 1000}};
    for (const LengthCase& c : cases) {
        SCOPED_TRACE("message of " + std::to_string(c.length) + " bytes");
        TempFile file("len");
        CLogFile log;
        log.SetPath(file.path.string().c_str());
        std::string message;
        for (std::size_t i = 0; i < c.length; ++i) message += static_cast<char>('a' + i % 26);
        log.Log("%s", message.c_str());
        EXPECT_EQ(Slurp(file.path), message.substr(0, c.written) + "\n");
    }
}

TEST(DiagnosticLog, BoundariesHoldForTextMadeByTheFormatToo) {
    TempFile file("fmt");
    CLogFile log;
    log.SetPath(file.path.string().c_str());
    // 95 + "1234" = 99 characters; 96 + "1234" = 100.
    const std::string a(95, 'x');
    const std::string b(96, 'y');
    const std::string c(996, 'z');
    const std::string d(997, 'w');
    log.Log("%s%d", a.c_str(), 1234);
    log.Log("%s%d", b.c_str(), 1234);
    log.Log("%s%d", c.c_str(), 1234);
    log.Log("%s%d", d.c_str(), 1234);
    EXPECT_EQ(Slurp(file.path), a + "1234\n" + b + "1234\n" + c + "1234\n" + d + "123\n");
}

TEST(DiagnosticLog, EachCallAppendsExactlyOneLineWithoutAnyPrefix) {
    TempFile file("lines");
    CLogFile log;
    log.SetPath(file.path.string().c_str());
    log.Log("first");
    log.Log("ADDING NODE: %s\t parent %s\t data %s", "P", "ROOT", "P");
    log.Log("%d-%c-%s", 42, 'q', "end");
    CallLogV(log, "via %s", "LogV");
    EXPECT_EQ(Slurp(file.path), "first\nADDING NODE: P\t parent ROOT\t data P\n42-q-end\nvia LogV\n");
}

TEST(DiagnosticLog, AppendsToAnExistingFileWithoutTruncatingIt) {
    TempFile file("append");
    {
        std::ofstream old(file.path, std::ios::binary);
        old << "old line\n";
    }
    CLogFile log;
    log.SetPath(file.path.string().c_str());
    EXPECT_EQ(Slurp(file.path), "old line\n");  // setting the path writes nothing
    log.Log("new line");
    EXPECT_EQ(Slurp(file.path), "old line\nnew line\n");
}

TEST(DiagnosticLog, TheFileIsCreatedByTheFirstLineNotBySetPath) {
    TempFile file("create");
    CLogFile log;
    log.SetPath(file.path.string().c_str());
    EXPECT_FALSE(fs::exists(file.path));
    log.Log("x");
    EXPECT_TRUE(fs::exists(file.path));
}

TEST(DiagnosticLog, WithoutAPathNothingIsWritten) {
    CLogFile log;
    EXPECT_FALSE(log.IsOn());
    log.Log("%s", "nothing");
    CallLogV(log, "%s", "nothing");
    SUCCEED();
}

TEST(DiagnosticLog, AnEmptyPathWritesNothingAndDoesNotFail) {
    CLogFile log;
    log.SetPath("");
    log.Log("%s", "dropped");
    log.Log("%s", std::string(2000, 'x').c_str());
    EXPECT_FALSE(fs::exists(fs::path("")));
}

TEST(DiagnosticLog, AnUnopenablePathDropsLinesAndTheNextCallTriesAgain) {
    const fs::path dir = FreshPath("dir");
    const fs::path inside = dir / "trace.log";
    CLogFile log;
    log.SetPath(inside.string().c_str());
    log.Log("lost");  // the directory does not exist yet
    EXPECT_FALSE(fs::exists(inside));
    fs::create_directory(dir);
    log.Log("kept");
    EXPECT_EQ(Slurp(inside), "kept\n");
    fs::remove_all(dir);
}

TEST(DiagnosticLog, ASecondSetPathRedirectsLaterLines) {
    TempFile first("first");
    TempFile second("second");
    CLogFile log;
    log.SetPath(first.path.string().c_str());
    log.Log("one");
    log.SetPath(second.path.string().c_str());
    log.Log("two");
    log.Log("three");
    EXPECT_EQ(Slurp(first.path), "one\n");
    EXPECT_EQ(Slurp(second.path), "two\nthree\n");
}

TEST(DiagnosticLog, SetPathKeepsItsOwnCopyOfTheName) {
    TempFile file("copy");
    CLogFile log;
    {
        std::string name = file.path.string();
        log.SetPath(name.c_str());
        std::fill(name.begin(), name.end(), 'Z');
    }
    log.Log("still here");
    EXPECT_EQ(Slurp(file.path), "still here\n");
}

TEST(DiagnosticLog, ADeletedFileIsRecreatedByTheNextLine) {
    TempFile file("deleted");
    CLogFile log;
    log.SetPath(file.path.string().c_str());
    log.Log("a");
    fs::remove(file.path);
    log.Log("b");
    EXPECT_EQ(Slurp(file.path), "b\n");
}

TEST(DiagnosticLog, AZeroByteFromTheArgumentsEndsTheLine) {
    TempFile file("nul");
    CLogFile log;
    log.SetPath(file.path.string().c_str());
    log.Log("ab%ccd", 0);
    log.Log("Byte: %c", 0);
    log.Log("%c", 0);
    EXPECT_EQ(Slurp(file.path), "ab\nByte: \n\n");
}

TEST(DiagnosticLog, AZeroByteInALongLineAlsoEndsIt) {
    TempFile file("nul-long");
    CLogFile log;
    log.SetPath(file.path.string().c_str());
    const std::string head(150, 'h');
    log.Log("%s%c%s", head.c_str(), 0, std::string(100, 't').c_str());
    EXPECT_EQ(Slurp(file.path), head + "\n");
}

// The engine side: every trace line goes through the link's log.

TEST(EngineTrace, NoLinkOrALogWithoutAPathParsesNormally) {
    CParsingEngine noLink;
    EXPECT_EQ(noLink.ParseHTML("<P>x</P>"), 0);
    EXPECT_EQ(noLink.GetHTML(), "<P>x</P>");

    CLogLink emptyLink;  // mLog null
    CParsingEngine withEmptyLink;
    withEmptyLink.SetLogLink(&emptyLink);
    EXPECT_EQ(withEmptyLink.ParseHTML("<P>x</P>"), 0);
    EXPECT_EQ(withEmptyLink.GetHTML(), "<P>x</P>");

    CLogFile off;
    CLogLink offLink;
    offLink.mLog = &off;
    CParsingEngine withOffLog;
    withOffLog.SetLogLink(&offLink);
    EXPECT_EQ(withOffLog.ParseHTML("<P>x</P>"), 0);
    EXPECT_EQ(withOffLog.GetHTML(), "<P>x</P>");
}

std::vector<std::string> TraceOf(const std::string& input) {
    TempFile file("engine");
    CLogFile log;
    log.SetPath(file.path.string().c_str());
    CLogLink link;
    link.mLog = &log;
    CParsingEngine engine;
    engine.SetLogLink(&link);
    EXPECT_EQ(engine.ParseHTML(input), 0);
    std::vector<std::string> lines;
    std::istringstream in(Slurp(file.path));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

TEST(EngineTrace, OneStateLinePerByteReadIncludingTheFinalNul) {
    // No construct: every byte (and the final NUL) is read once, in the
    // between-tags state, and nothing else is logged.
    const std::vector<std::string> lines = TraceOf("xyz");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "STARTSTATE: KP_BETWEEN_TAGS \tByte: x");
    EXPECT_EQ(lines[3], "STARTSTATE: KP_BETWEEN_TAGS \tByte: ");
}

TEST(EngineTrace, ALineFeedByteSplitsItsStateLine) {
    const std::vector<std::string> lines = TraceOf("\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "STARTSTATE: KP_BETWEEN_TAGS \tByte: ");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "STARTSTATE: KP_BETWEEN_TAGS \tByte: ");
}

TEST(EngineTrace, LongNodeDataIsCutTo1000BytesInTheLog) {
    const std::string text(1200, 'a');
    const std::vector<std::string> lines = TraceOf(text + "<P>");
    const std::string prefix = "ADDING NODE: TEXT NODE\t parent ROOT\t data ";
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
    ASSERT_NE(it, lines.end());
    EXPECT_EQ(it->size(), 1000u);
    EXPECT_EQ(*it, (prefix + text).substr(0, 1000));
}

TEST(EngineTrace, EveryByteReadHasAStateLine) {
    // 2 state lines per byte for the re-read of "h" and "b"; one per byte
    // otherwise: «<a href='x' b>t» is 15 bytes plus the NUL, and two re-reads.
    const std::vector<std::string> lines = TraceOf("<a href='x' b>t");
    const auto states = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.compare(0, 12, "STARTSTATE: ") == 0;
    });
    const auto redos = std::count(lines.begin(), lines.end(), std::string(" bRedoState=TRUE"));
    EXPECT_EQ(states, 16 + 2);
    EXPECT_EQ(redos, 2);
}

}  // namespace
