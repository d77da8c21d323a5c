// Small helpers shared by the test files: whole-file reads, temporary paths
// that clean up after themselves, repeated strings.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "log/CLogFile.h"

namespace kivoparse_test {

// A trace file and the link an engine reaches it through:
// engine.SetLogLink(&trace.mLink).
struct STrace {
    explicit STrace(const std::string& path) {
        mLog.SetPath(path.c_str());
        mLink.mLog = &mLog;
    }
    kivoparse::CLogFile mLog;
    kivoparse::CLogLink mLink;
};

// The whole file as bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A log file's lines, each ended by "\n". The log is written in text mode,
// so on Windows its lines end in "\r\n"; the lines are what is compared.
inline std::string ReadLog(const std::filesystem::path& path) {
    std::string text = ReadFile(path);
#ifdef _WIN32
    std::string::size_type kept = 0;
    for (std::string::size_type i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) text[kept++] = text[i];
    text.resize(kept);
#endif
    return text;
}

inline std::string Repeat(const std::string& piece, std::size_t count) {
    std::string out;
    out.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i) out += piece;
    return out;
}

// A path in the temporary directory unique to the running test and call,
// absent at first and removed (with anything below it) at the end.
class TempPath {
public:
    explicit TempPath(const std::string& tag) {
        static std::atomic<int> counter{0};
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "kivoparse_" + std::string(info ? info->test_suite_name() : "") + "_" +
                           (info ? info->name() : "") + "_" + tag + "_" + std::to_string(counter++) + ".log";
        for (char& c : name)
            if (c == '/') c = '_';
        mPath = std::filesystem::temp_directory_path() / name;
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    ~TempPath() {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
    const std::filesystem::path& Path() const { return mPath; }
    std::string String() const { return mPath.string(); }

private:
    std::filesystem::path mPath;
};

// What GetImages and GetHrefs list, FixImages and FixHrefs find again:
// the lists given back as both lists change no listed value; renaming them
// to fresh names renames every property they came from and nothing else;
// and renaming back restores them. Works on the engine and the control.
template <class Parser>
void ExpectCollectAndRewriteAgree(Parser& parser) {
    using Values = std::vector<std::string>;
    const std::string written = parser.GetHTML();
    ASSERT_EQ(parser.GetHTML(), written) << "a second write differs";
    const Values images = parser.GetImages();
    const Values hrefs = parser.GetHrefs();
    ASSERT_EQ(parser.FixImages(images, images), 0);
    ASSERT_EQ(parser.FixHrefs(hrefs, hrefs), 0);
    ASSERT_EQ(parser.GetImages(), images) << "rewriting values with themselves changed the collection";
    ASSERT_EQ(parser.GetHrefs(), hrefs);

    Values newImages, newHrefs;
    for (std::size_t i = 0; i < images.size(); ++i) newImages.push_back("img" + std::to_string(i));
    for (std::size_t i = 0; i < hrefs.size(); ++i) newHrefs.push_back("href" + std::to_string(i));
    ASSERT_EQ(parser.FixImages(images, newImages), 0);
    ASSERT_EQ(parser.GetImages(), newImages);
    ASSERT_EQ(parser.GetHrefs(), hrefs);
    ASSERT_EQ(parser.FixHrefs(hrefs, newHrefs), 0);
    ASSERT_EQ(parser.GetHrefs(), newHrefs);

    ASSERT_EQ(parser.FixImages(newImages, images), 0);
    ASSERT_EQ(parser.FixHrefs(newHrefs, hrefs), 0);
    ASSERT_EQ(parser.GetImages(), images);
    ASSERT_EQ(parser.GetHrefs(), hrefs);
    parser.GetHTML();  // the rewritten tree is written without harm
}

}  // namespace kivoparse_test
