// Collection and rewriting over random documents: what GetImages lists,
// FixImages finds again, and a rewrite to fresh names is seen whole.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "control/CKIVOParseCtrl.h"
#include "TestSupport.h"

namespace kivoparse {
namespace {

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
        SCOPED_TRACE(document);
        CKIVOParseCtrl ctrl;
        ASSERT_EQ(ctrl.ParseHTML(document), 0);
        if (ctrl.GetImages().size() + ctrl.GetHrefs().size() >= 3) ++roundsWithSeveralValues;
        kivoparse_test::ExpectCollectAndRewriteAgree(ctrl);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(roundsWithSeveralValues, 300);  // the pieces make real cases
}

}  // namespace
}  // namespace kivoparse
