// The map file's one reader and one writer, from the tables
// tests/data/links/mapfiles.txt and mapfiles-errors.txt: the lines each
// form of the format reads, what the reader notes of the line ends, the
// text the writer makes of them, and the lines both refuse.
#include "TestSupport.h"
#include "kivoparse/kivoparse.h"
#include "kivoparse/site.h"

using namespace kivoparse;
using namespace kivoparse_test;

namespace {

MapFormat FormatOf(const SCase& c) {
    if (c["format"] == "pairs") return MapFormat::Pairs;
    if (c["format"] == "rules") return MapFormat::Rules;
    if (c["format"] == "sections") return MapFormat::Sections;
    throw std::runtime_error(c.mWhere + ": unknown format " + c["format"]);
}

// A line as the tables write it: LINE|DOCUMENT|FROM|TO|KIND.
std::string Shown(const MapLine& line) {
    return std::to_string(line.line) + "|" + line.document.value_or("-") + "|" + line.from + "|" + line.to + "|" +
           (line.prefix ? "prefix" : "exact");
}

// A line to write, as the tables give it: FROM|TO|KIND|DOCUMENT.
MapLine Parsed(const std::string& shown, const std::string& where) {
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t bar = shown.find('|', start);
        fields.push_back(shown.substr(start, bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    if (fields.size() != 4) throw std::runtime_error(where + ": a line to write is FROM|TO|KIND|DOCUMENT");
    MapLine line{std::nullopt, fields[0], fields[1], fields[2] == "prefix", 0};
    if (fields[3] != "-") line.document = fields[3];
    return line;
}

class MapFiles : public ::testing::TestWithParam<SCase> {};
TEST_P(MapFiles, ReadAndWrittenBack) {
    const SCase& c = GetParam();
    const MapFile file = ReadMapFile(c["map"], FormatOf(c));
    std::vector<std::string> lines;
    for (const MapLine& line : file.lines) lines.push_back(Shown(line));
    EXPECT_EQ(lines, c.List("lines"));
    EXPECT_EQ(file.kinds.value_or("-"), c.Has("kinds") ? c["kinds"] : "-");
    EXPECT_EQ(file.sections, c.List("sections"));
    std::vector<std::string> noted;
    if (file.byteOrderMark) noted.push_back("bom");
    if (file.crLfLines) noted.push_back("crlf " + std::to_string(file.crLfLines) + " of " + std::to_string(file.lineCount));
    EXPECT_EQ(noted, c.List("noted"));
    const std::string written = WriteMapFile(file);
    EXPECT_EQ(written, c["written"]);
    // What the writer makes reads back as the same pairs, kinds and sections.
    const MapFile again = ReadMapFile(written, MapFormat::Sections);
    ASSERT_EQ(again.lines.size(), file.lines.size());
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        MapLine line = file.lines[i];
        line.line = again.lines[i].line;
        EXPECT_EQ(Shown(again.lines[i]), Shown(line));
    }
    EXPECT_EQ(again.kinds, file.kinds);
    if (FormatOf(c) != MapFormat::Sections) return;
    // A site map made of the lines gives back a map file that reads as the
    // same map: the pairs for every document, then each document's.
    const SiteMap map(file);
    EXPECT_EQ(WriteMapFile(map.File()), c.Has("site") ? c["site"] : c["written"]);
}
INSTANTIATE_TEST_SUITE_P(Data, MapFiles, ::testing::ValuesIn(LoadCases({"links/mapfiles.txt"}, "written")), CaseName);

class MapFileErrors : public ::testing::TestWithParam<SCase> {};
TEST_P(MapFileErrors, RefusedWithTheirLine) {
    const SCase& c = GetParam();
    try {
        if (c.Has("write")) {
            MapFile file;
            for (const std::string& line : c.List("write")) file.lines.push_back(Parsed(line, c.mWhere));
            WriteMapFile(file);
        } else {
            ReadMapFile(c["map"], FormatOf(c));
        }
        ADD_FAILURE() << "not refused";
    } catch (const MapError& error) {
        EXPECT_EQ(std::to_string(error.Line()) + " " + error.what(), c["error"]);
    }
}
INSTANTIATE_TEST_SUITE_P(Errors, MapFileErrors,
                         ::testing::ValuesIn(LoadCases({"links/mapfiles-errors.txt"}, "error")), CaseName);

// A UrlMap gives back its lines: the exact pairs, then the prefix rules,
// each in their order, a rule that never wins (its prefix taken) too; and
// the map made of them rewrites as the one read.
TEST(MapFileLines, AUrlMapGivesBackItsLines) {
    const UrlMap map = UrlMap::ParseRules("a/*\tA/\nx\ty\na/*\tnever/\nb***\tc*\n");
    std::vector<std::string> lines;
    for (const MapLine& line : map.Lines()) lines.push_back(Shown(line));
    EXPECT_EQ(lines, (std::vector<std::string>{"0|-|x|y|exact", "0|-|a/|A/|prefix", "0|-|a/|never/|prefix",
                                               "0|-|b*|c|prefix"}));
    const UrlMap again(map.Lines());
    for (const char* url : {"a/1", "A/2", "x", "b*3", "b"}) EXPECT_EQ(again.Apply(url), map.Apply(url)) << url;
    EXPECT_TRUE(UrlMap().Lines().empty());
}

}  // namespace
