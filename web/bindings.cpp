// The JavaScript face of kivoparse::Parser. Documents, URLs and the document
// base cross as bytes: a Uint8Array (or any typed array, DataView or
// ArrayBuffer) is taken byte for byte, a string is encoded as UTF-8, and every
// result is a new Uint8Array, so that NUL bytes and bytes that are not UTF-8
// come through unchanged.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <string>
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
    void setDocumentBase(const val& base) { mParser.SetDocumentBase(Bytes(base, "base")); }
    // A path in the module's own file system (FS): the trace is read back
    // with FS.readFile.
    void setLogFile(const val& fileName) { mParser.SetLogFile(Bytes(fileName, "fileName")); }

private:
    kivoparse::Parser mParser;
};

}  // namespace

EMSCRIPTEN_BINDINGS(kivoparse) {
    emscripten::class_<WebParser>("Parser")
        .constructor<>()
        .function("parseHTML", &WebParser::parseHTML)
        .function("getHTML", &WebParser::getHTML)
        .function("getImages", &WebParser::getImages)
        .function("getHrefs", &WebParser::getHrefs)
        .function("fixImages", &WebParser::fixImages)
        .function("fixHrefs", &WebParser::fixHrefs)
        .function("setDocumentBase", &WebParser::setDocumentBase)
        .function("setLogFile", &WebParser::setLogFile);
}
