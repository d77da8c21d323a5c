// The parts of the tool that are plain functions: JSON strings, list
// formats, output paths, name endings and the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CCommandLine.h"
#include "cli/CInputList.h"
#include "cli/ValueFormat.h"

using namespace kivoparse::cli;

namespace {

std::string Json(const std::string& bytes) {
    std::string out;
    AppendJsonString(out, bytes);
    return out;
}

SParseResult ParseWords(std::vector<std::string> words) { return CCommandLine::Parse(words); }

}  // namespace

struct SJsonCase {
    std::string mBytes;
    std::string mJson;
};

TEST(JsonString, BytesMapToOneLosslessString) {
    const SJsonCase cases[] = {
        {"", "\"\""}, {"a.gif", "\"a.gif\""},
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {"\"\\/", "\"\\\"\\\\/\""}, {"\b\f\n\r\t\x1f\x7f", "\"\\b\\f\\n\\r\\t\\u001f\\u007f\""},
        // Valid sequences of every length, at the edges of their ranges.
        {"\xc2\x80\xdf\xbf", "\"\xc2\x80\xdf\xbf\""}, {"\xe0\xa0\x80", "\"\xe0\xa0\x80\""},
        {"\xed\x9f\xbf", "\"\xed\x9f\xbf\""}, {"\xef\xbf\xbf", "\"\xef\xbf\xbf\""},
        {"\xf0\x90\x80\x80", "\"\xf0\x90\x80\x80\""}, {"\xf4\x8f\xbf\xbf", "\"\xf4\x8f\xbf\xbf\""},
        // Invalid: stray continuation, overlong forms, surrogates, past U+10FFFF, cut short.
        {"\x80", "\"\\udc80\""}, {"\xc0\xaf", "\"\\udcc0\\udcaf\""},
        {"\xc1\xbf", "\"\\udcc1\\udcbf\""}, {"\xe0\x9f\xbf", "\"\\udce0\\udc9f\\udcbf\""},
        {"\xed\xa0\x80", "\"\\udced\\udca0\\udc80\""},
        {"\xf0\x8f\xbf\xbf", "\"\\udcf0\\udc8f\\udcbf\\udcbf\""},
        {"\xf4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""}, {"\xf5", "\"\\udcf5\""},
        {"\xff", "\"\\udcff\""}, {"\xe2\x82", "\"\\udce2\\udc82\""},
        {"\xe2\x82x", "\"\\udce2\\udc82x\""}, {"\xf0\x9f\x98", "\"\\udcf0\\udc9f\\udc98\""},
        // A valid character right after an invalid byte is kept whole.
        {"\xff\xc3\xa9", "\"\\udcff\xc3\xa9\""}};
    for (const SJsonCase& c : cases) EXPECT_EQ(Json(c.mBytes), c.mJson) << testing::PrintToString(c.mBytes);
}

struct SFormatCase {
    EListFormat mFormat;
    bool mMulti;
    std::string mExpected;
};

TEST(ValueListFormat, WritesEachValueWithItsEnd) {
    const std::vector<std::string> values{"y.gif", std::string("x\0.gif", 6)};
    const SFormatCase cases[] = {
        {EListFormat::Lines, false, std::string("y.gif\nx\0.gif\n", 13)},
        {EListFormat::Nul, false, std::string("y.gif\0x\0.gif\0", 13)},
        {EListFormat::Json, false, "[\"y.gif\", \"x\\u0000.gif\"]\n"},
        {EListFormat::Lines, true, std::string("d/p.html\ty.gif\nd/p.html\tx\0.gif\n", 31)},
        {EListFormat::Nul, true, std::string("d/p.html\0y.gif\0d/p.html\0x\0.gif\0", 31)},
        {EListFormat::Json, true, "{\"file\": \"d/p.html\", \"values\": [\"y.gif\", \"x\\u0000.gif\"]}\n"},
    };
    for (const SFormatCase& c : cases)
        EXPECT_EQ(FormatValues(values, c.mFormat, c.mMulti, "d/p.html"), c.mExpected)
            << "format " << static_cast<int>(c.mFormat) << (c.mMulti ? ", several files" : "");
}

TEST(ValueListFormat, EmptyListsWriteNothingButJson) {
    EXPECT_EQ(FormatValues({}, EListFormat::Lines, true, "a"), "");
    EXPECT_EQ(FormatValues({}, EListFormat::Json, false, "a"), "[]\n");
    EXPECT_EQ(FormatValues({}, EListFormat::Json, true, "a"), "{\"file\": \"a\", \"values\": []}\n");
}

