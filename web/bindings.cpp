// The JavaScript face of kivoparse::Parser. Documents, URLs and the document
// base cross as bytes: a Uint8Array (or any typed array, DataView or
// ArrayBuffer) is taken byte for byte, a string is encoded as UTF-8, and every
// result is a new Uint8Array, so that NUL bytes and bytes that are not UTF-8
// come through unchanged.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kivoparse/kivoparse.h"
#include "kivoparse/site.h"

namespace {

using emscripten::val;

[[noreturn]] void ThrowTypeError(const std::string& message) {
    val::global("TypeError").new_(val(message)).throw_();
}

// The bytes of value, copied in one call for binary data.
std::string Bytes(const val& value, const char* what) {
    if (value.isString()) return value.as<std::string>();
    val view = val::undefined();
    if (value.instanceof(val::global("Uint8Array"))) {
        view = value;
    } else if (value.instanceof(val::global("ArrayBuffer"))) {
        view = val::global("Uint8Array").new_(value);
    } else if (val::global("ArrayBuffer").call<bool>("isView", value)) {
        view = val::global("Uint8Array").new_(value["buffer"], value["byteOffset"], value["byteLength"]);
    } else {
        ThrowTypeError(std::string(what) + " must be a string, a Uint8Array or an ArrayBuffer");
    }
    std::string bytes(view["length"].as<size_t>(), '\0');
    if (!bytes.empty()) {
        val(emscripten::typed_memory_view(bytes.size(), reinterpret_cast<unsigned char*>(&bytes[0])))
            .call<void>("set", view);
    }
    return bytes;
}

val ByteArray(const std::string& bytes) {
    return val::global("Uint8Array")
        .new_(emscripten::typed_memory_view(bytes.size(), reinterpret_cast<const unsigned char*>(bytes.data())));
}

std::vector<std::string> ByteList(const val& list, const char* what) {
    if (!list.isArray()) ThrowTypeError(std::string(what) + " must be an array");
    const size_t count = list["length"].as<size_t>();
    std::vector<std::string> values;
    values.reserve(count);
    for (size_t i = 0; i < count; ++i) values.push_back(Bytes(list[i], what));
    return values;
}

val ArrayOf(const std::vector<std::string>& values) {
    val list = val::array();
    for (size_t i = 0; i < values.size(); ++i) list.set(i, ByteArray(values[i]));
    return list;
}

// A bad map line as a JavaScript Error whose message names it and whose
// line property holds its number. Called once the C++ exception is over.
[[noreturn]] void ThrowMapError(const std::string& message, std::size_t line) {
    val error = val::global("Error").new_(val(message));
    error.set("line", val(line));
    error.throw_();
}

// A map read from a map file's text (UrlMap or SiteMap), or the JavaScript
// Error of its bad line.
template <class TMap>
TMap ParseMap(const val& text) {
    std::string message;
    std::size_t line = 0;
    try {
        return TMap::Parse(Bytes(text, "text"));
    } catch (const kivoparse::MapError& error) {
        message = error.what();
        line = error.Line();
    }
    ThrowMapError(message, line);
}

// The bits of a set of kinds (kivoparse::UrlKinds) from a list of names
// ("images,links", "all") or an array of them; undefined or null for the
// default, images and links. A RangeError naming an unknown name, or a
// TypeError, is returned for kivoparse.mjs to throw.
val ParseKinds(const val& kinds) {
    if (kinds.isUndefined() || kinds.isNull()) return val(kivoparse::UrlKinds::Default().Bits());
    std::string list;
    bool names = kinds.isString() || kinds.isArray();
    if (kinds.isString()) {
        list = kinds.as<std::string>();
    } else if (kinds.isArray()) {
        const size_t count = kinds["length"].as<size_t>();
        for (size_t i = 0; i < count && names; ++i) {
            names = kinds[i].isString();
            if (names) list += (i ? "," : "") + kinds[i].as<std::string>();
        }
    }
    if (!names) {
        return val::global("TypeError").new_(val("kinds must be a string such as 'images,links' or an array of kind names"));
    }
    kivoparse::UrlKinds set;
    std::string error;
    if (!kivoparse::UrlKinds::Parse(list, set, error)) return val::global("RangeError").new_(val(error));
    return val(set.Bits());
}

val KindNames() {
    val names = val::array();
    for (size_t i = 0; i < kivoparse::kUrlKindCount; ++i) {
        names.set(i, val(kivoparse::UrlKindName(static_cast<kivoparse::UrlKind>(i))));
    }
    return names;
}

// A map file's lines as JavaScript has them: [{ from, to, prefix,
// document, line }], document empty for the pairs of every document (and
// for a section that names none), prefix true for a prefix rule (from is
// then the start it replaces, without its "*").
val LinesOut(const std::vector<kivoparse::MapLine>& lines) {
    val rows = val::array();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const kivoparse::MapLine& line = lines[i];
        val row = val::object();
        row.set("from", ByteArray(line.from));
        row.set("to", ByteArray(line.to));
        row.set("prefix", val(line.prefix));
        row.set("document", ByteArray(line.document.value_or(std::string())));
        row.set("line", val(line.line));
        rows.set(i, row);
    }
    return rows;
}

