// Replays every input under tests/data/regress/ (each one a past fuzzer
// finding or a seed at a buffer or nesting edge) through parse, write,
// collect and rewrite, and checks that the shipped sample pages and the
// README's library snippet still do what the documentation shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/CParsingEngine.h"
#include "kivoparse/kivoparse.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using kivoparse::CParsingEngine;
using kivoparse_test::ReadFile;

namespace {

const fs::path kDataDir = KIVOPARSE_TEST_DATA;
const fs::path kSourceDir = kDataDir.parent_path().parent_path();

std::vector<fs::path> FilesIn(const fs::path& dir, const std::string& extension) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file() && (extension.empty() || entry.path().extension() == extension))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

void ParseWriteCollectRewrite(const std::string& input) {
    CParsingEngine engine;
    engine.SetDocumentBase("/base/");
    ASSERT_EQ(engine.ParseHTML(input), 0);
    kivoparse_test::ExpectCollectAndRewriteAgree(engine);
}

}  // namespace

TEST(RegressionInputs, ReplayEveryFile) {
    const std::vector<fs::path> files = FilesIn(kDataDir / "regress", "");
    ASSERT_FALSE(files.empty()) << "no inputs under " << (kDataDir / "regress");
    for (const fs::path& file : files) {
        if (file.filename() == "README.md") continue;
        SCOPED_TRACE(file.string());
        ParseWriteCollectRewrite(ReadFile(file));
    }
}

TEST(SampleDocuments, WriteBackMatchesTheDocumentedOutput) {
    const std::vector<fs::path> samples = FilesIn(kSourceDir / "samples", ".html");
    ASSERT_FALSE(samples.empty());
    for (const fs::path& sample : samples) {
        SCOPED_TRACE(sample.string());
        const fs::path expected = kSourceDir / "docs" / "expected" / sample.filename();
        ASSERT_TRUE(fs::exists(expected)) << "no documented output " << expected;
        CParsingEngine engine;
        ASSERT_EQ(engine.ParseHTML(ReadFile(sample)), 0);
        EXPECT_EQ(engine.GetHTML(), ReadFile(expected));
        ParseWriteCollectRewrite(ReadFile(sample));
    }
}

// The README shows what its build-and-run command prints for this page.
TEST(SampleDocuments, ReadmeShowsTheCatalogueOutput) {
    const std::string expected = ReadFile(kSourceDir / "docs" / "expected" / "catalogue.html");
    ASSERT_FALSE(expected.empty());
    EXPECT_NE(ReadFile(kSourceDir / "README.md").find("```html\n" + expected + "\n```"), std::string::npos);
}

// The README's six-line snippet, run as written: the test fails when the
// README no longer holds these lines or they no longer give what its
// comments say.
TEST(SampleDocuments, ReadmeSnippetRunsAsShown) {
    const char* const lines[] = {
        R"(kivoparse::Parser parser;)",
        R"(parser.SetDocumentBase("C:\\site\\");)",
        R"(parser.ParseHTML("<img src=C:\\site\\logo.gif><a href=Home.htm>home</a>");)",
        R"(std::string html = parser.GetHTML();          // <IMG src="logo.gif"><A href="Home.htm">home</A>)",
        R"(std::vector<std::string> images = parser.GetImages();  // {"logo.gif"})",
        R"(parser.FixHrefs({"home.HTM"}, {"index.htm"}); // now <A href="index.htm">home</A>)",
    };
    const std::string readme = ReadFile(kSourceDir / "README.md");
    for (const char* line : lines) EXPECT_NE(readme.find(line), std::string::npos) << "README lacks: " << line;

    kivoparse::Parser parser;
    parser.SetDocumentBase("C:\\site\\");
    parser.ParseHTML("<img src=C:\\site\\logo.gif><a href=Home.htm>home</a>");
    std::string html = parser.GetHTML();
    EXPECT_EQ(html, R"(<IMG src="logo.gif"><A href="Home.htm">home</A>)");
    std::vector<std::string> images = parser.GetImages();
    EXPECT_EQ(images, std::vector<std::string>{"logo.gif"});
    parser.FixHrefs({"home.HTM"}, {"index.htm"});
    EXPECT_EQ(parser.GetHTML(), R"(<IMG src="logo.gif"><A href="index.htm">home</A>)");
}
