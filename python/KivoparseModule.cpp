// The extension module kivoparse._kivoparse: kivoparse::Parser for Python,
// and the one-call conveniences the package exports.
//
// Documents and URL values are bytes both ways; a str on input is taken as
// its UTF-8. Python objects are converted while the GIL is held; parsing,
// writing and rewriting run without it, so threads working on separate
// documents use separate cores. One Parser used by several threads at once
// serialises them on its own mutex instead of corrupting its tree.
#include <kivoparse/kivoparse.h>

#include <pybind11/pybind11.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

#ifndef KIVOPARSE_VERSION
#define KIVOPARSE_VERSION "unknown"
#endif

namespace {

using ByteList = std::vector<std::string>;

std::string TypeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

// The bytes of a bytes-like object, or the UTF-8 of a str. A str's lone
// surrogates U+DC80..U+DCFF become the single bytes 0x80..0xFF, so text
// decoded with "surrogateescape" (as the CLI's JSON is read back) gives its
// bytes again; any other lone surrogate raises UnicodeEncodeError.
std::string ToBytes(py::handle value, const std::string& what) {
    PyObject* object = value.ptr();
    if (PyUnicode_Check(object)) {
        py::object encoded = py::reinterpret_steal<py::object>(
            PyUnicode_AsEncodedString(object, "utf-8", "surrogateescape"));
        if (!encoded) throw py::error_already_set();
        return std::string(PyBytes_AS_STRING(encoded.ptr()), static_cast<size_t>(PyBytes_GET_SIZE(encoded.ptr())));
    }
    if (PyBytes_Check(object)) {
        return std::string(PyBytes_AS_STRING(object), static_cast<size_t>(PyBytes_GET_SIZE(object)));
    }
    if (PyObject_CheckBuffer(object)) {
        // Released on every way out, a failed copy included.
        struct Buffer {
            Py_buffer mView{};
            bool bHeld = false;
            ~Buffer() {
                if (bHeld) PyBuffer_Release(&mView);
            }
        };
        Buffer buffer;
        if (PyObject_GetBuffer(object, &buffer.mView, PyBUF_SIMPLE) != 0) throw py::error_already_set();
        buffer.bHeld = true;
        return std::string(static_cast<const char*>(buffer.mView.buf), static_cast<size_t>(buffer.mView.len));
    }
    throw py::type_error(what + " must be bytes or str, not " + TypeName(value));
}

// The values of a list, tuple or other iterable of bytes or str. A bare
// bytes or str is refused: iterating it would give ints or characters.
ByteList ToByteList(py::handle values, const std::string& what) {
    PyObject* object = values.ptr();
    if (PyUnicode_Check(object) || PyBytes_Check(object) || PyByteArray_Check(object)) {
        throw py::type_error(what + " must be a list of bytes or str, not a single " + TypeName(values));
    }
    py::iterator items;
    try {
        items = py::iter(values);
    } catch (const py::error_already_set&) {
        throw py::type_error(what + " must be a list of bytes or str, not " + TypeName(values));
    }
    ByteList list;
    for (py::handle item : items) {
        list.push_back(ToBytes(item, what + "[" + std::to_string(list.size()) + "]"));
    }
    return list;
}

// The old and new URLs of a mapping, in its iteration order (for a dict,
// the order of insertion), as the two parallel lists the parser takes.
std::pair<ByteList, ByteList> ToPairs(py::handle mapping, const std::string& what) {
    std::pair<ByteList, ByteList> pairs;
    if (mapping.is_none()) return pairs;
    if (!py::hasattr(mapping, "items") || PyUnicode_Check(mapping.ptr()) || PyBytes_Check(mapping.ptr())) {
        throw py::type_error(what + " must be a mapping (dict) of old URL to new URL, not " + TypeName(mapping));
    }
    for (py::handle item : py::iter(mapping.attr("items")())) {
        if (!PyTuple_Check(item.ptr()) || PyTuple_GET_SIZE(item.ptr()) != 2) {
            throw py::type_error(what + ".items() must give (old URL, new URL) pairs");
        }
        py::tuple pair = py::reinterpret_borrow<py::tuple>(item);
        std::string key = ToBytes(pair[0], what + " key");
        pairs.second.push_back(ToBytes(pair[1], what + "[" + py::repr(pair[0]).cast<std::string>() + "]"));
        pairs.first.push_back(std::move(key));
    }
    return pairs;
}

py::list ToPyList(const ByteList& values) {
    py::list list(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        list[i] = py::bytes(values[i]);
    }
    return list;
}

std::string ToBase(py::object base) { return base.is_none() ? std::string() : ToBytes(base, "base"); }

// The parser counts its input in 32 bits: a larger document leaves it with
// an empty tree, which must not pass for a parsed document. (pybind11 turns
// std::length_error into ValueError.)
void ParseInto(kivoparse::Parser& parser, std::string html) {
    size_t size = html.size();
    if (parser.ParseHTML(std::move(html)) != 0) {
        throw std::length_error("data is too large (" + std::to_string(size) +
                                " bytes): the parser takes less than 2 GiB (2147483648 bytes)");
    }
}

// A Parser with the lock that keeps two threads out of its tree at once.
// Every method releases the GIL before it waits for the lock, so the thread
// holding the lock never waits for the GIL.
struct LockedParser {
    kivoparse::Parser mParser;
    std::mutex mMutex;