// Those lines back: empty document bytes (or none) for every document.
std::vector<kivoparse::MapLine> LinesIn(const val& rows) {
    if (!rows.isArray()) ThrowTypeError("lines must be an array of { from, to, prefix, document }");
    const size_t count = rows["length"].as<size_t>();
    std::vector<kivoparse::MapLine> lines(count);
    for (size_t i = 0; i < count; ++i) {
        const val row = rows[i];
        lines[i].from = Bytes(row["from"], "from");
        lines[i].to = Bytes(row["to"], "to");
        lines[i].prefix = row["prefix"].as<bool>();
        const val document = row["document"];
        if (!document.isUndefined() && !document.isNull()) {
            std::string path = Bytes(document, "document");
            if (!path.empty()) lines[i].document = std::move(path);
        }
    }
    return lines;
}

// A map file's text read by the library's reader in format (0: pairs,
// 1: rules, 2: rules with sections): { lines, kinds (the LIST of its
// "@kinds" line, or null) }. A bad line gives the Error that UrlMap would
// throw, returned for kivoparse.mjs to throw: thrown from here it would
// skip the destructors of this frame.
val ReadMapLines(const val& text, unsigned format) {
    kivoparse::MapFile file;
    try {
        file = kivoparse::ReadMapFile(Bytes(text, "text"), static_cast<kivoparse::MapFormat>(format));
    } catch (const kivoparse::MapError& bad) {
        val error = val::global("Error").new_(val(std::string(bad.what())));
        error.set("line", val(bad.Line()));
        return error;
    }
    val out = val::object();
    out.set("lines", LinesOut(file.lines));
    out.set("kinds", file.kinds ? val(*file.kinds) : val::null());
    return out;
}

// The map file of lines (and kinds, a string or null), written by the
// library's writer; an Error for a pair a map file cannot hold, returned
// as ReadMapLines returns its.
val WriteMapLines(const val& lines, const val& kinds) {
    kivoparse::MapFile file;
    file.lines = LinesIn(lines);
    if (kinds.isString()) file.kinds = kinds.as<std::string>();
    std::string text;
    try {
        text = kivoparse::WriteMapFile(file);
    } catch (const kivoparse::MapError& bad) {
        return val::global("Error").new_(val(std::string(bad.what())));
    }
    return ByteArray(text);
}

// A kivoparse::UrlMap: built once from a map file's text (or lists), then
// used for any number of rewrites.
class WebUrlMap {
public:
    // A map file's text.
    explicit WebUrlMap(const val& text) : mMap(ParseMap<kivoparse::UrlMap>(text)) {}
    WebUrlMap(const val& src, const val& dest, const val& prefixes, const val& replacements)
        : mMap(ByteList(src, "src"), ByteList(dest, "dest"), Rules(prefixes, replacements)) {}

    explicit WebUrlMap(std::vector<kivoparse::MapLine> lines) : mMap(std::move(lines)) {}

