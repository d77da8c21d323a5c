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

namespace kivoparse_test {

// The whole file as bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

}  // namespace kivoparse_test
