// The extension module kivoparse._kivoparse: the public API of
// kivoparse/kivoparse.h for Python, and the one-call conveniences the
// package exports. Each call converts its arguments, runs the library and
// converts the result; the work itself is the library's.
//
// Documents and URL values are bytes both ways; a str on input is taken as
// its UTF-8. Python objects are converted while the GIL is held; parsing,
// writing and rewriting run without it, so threads working on separate
// documents use separate cores. One Parser used by several threads at once
// serialises them on its own mutex instead of corrupting its tree.
#include <kivoparse/kivoparse.h>

#include <pybind11/pybind11.h>

#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// Argument and result types that pybind11 passes through untouched: the
// conversion (with this module's error messages) is done by the functions
// below. Their caster names are what help() and __doc__ show.
struct Data {  // a document, a URL value, a document base
    py::object object;
};
struct OptionalData {
    py::object object;
};
struct Values {  // a list of URL values
    py::object object;
};
struct Pairs {  // old URL to new URL: a mapping, a UrlMap, or None
    py::object object;
};
struct LogPath {
    py::object object;
};
struct TraceCallback {
    py::object object;
};
struct ByteValues {  // a result: list of bytes
    py::list list;
};

}  // namespace

namespace pybind11 {
namespace detail {

#define KIVOPARSE_PASS_THROUGH(Type, Name)                                      \
    template <>                                                                 \
    struct type_caster<Type> {                                                  \
        PYBIND11_TYPE_CASTER(Type, const_name(Name));                           \
        bool load(handle source, bool) {                                        \
            value.object = reinterpret_borrow<object>(source);                  \
            return true;                                                        \
        }                                                                       \
    }
KIVOPARSE_PASS_THROUGH(Data, "bytes | bytearray | memoryview | str");
KIVOPARSE_PASS_THROUGH(OptionalData, "bytes | bytearray | memoryview | str | None");
KIVOPARSE_PASS_THROUGH(Values, "list[bytes | str] | tuple[bytes | str, ...]");
KIVOPARSE_PASS_THROUGH(Pairs, "Mapping[bytes | str, bytes | str] | UrlMap | None");
KIVOPARSE_PASS_THROUGH(LogPath, "str | bytes | os.PathLike | None");
KIVOPARSE_PASS_THROUGH(TraceCallback, "Callable[[bytes], object] | None");
#undef KIVOPARSE_PASS_THROUGH

template <>
struct type_caster<ByteValues> {
    PYBIND11_TYPE_CASTER(ByteValues, const_name("list[bytes]"));
    static handle cast(const ByteValues& values, return_value_policy, handle) { return values.list.inc_ref(); }
};

}  // namespace detail
}  // namespace pybind11

namespace {

using ByteList = std::vector<std::string>;

// The parser counts its input in 32 bits and takes less than 2 GiB.
constexpr std::size_t kMaxDocument = std::size_t{1} << 31;

std::string TypeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

[[noreturn]] void ThrowTooLarge(std::size_t size) {
    // pybind11 turns std::length_error into ValueError.
    throw std::length_error("data is too large (" + std::to_string(size) +
                            " bytes): the parser takes less than 2 GiB (2147483648 bytes)");
}

// The bytes of a bytes-like object, or the UTF-8 of a str. A str's lone
// surrogates U+DC80..U+DCFF become the single bytes 0x80..0xFF, so text
// decoded with "surrogateescape" (as the CLI's JSON is read back) gives its
// bytes again; any other lone surrogate raises UnicodeEncodeError. With
// limit, a longer value is refused before anything is copied.
std::string ToBytes(py::handle value, const std::string& what, std::size_t limit = 0) {
    PyObject* object = value.ptr();
    auto checked = [&](const char* bytes, Py_ssize_t size) {
        const auto length = static_cast<std::size_t>(size);
        if (limit != 0 && length >= limit) ThrowTooLarge(length);
        return std::string(bytes, length);
    };
    if (PyUnicode_Check(object)) {
        // UTF-8 takes at least a byte a character: a str this long is
        // refused before it is encoded.
        if (limit != 0 && static_cast<std::size_t>(PyUnicode_GET_LENGTH(object)) >= limit) {
            ThrowTooLarge(static_cast<std::size_t>(PyUnicode_GET_LENGTH(object)));
        }
        py::object encoded = py::reinterpret_steal<py::object>(
            PyUnicode_AsEncodedString(object, "utf-8", "surrogateescape"));
        if (!encoded) throw py::error_already_set();
        return checked(PyBytes_AS_STRING(encoded.ptr()), PyBytes_GET_SIZE(encoded.ptr()));
    }
    if (PyBytes_Check(object)) return checked(PyBytes_AS_STRING(object), PyBytes_GET_SIZE(object));
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
        if (PyObject_GetBuffer(object, &buffer.mView, PyBUF_SIMPLE) != 0) {
            if (!PyErr_ExceptionMatches(PyExc_BufferError)) throw py::error_already_set();
            PyErr_Clear();
            throw py::type_error(what + " must be a contiguous buffer; this " + TypeName(value) +
                                 " is not (copy it with bytes() first)");
        }
        buffer.bHeld = true;
        return checked(static_cast<const char*>(buffer.mView.buf), buffer.mView.len);
    }
    throw py::type_error(what + " must be bytes or str, not " + TypeName(value));
}

