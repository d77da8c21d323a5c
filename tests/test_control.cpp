// The control's lifecycle: what it answers before a parse, what a new parse
// replaces, and where its trace goes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/CKIVOParseCtrl.h"
#include "TestSupport.h"

namespace kivoparse {
namespace {

using Values = std::vector<std::string>;
using namespace std::string_literals;
using kivoparse_test::ReadLog;
using kivoparse_test::TempPath;

bool FileExists(const TempPath& path) { return std::filesystem::exists(path.Path()); }

TEST(ControlLifecycle, AnswersBeforeFirstParse) {
    CKIVOParseCtrl ctrl;
    EXPECT_EQ(ctrl.GetHTML(), "");
    EXPECT_EQ(ctrl.GetImages(), Values{});
    EXPECT_EQ(ctrl.GetHrefs(), Values{});
    EXPECT_EQ(ctrl.FixImages({"a"}, {"b"}), 0);
    EXPECT_EQ(ctrl.FixHrefs({}, {}), 0);
    EXPECT_EQ(ctrl.FixImages({"a"}, {}), -1);
    EXPECT_EQ(ctrl.FixHrefs({}, {"b"}), -1);
    // Nothing of this made a tree.
    EXPECT_EQ(ctrl.GetHTML(), "");
}

TEST(ControlLifecycle, SecondParseReplacesFirst) {
    CKIVOParseCtrl ctrl;
    ASSERT_EQ(ctrl.ParseHTML("<img src=one.gif><a href=one.htm>"), 0);
    ctrl.FixImages({"one.gif"}, {"fixed.gif"});
    ASSERT_EQ(ctrl.ParseHTML("<P class=a>x</P>"), 0);
    EXPECT_EQ(ctrl.GetHTML(), "<P class=\"a\">x</P>");
    EXPECT_EQ(ctrl.GetImages(), Values{});
    EXPECT_EQ(ctrl.GetHrefs(), Values{});
    // An empty parse leaves an empty tree, not the previous one.
    ASSERT_EQ(ctrl.ParseHTML(""), 0);
    EXPECT_EQ(ctrl.GetHTML(), "");
}

TEST(ControlLifecycle, StringsPassWholeWithNulBytesAndWritingTwiceGivesTheSame) {
    CKIVOParseCtrl ctrl;
    ASSERT_EQ(ctrl.ParseHTML("<p>a\0b</p>"s), 0);
    EXPECT_EQ(ctrl.GetHTML(), "<P>a\0b</P>"s);
    ctrl.ParseHTML("<body><blockquote>x</body>");
    EXPECT_EQ(ctrl.GetHTML(), "<BODY><BLOCKQUOTE>x</BLOCKQUOTE>");
    EXPECT_EQ(ctrl.GetHTML(), "<BODY><BLOCKQUOTE>x</BLOCKQUOTE>");
}

TEST(ControlLog, NothingWrittenBeforeSetLogFile) {
    TempPath log("trace");
    CKIVOParseCtrl ctrl;
    ctrl.ParseHTML("<p>x</p>");
    ctrl.GetHTML();
    ctrl.GetImages();
    EXPECT_FALSE(FileExists(log));
    ctrl.SetLogFile(log.String());
    EXPECT_FALSE(FileExists(log));  // setting the name opens nothing
    ctrl.ParseHTML("<p>x</p>");
    const std::string trace = ReadLog(log.Path());
    EXPECT_EQ(trace.compare(0, 12, "STARTSTATE: "), 0) << trace.substr(0, 80);
    EXPECT_NE(trace.find("ADDING NODE: "), std::string::npos);
    EXPECT_EQ(trace.back(), '\n');
}

TEST(ControlLog, EachParseAppendsAndSetLogFileRedirects) {
    TempPath first("first");
    TempPath second("second");
    CKIVOParseCtrl ctrl;
    ctrl.SetLogFile(first.String());
    ctrl.ParseHTML("<b>x</b>");
    const std::string once = ReadLog(first.Path());
    ASSERT_FALSE(once.empty());
    // The log carries over to the next engine and appends to the file.
    ctrl.ParseHTML("<b>x</b>");
    EXPECT_EQ(ReadLog(first.Path()), once + once);
    ctrl.SetLogFile(second.String());
    ctrl.ParseHTML("<b>x</b>");
    EXPECT_EQ(ReadLog(first.Path()), once + once);
    EXPECT_EQ(ReadLog(second.Path()), once);
}

TEST(ControlLog, LogsOfTwoControlsStaySeparate) {
    TempPath log("one");
    CKIVOParseCtrl traced;
    CKIVOParseCtrl quiet;
    traced.SetLogFile(log.String());
    quiet.ParseHTML("<p>quiet</p>");
    EXPECT_FALSE(FileExists(log));
    traced.ParseHTML("<p>x</p>");
    EXPECT_TRUE(FileExists(log));
}

}  // namespace
}  // namespace kivoparse