    // Map lines, as ReadMapLines gives them (their documents not looked at).
    static WebUrlMap* FromLines(const val& lines) { return new WebUrlMap(LinesIn(lines)); }
    static WebUrlMap* FromLists(const val& src, const val& dest) {
        return new WebUrlMap(src, dest, val::array(), val::array());
    }
    // Exact pairs and prefix rules (each rule's start and what replaces it).
    static WebUrlMap* FromRuleLists(const val& src, const val& dest, const val& prefixes, const val& replacements) {
        return new WebUrlMap(src, dest, prefixes, replacements);
    }

    size_t size() const { return mMap.Size(); }
    val sources() const { return ArrayOf(mMap.Sources()); }
    val destinations() const { return ArrayOf(mMap.Destinations()); }
    bool hasPrefixRules() const { return mMap.HasPrefixRules(); }
    val apply(const val& url) const {
        const std::optional<std::string> to = mMap.Apply(Bytes(url, "url"));
        return to ? ByteArray(*to) : val::null();
    }
    const kivoparse::UrlMap& Map() const { return mMap; }

private:
    static std::vector<std::pair<std::string, std::string>> Rules(const val& prefixes, const val& replacements) {
        std::vector<std::string> from = ByteList(prefixes, "prefixes");
        std::vector<std::string> to = ByteList(replacements, "replacements");
        if (from.size() != to.size()) ThrowTypeError("prefixes and replacements must be as long");
        std::vector<std::pair<std::string, std::string>> rules;
        rules.reserve(from.size());
        for (size_t i = 0; i < from.size(); ++i) rules.emplace_back(std::move(from[i]), std::move(to[i]));
        return rules;
    }

    kivoparse::UrlMap mMap;
};

// Occurrences (and findings) go out packed, since an object built field by
// field from here costs a call into JavaScript a field: numbers, one
// Uint32Array of a fixed count a record, and bytes, the strings one after
// another, their lengths among the numbers. kivoparse.mjs unpacks them.
class Packed {
public:
    void Add(const kivoparse::UrlOccurrence& o) {
        Number(static_cast<unsigned>(o.kind));
        Number(o.offset);
        Number(o.line);
        Number(o.column);
        String(o.tag);
        String(o.attribute);
        String(o.url);
    }
    void Number(std::size_t n) { mNumbers.push_back(static_cast<std::uint32_t>(n)); }
    void String(const std::string& s) {
        Number(s.size());
        mBytes += s;
    }
    val Out() const {
        val out = val::object();
        out.set("numbers", val::global("Uint32Array").new_(emscripten::typed_memory_view(mNumbers.size(), mNumbers.data())));
        out.set("bytes", ByteArray(mBytes));
        return out;
    }

private:
    std::vector<std::uint32_t> mNumbers;
    std::string mBytes;
};

// A byte-keeping rewrite as a plain object: { html, edits: [{ offset,
// length, replacement, kind }], rewritten: { kind: count }, leftAlone }.
val KeptObject(const kivoparse::KeptRewrite& kept) {
    val edits = val::array();
    for (std::size_t i = 0; i < kept.edits.size(); ++i) {
        const kivoparse::UrlEdit& e = kept.edits[i];
        val edit = val::object();
        edit.set("offset", val(e.offset));
        edit.set("length", val(e.length));
        edit.set("replacement", ByteArray(e.replacement));
        edit.set("kind", val(kivoparse::UrlKindName(e.kind)));
        edits.set(i, edit);
    }
    val rewritten = val::object();
    for (std::size_t i = 0; i < kivoparse::kUrlKindCount; ++i)
        rewritten.set(kivoparse::UrlKindName(static_cast<kivoparse::UrlKind>(i)), val(kept.rewritten[i]));
    val out = val::object();
    out.set("html", ByteArray(kept.html));
    out.set("edits", edits);
    out.set("rewritten", rewritten);
    out.set("leftAlone", val(kept.leftAlone));
    return out;
}