std::string ToDocument(const Data& data) { return ToBytes(data.object, "data", kMaxDocument); }

std::string ToBase(const OptionalData& base) {
    return base.object.is_none() ? std::string() : ToBytes(base.object, "base");
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

ByteValues ToPyList(const ByteList& values) {
    py::list list(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        list[i] = py::bytes(values[i]);
    }
    return ByteValues{std::move(list)};
}

// The table of a UrlMap, or one made from a mapping's pairs in its
// iteration order (for a dict, the order of insertion); None is the empty
// table. The indexing runs without the GIL.
kivoparse::UrlMap ToUrlMap(py::handle mapping, const std::string& what) {
    if (mapping.is_none()) return kivoparse::UrlMap();
    if (py::isinstance<kivoparse::UrlMap>(mapping)) return mapping.cast<kivoparse::UrlMap>();
    if (!py::hasattr(mapping, "items") || PyUnicode_Check(mapping.ptr()) || PyBytes_Check(mapping.ptr())) {
        throw py::type_error(what + " must be a mapping (dict) of old URL to new URL or a UrlMap, not " +
                             TypeName(mapping));
    }
    ByteList src;
    ByteList dest;
    for (py::handle item : py::iter(mapping.attr("items")())) {
        if (!PyTuple_Check(item.ptr()) || PyTuple_GET_SIZE(item.ptr()) != 2) {
            throw py::type_error(what + ".items() must give (old URL, new URL) pairs");
        }
        py::tuple pair = py::reinterpret_borrow<py::tuple>(item);
        std::string key = ToBytes(pair[0], what + " key");
        dest.push_back(ToBytes(pair[1], what + "[" + py::repr(pair[0]).cast<std::string>() + "]"));
        src.push_back(std::move(key));
    }
    py::gil_scoped_release unlocked;
    return kivoparse::UrlMap(std::move(src), std::move(dest));
}

// kivoparse.MapError, a ValueError with the line number; made once and
// never freed, as the module that holds it lives to the end of the process.
PyObject* MapErrorType = nullptr;

// UrlMap.parse: the map file's text, read by the library; a bad line
// raises MapError with its number in .line.
kivoparse::UrlMap ParseUrlMap(const Data& text) {
    std::string bytes = ToBytes(text.object, "text");
    try {
        py::gil_scoped_release unlocked;
        return kivoparse::UrlMap::Parse(bytes);
    } catch (const kivoparse::MapError& error) {
        py::object exception = py::handle(MapErrorType)(error.what());
        exception.attr("line") = error.Line();
        PyErr_SetObject(MapErrorType, exception.ptr());
        throw py::error_already_set();
    }
}

void ParseInto(kivoparse::Parser& parser, std::string html) {
    const std::size_t size = html.size();
    if (parser.ParseHTML(std::move(html)) != 0) ThrowTooLarge(size);
}

// A path as os.open takes it: str or bytes or os.PathLike, encoded with the
// file system encoding. The file is opened for appending once here, so that
// a path that cannot be written is an OSError now rather than a trace
// silently lost later. None or an empty path turns the trace off.
std::string ToLogPath(const LogPath& path) {
    if (path.object.is_none()) return std::string();
    py::object name = py::module_::import("os").attr("fspath")(path.object);
    std::string bytes = py::module_::import("os").attr("fsencode")(name).cast<std::string>();
    if (bytes.empty()) return bytes;
    py::module_::import("builtins").attr("open")(name, "ab").attr("close")();
    return bytes;
}

// A Parser with the lock that keeps two threads out of its tree at once.
// Every method releases the GIL before it waits for the lock, so the thread
// holding the lock never waits for the GIL. The trace callable is held
// here, with the GIL, and the library's sink only borrows it.
struct LockedParser {
    kivoparse::Parser mParser;
    std::mutex mMutex;
    py::object mTrace;

    template <typename Operation>
    auto Run(Operation&& operation) {
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> lock(mMutex);
        return operation(mParser);
    }
};

void Fix(LockedParser& self, const Values& src, const Values& dest, const char* method, bool images) {
    ByteList from = ToByteList(src.object, "src");
    ByteList to = ToByteList(dest.object, "dest");
    if (from.size() != to.size()) {
        throw py::value_error(std::string(method) + ": src and dest must have the same length, not " +
                              std::to_string(from.size()) + " and " + std::to_string(to.size()) +
                              " (nothing was changed)");
    }
    self.Run([&](kivoparse::Parser& parser) {
        return images ? parser.FixImages(from, to) : parser.FixHrefs(from, to);
    });
}

// Each trace line goes to the callable as bytes, the GIL taken for the
// call. An exception it raises stops the parse and reaches the caller.
void SetTrace(LockedParser& self, const TraceCallback& callback) {
    if (!callback.object.is_none() && !PyCallable_Check(callback.object.ptr())) {
        throw py::type_error("trace must be callable or None, not " + TypeName(callback.object));
    }
    kivoparse::ByteSink sink;
    if (!callback.object.is_none()) {
        PyObject* function = callback.object.ptr();
        sink = [function](std::string_view line) {
            py::gil_scoped_acquire locked;
            py::handle{function}(py::bytes(line.data(), line.size()));
        };
    }
    self.Run([&](kivoparse::Parser& parser) {
        parser.SetTraceSink(std::move(sink));
        return 0;
    });
    self.mTrace = callback.object;  // the sink no longer uses the old callable
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

const char* const kUrlMapDoc = R"(Pairs of old and new URL values indexed once, to rewrite many documents:
UrlMap({b'old.gif': b'new.gif'}) from a mapping (in its iteration order),
UrlMap.parse(text) from a map file's text. Old values match whole, ASCII
letter case ignored; of old values equal but for case the first pair wins.
A UrlMap never changes: threads and processes may share one (it pickles).)";

void DefineUrlMap(py::module_& m) {
    MapErrorType = PyErr_NewExceptionWithDoc("kivoparse.MapError",
                                             "A map file line that is not a pair; .line is its number, from 1.",
                                             PyExc_ValueError, nullptr);
    if (MapErrorType == nullptr) throw py::error_already_set();
    m.attr("MapError") = py::handle(MapErrorType);

    py::class_<kivoparse::UrlMap>(m, "UrlMap", kUrlMapDoc)
        .def(py::init([](const Pairs& pairs) { return ToUrlMap(pairs.object, "pairs"); }),
             py::arg("pairs") = py::none(), "The pairs of a mapping of old URL to new URL; None: no pairs.")
        .def_static("parse", &ParseUrlMap, py::arg("text"),
                    "The pairs of a map file's text: a line each, old value, TAB, new value (the\n"
                    "first TAB splits; CR and NUL are kept); an empty last line is ignored.\n"
                    "MapError for a line without a TAB.")
        .def("__len__", &kivoparse::UrlMap::Size)
        .def(
            "items",
            [](const kivoparse::UrlMap& map) {
                py::list pairs(map.Size());
                for (std::size_t i = 0; i < map.Size(); ++i) {
                    pairs[i] = py::make_tuple(py::bytes(map.Sources()[i]), py::bytes(map.Destinations()[i]));
                }
                return pairs;
            },
            "The (old, new) pairs as bytes, in order, repeated old values included.")
        .def("__repr__",
             [](const kivoparse::UrlMap& map) { return "<kivoparse.UrlMap of " + std::to_string(map.Size()) + " pairs>"; })
        .def(py::pickle(
            [](const kivoparse::UrlMap& map) {
                return py::make_tuple(ToPyList(map.Sources()).list, ToPyList(map.Destinations()).list);
            },
            [](const py::tuple& state) {
                if (state.size() != 2) throw std::runtime_error("UrlMap: a pickled state is two lists");
                ByteList src = ToByteList(state[0], "src");
                ByteList dest = ToByteList(state[1], "dest");
                py::gil_scoped_release unlocked;
                return kivoparse::UrlMap(std::move(src), std::move(dest));
            }));
}

void DefineParser(py::module_& m) {
    py::class_<LockedParser>(m, "Parser", kParserDoc)
        .def(py::init<>())
        .def(
            "parse_html",
            [](LockedParser& self, const Data& data) {
                std::string html = ToDocument(data);
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
            [](LockedParser& self, const Values& src, const Values& dest) { Fix(self, src, dest, "fix_images", true); },
            py::arg("src"), py::arg("dest"),
            "Sets each image URL that equals src[i] (ASCII letter case ignored, the first\n"
            "i wins) to dest[i]. src and dest are lists of bytes or str of the same length\n"
            "(ValueError otherwise, and nothing is changed).")
        .def(
            "fix_hrefs",
            [](LockedParser& self, const Values& src, const Values& dest) { Fix(self, src, dest, "fix_hrefs", false); },
            py::arg("src"), py::arg("dest"), "As fix_images, for link URLs.")
        .def(
            "rewrite",
            [](LockedParser& self, const Pairs& images, const Pairs& hrefs) {
                kivoparse::UrlMap imageMap = ToUrlMap(images.object, "images");
                kivoparse::UrlMap hrefMap = ToUrlMap(hrefs.object, "hrefs");
                self.Run([&](kivoparse::Parser& parser) { return parser.Rewrite(imageMap, hrefMap); });
            },
            py::arg("images") = py::none(), py::arg("hrefs") = py::none(),
            "Rewrites image URLs from images and link URLs from hrefs (each a mapping of\n"
            "old URL to new URL, or a UrlMap) over the one tree.")
        .def(
            "set_document_base",
            [](LockedParser& self, const OptionalData& base) {
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
            [](LockedParser& self, const LogPath& path) {
                std::string name = ToLogPath(path);
                self.Run([&](kivoparse::Parser& parser) {
                    parser.SetLogFile(name);
                    return 0;
                });
                self.mTrace = py::none();  // the file replaces any trace callable
            },
            py::arg("path"),
            "From now on appends a trace line per parser step to the file at path (str,\n"
            "bytes or os.PathLike). The file is opened for appending at once: OSError if\n"
            "that fails. None or '' turns the trace off.")
        .def("set_trace", &SetTrace, py::arg("trace"),
             "From now on calls trace(line) with each trace line as bytes (no line end)\n"
             "instead of writing a file; an exception it raises stops the parse and is\n"
             "raised by the call that parsed. None turns the trace off.");
}

void DefineFunctions(py::module_& m) {
    m.def(
        "normalize",
        [](const Data& data, const OptionalData& base) {
            std::string html = ToDocument(data);
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

    auto collect = [](const Data& data, const OptionalData& base, bool images) {
        std::string html = ToDocument(data);
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
        "images", [collect](const Data& data, const OptionalData& base) { return collect(data, base, true); },
        py::arg("data"), py::arg("base") = py::none(),
        "The image URLs of the document (Parser.get_images), as a list of bytes.");
    m.def(
        "hrefs", [collect](const Data& data, const OptionalData& base) { return collect(data, base, false); },
        py::arg("data"), py::arg("base") = py::none(),
        "The link URLs of the document (Parser.get_hrefs), as a list of bytes. base is\n"
        "set as for the tool's hrefs --base: it changes image URLs only, so the list\n"
        "is the same with or without it.");

    m.def(
        "rewrite",
        [](const Data& data, const Pairs& images, const Pairs& hrefs, const OptionalData& base) {
            std::string html = ToDocument(data);
            kivoparse::UrlMap imageMap = ToUrlMap(images.object, "images");
            kivoparse::UrlMap hrefMap = ToUrlMap(hrefs.object, "hrefs");
            std::string text = ToBase(base);
            std::string written;
            {
                py::gil_scoped_release unlocked;
                kivoparse::Parser parser;
                parser.SetDocumentBase(text);
                ParseInto(parser, std::move(html));
                parser.Rewrite(imageMap, hrefMap);
                written = parser.GetHTML();
            }
            return py::bytes(written);
        },
        py::arg("data"), py::arg("images") = py::none(), py::arg("hrefs") = py::none(), py::arg("base") = py::none(),
        "The document with its URLs rewritten in one pass, as bytes. images and hrefs\n"
        "map old URL to new URL (a mapping of bytes or str, or a UrlMap made once for\n"
        "many documents); an old URL matches whole, ASCII letter case ignored, and of\n"
        "keys equal but for case the first in iteration order wins. base is stripped\n"
        "from image URLs while parsing, before they are matched.");
}

}  // namespace

PYBIND11_MODULE(_kivoparse, m) {
    m.doc() = kModuleDoc;
    m.attr("__version__") = kivoparse::Version();
    DefineUrlMap(m);
    DefineParser(m);
    DefineFunctions(m);
}
