// libFuzzer entry through the public Parser, as a user of the library calls
// it. The first byte picks the options, the second the length of a document
// base taken from the bytes after it; the rest is the document.
//   - one input in eight (short ones only: every byte read is a trace line)
//     is parsed with the trace on, half of them into a sink that counts the
//     lines, half into a file of this process under /tmp, removed after
//     each input; the traced parse must write what an untraced one writes;
//   - WriteHTML's pieces must make GetHTML's text;
//   - the URLs are collected, rewritten with the two lists, with a UrlMap
//     or with one Rewrite, and collected again, which must give the new
//     values; a map file's text made from the pairs must read back as them;
//   - lists of different lengths, and invalid tables, must change nothing;
//   - one input in two is parsed with the raw-text setting (option 0x40);
//   - a byte-keeping rewrite's edits must lie in order inside the document
//     and make its output, and one that changes nothing must give it back;
//   - a Parser moved from must be as new, the one moved to must hold the
//     tree, and a reused Parser must write what a fresh one writes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
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

// A map file's text for the pairs, when one can say them (no TAB in an old
// value, no line break in either).
bool MapText(const std::vector<std::string>& src, const std::vector<std::string>& dest, std::string& text) {
    text.clear();
    for (std::size_t i = 0; i < src.size(); ++i) {
        if (src[i].find_first_of("\t\n") != std::string::npos || dest[i].find('\n') != std::string::npos) return false;
        text += src[i] + '\t' + dest[i] + '\n';
    }
    return true;
}