// A rewrite by a JavaScript function. rewriter(kind name, url bytes) is
// kivoparse.mjs's wrapper of the user's function: it answers null (keep the
// URL), a string or bytes (the new URL), or false when the function threw
// or answered something else. No exception may cross the library here (it
// is built without them, so its frames would not be unwound): run(r), a
// rewrite by the library's rewriter r, is made twice. The first only asks
// and keeps the answers, changing nothing; a false stops the asking and
// nothing is returned, for the wrapper to throw what it kept. The second,
// which meets the URLs in the same order, applies the answers.
template <class Run>
auto AskThenApply(const val& rewriter, Run run) -> std::optional<decltype(run(kivoparse::UrlRewriter()))> {
    const val names = KindNames();
    std::vector<std::optional<std::string>> answers;
    bool stopped = false;
    run([&](kivoparse::UrlKind kind, std::string_view url) -> std::optional<std::string> {
        if (stopped) return std::nullopt;
        const val answer = rewriter(names[static_cast<unsigned>(kind)], ByteArray(std::string(url)));
        if (answer.isFalse()) {
            stopped = true;
        } else if (answer.isNull() || answer.isUndefined()) {
            answers.emplace_back();
        } else {
            answers.emplace_back(Bytes(answer, "the rewriter's answer"));
        }
        return std::nullopt;
    });
    if (stopped) return std::nullopt;
    std::size_t next = 0;
    return run([&](kivoparse::UrlKind, std::string_view) -> std::optional<std::string> {
        return next < answers.size() ? std::move(answers[next++]) : std::nullopt;
    });
}

// The diff of before and kept (an object as KeptObject makes); edits that
// do not fit before are a TypeError here, before the library is called.
val UnifiedDiffOf(const val& path, const val& before, const val& kept) {
    kivoparse::KeptRewrite after;
    const std::string text = Bytes(before, "before");
    after.html = Bytes(kept["html"], "kept.html");
    const val edits = kept["edits"];
    if (!edits.isArray()) ThrowTypeError("kept.edits must be an array");
    const std::size_t count = edits["length"].as<std::size_t>();
    std::size_t fitted = 0, size = text.size();
    for (std::size_t i = 0; i < count; ++i) {
        const val e = edits[i];
        const double offset = e["offset"].isNumber() ? e["offset"].as<double>() : -1;
        const double length = e["length"].isNumber() ? e["length"].as<double>() : -1;
        if (!(offset >= static_cast<double>(fitted) && length >= 0 && offset + length <= static_cast<double>(text.size())))
            ThrowTypeError("kept.edits do not fit before: kept was not made from it");
        after.edits.push_back(kivoparse::UrlEdit{static_cast<std::size_t>(offset), static_cast<std::size_t>(length),
                                                 Bytes(e["replacement"], "an edit's replacement"), kivoparse::UrlKind::Image});
        fitted = after.edits.back().offset + after.edits.back().length;
        size = size - after.edits.back().length + after.edits.back().replacement.size();
    }
    if (size != after.html.size()) ThrowTypeError("kept.html was not made from before by its edits");
    return ByteArray(kivoparse::UnifiedDiff(Bytes(path, "path"), text, after));
}

// ---- The one-call functions of the library: a document in, a result out.
// A document too large for the parser gives its RangeError, returned for
// kivoparse.mjs to throw (thrown from here it would skip the destructors of
// this frame). base is read before html, as a Parser's calls would.

template <class Work>
val OneCall(Work work) {
    std::string message;
    try {
        return work();
    } catch (const std::length_error& error) {
        message = error.what();
    }
    return val::global("RangeError").new_(val(message));
}

val NormalizeOf(const val& html, const val& base, bool rawText) {
    std::string b = Bytes(base, "base");
    return OneCall([&] { return ByteArray(kivoparse::Normalize(Bytes(html, "html"), b, rawText)); });
}

val ImagesOf(const val& html, const val& base, bool rawText) {
    std::string b = Bytes(base, "base");
    return OneCall([&] { return ArrayOf(kivoparse::Images(Bytes(html, "html"), b, rawText)); });
}

val HrefsOf(const val& html, const val& base, bool rawText) {
    std::string b = Bytes(base, "base");
    return OneCall([&] { return ArrayOf(kivoparse::Hrefs(Bytes(html, "html"), b, rawText)); });
}

