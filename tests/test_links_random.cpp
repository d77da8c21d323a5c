// Collection and rewriting over random documents: what GetImages lists,
// FixImages finds again, and a rewrite to fresh names is seen whole.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "control/CKIVOParseCtrl.h"

namespace kivoparse {
namespace {

using Values = std::vector<std::string>;
using namespace std::string_literals;

// Pieces that make tags with image and link attributes, repeated values in
// both letter cases, NUL bytes, quotes, end tags and insert blocks.
std::string RandomDocument(std::mt19937& random) {
    static const std::string kPieces[] = {
        "<img src=",   "<IMG SRC=",  "<input src=", "<td background=", "<a href=", "<A HREF=", "<p background=",
        "</td>",       "</a>",       "</p>",        "a.gif",           "A.GIF",    "b",        "B",
        "\0"s,         " ",          ">",           "\"",              "'",        "<|x|>",    "=",
        "<img src>",   "<a href>",   "\xC4",        "\\",              "/",        "text",     "<",
    };
    std::string document;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) document += kPieces[random() % (sizeof kPieces / sizeof kPieces[0])];
    return document;
}

TEST(LinkRandomDocuments, RewriteToFreshNamesReplacesEveryListedValue) {
    std::mt19937 random(2024);
    int roundsWithSeveralValues = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string document = RandomDocument(random);
        CKIVOParseCtrl ctrl;
        ASSERT_EQ(ctrl.ParseHTML(document), 0);
            const Values images = ctrl.GetImages();
        const Values hrefs = ctrl.GetHrefs();
        if (images.size() + hrefs.size() >= 3) ++roundsWithSeveralValues;

        // The collected lists given back as both lists keep every value
        // that is already spelled as listed, and the lists stay as they are.
        ASSERT_EQ(ctrl.FixImages(images, images), 0);
        ASSERT_EQ(ctrl.FixHrefs(hrefs, hrefs), 0);
        ASSERT_EQ(ctrl.GetImages(), images) << document;
        ASSERT_EQ(ctrl.GetHrefs(), hrefs) << document;

        // Each listed value stands for all its spellings: renaming the
        // list renames every property it came from, and nothing else.
        Values newImages, newHrefs;
        for (std::size_t i = 0; i < images.size(); ++i) newImages.push_back("img" + std::to_string(i));
        for (std::size_t i = 0; i < hrefs.size(); ++i) newHrefs.push_back("href" + std::to_string(i));
        ASSERT_EQ(ctrl.FixImages(images, newImages), 0);
        ASSERT_EQ(ctrl.GetImages(), newImages) << document;
        ASSERT_EQ(ctrl.GetHrefs(), hrefs) << document;
        ASSERT_EQ(ctrl.FixHrefs(hrefs, newHrefs), 0);
        ASSERT_EQ(ctrl.GetHrefs(), newHrefs) << document;

        // And back again.
        ASSERT_EQ(ctrl.FixImages(newImages, images), 0);
        ASSERT_EQ(ctrl.FixHrefs(newHrefs, hrefs), 0);
        ASSERT_EQ(ctrl.GetImages(), images) << document;
        ASSERT_EQ(ctrl.GetHrefs(), hrefs) << document;
    }
    EXPECT_GT(roundsWithSeveralValues, 300);  // the pieces make real cases
}

}  // namespace
}  // namespace kivoparse
