// The public Parser and the control behind it: what they answer before a
// parse, what a new parse replaces, where the trace goes; and when the log
// file is opened (its line format is checked through the tool's --log).
#include "kivoparse/kivoparse.h"  // compiles on its own, first
#include "kivoparse/kivoparse.h"  // and twice

#include <optional>
#include <stdexcept>
#include <thread>
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

namespace {

// A map file's text, and the pairs or the error line it gives.
struct SMapCase {
    std::string text;
    Values src, dest;
    std::size_t errorLine;  // 0: no error
};

TEST(UrlMap, ParsesTheMapFileFormat) {
    const SMapCase cases[] = {
        {"", {}, {}, 0},
        {"a\tb\n", {"a"}, {"b"}, 0},
        {"a\tb", {"a"}, {"b"}, 0},  // no line feed at the end
        {"a\tb\tc\r\n\t\n", {"a", ""}, {"b\tc\r", ""}, 0},
        {"x\0y\tz\n"s, {"x\0y"s}, {"z"}, 0},
        {"a\tb\n\n", {}, {}, 2},  // an empty line that is not the last
        {"a\tb\nc\nd\te\n", {}, {}, 2},
        {"\n", {}, {}, 1},
    };
    for (const SMapCase& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.errorLine) {
            try {
                kivoparse::UrlMap::Parse(c.text);
                ADD_FAILURE() << "no MapError";
            } catch (const kivoparse::MapError& error) {
                EXPECT_EQ(error.Line(), c.errorLine);
                EXPECT_EQ(std::string(error.what()), "line " + std::to_string(c.errorLine) +
                                                         " has no TAB; each line must be old value, TAB, new value");
            }
            continue;
        }
        const kivoparse::UrlMap map = kivoparse::UrlMap::Parse(c.text);
        EXPECT_EQ(map.Size(), c.src.size());
        EXPECT_EQ(map.Sources(), c.src);
        EXPECT_EQ(map.Destinations(), c.dest);
    }
    EXPECT_EQ(kivoparse::UrlMap().Size(), 0u);
    EXPECT_EQ(kivoparse::UrlMap().Sources(), Values{});
}

// One pass over one tree: a title holding a double quote does not read back
// as itself, which hides the link from a second parse of the first output.
TEST(Parser, RewritesImagesAndLinksInOnePass) {
    const std::string page = "<a title='say \"hi\"' href=a.html>x</a><img src=A.GIF>";
    const kivoparse::UrlMap images({"a.gif"}, {"b.gif"}), links({"a.html"}, {"b.html"});
    kivoparse::Parser parser;
    EXPECT_EQ(parser.Rewrite(images, links), 0);  // no tree yet
    parser.ParseHTML(page);
    EXPECT_EQ(parser.Rewrite(images, kivoparse::UrlMap({"x"}, {})), -1);
    EXPECT_EQ(parser.GetImages(), Values{"A.GIF"}) << "an invalid table changes nothing";
    EXPECT_EQ(parser.Rewrite(images, links), 0);
    EXPECT_EQ(parser.GetHTML(), "<A title=\"say \"hi\"\" href=\"b.html\">x</A><IMG src=\"b.gif\">");
    parser.ParseHTML(page);
    EXPECT_EQ(parser.Rewrite(kivoparse::UrlMap(), links), 0);
    EXPECT_EQ(parser.GetHTML(), "<A title=\"say \"hi\"\" href=\"b.html\">x</A><IMG src=\"A.GIF\">");
}

TEST(Parser, WritesToASinkTheBytesOfGetHTML) {
    kivoparse::Parser parser;
    std::string written;
    parser.WriteHTML([&](std::string_view piece) { written += piece; });
    EXPECT_EQ(written, "");
    std::string page;
    for (int i = 0; i < 20000; ++i) page += "<p class=c" + std::to_string(i) + ">t\0x</p>"s;
    parser.ParseHTML(page);
    std::size_t pieces = 0;
    parser.WriteHTML([&](std::string_view piece) {
        written += piece;
        ++pieces;
    });
    EXPECT_EQ(written, parser.GetHTML());
    EXPECT_GT(pieces, 1u);
}

TEST(Parser, TraceSinkGetsTheLinesOfTheLogFile) {
    const fs::path file = TempPath("sink");
    kivoparse::Parser toFile, toSink;
    toFile.SetLogFile(file.string());
    std::string lines;
    toSink.SetTraceSink([&](std::string_view line) {
        EXPECT_EQ(line.find('\n'), std::string_view::npos);
        lines.append(line).push_back('\n');
    });
    const std::string page = "<b>x<|i|></b><img src=a.gif>";
    toFile.ParseHTML(page);
    toSink.ParseHTML(page);
    EXPECT_EQ(lines, ReadLog(file));
    toSink.SetTraceSink(nullptr);
    lines.clear();
    toSink.ParseHTML(page);
    EXPECT_EQ(lines, "") << "an empty sink turns the trace off";
    toSink.SetTraceSink([](std::string_view) { throw std::runtime_error("sink full"); });
    EXPECT_THROW(toSink.ParseHTML(page), std::runtime_error);
    EXPECT_EQ(toSink.GetHTML(), "") << "a failed parse leaves no tree";
    toSink.SetTraceSink(nullptr);
    toSink.ParseHTML(page);
    EXPECT_EQ(toSink.GetImages(), Values{"a.gif"});
}

