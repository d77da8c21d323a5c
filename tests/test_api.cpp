// The public Parser and the control behind it: what they answer before a
// parse, what a new parse replaces, where the trace goes; and when the log
// file is opened (its line format is checked through the tool's --log).
#include "kivoparse/kivoparse.h"  // compiles on its own, first
#include "kivoparse/kivoparse.h"  // and twice

#include <utility>

#include "TestSupport.h"
#include "log/CLogFile.h"

using namespace kivoparse_test;
using Values = std::vector<std::string>;
using namespace std::string_literals;

namespace {

TEST(Parser, AnswersBeforeTheFirstParse) {
    kivoparse::Parser parser;
    EXPECT_EQ(parser.GetHTML(), "");
    EXPECT_EQ(parser.GetImages(), Values{});
    EXPECT_EQ(parser.GetHrefs(), Values{});
    EXPECT_EQ(parser.FixImages({"a"}, {"b"}), 0);
    EXPECT_EQ(parser.FixHrefs({"a"}, {}), -1);
    EXPECT_EQ(parser.FixImages({}, {"b"}), -1);
    EXPECT_EQ(parser.GetHTML(), "");
}

TEST(Parser, ANewParseReplacesTheTreeAndKeepsTheBase) {
    kivoparse::Parser parser;
    parser.SetDocumentBase("C:\\web\\");
    ASSERT_EQ(parser.ParseHTML("<img src=C:/web/one.gif><a href=one.htm>"), 0);
    parser.FixImages({"one.gif"}, {"fixed.gif"});
    ASSERT_EQ(parser.ParseHTML("<P class=a>x\0y</P>"s), 0);
    EXPECT_EQ(parser.GetHTML(), "<P class=\"a\">x\0y</P>"s);
    EXPECT_EQ(parser.GetImages(), Values{});
    ASSERT_EQ(parser.ParseHTML("<img src=C:/web/a.gif>"), 0);
    parser.SetDocumentBase("");  // for the next parse only
    EXPECT_EQ(parser.GetImages(), Values{"a.gif"});
    ASSERT_EQ(parser.ParseHTML("<img src=C:/web/a.gif>"), 0);
    EXPECT_EQ(parser.GetImages(), Values{"C:/web/a.gif"});
    ASSERT_EQ(parser.ParseHTML(""), 0);
    EXPECT_EQ(parser.GetHTML(), "");
}

TEST(Parser, AMovedParserKeepsItsDocumentAndTheSourceStartsAfresh) {
    kivoparse::Parser parser;
    parser.SetDocumentBase("/b/");
    parser.ParseHTML("<img src=/b/a.gif><a href=/b/p.htm>");
    kivoparse::Parser moved(std::move(parser));
    EXPECT_EQ(moved.GetImages(), Values{"a.gif"});
    EXPECT_EQ(moved.GetHrefs(), Values{"/b/p.htm"});
    EXPECT_EQ(parser.GetHTML(), "");  // NOLINT(bugprone-use-after-move): documented behaviour
    parser.ParseHTML("<img src=/b/a.gif>");
    EXPECT_EQ(parser.GetImages(), Values{"/b/a.gif"});
    parser = std::move(moved);
    EXPECT_EQ(parser.GetImages(), Values{"a.gif"});
}

TEST(Parser, EachParseAppendsItsTraceToTheLogSetLast) {
    const fs::path first = TempPath("first"), second = TempPath("second");
    kivoparse::Parser parser, quiet;
    parser.ParseHTML("<b>x</b>");
    parser.SetLogFile(first.string());
    EXPECT_FALSE(fs::exists(first)) << "setting the name opens nothing";
    parser.ParseHTML("<b>x</b>");
    quiet.ParseHTML("<b>y</b>");
    const std::string once = ReadLog(first);
    EXPECT_EQ(once.compare(0, 33, "STARTSTATE: KP_BETWEEN_TAGS \tByte"), 0) << once;
    parser.ParseHTML("<b>x</b>");
    EXPECT_EQ(ReadLog(first), once + once);
    parser.SetLogFile(second.string());
    parser.ParseHTML("<b>x</b>");
    EXPECT_EQ(ReadLog(first), once + once);
    EXPECT_EQ(ReadLog(second), once);
}

TEST(LogFile, ReopensForEachLineAndMovesWithSetPath) {
    const fs::path dir = TempPath("dir"), other = TempPath("other");
    const fs::path inside = dir / "trace.log";
    kivoparse::CLogFile log;
    log.Log("no path: nothing");
    log.SetPath(inside.string().c_str());
    log.Log("lost");  // the directory does not exist yet
    fs::create_directory(dir);
    log.Log("kept");
    EXPECT_EQ(ReadLog(inside), "kept\n");
    std::string name = other.string();
    log.SetPath(name.c_str());
    name.assign(name.size(), 'Z');  // the log keeps a copy
    log.Log("moved");
    EXPECT_EQ(ReadLog(inside), "kept\n");
    EXPECT_EQ(ReadLog(other), "moved\n");
}

}  // namespace
