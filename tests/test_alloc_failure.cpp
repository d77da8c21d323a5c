// Running out of memory in the middle of an operation: each allocation of a
// parse (traced too), a write, a collection, a rewrite (with lists, tables
// or both tables at once), a setting, a table's making and a moved-from
// Parser's first call is made to fail in turn (this file replaces the
// global operator new). The Parser must stay usable: an empty tree after a
// failed parse, the tree as it was after a failed write, collection or
// rewrite; and nothing may be leaked or freed twice, which the sanitizers
// and valgrind check.

#include <gtest/gtest.h>

#include <cstdlib>
#ifdef _WIN32
#include <malloc.h>
#endif
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "kivoparse/kivoparse.h"

namespace {

// 0: allocations never fail; n > 0: the nth allocation from now fails.
long gFailIn = 0;
// Set when an allocation was made to fail, whether or not the failure
// reached the caller.
bool gInjected = false;

void FailWhenDue() {
    if (gFailIn > 0 && --gFailIn == 0) {
        gInjected = true;
        throw std::bad_alloc();
    }
}

void* Allocate(std::size_t size) {
    FailWhenDue();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

// The tree's node blocks are allocated aligned: they fail in turn too.
void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    FailWhenDue();
    const auto align = static_cast<std::size_t>(alignment);
#ifdef _WIN32
    void* p = _aligned_malloc(size ? size : 1, align);
#else
    void* p = std::aligned_alloc(align, (size + align - 1) / align * align);
#endif
    if (!p) throw std::bad_alloc();
    return p;
}

void FreeAligned(void* p) {
#ifdef _WIN32
    _aligned_free(p);
#else
    std::free(p);
#endif
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void operator delete(void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }

namespace {

const std::vector<std::string> kDocuments = {
    "<html><body background=C:\\site\\bg.gif><p class=a>x<img alt=y src=/site/a.gif designtimesp=1>"
    "<a href=p.htm>l</a></p><style>s</style><td align=middle>t</td></span><|ins <|n|> |>"
    "<a x='<|v|>' y=<|w|>>z</body>",
    "<a x=<a x=<a x=1 :<p>t<||||q</div><b>1<b>2</b></b><input src=i.gif>" + std::string(1500, 'w') + "<p>",
    "<img src=aaab><img src=C:/site/x.gif><td background=/site//site/y>",
};

// Runs operation with its nth allocation failing; true if it failed.
template <class Operation>
bool FailsAt(long n, Operation operation) {
    gFailIn = n;
    bool failed = false;
    try {
        operation();
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    gFailIn = 0;
    return failed;
}

// n = 1, 2, ... while the operations reach their nth allocation (a failure
// may be absorbed: a trace line that cannot be made is dropped).
template <class Each>
void ForEachAllocation(Each each) {
    for (long n = 1;; ++n) {
        gInjected = false;
        each(n);
        if (!gInjected) return;
        ASSERT_LT(n, 100000) << "no end to the allocations";
    }
}

kivoparse::Parser Parsed(const std::string& document, const std::string& base = "C:\\site\\") {
    kivoparse::Parser parser;
    parser.SetDocumentBase(base);
    parser.ParseHTML(document);
    return parser;
}

}  // namespace

// (The literal mode, which builds its tree another way, is the traced
// parse's, below.)
TEST(AllocationFailure, AFailedParseLeavesAnEmptyTreeAndTheParserUsable) {
    for (const std::string& document : kDocuments) {
        const std::string html = Parsed(document).GetHTML();
        ForEachAllocation([&](long n) {
            kivoparse::Parser parser = Parsed("<p>an older tree</p>");
            std::string text = document;  // the caller's copy, made before the call
            const bool failed = FailsAt(n, [&] { parser.ParseHTML(std::move(text)); });
            EXPECT_TRUE(!failed || (parser.GetHTML().empty() && parser.GetImages().empty())) << "allocation " << n;
            parser.ParseHTML(document);
            EXPECT_EQ(parser.GetHTML(), html) << "allocation " << n;
        });
    }
}

TEST(AllocationFailure, AFailedWriteOrCollectionLeavesTheTreeAsItWas) {
    for (const std::string& document : kDocuments) {
        kivoparse::Parser parser = Parsed(document);
        const std::string html = parser.GetHTML();
        const std::vector<std::string> images = parser.GetImages(), hrefs = parser.GetHrefs();
        ForEachAllocation([&](long n) {
            FailsAt(n, [&] { parser.GetHTML(); });
            FailsAt(n, [&] { parser.GetImages(); });
            FailsAt(n, [&] { parser.GetHrefs(); });
            std::string written;
            FailsAt(n, [&] { parser.WriteHTML([&](std::string_view piece) { written += piece; }); });
            EXPECT_EQ(parser.GetHTML(), html) << "allocation " << n;
            EXPECT_EQ(parser.GetImages(), images) << "allocation " << n;
            EXPECT_EQ(parser.GetHrefs(), hrefs) << "allocation " << n;
        });
    }
}

// With the two lists, with a table (whose making fails too), and with
// Rewrite. A failed FixImages or FixHrefs changes nothing; a failed Rewrite
// leaves each list as it was or wholly rewritten (the images may stay
// rewritten when the links fail).
TEST(AllocationFailure, AFailedRewriteChangesNothing) {
    for (const std::string& document : kDocuments) {
        kivoparse::Parser parser = Parsed(document);
        const std::string html = parser.GetHTML();
        const std::vector<std::string> images = parser.GetImages(), hrefs = parser.GetHrefs();
        std::vector<std::string> newImages = images, newHrefs = hrefs;
        for (std::string& value : newImages) value.insert(0, "new/");
        for (std::string& value : newHrefs) value.insert(0, "new/");
        const kivoparse::UrlMap back(newImages, images), linksBack(newHrefs, hrefs);
        for (const int way : {0, 1, 2, 3, 4}) {  // lists, tables: images, links; Rewrite
            ForEachAllocation([&](long n) {
                const bool failed = FailsAt(n, [&] {
                    if (way == 0) parser.FixImages(images, newImages);
                    if (way == 1) parser.FixHrefs(hrefs, newHrefs);
                    if (way == 2) parser.FixImages(kivoparse::UrlMap(images, newImages));
                    if (way == 3) parser.FixHrefs(kivoparse::UrlMap(hrefs, newHrefs));
                    if (way == 4) parser.Rewrite(kivoparse::UrlMap(images, newImages), kivoparse::UrlMap(hrefs, newHrefs));
                });
                const std::vector<std::string> nowImages = parser.GetImages(), nowHrefs = parser.GetHrefs();
                EXPECT_TRUE(failed ? way == 4 || parser.GetHTML() == html
                                   : nowImages == (way % 2 ? images : newImages) && nowHrefs == (way % 2 || way == 4 ? newHrefs : hrefs))
                    << "allocation " << n << " of rewrite " << way;
                EXPECT_TRUE((nowImages == images || nowImages == newImages) && (nowHrefs == hrefs || nowHrefs == newHrefs));
                parser.Rewrite(nowImages == images ? kivoparse::UrlMap() : back, nowHrefs == hrefs ? kivoparse::UrlMap() : linksBack);
                EXPECT_EQ(parser.GetHTML(), html) << "allocation " << n << " of rewrite " << way;
            });
        }
    }
    ForEachAllocation([&](long n) { return FailsAt(n, [&] { kivoparse::UrlMap::Parse("a.gif\tx\nB.GIF\ty\n"); }); });
}

// Short: a traced parse writes a line per byte read, and each failing
// allocation reruns it.
const std::string kTracedDocument = "<p a=b>x<img src=C:\\site\\i.gif></p>t<a href=h>";

// The document base, the trace file and the trace sink. A trace line that
// cannot be made may be dropped or may fail the parse; a failed parse
// leaves an empty tree, or the older one when it failed before starting.
TEST(AllocationFailure, AFailedSettingOrTracedParseLeavesAWorkingParser) {
    const std::string document = kDocuments[0], older = Parsed("<p>an older tree</p>").GetHTML();
    const std::string withOld = Parsed(document).GetHTML(), withNew = Parsed(document, "C:/site/b").GetHTML();
    ForEachAllocation([&](long n) {
        kivoparse::Parser parser = Parsed(document);
        const bool failed = FailsAt(n, [&] { parser.SetDocumentBase("C:/site/b"); });
        parser.ParseHTML(document);
        EXPECT_TRUE(parser.GetHTML() == withNew || (failed && parser.GetHTML() == withOld)) << "allocation " << n;
    });
    const std::string html = Parsed(kTracedDocument).GetHTML(), path = kivoparse_test::TempPath("trace").string();
    for (const bool toFile : {true, false}) {
        const auto trace = [&](kivoparse::Parser& parser) {
            toFile ? parser.SetLogFile(path) : parser.SetTraceSink([](std::string_view) {});
        };
        ForEachAllocation([&](long n) {
            kivoparse::Parser parser = Parsed("<p>an older tree</p>");
            FailsAt(n, [&] { trace(parser); });
            trace(parser);
            const bool failed = FailsAt(n, [&] { parser.ParseHTML(kTracedDocument); });
            const std::string written = parser.GetHTML();
            EXPECT_TRUE(written == html || (failed && (written.empty() || written == older))) << "allocation " << n;
            parser.ParseHTML(kTracedDocument);
            EXPECT_EQ(parser.GetHTML(), html) << "allocation " << n;
        });
    }
}

// A moved-from Parser makes its state anew on its first call, which can
// fail like any other.
TEST(AllocationFailure, AMovedFromParserStaysUsable) {
    const std::string html = Parsed(kDocuments[2]).GetHTML();
    ForEachAllocation([&](long n) {
        kivoparse::Parser from = Parsed(kDocuments[2]), to(std::move(from));
        FailsAt(n, [&] { from.GetHTML(); });
        EXPECT_EQ(from.GetHTML(), "") << "allocation " << n;
        kivoparse::Parser again(std::move(from));
        EXPECT_TRUE(!FailsAt(n, [&] { from.ParseHTML("<b>x</b>"); }) || from.GetHTML().empty()) << "allocation " << n;
        from.ParseHTML("<b>x</b>");
        EXPECT_TRUE(from.GetHTML() == "<B>x</B>" && to.GetHTML() == html) << "allocation " << n;
    });
}
