// Running out of memory in the middle of an operation: each allocation of a
// parse, a write, a collection and a rewrite of a few small documents is
// made to fail in turn (this file replaces the global operator new). The
// Parser must stay usable: an empty tree after a failed parse, the tree as
// it was after a failed write, collection or rewrite; and nothing may be
// leaked or freed twice, which the sanitizers and valgrind check.

#include <gtest/gtest.h>

#include <cstdlib>
#ifdef _WIN32
#include <malloc.h>
#endif
#include <new>
#include <utility>
#include <string>
#include <tuple>
#include <vector>

#include "engine/CParsingEngine.h"
#include "kivoparse/kivoparse.h"

namespace {

// 0: allocations never fail; n > 0: the nth allocation from now fails.
long gFailIn = 0;

void* Allocate(std::size_t size) {
    if (gFailIn > 0 && --gFailIn == 0) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

// The tree's node blocks are allocated aligned: they fail in turn too.
void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    if (gFailIn > 0 && --gFailIn == 0) throw std::bad_alloc();
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

// n = 1, 2, ... until the operation needs fewer allocations than n.
template <class Each>
void ForEachAllocation(Each each) {
    for (long n = 1;; ++n) {
        if (!each(n)) return;
        ASSERT_LT(n, 100000) << "no end to the allocations";
    }
}

kivoparse::Parser Parsed(const std::string& document) {
    kivoparse::Parser parser;
    parser.SetDocumentBase("C:\\site\\");
    parser.ParseHTML(document);
    return parser;
}

}  // namespace

// In both modes: the literal one builds its tree another way.
TEST(AllocationFailure, AFailedParseLeavesAnEmptyTreeAndTheParserUsable) {
    for (const std::string& document : kDocuments) {
        const std::string html = Parsed(document).GetHTML();
        ForEachAllocation([&](long n) {
            kivoparse::Parser parser = Parsed("<p>an older tree</p>");
            kivoparse::CParsingEngine literal;
            literal.SetLiteral(true);
            literal.SetDocumentBase("C:/site/");
            literal.ParseHTML("<p>an older tree</p>");
            std::string text = document, copy = document;  // the caller's copies, made before the call
            const bool failed = FailsAt(n, [&] { parser.ParseHTML(std::move(text)); });
            const bool literalFailed = FailsAt(n, [&] { literal.ParseHTML(std::move(copy)); });
            EXPECT_TRUE(!failed || (parser.GetHTML().empty() && parser.GetImages().empty())) << "allocation " << n;
            EXPECT_TRUE(!literalFailed || literal.GetHTML().empty()) << "allocation " << n;
            parser.ParseHTML(document);
            literal.ParseHTML(document);
            EXPECT_EQ(parser.GetHTML(), html) << "allocation " << n;
            EXPECT_EQ(literal.GetHTML(), html) << "allocation " << n << " in literal mode";
            return failed || literalFailed;
        });
    }
}

TEST(AllocationFailure, AFailedWriteOrCollectionLeavesTheTreeAsItWas) {
    for (const std::string& document : kDocuments) {
        kivoparse::Parser parser = Parsed(document);
        const std::string html = parser.GetHTML();
        const std::vector<std::string> images = parser.GetImages(), hrefs = parser.GetHrefs();
        ForEachAllocation([&](long n) {
            const bool failed = FailsAt(n, [&] { parser.GetHTML(); }) | FailsAt(n, [&] { parser.GetImages(); }) |
                                FailsAt(n, [&] { parser.GetHrefs(); });
            EXPECT_EQ(parser.GetHTML(), html) << "allocation " << n;
            EXPECT_EQ(parser.GetImages(), images) << "allocation " << n;
            EXPECT_EQ(parser.GetHrefs(), hrefs) << "allocation " << n;
            return failed;
        });
    }
}

TEST(AllocationFailure, AFailedRewriteChangesNothing) {
    for (const std::string& document : kDocuments) {
        kivoparse::Parser parser = Parsed(document);
        const std::string html = parser.GetHTML();
        const std::vector<std::string> images = parser.GetImages(), hrefs = parser.GetHrefs();
        std::vector<std::string> newImages = images, newHrefs = hrefs;
        for (std::string& value : newImages) value.insert(0, "new/");
        for (std::string& value : newHrefs) value.insert(0, "new/");
        for (const bool onImages : {true, false}) {
            const auto fix = [&](const std::vector<std::string>& from, const std::vector<std::string>& to) {
                return onImages ? parser.FixImages(from, to) : parser.FixHrefs(from, to);
            };
            const auto& [from, to] = onImages ? std::tie(images, newImages) : std::tie(hrefs, newHrefs);
            ForEachAllocation([&](long n) {
                const bool failed = FailsAt(n, [&] { fix(from, to); });
                if (failed) {
                    EXPECT_EQ(parser.GetHTML(), html) << "allocation " << n;
                } else {
                    EXPECT_EQ(onImages ? parser.GetImages() : parser.GetHrefs(), to);
                    fix(to, from);
                }
                return failed;
            });
        }
        EXPECT_EQ(parser.GetHTML(), html);
    }
}