val RewriteOf(const val& html, const WebUrlMap& images, const WebUrlMap& links, const val& base, bool rawText) {
    std::string b = Bytes(base, "base");
    return OneCall(
        [&] { return ByteArray(kivoparse::Rewrite(Bytes(html, "html"), images.Map(), links.Map(), b, rawText)); });
}

val UrlsOf(const val& html, unsigned kinds, const val& base, bool rawText) {
    std::string b = Bytes(base, "base");
    return OneCall(
        [&] { return ArrayOf(kivoparse::Urls(Bytes(html, "html"), kivoparse::UrlKinds::FromBits(kinds), b, rawText)); });
}

// Packed, as a Parser's getUrlOccurrences.
val UrlOccurrencesOf(const val& html, unsigned kinds, const val& base, bool rawText) {
    std::string b = Bytes(base, "base");
    return OneCall([&] {
        Packed packed;
        for (const kivoparse::UrlOccurrence& o :
             kivoparse::UrlOccurrences(Bytes(html, "html"), kivoparse::UrlKinds::FromBits(kinds), b, rawText))
            packed.Add(o);
        return packed.Out();
    });
}

val RewriteUrlsOf(const val& html, unsigned kinds, const WebUrlMap& map, const val& base, bool rawText) {
    std::string b = Bytes(base, "base");
    return OneCall([&] {
        return ByteArray(
            kivoparse::RewriteUrls(Bytes(html, "html"), kivoparse::UrlKinds::FromBits(kinds), map.Map(), b, rawText));
    });
}

// null when the rewriter stopped (see AskThenApply).
val RewriteUrlsByOf(const val& html, unsigned kinds, const val& rewriter, const val& base, bool rawText) {
    std::string b = Bytes(base, "base");
    const std::string text = Bytes(html, "html");
    const kivoparse::UrlKinds set = kivoparse::UrlKinds::FromBits(kinds);
    return OneCall([&] {
        const std::optional<std::string> out = AskThenApply(
            rewriter, [&](const kivoparse::UrlRewriter& r) { return kivoparse::RewriteUrls(text, set, r, b, rawText); });
        return out ? ByteArray(*out) : val::null();
    });
}

