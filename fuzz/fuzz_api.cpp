// libFuzzer entry through the public Parser, as a user of the library calls
// it. The first byte picks the options, the second the length of a document
// base taken from the bytes after it; the rest is the document.
//   - one input in eight (and only short ones: every byte read is a line)
//     is parsed with the trace log on, into a file of this process under
//     /tmp that is emptied after each input;
//   - the URLs are collected, rewritten with the two lists or with a UrlMap,
//     and collected again, which must give the new values;
//   - lists of different lengths must change nothing;
//   - a Parser moved from must be as new, the one moved to must hold the
//     tree, and a reused Parser must write what a fresh one writes.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "kivoparse/kivoparse.h"

namespace {

// Stops the fuzzer, naming the check that failed.
void Fail(int line) {
    std::fprintf(stderr, "fuzz_api.cpp:%d: check failed\n", line);
    __builtin_trap();
}
#define Check(condition) ((condition) ? void() : Fail(__LINE__))

const std::string& TracePath() {
    static const std::string path = "/tmp/kivoparse-fuzz-api-" + std::to_string(getpid()) + ".log";
    return path;
}

// Every value gets a prefix that keeps distinct values distinct, even where
// they are compared only up to a NUL.
std::vector<std::string> Prefixed(std::vector<std::string> values, const char* prefix) {
    for (std::string& value : values) value.insert(0, prefix);
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned options = data[0];
    const std::size_t baseLength = std::min<std::size_t>(data[1] % 8, size - 2);
    const std::string base(reinterpret_cast<const char*>(data) + 2, baseLength);
    const std::string document(reinterpret_cast<const char*>(data) + 2 + baseLength, size - 2 - baseLength);
    const bool traced = (options & 7) == 0 && document.size() <= 2048;
    const bool withMap = options & 8;

    kivoparse::Parser parser;
    if (traced) parser.SetLogFile(TracePath());
    parser.SetDocumentBase(base);
    Check(parser.ParseHTML(document) == 0);
    if (traced) {
        parser.SetLogFile("");  // lines for "" are dropped: the file stops growing
        std::remove(TracePath().c_str());
    }
    const std::string html = parser.GetHTML();
    const std::vector<std::string> images = parser.GetImages(), hrefs = parser.GetHrefs();

    // A reused Parser writes what a fresh one writes.
    if (options & 16) {
        kivoparse::Parser fresh;
        fresh.SetDocumentBase(base);
        fresh.ParseHTML(document);
        parser.ParseHTML("<p>an older tree<img src=x.gif>");
        parser.ParseHTML(document);
        Check(parser.GetHTML() == fresh.GetHTML() && fresh.GetHTML() == html);
    }

    // Lists of different lengths change nothing.
    std::vector<std::string> longer = images, longerHrefs = hrefs;
    longer.emplace_back("x");
    longerHrefs.emplace_back("x");
    Check(parser.FixImages(images, longer) == -1 && parser.FixHrefs(longerHrefs, hrefs) == -1);
    if (withMap) {
        Check(parser.FixImages(kivoparse::UrlMap(images, longer)) == -1);
        Check(parser.FixHrefs(kivoparse::UrlMap()) == 0);
    }
    Check(parser.GetHTML() == html);

    const std::vector<std::string> newImages = Prefixed(images, "1#"), newHrefs = Prefixed(hrefs, "2#");
    if (withMap) {
        const kivoparse::UrlMap imageMap(images, newImages), linkMap(hrefs, newHrefs);
        Check(parser.FixImages(imageMap) == 0 && parser.FixHrefs(linkMap) == 0);
    } else {
        Check(parser.FixImages(images, newImages) == 0 && parser.FixHrefs(hrefs, newHrefs) == 0);
    }
    Check(parser.GetImages() == newImages && parser.GetHrefs() == newHrefs);

    // The tree moves with the Parser; the one left behind is as new.
    kivoparse::Parser moved(std::move(parser));
    Check(parser.GetHTML().empty() && parser.GetImages().empty() && parser.GetHrefs().empty());
    Check(parser.FixImages(newImages, images) == 0);
    const std::string rewritten = moved.GetHTML();
    parser = std::move(moved);
    Check(parser.GetHTML() == rewritten && moved.GetHTML().empty());
    return 0;
}
