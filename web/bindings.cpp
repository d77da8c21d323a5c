// The JavaScript face of kivoparse::Parser. Documents, URLs and the document
// base cross as bytes: a Uint8Array (or any typed array, DataView or
// ArrayBuffer) is taken byte for byte, a string is encoded as UTF-8, and every
// result is a new Uint8Array, so that NUL bytes and bytes that are not UTF-8
// come through unchanged.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kivoparse/kivoparse.h"

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

// A kivoparse::UrlMap: built once from a map file's text (or two lists),
// then used for any number of rewrites.
class WebUrlMap {
public:
    // A line that is not a pair is an Error whose message names it and
    // whose line property holds its number; the C++ exception is over
    // before the JavaScript one is thrown.
    explicit WebUrlMap(const val& text) {
        std::string message;
        std::size_t line = 0;
        try {
            mMap = kivoparse::UrlMap::Parse(Bytes(text, "text"));
            return;
        } catch (const kivoparse::MapError& error) {
            message = error.what();
            line = error.Line();
        }
        val error = val::global("Error").new_(val(message));
        error.set("line", val(line));
        error.throw_();
    }
    WebUrlMap(const val& src, const val& dest) : mMap(ByteList(src, "src"), ByteList(dest, "dest")) {}

    static WebUrlMap* FromLists(const val& src, const val& dest) { return new WebUrlMap(src, dest); }

    size_t size() const { return mMap.Size(); }
    val sources() const { return ArrayOf(mMap.Sources()); }
    val destinations() const { return ArrayOf(mMap.Destinations()); }
    const kivoparse::UrlMap& Map() const { return mMap; }

private:
    kivoparse::UrlMap mMap;
};

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
    void setDocumentBase(const val& base) { mParser.SetDocumentBase(Bytes(base, "base")); }
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

private:
    kivoparse::Parser mParser;
};

}  // namespace

std::string Version() { return kivoparse::Version(); }

EMSCRIPTEN_BINDINGS(kivoparse) {
    emscripten::function("version", &Version);
    emscripten::class_<WebUrlMap>("UrlMap")
        .constructor<const val&>()
        .class_function("fromLists", &WebUrlMap::FromLists, emscripten::allow_raw_pointers())
        .function("size", &WebUrlMap::size)
        .function("sources", &WebUrlMap::sources)
        .function("destinations", &WebUrlMap::destinations);
    emscripten::class_<WebParser>("Parser")
        .constructor<>()
        .function("parseHTML", &WebParser::parseHTML)
        .function("getHTML", &WebParser::getHTML)
        .function("getImages", &WebParser::getImages)
        .function("getHrefs", &WebParser::getHrefs)
        .function("fixImages", &WebParser::fixImages)
        .function("fixHrefs", &WebParser::fixHrefs)
        .function("rewrite", &WebParser::rewrite)
        .function("setDocumentBase", &WebParser::setDocumentBase)
        .function("setTraceSink", &WebParser::setTraceSink)
        .function("setLogFile", &WebParser::setLogFile);
}