class WebParser {
public:
    int parseHTML(const val& html) { return mParser.ParseHTML(Bytes(html, "html")); }
    val getHTML() { return ByteArray(mParser.GetHTML()); }
    val getImages() { return ArrayOf(mParser.GetImages()); }
    val getHrefs() { return ArrayOf(mParser.GetHrefs()); }
    int fixImages(const val& src, const val& dest) {
        return mParser.FixImages(ByteList(src, "src"), ByteList(dest, "dest"));
    }
    int fixHrefs(const val& src, const val& dest) {
        return mParser.FixHrefs(ByteList(src, "src"), ByteList(dest, "dest"));
    }
    // Images from one map and links from the other, over one tree.
    int rewrite(const WebUrlMap& images, const WebUrlMap& links) { return mParser.Rewrite(images.Map(), links.Map()); }
    // ---- URL kinds: kinds are the bits kivoparse.mjs has from ParseKinds.
    val getUrls(unsigned kinds) { return ArrayOf(mParser.GetUrls(kivoparse::UrlKinds::FromBits(kinds))); }
    // Packed (above): kind, offset, line, column, tag, attribute, url.
    val getUrlOccurrences(unsigned kinds) {
        Packed packed;
        for (const kivoparse::UrlOccurrence& o : mParser.GetUrlOccurrences(kivoparse::UrlKinds::FromBits(kinds))) packed.Add(o);
        return packed.Out();
    }
    // Byte-keeping rewrites of html (no tree of this Parser's is touched).
    static val keepBytesByMap(const val& html, unsigned kinds, const WebUrlMap& map) {
        return KeptObject(kivoparse::RewriteKeepingBytes(Bytes(html, "html"), kivoparse::UrlKinds::FromBits(kinds), map.Map()));
    }
    // null when the rewriter stopped (see AskThenApply).
    static val keepBytesBy(const val& html, unsigned kinds, const val& rewriter) {
        const std::string text = Bytes(html, "html");
        const kivoparse::UrlKinds set = kivoparse::UrlKinds::FromBits(kinds);
        const auto kept = AskThenApply(rewriter, [&](const kivoparse::UrlRewriter& r) {
            return kivoparse::RewriteKeepingBytes(text, set, r);
        });
        return kept ? KeptObject(*kept) : val::null();
    }
    int rewriteUrlsByMap(unsigned kinds, const WebUrlMap& map) {
        return mParser.Rewrite(kivoparse::UrlKinds::FromBits(kinds), map.Map());
    }
    // -2 when the rewriter stopped (see AskThenApply), the tree as it was.
    int rewriteUrlsBy(unsigned kinds, const val& rewriter) {
        const kivoparse::UrlKinds set = kivoparse::UrlKinds::FromBits(kinds);
        const std::optional<int> status =
            AskThenApply(rewriter, [&](const kivoparse::UrlRewriter& r) { return mParser.Rewrite(set, r); });
        return status ? *status : -2;
    }
    void setDocumentBase(const val& base) { mParser.SetDocumentBase(Bytes(base, "base")); }
    // From the next parse on: SCRIPT, STYLE and the other raw-text elements
    // hold text up to their end tag (true), or markup read as tags (false).
    void setRawText(bool rawText) { mParser.SetRawText(rawText); }
    // Each trace line (a Uint8Array, no line end) to a function; null or
    // undefined turns the trace off.
    void setTraceSink(const val& sink) {
        if (sink.isNull() || sink.isUndefined()) {
            mParser.SetTraceSink(nullptr);
            return;
        }
        if (sink.typeOf().as<std::string>() != "function") ThrowTypeError("sink must be a function, null or undefined");
        mParser.SetTraceSink([sink](std::string_view line) { sink(ByteArray(std::string(line))); });
    }
    // A path in the module's own file system (FS): the trace is read back
    // with FS.readFile.
    void setLogFile(const val& fileName) { mParser.SetLogFile(Bytes(fileName, "fileName")); }

    kivoparse::Parser& Native() { return mParser; }

private:
    kivoparse::Parser mParser;
};

// A kivoparse::SiteCheck over the files of a site known by their paths (as
// "site/a/page.html"): what the browser was given, since a page cannot
// look at a disk.
class WebSiteCheck {
public:
    explicit WebSiteCheck(const val& paths) : mCheck(kivoparse::SiteCheck::OfPaths(ByteList(paths, "paths"))) {}

    // The URLs of kinds in the tree parser holds, the document at path
    // document (its <base href> honoured), packed: each occurrence, then its
    // problem (0 missing, 1 another letter case, 2 above the root), path,
    // actual and repaired.
    val check(WebParser& parser, const val& document, const val& root, unsigned kinds) {
        const std::vector<kivoparse::SiteFinding> found =
            mCheck.Check(Bytes(document, "document"), Bytes(root, "root"),
                         mCheck.Prepare(parser.Native(), kivoparse::UrlKinds::FromBits(kinds)));
        Packed packed;
        for (const kivoparse::SiteFinding& f : found) {
            packed.Add(f.occurrence);
            packed.Number(static_cast<unsigned>(f.problem));
            packed.String(f.path);
            packed.String(f.actual);
            packed.String(f.repaired);
        }
        return packed.Out();
    }
    val counts() const {
        const kivoparse::SiteCounts& c = mCheck.Counts();
        val counts = val::object();
        counts.set("checked", val(c.checked));
        counts.set("missing", val(c.missing));
        counts.set("otherCase", val(c.otherCase));
        counts.set("external", val(c.external));
        counts.set("templates", val(c.templates));
        counts.set("aboveRoot", val(c.aboveRoot));
        return counts;
    }
    val suggestedMap() const { return ByteArray(mCheck.SuggestedMap()); }

private:
    kivoparse::SiteCheck mCheck;
};