std::string Join(const Values& values) {
    std::string out;
    for (const std::string& value : values) out += value + "\n";
    return out;
}

// A thread keeps the small node pieces that its trees let go of for its next
// trees: a tree built in memory that a larger one filled before must write
// what a tree built in a fresh thread writes.
TEST(Parser, ATreeInReusedMemoryWritesWhatAFreshOneWrites) {
    const fs::path data = KIVOPARSE_TEST_DATA, source = data.parent_path().parent_path();
    // Fills pieces of one, two and four blocks with nodes, recycled ones among them.
    const std::string filler = Repeat("<ul data-x='1'><li>a &amp; b<li><b class=c>x</b></p></ul>", 6000);
    std::size_t count = 0;
    for (const fs::path& dir : {data / "regress", source / "samples"}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            SCOPED_TRACE(entry.path().string());
            const std::string page = ReadFile(entry.path());
            std::string fresh;
            std::thread([&] {
                kivoparse::Parser parser;
                parser.ParseHTML(page);
                fresh = parser.GetHTML() + "|" + Join(parser.GetImages()) + "|" + Join(parser.GetHrefs());
            }).join();
            kivoparse::Parser parser;
            parser.ParseHTML(filler);
            parser.ParseHTML(page);
            EXPECT_EQ(parser.GetHTML() + "|" + Join(parser.GetImages()) + "|" + Join(parser.GetHrefs()), fresh);
            ++count;
        }
    }
    EXPECT_GT(count, 8u);
}

TEST(Version, NamesTheHeadersVersion) {
    EXPECT_EQ(std::string(kivoparse::Version()), std::to_string(KIVOPARSE_VERSION_MAJOR) + "." +
                                                     std::to_string(KIVOPARSE_VERSION_MINOR) + "." +
                                                     std::to_string(KIVOPARSE_VERSION_PATCH));
}

}  // namespace

namespace {

// The one-call functions give what a Parser with the same settings gives,
// whatever the base and the raw-text switch.
TEST(OneCall, GivesWhatAParserWithTheSameSettingsGives) {
    const std::vector<std::string> pages = {
        "<img src=/base/a.gif><a href=P.HTM>x</a><script>x('<a href=s.htm>')</script>",
        "<link href=s.css><img srcset='a.gif 1x, /base/b.gif 2x' src=a.gif><style>p{background:url(a.gif)}</style>",
        "", "<a href=a\\b.htm background=\\base\\c.gif>"};
    const kivoparse::UrlMap images({"a.gif", "c.gif"}, {"i.gif", "j.gif"}), links({"p.htm"}, {"q.htm"});
    const kivoparse::UrlRewriter upper = [](kivoparse::UrlKind, std::string_view url) {
        return std::optional<std::string>("U" + std::string(url));
    };
    auto places = [](const std::vector<kivoparse::UrlOccurrence>& found) {
        std::vector<std::string> out;
        for (const auto& o : found) out.push_back(o.url + "@" + std::to_string(o.offset) + o.tag + o.attribute);
        return out;
    };
    const auto all = kivoparse::UrlKinds::All();
    for (const std::string& page : pages) {
        for (const std::string base : {"", "/base/"}) {
            for (const bool raw : {false, true}) {
                auto parsed = [&] {
                    kivoparse::Parser parser;
                    parser.SetDocumentBase(base);
                    parser.SetRawText(raw);
                    parser.ParseHTML(page);
                    return parser;
                };
                kivoparse::Parser parser = parsed();
                EXPECT_EQ(kivoparse::Normalize(page, base, raw), parser.GetHTML()) << page;
                EXPECT_EQ(kivoparse::Images(page, base, raw), parser.GetImages()) << page;
                EXPECT_EQ(kivoparse::Hrefs(page, base, raw), parser.GetHrefs()) << page;
                EXPECT_EQ(kivoparse::Urls(page, all, base, raw), parser.GetUrls(all)) << page;
                EXPECT_EQ(places(kivoparse::UrlOccurrences(page, all, base, raw)), places(parser.GetUrlOccurrences(all)));
                parser.Rewrite(images, links);
                EXPECT_EQ(kivoparse::Rewrite(page, images, links, base, raw), parser.GetHTML()) << page;
                parser = parsed();
                parser.Rewrite(all, images);
                EXPECT_EQ(kivoparse::RewriteUrls(page, all, images, base, raw), parser.GetHTML()) << page;
                parser = parsed();
                parser.Rewrite(all, upper);
                EXPECT_EQ(kivoparse::RewriteUrls(page, all, upper, base, raw), parser.GetHTML()) << page;
            }
        }
    }
    EXPECT_THROW(kivoparse::RewriteUrls("<a href=x>", all,
                                        [](kivoparse::UrlKind, std::string_view) -> std::optional<std::string> {
                                            throw std::runtime_error("no");
                                        }),
                 std::runtime_error);
}

}  // namespace
