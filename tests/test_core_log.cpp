// The diagnostic log: one line per call, appended; the 99/100 and 1000/1001
// byte boundaries of the two formatting buffers; redirection; a log that
// cannot be written never disturbs the caller.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/CParsingEngine.h"
#include "log/CLogFile.h"

#include "TestSupport.h"

namespace fs = std::filesystem;
using kivoparse::CLogFile;
using kivoparse::CLogLink;
using kivoparse::CParsingEngine;
using kivoparse_test::ReadLog;
using kivoparse_test::STrace;
using kivoparse_test::TempPath;

namespace {

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
        TempPath file("len");
        CLogFile log;
        log.SetPath(file.String().c_str());
        std::string message;
        for (std::size_t i = 0; i < c.length; ++i) message += static_cast<char>('a' + i % 26);
        log.Log("%s", message.c_str());
        EXPECT_EQ(ReadLog(file.Path()), message.substr(0, c.written) + "\n");
    }
}

TEST(DiagnosticLog, BoundariesHoldForTextMadeByTheFormatToo) {
    TempPath file("fmt");
    CLogFile log;
    log.SetPath(file.String().c_str());
    // 95 + "1234" = 99 characters; 96 + "1234" = 100.
    const std::string a(95, 'x');
    const std::string b(96, 'y');
    const std::string c(996, 'z');
    const std::string d(997, 'w');
    log.Log("%s%d", a.c_str(), 1234);
    log.Log("%s%d", b.c_str(), 1234);
    log.Log("%s%d", c.c_str(), 1234);
    log.Log("%s%d", d.c_str(), 1234);
    EXPECT_EQ(ReadLog(file.Path()), a + "1234\n" + b + "1234\n" + c + "1234\n" + d + "123\n");
}

TEST(DiagnosticLog, EachCallAppendsExactlyOneLineWithoutAnyPrefix) {
    TempPath file("lines");
    CLogFile log;
    log.SetPath(file.String().c_str());
    log.Log("first");
    log.Log("ADDING NODE: %s\t parent %s\t data %s", "P", "ROOT", "P");
    log.Log("%d-%c-%s", 42, 'q', "end");
    CallLogV(log, "via %s", "LogV");
    EXPECT_EQ(ReadLog(file.Path()), "first\nADDING NODE: P\t parent ROOT\t data P\n42-q-end\nvia LogV\n");
}

TEST(DiagnosticLog, SetPathWritesNothingAndLinesAppendToAnExistingFile) {
    TempPath file("append");
    CLogFile log;
    log.SetPath(file.String().c_str());
    EXPECT_FALSE(fs::exists(file.Path())) << "the file is created by the first line, not by SetPath";
    {
        std::ofstream old(file.Path(), std::ios::binary);
        old << "old line\n";
    }
    log.SetPath(file.String().c_str());
    EXPECT_EQ(ReadLog(file.Path()), "old line\n");
    log.Log("new line");
    EXPECT_EQ(ReadLog(file.Path()), "old line\nnew line\n");
}

TEST(DiagnosticLog, WithoutAPathOrWithAnEmptyOneNothingIsWritten) {
    CLogFile log;
    EXPECT_FALSE(log.IsOn());
    log.Log("%s", "nothing");
    CallLogV(log, "%s", "nothing");
    log.SetPath("");
    log.Log("%s", "dropped");
    log.Log("%s", std::string(2000, 'x').c_str());
    EXPECT_FALSE(fs::exists(fs::path("")));
}

TEST(DiagnosticLog, EachLineReopensTheFileSoMissingOnesAreTriedAgain) {
    TempPath dir("dir");
    const fs::path inside = dir.Path() / "trace.log";
    CLogFile log;
    log.SetPath(inside.string().c_str());
    log.Log("lost");  // the directory does not exist yet
    EXPECT_FALSE(fs::exists(inside));
    fs::create_directory(dir.Path());
    log.Log("kept");
    EXPECT_EQ(ReadLog(inside), "kept\n");
    fs::remove(inside);  // a deleted file is recreated by the next line
    log.Log("again");
    EXPECT_EQ(ReadLog(inside), "again\n");
}

TEST(DiagnosticLog, ASecondSetPathRedirectsAndTheNameIsCopied) {
    TempPath first("first");
    TempPath second("second");
    CLogFile log;
    log.SetPath(first.String().c_str());
    log.Log("one");
    {
        std::string name = second.String();
        log.SetPath(name.c_str());
        std::fill(name.begin(), name.end(), 'Z');
    }
    log.Log("two");
    log.Log("three");
    EXPECT_EQ(ReadLog(first.Path()), "one\n");
    EXPECT_EQ(ReadLog(second.Path()), "two\nthree\n");
}

TEST(DiagnosticLog, AZeroByteFromTheArgumentsEndsTheLine) {
    TempPath file("nul");
    CLogFile log;
    log.SetPath(file.String().c_str());
    log.Log("ab%ccd", 0);
    log.Log("Byte: %c", 0);
    log.Log("%c", 0);
    const std::string head(150, 'h');  // also past the short buffer
    log.Log("%s%c%s", head.c_str(), 0, std::string(100, 't').c_str());
    EXPECT_EQ(ReadLog(file.Path()), "ab\nByte: \n\n" + head + "\n");
}

// The engine side: every trace line goes through the link's log.

TEST(EngineTrace, NoLinkOrALogWithoutAPathParsesNormally) {
    CLogLink emptyLink;  // mLog null
    CLogFile off;
    CLogLink offLink;
    offLink.mLog = &off;
    for (CLogLink* link : {static_cast<CLogLink*>(nullptr), &emptyLink, &offLink}) {
        CParsingEngine engine;
        if (link) engine.SetLogLink(link);
        EXPECT_EQ(engine.ParseHTML("<P>x</P>"), 0);
        EXPECT_EQ(engine.GetHTML(), "<P>x</P>");
    }
}

std::vector<std::string> TraceOf(const std::string& input) {
    TempPath file("engine");
    STrace trace(file.String());
    CParsingEngine engine;
    engine.SetLogLink(&trace.mLink);
    EXPECT_EQ(engine.ParseHTML(input), 0);
    std::vector<std::string> lines;
    std::istringstream in(ReadLog(file.Path()));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

TEST(EngineTrace, WithoutAConstructEachByteReadIncludingTheFinalNulHasOneStateLine) {
    // A line feed byte splits its state line in two.
    const struct {
        std::string input;
        std::vector<std::string> lines;
    } cases[] = {
        {"xyz", {"STARTSTATE: KP_BETWEEN_TAGS \tByte: x", "STARTSTATE: KP_BETWEEN_TAGS \tByte: y",
                 "STARTSTATE: KP_BETWEEN_TAGS \tByte: z", "STARTSTATE: KP_BETWEEN_TAGS \tByte: "}},
        {"\n", {"STARTSTATE: KP_BETWEEN_TAGS \tByte: ", "", "STARTSTATE: KP_BETWEEN_TAGS \tByte: "}},
    };
    for (const auto& c : cases) EXPECT_EQ(TraceOf(c.input), c.lines) << c.input;
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

}  // namespace