std::string Written(kivoparse::Parser& parser) {
    std::string html;
    parser.WriteHTML([&](std::string_view piece) { html += piece; });
    return html;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    Check(kivoparse::Version() != nullptr && *kivoparse::Version() != '\0');
    const unsigned options = data[0];
    const std::size_t baseLength = std::min<std::size_t>(data[1] % 8, size - 2);
    const std::string base(reinterpret_cast<const char*>(data) + 2, baseLength);
    const std::string document(reinterpret_cast<const char*>(data) + 2 + baseLength, size - 2 - baseLength);
    const bool traced = (options & 7) == 0 && document.size() <= 2048;
    const unsigned rewriteWith = (options >> 3) & 3;  // 0 the lists, 1 UrlMap, 2 Rewrite, 3 a parsed map
    const bool rawText = (options & 0x40) != 0;

    kivoparse::Parser parser;
    std::size_t traceLines = 0;
    if (traced && (options & 0x80)) {
        parser.SetLogFile(TracePath());
    } else if (traced) {
        parser.SetTraceSink([&](std::string_view) { ++traceLines; });
    }
    parser.SetDocumentBase(base);
    parser.SetRawText(rawText);
    Check(parser.ParseHTML(document) == 0);
    const std::string html = parser.GetHTML();
    if (traced) {
        parser.SetTraceSink(nullptr);
        std::remove(TracePath().c_str());
        Check((options & 0x80) || traceLines > document.size());  // a line per byte read at least
        kivoparse::Parser untraced;
        untraced.SetDocumentBase(base);
        untraced.SetRawText(rawText);
        untraced.ParseHTML(document);
        Check(untraced.GetHTML() == html);
    }
    Check(Written(parser) == html);
    const std::vector<std::string> images = parser.GetImages(), hrefs = parser.GetHrefs();

    // A reused Parser writes what a fresh one writes.
    if (options & 0x20) {
        parser.ParseHTML("<p>an older tree<img src=x.gif>");
        parser.ParseHTML(document);
        Check(parser.GetHTML() == html);
    }

    // Lists of different lengths change nothing.
    std::vector<std::string> longer = images, longerHrefs = hrefs;
    longer.emplace_back("x");
    longerHrefs.emplace_back("x");
    Check(parser.FixImages(images, longer) == -1 && parser.FixHrefs(longerHrefs, hrefs) == -1);
    Check(parser.FixImages(kivoparse::UrlMap(images, longer)) == -1);
    Check(parser.Rewrite(kivoparse::UrlMap(), kivoparse::UrlMap(hrefs, longerHrefs)) == -1);
    Check(parser.FixHrefs(kivoparse::UrlMap()) == 0);
    Check(parser.GetHTML() == html);

    const std::vector<std::string> newImages = Prefixed(images, "1#"), newHrefs = Prefixed(hrefs, "2#");
    std::string imageText, linkText;
    if (rewriteWith == 3 && MapText(images, newImages, imageText) && MapText(hrefs, newHrefs, linkText)) {
        const kivoparse::UrlMap imageMap = kivoparse::UrlMap::Parse(imageText);
        const kivoparse::UrlMap linkMap = kivoparse::UrlMap::Parse(linkText);
        Check(imageMap.Size() == images.size() && imageMap.Sources() == images && imageMap.Destinations() == newImages);
        Check(linkMap.Size() == hrefs.size() && linkMap.Sources() == hrefs && linkMap.Destinations() == newHrefs);
        Check(parser.Rewrite(imageMap, linkMap) == 0);
    } else if (rewriteWith >= 2) {
        Check(parser.Rewrite(kivoparse::UrlMap(images, newImages), kivoparse::UrlMap(hrefs, newHrefs)) == 0);
    } else if (rewriteWith == 1) {
        const kivoparse::UrlMap imageMap(images, newImages), linkMap(hrefs, newHrefs);
        Check(parser.FixImages(imageMap) == 0 && parser.FixHrefs(linkMap) == 0);
    } else {
        Check(parser.FixImages(images, newImages) == 0 && parser.FixHrefs(hrefs, newHrefs) == 0);
    }
    Check(parser.GetImages() == newImages && parser.GetHrefs() == newHrefs);

    // Any text read as a map file: pairs, or an error naming a line.
    try {
        const kivoparse::UrlMap map = kivoparse::UrlMap::Parse(document);
        Check(map.Sources().size() == map.Size() && map.Destinations().size() == map.Size());
    } catch (const kivoparse::MapError& error) {
        Check(error.Line() >= 1 && error.Line() <= 1 + static_cast<std::size_t>(std::count(document.begin(), document.end(), '\n')));
    }

    // The byte-keeping rewrite: a callback that keeps every URL gives the
    // document back; one that renames every URL (some names that no quoting
    // holds) gives edits in order, inside the document, that spliced into it
    // make the output, and a diff of them.
    const kivoparse::UrlKinds every = kivoparse::UrlKinds::All();
    const kivoparse::KeptRewrite same =
        kivoparse::RewriteKeepingBytes(document, every, [](kivoparse::UrlKind, std::string_view) { return std::nullopt; });
    Check(same.html == document && same.edits.empty() && same.leftAlone == 0);
    std::size_t named = 0;
    const kivoparse::KeptRewrite kept = kivoparse::RewriteKeepingBytes(
        document, every, [&](kivoparse::UrlKind, std::string_view) -> std::optional<std::string> {
            ++named;
            return (options & 0x40) ? "u " + std::to_string(named) + "\"'>" : "u" + std::to_string(named);
        });
    std::string spliced;
    std::size_t copied = 0;
    for (const kivoparse::UrlEdit& edit : kept.edits) {
        Check(edit.offset >= copied && edit.offset + edit.length <= document.size());
        spliced.append(document, copied, edit.offset - copied).append(edit.replacement);
        copied = edit.offset + edit.length;
    }
    spliced.append(document, copied, std::string::npos);
    Check(spliced == kept.html && kept.Rewritten() == kept.edits.size() && kept.Rewritten() + kept.leftAlone <= named);
    const std::string diff = kivoparse::UnifiedDiff("p", document, kept);
    Check(diff.empty() == kept.edits.empty());

    // The tree moves with the Parser; the one left behind is as new.
    kivoparse::Parser moved(std::move(parser));
    Check(parser.GetHTML().empty() && parser.GetImages().empty() && parser.GetHrefs().empty());
    Check(parser.FixImages(newImages, images) == 0 && Written(parser).empty());
    const std::string rewritten = moved.GetHTML();
    parser = std::move(moved);
    Check(parser.GetHTML() == rewritten && moved.GetHTML().empty());
    return 0;
}