    template <typename Operation>
    auto Run(Operation&& operation) {
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> lock(mMutex);
        return operation(mParser);
    }
};

void Fix(LockedParser& self, py::object src, py::object dest, const char* method, bool images) {
    ByteList from = ToByteList(src, "src");
    ByteList to = ToByteList(dest, "dest");
    if (from.size() != to.size()) {
        throw py::value_error(std::string(method) + ": src and dest must have the same length, not " +
                              std::to_string(from.size()) + " and " + std::to_string(to.size()) +
                              " (nothing was changed)");
    }
    self.Run([&](kivoparse::Parser& parser) {
        return images ? parser.FixImages(from, to) : parser.FixHrefs(from, to);
    });
}

// A path as os.open takes it: str or bytes or os.PathLike, encoded with the
// file system encoding. The file is opened for appending once here, so that
// a path that cannot be written is an OSError now rather than a trace
// silently lost later. None or an empty path turns the trace off.
std::string ToLogPath(py::object path) {
    if (path.is_none()) return std::string();
    py::object name = py::module_::import("os").attr("fspath")(path);
    std::string bytes = py::module_::import("os").attr("fsencode")(name).cast<std::string>();
    if (bytes.empty()) return bytes;
    py::module_::import("builtins").attr("open")(name, "ab").attr("close")();
    return bytes;
}

const char* const kModuleDoc = R"(HTML parsing that writes documents back normalised and lists and rewrites
their image and link URLs. Documents and URLs are bytes; str is accepted on
input and taken as UTF-8 (see Parser.parse_html).)";

const char* const kParserDoc = R"(One document's parser: parse, then write, collect or rewrite.

Input may be bytes, bytearray, memoryview or str (encoded as UTF-8, lone
surrogates U+DC80..U+DCFF turned back into the bytes 0x80..0xFF as by
"surrogateescape"). Output is always bytes, exactly the bytes the parser
holds: NUL and bytes above 0x7F come back unchanged.

The GIL is released while parsing, writing and rewriting. A Parser may be
shared between threads; its calls then run one at a time.)";

}  // namespace

