// Collecting and rewriting image and link URLs, and the document base,
// through the control's operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/CKIVOParseCtrl.h"

namespace kivoparse {
namespace {

using Values = std::vector<std::string>;
using namespace std::string_literals;

struct SCollectCase {
    const char* mWhat;
    std::string mInput;
    Values mImages;
    Values mHrefs;
};

const SCollectCase kCollectCases[] = {
    {"DuplicateInOtherCaseDropped", "<img src=a.gif><IMG SRC=A.GIF>", {"a.gif"}, {}},
    {"ImgPassBeforeInputPass", "<input type=image src=x.gif><img src=y.gif>", {"y.gif", "x.gif"}, {}},
    {"ImgSourceBeforeBackground", "<body background=bg.jpg><img src=BG.JPG>", {"BG.JPG"}, {}},
    {"DuplicatesAcrossAllThreePasses", "<td background=A.GIF><input src=a.GIF><img src=a.gif>", {"a.gif"}, {}},
    {"BackgroundOnAnyElement", "<table background=t.gif><td background=c.gif><p background=p.gif>",
     {"t.gif", "c.gif", "p.gif"}, {}},
    {"ElementBeforeItsDescendants", "<div background=a.gif><p background=b.gif></div><em background=c.gif>",
     {"a.gif", "b.gif", "c.gif"}, {}},
    {"ImgWithoutSrc", "<img alt=x>", {}, {}},
    {"BareSrcGivesEmptyValueOnce", "<img src><img src><input src=\"\">", {""}, {}},
    {"FirstOfTwoSrc", "<img src=a.gif src=b.gif>", {"a.gif"}, {}},
    {"SrcAfterOtherAttributes", "<img alt=x src=a.gif>", {"a.gif"}, {}},
    {"SrcOfOtherTagsIsNoImage", "<script src=s.js><frame src=f.htm><embed src=e.swf><iframe src=i.htm>", {}, {}},
    {"HrefsWithoutDuplicates", "<a href=p.htm>x</a><A HREF=P.HTM>y</A>", {}, {"p.htm"}},
    {"AnchorWithoutHref", "<a name=top>", {}, {}},
    {"HrefOfOtherTagsIsNoLink", "<link href=s.css><area href=m.htm><base href=b/>", {}, {}},
    {"SameUrlAsImageAndLink", "<img src=a.gif><a href=a.gif>", {"a.gif"}, {"a.gif"}},
    {"HrefNotAnImageAndSrcNotALink", "<a src=x.gif><img href=y.htm>", {}, {}},
    {"NoImagesAtAll", "<p>text</p>", {}, {}},
    {"EmptyDocument", "", {}, {}},
    {"OnlyAsciiLettersFold", "<img src=\xC4.gif><img src=\xE4.gif><img src=_><img src=\x7F>",
     {"\xC4.gif", "\xE4.gif", "_", "\x7F"}, {}},
    {"QuotedValueKeepsSpacesAndCase", "<img src=\"My Pic.GIF\"><img src='my pic.gif'>", {"My Pic.GIF"}, {}},
    // Values are read as NUL-terminated text: they end at their first NUL.
    {"ValueEndsAtFirstNul", "<img src=\"a\0x.gif\"><img src=\"A\0y.gif\"><a href=\"p\0q\">"s, {"a"}, {"p"}},
};

TEST(LinkCollection, ListsFirstOccurrencesInPassOrder) {
    for (const SCollectCase& c : kCollectCases) {
        SCOPED_TRACE(c.mWhat);
        CKIVOParseCtrl ctrl;
        ASSERT_EQ(ctrl.ParseHTML(c.mInput), 0);
        EXPECT_EQ(ctrl.GetImages(), c.mImages);
        EXPECT_EQ(ctrl.GetHrefs(), c.mHrefs);
        // Collection changes nothing: a second call gives the same lists.
        EXPECT_EQ(ctrl.GetImages(), c.mImages);
        EXPECT_EQ(ctrl.GetHrefs(), c.mHrefs);
    }
}

enum class EFix { Images, Hrefs };

struct SFixCase {
    const char* mWhat;
    std::string mInput;
    EFix mOperation;
    Values mSrc;
    Values mDest;
    int mResult;
    std::string mHtml;
};

const SFixCase kFixCases[] = {
    {"MatchIgnoresCaseReplacementKeepsIt", "<img src=A.gif>", EFix::Images, {"a.GIF"}, {"b.gif"}, 0,
     "<IMG src=\"b.gif\">"},
    {"FirstOfDuplicateSourcesWins", "<img src=x.gif><img src=X.GIF>", EFix::Images, {"x.gif", "x.gif"},
     {"1.gif", "2.gif"}, 0, "<IMG src=\"1.gif\"><IMG src=\"1.gif\">"},
    {"ReplacementNotMatchedAgainInOneCall", "<img src=a.gif><img src=b.gif>", EFix::Images, {"a.gif", "b.gif"},
     {"b.gif", "c.gif"}, 0, "<IMG src=\"b.gif\"><IMG src=\"c.gif\">"},
    {"EachPassRewritesItsOwnProperty", "<img src=a.gif background=a.gif><input src=a.gif>", EFix::Images,
     {"a.gif"}, {"z.gif"}, 0, "<IMG src=\"z.gif\" background=\"z.gif\"><INPUT src=\"z.gif\">"},
    {"LengthMismatchLeavesTreeUntouched", "<img src=a.gif>", EFix::Images, {"a.gif", "b.gif", "c.gif"},
     {"x.gif", "y.gif"}, -1, "<IMG src=\"a.gif\">"},
    {"HrefLengthMismatch", "<a href=a.htm>", EFix::Hrefs, {"a.htm"}, {}, -1, "<A href=\"a.htm\">"},
    {"PartialMatchDoesNothing", "<img src=img/a.gif><img src=a.gif.bak>", EFix::Images, {"a.gif"}, {"b.gif"}, 0,
     "<IMG src=\"img/a.gif\"><IMG src=\"a.gif.bak\">"},
    {"FixHrefsTouchesOnlyHref", "<img src=a><a href=a><td background=a>", EFix::Hrefs, {"a"}, {"z"}, 0,
     "<IMG src=\"a\"><A href=\"z\"><TD background=\"a\">"},
    {"FixImagesNeverTouchesHref", "<img src=a><a href=a><td background=a>", EFix::Images, {"a"}, {"z"}, 0,
     "<IMG src=\"z\"><A href=\"a\"><TD background=\"z\">"},
    {"BackgroundOfBodyAndTd", "<body background=bg.gif><td background=BG.gif>", EFix::Images, {"bg.gif"},
     {"new.gif"}, 0, "<BODY background=\"new.gif\"><TD background=\"new.gif\">"},
    {"SrcOfOtherTagsUntouched", "<script src=a.js><embed src=a.js>", EFix::Images, {"a.js"}, {"b.js"}, 0,
     "<SCRIPT src=\"a.js\"><EMBED src=\"a.js\">"},
    {"OnlyFirstSrcRewritten", "<img src=a src=a>", EFix::Images, {"a"}, {"b"}, 0, "<IMG src=\"b\" src=\"a\">"},
    {"BarePropertyStaysBare", "<img src>", EFix::Images, {""}, {"x.gif"}, 0, "<IMG src>"},
    {"EmptyListsChangeNothing", "<img src=a.gif>", EFix::Images, {}, {}, 0, "<IMG src=\"a.gif\">"},
    {"HrefRewrittenKeepsTextAndClose", "<a href=P.HTM>x</a>", EFix::Hrefs, {"p.htm"}, {"q.htm"}, 0,
     "<A href=\"q.htm\">x</A>"},
    {"NonAsciiBytesMustMatchExactly", "<img src=\xC4.gif>", EFix::Images, {"\xE4.gif"}, {"x"}, 0,
     "<IMG src=\"\xC4.gif\">"},
    {"ReplacementWrittenWholeWithNul", "<img src=a>", EFix::Images, {"a"}, {"b\0c"s}, 0, "<IMG src=\"b\0c\">"s},
};

TEST(LinkRewriting, RewritesWholeMatchingValues) {
    for (const SFixCase& c : kFixCases) {
        SCOPED_TRACE(c.mWhat);
        CKIVOParseCtrl ctrl;
        ASSERT_EQ(ctrl.ParseHTML(c.mInput), 0);
        const Values images = ctrl.GetImages();
        const Values hrefs = ctrl.GetHrefs();
        const int result =
            c.mOperation == EFix::Images ? ctrl.FixImages(c.mSrc, c.mDest) : ctrl.FixHrefs(c.mSrc, c.mDest);
        EXPECT_EQ(result, c.mResult);
        EXPECT_EQ(ctrl.GetHTML(), c.mHtml);
        if (result != 0) {  // a refused call changes nothing that collection sees
            EXPECT_EQ(ctrl.GetImages(), images);
            EXPECT_EQ(ctrl.GetHrefs(), hrefs);
        }
    }
}

TEST(LinkRewriting, LaterCollectionSeesRewrite) {
    CKIVOParseCtrl ctrl;
    ctrl.ParseHTML("<img src>");
    ctrl.FixImages({""}, {"x.gif"});
    EXPECT_EQ(ctrl.GetImages(), Values{"x.gif"});
    ctrl.FixImages({"x.gif"}, {"b\0c"s});
    EXPECT_EQ(ctrl.GetImages(), Values{"b"});  // read up to its first NUL
}

TEST(LinkRewriting, CollectedListAsBothListsOnlyUnifiesLetterCase) {
    CKIVOParseCtrl ctrl;
    ctrl.ParseHTML("<img src=a.gif><img src=A.GIF><td background=B.gif><a href=p.htm>");
    const Values images = ctrl.GetImages();
    ASSERT_EQ(images, (Values{"a.gif", "B.gif"}));
    EXPECT_EQ(ctrl.FixImages(images, images), 0);
    EXPECT_EQ(ctrl.GetHTML(), "<IMG src=\"a.gif\"><IMG src=\"a.gif\"><TD background=\"B.gif\"><A href=\"p.htm\">");
}

// The stripping rules themselves are round trips in tests/data/core/roundtrip.txt;
// these check what the control hands the engine.
TEST(DocumentBase, StripsBaseFromImageUrlsOfLaterParse) {
    const struct {
        const char *what, *base, *input, *html;
    } cases[] = {
        {"drive base makes relative", "C:/web/", "<img src=C:\\web\\a.gif>", "<IMG src=\"a.gif\">"},
        {"backslash base matches backslash value", "web\\site\\", "<img src=web\\site\\img\\a.gif>",
         "<IMG src=\"img/a.gif\">"},
        {"href never rebased", "web\\site\\", "<a href=web\\site\\p.htm>", "<A href=\"web\\site\\p.htm\">"},
        {"no base keeps backslashes", "", "<img src=a\\b.gif>", "<IMG src=\"a\\b.gif\">"},
        {"backslash base stored with slashes", "C:\\web\\", "<img src=C:/web/a.gif>", "<IMG src=\"a.gif\">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CKIVOParseCtrl ctrl;
        ctrl.SetDocumentBase(c.base);
        ASSERT_EQ(ctrl.ParseHTML(c.input), 0);
        EXPECT_EQ(ctrl.GetHTML(), c.html);
    }
}

TEST(DocumentBase, CollectionReportsStrippedValues) {
    CKIVOParseCtrl ctrl;
    ctrl.SetDocumentBase("C:/web/");
    ctrl.ParseHTML("<img src=C:\\web\\a.gif><a href=C:\\web\\p.htm>");
    EXPECT_EQ(ctrl.GetImages(), Values{"a.gif"});
    EXPECT_EQ(ctrl.GetHrefs(), Values{"C:\\web\\p.htm"});
    // Another control keeps its own base.
    CKIVOParseCtrl other;
    other.ParseHTML("<img src=C:/web/a.gif>");
    EXPECT_EQ(other.GetImages(), Values{"C:/web/a.gif"});
}

TEST(DocumentBase, SetAfterParseActsOnlyFromNextParse) {
    CKIVOParseCtrl ctrl;
    const std::string input = "<img src=C:\\web\\a.gif>";
    ctrl.ParseHTML(input);
    ctrl.SetDocumentBase("C:\\web\\");
    EXPECT_EQ(ctrl.GetHTML(), "<IMG src=\"C:\\web\\a.gif\">");
    EXPECT_EQ(ctrl.GetImages(), Values{"C:\\web\\a.gif"});
    ctrl.ParseHTML(input);
    EXPECT_EQ(ctrl.GetImages(), Values{"a.gif"});
    // The base lasts across parses until it is replaced; "" switches it off.
    ctrl.ParseHTML(input);
    EXPECT_EQ(ctrl.GetImages(), Values{"a.gif"});
    ctrl.SetDocumentBase("");
    EXPECT_EQ(ctrl.GetImages(), Values{"a.gif"});
    ctrl.ParseHTML(input);
    EXPECT_EQ(ctrl.GetImages(), Values{"C:\\web\\a.gif"});
}

TEST(DocumentBase, RewriteWritesReplacementUnstripped) {
    CKIVOParseCtrl ctrl;
    ctrl.SetDocumentBase("/b/");
    ctrl.ParseHTML("<img src=/b/a.gif>");
    EXPECT_EQ(ctrl.FixImages({"a.gif"}, {"/b/x\\y.gif"}), 0);
    EXPECT_EQ(ctrl.GetHTML(), "<IMG src=\"/b/x\\y.gif\">");
}

TEST(LinkCollection, DeeplyNestedTreeInDocumentOrder) {
    const int depth = 200000;
    std::string input;
    for (int i = 0; i < depth; ++i) input += "<b background=" + std::to_string(i) + ">";
    for (int i = 0; i < depth; ++i) input += "</b>";
    CKIVOParseCtrl ctrl;
    ASSERT_EQ(ctrl.ParseHTML(input), 0);
    const Values images = ctrl.GetImages();
    ASSERT_EQ(images.size(), static_cast<std::size_t>(depth));
    EXPECT_EQ(images.front(), "0");
    EXPECT_EQ(images.back(), std::to_string(depth - 1));
    Values src{"0", std::to_string(depth - 1)};
    EXPECT_EQ(ctrl.FixImages(src, {"first", "last"}), 0);
    const Values after = ctrl.GetImages();
    EXPECT_EQ(after.front(), "first");
    EXPECT_EQ(after.back(), "last");
}

TEST(LinkCollection, ManyValuesKeepFirstOccurrenceOrder) {
    // Every value twice, the second time upper-cased: only the first stays.
    const int count = 50000;
    std::string input;
    for (int i = 0; i < count; ++i) input += "<img src=v" + std::to_string(i) + "x>";
    for (int i = 0; i < count; ++i) input += "<td background=V" + std::to_string(i) + "X>";
    CKIVOParseCtrl ctrl;
    ASSERT_EQ(ctrl.ParseHTML(input), 0);
    const Values images = ctrl.GetImages();
    ASSERT_EQ(images.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; i += 997) EXPECT_EQ(images[i], "v" + std::to_string(i) + "x");
    // Rewriting with the upper-case spellings hits every element once.
    Values src, dest;
    for (int i = 0; i < count; ++i) {
        src.push_back("V" + std::to_string(i) + "X");
        dest.push_back("n" + std::to_string(i));
    }
    EXPECT_EQ(ctrl.FixImages(src, dest), 0);
    EXPECT_EQ(ctrl.GetImages(), dest);
}

}  // namespace
}  // namespace kivoparse
