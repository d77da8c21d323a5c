// Helpers shared by the test files: tables of cases read from tests/data,
// temporary files in a directory of the process's own, and the check that
// collection and rewriting agree.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "engine/CParsingEngine.h"
#include "links/CDocumentBase.h"
#include "links/CUrlMap.h"
#include "links/UrlKinds.h"
#include "output/TreeWriter.h"

namespace kivoparse_test {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A log file's lines, each ended by "\n". The log is written in text mode,
// so on Windows its lines end in "\r\n"; the lines are what is compared.
inline std::string ReadLog(const fs::path& path) {
    std::string text = ReadFile(path);
#ifdef _WIN32
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
#endif
    return text;
}

inline std::string Repeat(const std::string& piece, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += piece;
    return out;
}

// A fresh path, absent at first, in a directory of this process's own under
// $TMPDIR (or /tmp), made anew under a name no other run is likely to pick
// (so that runs side by side never touch each other's files) and removed at
// exit with all it holds.
inline fs::path TempPath(const std::string& tag) {
    struct SDir {
        SDir() {
            const char* base = std::getenv("TMPDIR");
            const fs::path parent = base && *base ? fs::path(base) : fs::temp_directory_path();
            std::random_device random;
            for (int attempt = 0; attempt < 100; ++attempt) {
                mPath = parent / ("kivoparse-tests-" + std::to_string(random()) + std::to_string(random()));
                std::error_code error;
                if (fs::create_directory(mPath, error)) return;  // false for one that exists
            }
            throw std::runtime_error("cannot make a directory under " + parent.string());
        }
        ~SDir() {
            std::error_code ignored;
            fs::remove_all(mPath, ignored);
        }
        fs::path mPath;
    };
    static const SDir dir;
    static std::atomic<int> counter{0};
    return dir.mPath / (tag + "-" + std::to_string(counter++));
}

// Escapes of the data files: \t \r \n \0 \xHH \\, and \{N:piece} for piece
// (itself escaped, without "}") repeated N times. Other bytes stand for
// themselves.
inline std::string Unescape(const std::string& text, const std::string& where) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) throw std::runtime_error(where + ": lone backslash");
        const std::string escapes = "trn0\\", bytes{'\t', '\r', '\n', '\0', '\\'};
        if (escapes.find(text[i]) != std::string::npos) {
            out += bytes[escapes.find(text[i])];
        } else if (text[i] == 'x' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (text[i] == '{') {
            const std::size_t colon = text.find(':', i), end = text.find('}', i);
            if (colon == std::string::npos || end == std::string::npos || end < colon)
                throw std::runtime_error(where + ": bad \\{N:piece}");
            out += Repeat(Unescape(text.substr(colon + 1, end - colon - 1), where),
                          std::stoul(text.substr(i + 1, colon - i - 1)));
            i = end;
        } else {
            throw std::runtime_error(where + ": unknown escape \\" + text[i]);
        }
    }
    return out;
}

// One case of a table: "key: text" lines up to the line with the closing
// key; "#" lines and blank lines are skipped. Fields keep their escapes
// until asked for.
struct SCase {
    std::string mWhere;
    std::map<std::string, std::string> mFields;
    bool Has(const std::string& key) const { return mFields.count(key) != 0; }
    std::string operator[](const std::string& key) const {
        return Has(key) ? Unescape(mFields.at(key), mWhere) : std::string();
    }
    // A list field: [value] [value] ...; "]" inside a value is \x5d.
    std::vector<std::string> List(const std::string& key) const {
        std::vector<std::string> out;
        const std::string text = Has(key) ? mFields.at(key) : "";
        for (std::size_t open = text.find('['); open != std::string::npos; open = text.find('[', open)) {
            const std::size_t close = text.find(']', open);
            if (close == std::string::npos) throw std::runtime_error(mWhere + ": unclosed [");
            out.push_back(Unescape(text.substr(open + 1, close - open - 1), mWhere));
            open = close;
        }
        return out;
    }
};
inline void PrintTo(const SCase& c, std::ostream* os) { *os << c.mWhere; }

