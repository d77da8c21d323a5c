// The folded index must answer exactly as the front-to-back _stricmp scan.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "links/CFoldedIndex.h"

namespace kivoparse {
namespace {

using namespace std::string_literals;

std::size_t ScanNoCase(const CValueList& list, const char* text) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (CompareNoCase(list[i].c_str(), text) == 0) return i;
    }
    return CFoldedIndex::npos;
}

TEST(LinkCaseFolding, AsciiLettersOnlyUpToFirstNul) {
    struct SCase {
        std::string mA, mB;
        bool mEqual;
    };
    const SCase cases[] = {
        {"a.gif", "A.GIF", true},     {"", "", true},          {"a", "", false},
        {"\xC4", "\xE4", false},      {"@", "`", false},       {"[", "{", false},
        {"Z", "z", true},             {"a\0x"s, "A\0y"s, true}, {"ab", "a\0b"s, false},
        {"\x80z", "\x80Z", true},
    };
    for (const SCase& c : cases) {
        EXPECT_EQ(CompareNoCase(c.mA.c_str(), c.mB.c_str()) == 0, c.mEqual) << c.mA << " / " << c.mB;
        EXPECT_EQ(CompareNoCase(c.mB.c_str(), c.mA.c_str()) == 0, c.mEqual) << c.mB << " / " << c.mA;
    }
    // An order for the index: antisymmetric around the folded bytes.
    EXPECT_LT(CompareNoCase("A", "b"), 0);
    EXPECT_GT(CompareNoCase("b", "A"), 0);
    EXPECT_LT(CompareNoCase("a", "\xC4"), 0);
}

// Random short texts over a few letters, both cases, NUL and a high byte,
// so that equal keys, NUL cut-offs and duplicates are frequent.
std::string RandomText(std::mt19937& random) {
    static const char kBytes[] = {'a', 'A', 'b', 'B', '\0', '\xE4', '/'};
    std::string text(random() % 4, ' ');
    for (char& c : text) c = kBytes[random() % sizeof kBytes];
    return text;
}

TEST(LinkFoldedIndex, FindsWhatTheScanFindsWhileTheListGrows) {
    std::mt19937 random(12345);
    for (int round = 0; round < 50; ++round) {
        CValueList list;
        for (int i = 0; i < 20; ++i) list.push_back(RandomText(random));
        CFoldedIndex index(list);
        for (int step = 0; step < 200; ++step) {
            const std::string probe = RandomText(random);
            ASSERT_EQ(index.Find(probe.c_str()), ScanNoCase(list, probe.c_str()));
            if (step % 3 == 0) list.push_back(probe);  // may duplicate a key
            if (step % 50 == 49) list.resize(list.size() / 2);  // shrinking re-indexes
        }
    }
}

}  // namespace
}  // namespace kivoparse