// A kivoparse::SiteMap: a rule map with "@document PATH" sections, read
// once and applied to any number of documents.
class WebSiteMap {
public:
    explicit WebSiteMap(const val& text) : mMap(ParseMap<kivoparse::SiteMap>(text)) {}
    explicit WebSiteMap(kivoparse::MapFile file) : mMap(std::move(file)) {}

    // Map lines, as ReadMapLines gives them.
    static WebSiteMap* FromLines(const val& lines) {
        kivoparse::MapFile file;
        file.lines = LinesIn(lines);
        return new WebSiteMap(std::move(file));
    }

    val apply(const val& document, const val& url) const {
        const std::optional<std::string> to = mMap.Apply(Bytes(document, "document"), Bytes(url, "url"));
        return to ? ByteArray(*to) : val::null();
    }
    int rewrite(WebParser& parser, unsigned kinds, const val& document) const {
        return mMap.Rewrite(parser.Native(), kivoparse::UrlKinds::FromBits(kinds), Bytes(document, "document"));
    }
    val rewriteKeepingBytes(const val& document, const val& html, unsigned kinds) const {
        return KeptObject(mMap.RewriteKeepingBytes(Bytes(html, "html"), kivoparse::UrlKinds::FromBits(kinds),
                                                   Bytes(document, "document")));
    }
    val documents() const { return ArrayOf(mMap.Documents()); }
    // The document of the section that applies to document, or null.
    val sectionFor(const val& document) const {
        const std::optional<std::string> found = mMap.SectionFor(Bytes(document, "document"));
        return found ? ByteArray(*found) : val::null();
    }

private:
    kivoparse::SiteMap mMap;
};

// A kivoparse::SiteMove: the plan of a move inside a site known by its
// files' paths, from the site's root. Nothing is moved: the page offers the
// new texts and the diff.
class WebSiteMove {
public:
    WebSiteMove(const val& paths, const val& src, const val& dst) : WebSiteMove(paths, src, dst, val::undefined()) {}
    WebSiteMove(const val& paths, const val& src, const val& dst, const val& siteUrl)
        : mMove(Make(ByteList(paths, "paths"), Bytes(src, "src"), Bytes(dst, "dst"),
                     siteUrl.isUndefined() || siteUrl.isNull() ? std::string() : Bytes(siteUrl, "siteUrl"))) {}

    // The new path, then each change packed: the occurrence and the new URL.
    val plan(const val& document, const val& html) const {
        const std::string path = Bytes(document, "document");
        const kivoparse::DocumentChanges d = mMove.PlanDocument(path, Bytes(html, "html"));
        Packed packed;
        packed.String(d.newPath);
        for (const kivoparse::UrlChange& c : d.changes) {
            packed.Add(c.occurrence);
            packed.String(c.newUrl);
        }
        return packed.Out();
    }
    // html with the planned URLs rewritten, every other byte kept.
    val rewrite(const val& document, const val& html) const {
        const std::string path = Bytes(document, "document");
        return ByteArray(mMove.RewriteDocument(path, Bytes(html, "html")).html);
    }
    val movedFiles() const {
        val list = val::array();
        const auto& moved = mMove.MovedFiles();
        for (std::size_t i = 0; i < moved.size(); ++i) {
            val pair = val::array();
            pair.set(0, ByteArray(moved[i].first));
            pair.set(1, ByteArray(moved[i].second));
            list.set(i, pair);
        }
        return list;
    }
    val newPath(const val& path) const { return ByteArray(mMove.NewPath(Bytes(path, "path"))); }

private:
    // The move, or a JavaScript Error named MoveError saying why not.
    static kivoparse::SiteMove Make(const std::vector<std::string>& paths, const std::string& src,
                                    const std::string& dst, const std::string& siteUrl) {
        std::string message;
        try {
            return kivoparse::SiteMove(paths, src, dst, siteUrl);
        } catch (const kivoparse::MoveError& error) {
            message = error.what();
        }
        val error = val::global("Error").new_(val(message));
        error.set("name", val("MoveError"));
        error.throw_();
    }

    kivoparse::SiteMove mMove;
};

}  // namespace