// The cases of one or more files under tests/data, in order.
inline std::vector<SCase> LoadCases(std::initializer_list<std::string> files, const std::string& closingKey) {
    std::vector<SCase> cases(1);
    for (const std::string& file : files) {
        std::ifstream in(fs::path(KIVOPARSE_TEST_DATA) / file, std::ios::binary);
        if (!in) throw std::runtime_error("cannot read " + file);
        int number = 0;
        for (std::string line; std::getline(in, line);) {
            ++number;
            if (line.empty() || line[0] == '#') continue;
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos || (colon + 1 < line.size() && line[colon + 1] != ' '))
                throw std::runtime_error(file + ":" + std::to_string(number) + ": expected key: text");
            const std::string key = line.substr(0, colon);
            cases.back().mFields[key] = colon + 2 <= line.size() ? line.substr(colon + 2) : "";
            if (key == closingKey) {
                cases.back().mWhere = file + ":" + std::to_string(number);
                cases.emplace_back();
            }
        }
        if (!cases.back().mFields.empty()) throw std::runtime_error(file + ": last case unfinished");
    }
    cases.pop_back();
    return cases;
}

// Test names from the file name and line of each case.
inline std::string CaseName(const ::testing::TestParamInfo<SCase>& info) {
    std::string name = info.param.mWhere;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// The engine on its own, for what only it shows (its literal mode, the
// bytes it read): each ParseHTML builds a new document with the engine (the
// same engine each time) and the base, which the calls after it act on as
// the control's would.
class CEngineParse {
public:
    explicit CEngineParse(std::string base = std::string(), bool literal = false, bool rawText = false)
        : mBase(std::move(base)) {
        mEngine.SetLiteral(literal);
        mEngine.SetRawText(rawText);
        mEngine.SetTagHook(mBase.IsEmpty() ? nullptr : &mBase);
    }
    int ParseHTML(std::string text) {
        mDocument.reset();
        int status = 0;
        mDocument = mEngine.Parse(std::move(text), &status);
        return status;
    }
    kivoparse::CDocument& Document() { return *mDocument; }
    std::uint64_t BytesRead() const { return mEngine.BytesRead(); }
    std::string GetHTML() const { return kivoparse::WriteHtml(*mDocument); }
    kivoparse::CValueList GetImages() const { return kivoparse::CollectUrls(*mDocument, kivoparse::UrlKind::Image); }
    kivoparse::CValueList GetHrefs() const { return kivoparse::CollectUrls(*mDocument, kivoparse::UrlKind::Link); }
    int FixImages(const kivoparse::CValueList& src, const kivoparse::CValueList& dest) {
        return Fix(kivoparse::UrlKind::Image, src, dest);
    }
    int FixHrefs(const kivoparse::CValueList& src, const kivoparse::CValueList& dest) {
        return Fix(kivoparse::UrlKind::Link, src, dest);
    }

private:
    int Fix(kivoparse::UrlKind kind, const kivoparse::CValueList& src, const kivoparse::CValueList& dest) {
        if (src.size() != dest.size()) return -1;
        if (src.empty()) return 0;
        const kivoparse::CUrlMap map(&src, &dest);
        kivoparse::RewriteUrls(*mDocument, kind, kivoparse::DecideBy(map));
        return 0;
    }

    kivoparse::CDocumentBase mBase;
    kivoparse::CParsingEngine mEngine;
    std::unique_ptr<kivoparse::CDocument> mDocument;
};

// What GetImages and GetHrefs list, FixImages and FixHrefs find again:
// renaming every listed value to a fresh name renames it wherever it was
// collected from and nothing else, and renaming back restores the tree.
template <class Parser>
void ExpectCollectAndRewriteAgree(Parser& parser) {
    using Values = std::vector<std::string>;
    const Values images = parser.GetImages(), hrefs = parser.GetHrefs();
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
}

}  // namespace kivoparse_test