PYBIND11_MODULE(_kivoparse, m) {
    m.doc() = kModuleDoc;
    m.attr("__version__") = KIVOPARSE_VERSION;

    py::class_<LockedParser>(m, "Parser", kParserDoc)
        .def(py::init<>())
        .def(
            "parse_html",
            [](LockedParser& self, py::object data) {
                std::string html = ToBytes(data, "data");
                self.Run([&](kivoparse::Parser& parser) {
                    ParseInto(parser, std::move(html));
                    return 0;
                });
            },
            py::arg("data"),
            "Replaces the tree of any earlier parse with the tree of data. Never rejects\n"
            "markup; ValueError for 2 GiB or more (the tree is then empty).")
        .def(
            "get_html", [](LockedParser& self) { return py::bytes(self.Run([](kivoparse::Parser& p) { return p.GetHTML(); })); },
            "The tree written back: tag names upper-case, attribute names lower-case,\n"
            "values double-quoted. b'' before the first parse.")
        .def(
            "get_images",
            [](LockedParser& self) { return ToPyList(self.Run([](kivoparse::Parser& p) { return p.GetImages(); })); },
            "Image URLs: IMG src, then INPUT src, then background of any element, each\n"
            "in document order; of values equal but for ASCII letter case the first is\n"
            "kept. [] before the first parse.")
        .def(
            "get_hrefs",
            [](LockedParser& self) { return ToPyList(self.Run([](kivoparse::Parser& p) { return p.GetHrefs(); })); },
            "Link URLs (A href), likewise. [] before the first parse.")
        .def(
            "fix_images",
            [](LockedParser& self, py::object src, py::object dest) { Fix(self, src, dest, "fix_images", true); },
            py::arg("src"), py::arg("dest"),
            "Sets each image URL that equals src[i] (ASCII letter case ignored, the first\n"
            "i wins) to dest[i]. src and dest are lists of bytes or str of the same length\n"
            "(ValueError otherwise, and nothing is changed).")
        .def(
            "fix_hrefs",
            [](LockedParser& self, py::object src, py::object dest) { Fix(self, src, dest, "fix_hrefs", false); },
            py::arg("src"), py::arg("dest"), "As fix_images, for link URLs.")
        .def(
            "set_document_base",
            [](LockedParser& self, py::object base) {
                std::string text = ToBase(base);
                self.Run([&](kivoparse::Parser& parser) {
                    parser.SetDocumentBase(text);
                    return 0;
                });
            },
            py::arg("base"),
            "From the next parse on, image URLs get backslashes turned into slashes and\n"
            "lose every occurrence of base (its backslashes turned likewise). None or b''\n"
            "turns this off. The current tree stays as it is.")
        .def(
            "set_log_file",
            [](LockedParser& self, py::object path) {
                std::string name = ToLogPath(path);
                self.Run([&](kivoparse::Parser& parser) {
                    parser.SetLogFile(name);
                    return 0;
                });
            },
            py::arg("path"),
            "From now on appends a trace line per parser step to the file at path (str,\n"
            "bytes or os.PathLike). The file is opened for appending at once: OSError if\n"
            "that fails. None or '' turns the trace off.");

    m.def(
        "normalize",
        [](py::object data, py::object base) {
            std::string html = ToBytes(data, "data");
            std::string text = ToBase(base);
            std::string written;
            {
                py::gil_scoped_release unlocked;
                kivoparse::Parser parser;
                parser.SetDocumentBase(text);
                ParseInto(parser, std::move(html));
                written = parser.GetHTML();
            }
            return py::bytes(written);
        },
        py::arg("data"), py::arg("base") = py::none(),
        "The document written back normalised, as bytes (Parser.get_html after\n"
        "parse_html, with the document base set when base is given).");

    auto collect = [](py::object data, py::object base, bool images) {
        std::string html = ToBytes(data, "data");
        std::string text = ToBase(base);
        ByteList values;
        {
            py::gil_scoped_release unlocked;
            kivoparse::Parser parser;
            parser.SetDocumentBase(text);
            ParseInto(parser, std::move(html));
            values = images ? parser.GetImages() : parser.GetHrefs();
        }
        return ToPyList(values);
    };
    m.def(
        "images", [collect](py::object data, py::object base) { return collect(data, base, true); }, py::arg("data"),
        py::arg("base") = py::none(), "The image URLs of the document (Parser.get_images), as a list of bytes.");
    m.def(
        "hrefs", [collect](py::object data) { return collect(data, py::none(), false); }, py::arg("data"),
        "The link URLs of the document (Parser.get_hrefs), as a list of bytes.");

    m.def(
        "rewrite",
        [](py::object data, py::object images, py::object hrefs, py::object base) {
            std::string html = ToBytes(data, "data");
            std::pair<ByteList, ByteList> imagePairs = ToPairs(images, "images");
            std::pair<ByteList, ByteList> hrefPairs = ToPairs(hrefs, "hrefs");
            std::string text = ToBase(base);
            std::string written;
            {
                py::gil_scoped_release unlocked;
                kivoparse::Parser parser;
                parser.SetDocumentBase(text);
                ParseInto(parser, std::move(html));
                parser.FixImages(imagePairs.first, imagePairs.second);
                parser.FixHrefs(hrefPairs.first, hrefPairs.second);
                written = parser.GetHTML();
            }
            return py::bytes(written);
        },
        py::arg("data"), py::arg("images") = py::none(), py::arg("hrefs") = py::none(), py::arg("base") = py::none(),
        "The document with its URLs rewritten, as bytes. images and hrefs map old URL\n"
        "to new URL (bytes or str); an old URL matches whole, ASCII letter case\n"
        "ignored, and of keys equal but for case the first in iteration order wins.\n"
        "base is stripped from image URLs while parsing, before they are matched.");
}