std::string Version() { return kivoparse::Version(); }

EMSCRIPTEN_BINDINGS(kivoparse) {
    emscripten::function("version", &Version);
    emscripten::function("parseKinds", &ParseKinds);
    emscripten::function("kindNames", &KindNames);
    emscripten::function("_readMapLines", &ReadMapLines);
    emscripten::function("_writeMapLines", &WriteMapLines);
    emscripten::function("_keepBytesByMap", &WebParser::keepBytesByMap);
    emscripten::function("_keepBytesBy", &WebParser::keepBytesBy);
    emscripten::function("_unifiedDiff", &UnifiedDiffOf);
    emscripten::function("_normalize", &NormalizeOf);
    emscripten::function("_images", &ImagesOf);
    emscripten::function("_hrefs", &HrefsOf);
    emscripten::function("_rewrite", &RewriteOf);
    emscripten::function("_urls", &UrlsOf);
    emscripten::function("_urlOccurrences", &UrlOccurrencesOf);
    emscripten::function("_rewriteUrls", &RewriteUrlsOf);
    emscripten::function("_rewriteUrlsBy", &RewriteUrlsByOf);
    emscripten::class_<WebUrlMap>("UrlMap")
        .constructor<const val&>()
        .class_function("fromLines", &WebUrlMap::FromLines, emscripten::allow_raw_pointers())
        .class_function("fromLists", &WebUrlMap::FromLists, emscripten::allow_raw_pointers())
        .class_function("fromRuleLists", &WebUrlMap::FromRuleLists, emscripten::allow_raw_pointers())
        .function("size", &WebUrlMap::size)
        .function("sources", &WebUrlMap::sources)
        .function("destinations", &WebUrlMap::destinations)
        .function("hasPrefixRules", &WebUrlMap::hasPrefixRules)
        .function("apply", &WebUrlMap::apply);
    emscripten::class_<WebParser>("Parser")
        .constructor<>()
        .function("parseHTML", &WebParser::parseHTML)
        .function("getHTML", &WebParser::getHTML)
        .function("getImages", &WebParser::getImages)
        .function("getHrefs", &WebParser::getHrefs)
        .function("fixImages", &WebParser::fixImages)
        .function("fixHrefs", &WebParser::fixHrefs)
        .function("rewrite", &WebParser::rewrite)
        .function("_getUrls", &WebParser::getUrls)
        .function("_getUrlOccurrences", &WebParser::getUrlOccurrences)
        .function("_rewriteUrlsByMap", &WebParser::rewriteUrlsByMap)
        .function("_rewriteUrlsBy", &WebParser::rewriteUrlsBy)
        .function("setDocumentBase", &WebParser::setDocumentBase)
        .function("setRawText", &WebParser::setRawText)
        .function("setTraceSink", &WebParser::setTraceSink)
        .function("setLogFile", &WebParser::setLogFile);
    emscripten::class_<WebSiteCheck>("SiteCheck")
        .constructor<const val&>()
        .function("_check", &WebSiteCheck::check)
        .function("counts", &WebSiteCheck::counts)
        .function("suggestedMap", &WebSiteCheck::suggestedMap);
    emscripten::class_<WebSiteMove>("SiteMove")
        .constructor<const val&, const val&, const val&>()
        .constructor<const val&, const val&, const val&, const val&>()
        .function("_plan", &WebSiteMove::plan)
        .function("rewrite", &WebSiteMove::rewrite)
        .function("movedFiles", &WebSiteMove::movedFiles)
        .function("newPath", &WebSiteMove::newPath);
    emscripten::class_<WebSiteMap>("SiteMap")
        .constructor<const val&>()
        .class_function("fromLines", &WebSiteMap::FromLines, emscripten::allow_raw_pointers())
        .function("apply", &WebSiteMap::apply)
        .function("sectionFor", &WebSiteMap::sectionFor)
        .function("_rewrite", &WebSiteMap::rewrite)
        .function("_rewriteKeepingBytes", &WebSiteMap::rewriteKeepingBytes)
        .function("documents", &WebSiteMap::documents);
}