TEST(OutputPath, InputPathIsMadeRelativeLexically) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"a.html", "a.html"},          {"./a.html", "a.html"},          {"site//b/./x.htm", "site/b/x.htm"},
        {"/var/www/a.html", "var/www/a.html"}, {"../site/a.html", "site/a.html"}, {"../../a.html", "a.html"},
        {"a/../b.html", "b.html"},     {"a/b/../../../c.html", "c.html"}, {"..", ""},
        {"/", ""},                     {".", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CInputList::RelativeOutPath(c.first), c.second) << c.first;
}

TEST(NameEndings, MatchAfterADotInAnyLetterCase) {
    const std::vector<std::string> endings{"html", "htm"};
    for (const char* name : {"a.html", "A.HTM", "x.HtMl", ".html"})
        EXPECT_TRUE(CInputList::HasExtension(name, endings)) << name;
    for (const char* name : {"html", "a.xhtml", "a.html.bak", "a.ht"})
        EXPECT_FALSE(CInputList::HasExtension(name, endings)) << name;
}

TEST(CommandLine, ReadsOptionsInAnyOrderAndBothSpellings) {
    SParseResult r = ParseWords({"images", "a.html", "--base=C:\\web\\", "-r0j3", "--ext", ".SHTML,htm", "b"});
    ASSERT_EQ(r.mOutcome, EParseOutcome::Run) << r.mMessage;
    const SOptions& o = r.mOptions;
    EXPECT_EQ(o.mCommand, ECommand::Images);
    EXPECT_EQ(o.mBase, "C:\\web\\");
    EXPECT_TRUE(o.mRecursive);
    EXPECT_EQ(o.mFormat, EListFormat::Nul);
    EXPECT_EQ(o.mJobs, 3u);
    EXPECT_EQ(o.mExtensions, (std::vector<std::string>{"shtml", "htm"}));
    EXPECT_EQ(o.mOperands, (std::vector<std::string>{"a.html", "b"}));
}

TEST(CommandLine, DoubleDashEndsOptionsAndDashIsTheStandardInput) {
    SParseResult r = ParseWords({"html", "--", "-r", "--json"});
    ASSERT_EQ(r.mOutcome, EParseOutcome::Run) << r.mMessage;
    EXPECT_FALSE(r.mOptions.mRecursive);
    EXPECT_EQ(r.mOptions.mOperands, (std::vector<std::string>{"-r", "--json"}));
    r = ParseWords({"html", "-"});
    ASSERT_EQ(r.mOutcome, EParseOutcome::Run);
    EXPECT_EQ(r.mOptions.mOperands, (std::vector<std::string>{"-"}));
}

TEST(CommandLine, HelpWinsOverEverythingElse) {
    EXPECT_EQ(ParseWords({"fix-hrefs", "--bogus", "--help"}).mOutcome, EParseOutcome::Help);
    EXPECT_EQ(ParseWords({"--help"}).mOutcome, EParseOutcome::Help);
    SParseResult r = ParseWords({"help", "images"});
    EXPECT_EQ(r.mOutcome, EParseOutcome::Help);
    EXPECT_TRUE(r.mHasCommand);
}

TEST(CommandLine, RefusesWhatCannotWork) {
    const std::vector<std::vector<std::string>> cases{
        {}, {"parse"}, {"html", "--json"}, {"hrefs", "--json", "-0"}, {"images", "--out", "o"},
        {"fix-images", "a.html"}, {"html", "--map", "m"}, {"html", "-j", "0"}, {"html", "-j", "1025"},
        {"html", "-j", "99999999999999999999"}, {"html", "-j"}, {"html", "--log", "t", "a", "b"},
        {"html", "--log", "t", "-r", "a"}, {"html", "-", "-"}, {"html", "--out", "o"},
        {"fix-images", "--map", "-"}, {"html", "--ext", "html,,htm", "-r", "a"}, {"html", "--json=1"},
    };
    for (const auto& words : cases) {
        SParseResult r = ParseWords(words);
        std::string line;
        for (const std::string& word : words) line += " " + word;
        EXPECT_EQ(r.mOutcome, EParseOutcome::UsageError) << line;
        EXPECT_FALSE(r.mMessage.empty());
    }
}

TEST(CommandLine, EveryCommandHasHelpWithAnExample) {
    for (ECommand c : {ECommand::Html, ECommand::Images, ECommand::Hrefs, ECommand::FixImages, ECommand::FixHrefs}) {
        std::string help = CCommandLine::HelpText(true, c);
        EXPECT_NE(help.find(std::string("usage: kivoparse ") + CCommandLine::CommandName(c)), std::string::npos);
        EXPECT_NE(help.find("Example:\n  kivoparse "), std::string::npos);
    }
}
