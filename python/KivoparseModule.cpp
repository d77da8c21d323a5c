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
#include <kivoparse/site.h>

#include <pybind11/pybind11.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
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
struct Path {  // a file's path: str, bytes or os.PathLike
    py::object object;
};
struct TraceCallback {
    py::object object;
};
struct Kinds {  // kinds of URL: "images,links", "all", or an iterable of names
    py::object object;
};
struct Rewriter {  // a mapping, a UrlMap or a callable (kind, url) -> new url or None
    py::object object;
};
struct KeptArg {  // a KeptRewrite handed back
    py::object object;
};
struct KeptResult {  // a result: a KeptRewrite
    py::object object;
};
struct ByteValues {  // a result: list of bytes
    py::list list;
};
struct Occurrences {  // a result: list of UrlOccurrence
    py::list list;
};

// A UrlMap as Python holds it.
struct PyUrlMap {
    kivoparse::UrlMap mMap;
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
KIVOPARSE_PASS_THROUGH(Path, "str | bytes | os.PathLike");
KIVOPARSE_PASS_THROUGH(TraceCallback, "Callable[[bytes], object] | None");
KIVOPARSE_PASS_THROUGH(Kinds, "str | Iterable[str]");
KIVOPARSE_PASS_THROUGH(Rewriter,
                       "Mapping[bytes | str, bytes | str] | UrlMap | Callable[[str, bytes], bytes | str | None]");
KIVOPARSE_PASS_THROUGH(KeptArg, "KeptRewrite");
#undef KIVOPARSE_PASS_THROUGH

template <>
struct type_caster<KeptResult> {
    PYBIND11_TYPE_CASTER(KeptResult, const_name("KeptRewrite"));
    static handle cast(const KeptResult& kept, return_value_policy, handle) { return kept.object.inc_ref(); }
};

template <>
struct type_caster<ByteValues> {
    PYBIND11_TYPE_CASTER(ByteValues, const_name("list[bytes]"));
    static handle cast(const ByteValues& values, return_value_policy, handle) { return values.list.inc_ref(); }
};
template <>
struct type_caster<Occurrences> {
    PYBIND11_TYPE_CASTER(Occurrences, const_name("list[UrlOccurrence]"));
    static handle cast(const Occurrences& values, return_value_policy, handle) { return values.list.inc_ref(); }
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
    if (py::isinstance<PyUrlMap>(mapping)) return mapping.cast<const PyUrlMap&>().mMap;
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

// UrlMap.parse and parse_rules: the map file's text, read by the library;
// a bad line raises MapError with its number in .line.
PyUrlMap ParseUrlMap(std::string bytes, bool rules) {
    try {
        PyUrlMap table;
        py::gil_scoped_release unlocked;
        table.mMap = rules ? kivoparse::UrlMap::ParseRules(bytes) : kivoparse::UrlMap::Parse(bytes);
        return table;
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

// The module's one-document functions: the library's one-call function,
// run without the GIL (plain C++ values: the caller turns them into Python
// objects once the GIL is back).
template <class Work>
auto Unlocked(Work work) {
    py::gil_scoped_release unlocked;
    return work();
}

// A site's page: html parsed by a Parser of its own, without the GIL, and
// what use makes of it.
template <class Use>
auto WithParsed(std::string html, bool rawText, Use use) {
    py::gil_scoped_release unlocked;
    kivoparse::Parser parser;
    parser.SetRawText(rawText);
    ParseInto(parser, std::move(html));
    return use(parser);
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

// The kinds of a kinds argument: a list as the tool's --kinds takes it
// ("images,links,css", "all"), or an iterable of such names.
kivoparse::UrlKinds ToKinds(const Kinds& kinds) {
    kivoparse::UrlKinds chosen;
    std::string error;
    auto add = [&](py::handle name) {
        if (!PyUnicode_Check(name.ptr())) {
            throw py::type_error("kinds must be a str or an iterable of str, not " + TypeName(name));
        }
        kivoparse::UrlKinds more;
        if (!kivoparse::UrlKinds::Parse(name.cast<std::string>(), more, error)) throw py::value_error("kinds: " + error);
        chosen = chosen | more;
    };
    if (PyUnicode_Check(kinds.object.ptr())) {
        add(kinds.object);
        return chosen;
    }
    if (PyBytes_Check(kinds.object.ptr()) || PyByteArray_Check(kinds.object.ptr())) {
        throw py::type_error("kinds must be a str or an iterable of str, not " + TypeName(kinds.object));
    }
    py::iterator names;
    try {
        names = py::iter(kinds.object);
    } catch (const py::error_already_set&) {
        throw py::type_error("kinds must be a str or an iterable of str, not " + TypeName(kinds.object));
    }
    for (py::handle name : names) add(name);
    if (chosen.Empty()) throw py::value_error("kinds: no kind given");
    return chosen;
}

// kivoparse.UrlOccurrence, a named tuple made once, kept like MapErrorType.
PyObject* OccurrenceType = nullptr;

Occurrences ToPyOccurrences(const std::vector<kivoparse::UrlOccurrence>& found) {
    py::list list(found.size());
    py::handle type(OccurrenceType);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const kivoparse::UrlOccurrence& o = found[i];
        list[i] = type(kivoparse::UrlKindName(o.kind), py::bytes(o.tag), py::bytes(o.attribute), py::bytes(o.url),
                       o.offset, o.line, o.column);
    }
    return Occurrences{std::move(list)};
}

// What rewrite_urls takes: a table, or a callable that decides each URL.
// The callable is called with the GIL taken for the call only; what it
// raises, or a result that is not bytes, str or None, stops the rewrite
// with the tree as it was, and reaches the caller.
struct UrlRewrite {
    std::optional<kivoparse::UrlMap> mMap;
    kivoparse::UrlRewriter mFunction;

    explicit UrlRewrite(const Rewriter& how) {
        PyObject* function = how.object.ptr();
        if (py::isinstance<PyUrlMap>(how.object) || py::hasattr(how.object, "items")) {
            mMap = ToUrlMap(how.object, "map");
            return;
        }
        if (!PyCallable_Check(function)) {
            throw py::type_error("map must be a mapping (dict) of old URL to new URL, a UrlMap or a callable, not " +
                                 TypeName(how.object));
        }
        mFunction = [function](kivoparse::UrlKind kind, std::string_view url) -> std::optional<std::string> {
            py::gil_scoped_acquire locked;
            py::object result = py::handle{function}(kivoparse::UrlKindName(kind), py::bytes(url.data(), url.size()));
            if (result.is_none()) return std::nullopt;
            return ToBytes(result, "the new url");
        };
    }
    // Without the GIL.
    void Apply(kivoparse::Parser& parser, kivoparse::UrlKinds kinds) const {
        if (mMap) {
            parser.Rewrite(kinds, *mMap);
        } else {
            parser.Rewrite(kinds, mFunction);
        }
    }
};

// A Parser with the lock that keeps two threads out of its tree at once.
// Every method releases the GIL before it waits for the lock, so the thread
// holding the lock never waits for the GIL. The trace callable is held
// here, with the GIL, and the library's sink only borrows it. A callable
// (trace or rewrite) that calls its own parser gets RuntimeError instead
// of waiting for ever on the lock its caller holds.
struct LockedParser {
    kivoparse::Parser mParser;
    std::mutex mMutex;
    std::atomic<std::thread::id> mOwner{};
    py::object mTrace;

    template <typename Operation>
    auto Run(Operation&& operation) {
        if (mOwner.load() == std::this_thread::get_id()) {
            throw std::runtime_error("a callable of this Parser called the Parser itself, which is busy");
        }
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> lock(mMutex);
        struct Owner {
            std::atomic<std::thread::id>& mId;
            ~Owner() { mId.store(std::thread::id()); }
        } owner{mOwner};
        mOwner.store(std::this_thread::get_id());
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
UrlMap.parse_rules(text) reads prefix rules too ("old/*<TAB>new/*").
A UrlMap never changes: threads and processes may share one (it pickles).)";

void DefineUrlMap(py::module_& m) {
    MapErrorType = PyErr_NewExceptionWithDoc("kivoparse.MapError",
                                             "A map file line that is not a pair; .line is its number, from 1.",
                                             PyExc_ValueError, nullptr);
    if (MapErrorType == nullptr) throw py::error_already_set();
    m.attr("MapError") = py::handle(MapErrorType);
    OccurrenceType = py::module_::import("collections")
                         .attr("namedtuple")("UrlOccurrence", "kind tag attribute url offset line column",
                                             py::arg("module") = "kivoparse")
                         .release()
                         .ptr();
    py::handle(OccurrenceType).attr("__doc__") =
        "One URL where the document holds it: kind (str, as --kinds names it), tag\n"
        "(bytes, upper case), attribute (bytes, lower case; b'' for a STYLE element's\n"
        "text), url (bytes), offset of its first byte, line and column (from 1, the\n"
        "column in bytes).";
    m.attr("UrlOccurrence") = py::handle(OccurrenceType);

    py::class_<PyUrlMap>(m, "UrlMap", kUrlMapDoc)
        .def(py::init([](const Pairs& pairs) { return PyUrlMap{ToUrlMap(pairs.object, "pairs")}; }),
             py::arg("pairs") = py::none(), "The pairs of a mapping of old URL to new URL; None: no pairs.")
        .def_static(
            "parse", [](const Data& text) { return ParseUrlMap(ToBytes(text.object, "text"), false); },
            py::arg("text"),
            "The pairs of a map file's text: a line each, old value, TAB, new value (the\n"
            "first TAB splits; CR and NUL are kept); an empty last line is ignored.\n"
            "MapError for a line without a TAB.")
        .def_static(
            "parse_rules", [](const Data& text) { return ParseUrlMap(ToBytes(text.object, "text"), true); },
            py::arg("text"),
            "A rule map, as the tool's fix --map reads it: the lines of parse, where an\n"
            "old value ending in one '*' is a prefix rule ('http://old/*<TAB>https://new/*';\n"
            "the new value's '*' may be left out; '**' at the end of a value is one literal\n"
            "'*'). Prefix rules apply after the exact pairs, the longest first, letter case\n"
            "ignored. MapError for a line without a TAB, an empty prefix, or a '*' left on\n"
            "an exact pair's new value.")
        .def("has_prefix_rules", [](const PyUrlMap& map) { return map.mMap.HasPrefixRules(); },
             "True for a map with prefix rules (from parse_rules).")
        .def(
            "apply",
            [](const PyUrlMap& map, const Data& url) -> py::object {
                std::optional<std::string> found = map.mMap.Apply(ToBytes(url.object, "url"));
                if (!found) return py::none();
                return py::bytes(*found);
            },
            py::arg("url"), "The new value the map gives url (exact pairs, then prefix rules), or None.")
        .def("__len__", [](const PyUrlMap& map) { return map.mMap.Size(); })
        .def(
            "items",
            [](const PyUrlMap& table) {
                const kivoparse::UrlMap& map = table.mMap;
                py::list pairs(map.Size());
                for (std::size_t i = 0; i < map.Size(); ++i) {
                    pairs[i] = py::make_tuple(py::bytes(map.Sources()[i]), py::bytes(map.Destinations()[i]));
                }
                return pairs;
            },
            "The (old, new) pairs as bytes, in order, repeated old values included.")
        .def("__repr__",
             [](const PyUrlMap& map) {
                 return "<kivoparse.UrlMap of " + std::to_string(map.mMap.Size()) + " pairs" +
                        (map.mMap.HasPrefixRules() ? " and prefix rules>" : ">");
             })
        // Pairs pickle as two lists; a map with prefix rules as the map
        // file its lines make.
        .def(py::pickle(
            [](const PyUrlMap& map) {
                if (map.mMap.HasPrefixRules()) {
                    kivoparse::MapFile file;
                    file.lines = map.mMap.Lines();
                    return py::make_tuple(py::bytes(kivoparse::WriteMapFile(file)));
                }
                return py::make_tuple(ToPyList(map.mMap.Sources()).list, ToPyList(map.mMap.Destinations()).list);
            },
            [](const py::tuple& state) {
                if (state.size() == 1) return ParseUrlMap(ToBytes(state[0], "rules"), true);
                if (state.size() != 2) throw std::runtime_error("UrlMap: a pickled state is two lists or a rule map");
                ByteList src = ToByteList(state[0], "src");
                ByteList dest = ToByteList(state[1], "dest");
                py::gil_scoped_release unlocked;
                return PyUrlMap{kivoparse::UrlMap(std::move(src), std::move(dest))};
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
            "get_urls",
            [](LockedParser& self, const Kinds& kinds) {
                kivoparse::UrlKinds chosen = ToKinds(kinds);
                return ToPyList(self.Run([&](kivoparse::Parser& p) { return p.GetUrls(chosen); }));
            },
            py::arg("kinds") = "images,links",
            "The URLs of the chosen kinds without duplicates under ASCII case folding:\n"
            "kind by kind, each kind's rows in the order of the table of URL kinds (every\n"
            "LINK href before any SCRIPT src), each row in document order. kinds as the\n"
            "tool's --kinds ('images,links',\n"
            "'all') or an iterable of kind names.")
        .def(
            "urls",
            [](LockedParser& self, const Kinds& kinds) {
                kivoparse::UrlKinds chosen = ToKinds(kinds);
                return ToPyOccurrences(self.Run([&](kivoparse::Parser& p) { return p.GetUrlOccurrences(chosen); }));
            },
            py::arg("kinds") = "images,links",
            "Every URL of the chosen kinds with its place, in document order, as\n"
            "UrlOccurrence(kind, tag, attribute, url, offset, line, column).")
        .def(
            "rewrite_urls",
            [](LockedParser& self, const Rewriter& map, const Kinds& kinds) {
                kivoparse::UrlKinds chosen = ToKinds(kinds);
                UrlRewrite how(map);
                self.Run([&](kivoparse::Parser& parser) {
                    how.Apply(parser, chosen);
                    return 0;
                });
            },
            py::arg("map"), py::arg("kinds") = "images,links",
            "Rewrites the URLs of the chosen kinds: map is a mapping of old URL to new URL,\n"
            "a UrlMap (prefix rules included), or a callable map(kind, url) returning the\n"
            "new URL or None to keep it. What the callable raises reaches the caller, the\n"
            "tree as it was.")
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
        .def(
            "set_raw_text",
            [](LockedParser& self, bool rawText) {
                self.Run([&](kivoparse::Parser& parser) {
                    parser.SetRawText(rawText);
                    return 0;
                });
            },
            py::arg("raw_text"),
            "From the next parse on, True reads the content of SCRIPT, STYLE, XMP, IFRAME,\n"
            "NOEMBED, NOFRAMES, TEXTAREA and TITLE as text up to its end tag, as a\n"
            "browser does; False (a new Parser's setting) reads markup inside them as\n"
            "tags. The current tree stays as it is.")
        .def("set_trace", &SetTrace, py::arg("trace"),
             "From now on calls trace(line) with each trace line as bytes (no line end)\n"
             "instead of writing a file; an exception it raises stops the parse and is\n"
             "raised by the call that parsed. None turns the trace off.");
}

// kivoparse.KeptRewrite and kivoparse.UrlEdit, named tuples made once.
PyObject* KeptType = nullptr;
PyObject* EditType = nullptr;

py::object ToPyKept(const kivoparse::KeptRewrite& kept) {
    py::list edits(kept.edits.size());
    for (std::size_t i = 0; i < kept.edits.size(); ++i) {
        const kivoparse::UrlEdit& e = kept.edits[i];
        edits[i] = py::handle(EditType)(e.offset, e.length, py::bytes(e.replacement), kivoparse::UrlKindName(e.kind));
    }
    py::dict rewritten;
    for (std::size_t i = 0; i < kivoparse::kUrlKindCount; ++i)
        rewritten[kivoparse::UrlKindName(static_cast<kivoparse::UrlKind>(i))] = kept.rewritten[i];
    return py::handle(KeptType)(py::bytes(kept.html), edits, rewritten, kept.leftAlone);
}

// A KeptRewrite back from Python: its html and edits (the counts are not
// needed to make a diff).
kivoparse::KeptRewrite FromPyKept(py::handle after) {
    if (!py::isinstance(after, py::handle(KeptType))) {
        throw py::type_error("after must be a KeptRewrite (rewrite_keeping_bytes gives one), not " + TypeName(after));
    }
    kivoparse::KeptRewrite kept;
    kept.html = ToBytes(after.attr("html"), "after.html");
    for (py::handle edit : after.attr("edits")) {
        if (!py::isinstance(edit, py::handle(EditType))) throw py::type_error("after.edits must hold UrlEdit tuples");
        kivoparse::UrlKinds kind;
        std::string error;
        if (!kivoparse::UrlKinds::Parse(edit.attr("kind").cast<std::string>(), kind, error) || kind == kivoparse::UrlKinds::All())
            throw py::value_error("UrlEdit.kind: " + error);
        kivoparse::UrlKind single = kivoparse::UrlKind::Image;
        for (std::size_t i = 0; i < kivoparse::kUrlKindCount; ++i)
            if (kind.Has(static_cast<kivoparse::UrlKind>(i))) single = static_cast<kivoparse::UrlKind>(i);
        kept.edits.push_back(kivoparse::UrlEdit{edit.attr("offset").cast<std::size_t>(), edit.attr("length").cast<std::size_t>(),
                                                ToBytes(edit.attr("replacement"), "UrlEdit.replacement"), single});
    }
    return kept;
}

void DefineKeptRewrite(py::module_& m) {
    py::object namedtuple = py::module_::import("collections").attr("namedtuple");
    EditType = namedtuple("UrlEdit", "offset length replacement kind", py::arg("module") = "kivoparse").release().ptr();
    py::handle(EditType).attr("__doc__") =
        "Bytes [offset, offset + length) of the input become replacement (bytes: the\n"
        "new URL as written, quotes or character references added where the value's\n"
        "quoting could not hold it); kind (str) is the URL's kind.";
    m.attr("UrlEdit") = py::handle(EditType);
    KeptType = namedtuple("KeptRewrite", "html edits rewritten left_alone", py::arg("module") = "kivoparse")
                   .release()
                   .ptr();
    py::handle(KeptType).attr("__doc__") =
        "A rewrite that kept every other byte: html (bytes), edits (list of UrlEdit,\n"
        "in input order), rewritten (dict: kind name to URLs changed) and left_alone\n"
        "(URLs the map changed that could not be edited in place).";
    m.attr("KeptRewrite") = py::handle(KeptType);

    m.def(
        "rewrite_keeping_bytes",
        [](const Data& data, const Rewriter& map, const Kinds& kinds) {
            std::string html = ToDocument(data);
            kivoparse::UrlKinds chosen = ToKinds(kinds);
            UrlRewrite how(map);
            kivoparse::KeptRewrite kept;
            {
                py::gil_scoped_release unlocked;
                kept = how.mMap ? kivoparse::RewriteKeepingBytes(html, chosen, *how.mMap)
                                : kivoparse::RewriteKeepingBytes(html, chosen, how.mFunction);
            }
            return KeptResult{ToPyKept(kept)};
        },
        py::arg("data"), py::arg("map"), py::arg("kinds") = "images,links",
        "The document with only the changed URLs' bytes replaced, every other byte as\n"
        "it was (kivoparse fix --map), as a KeptRewrite. map as for rewrite_urls.");
    m.def(
        "unified_diff",
        [](const Data& path, const Data& before, const KeptArg& after) {
            std::string name = ToBytes(path.object, "path"), text = ToDocument(before);
            kivoparse::KeptRewrite kept = FromPyKept(after.object);
            for (const kivoparse::UrlEdit& edit : kept.edits) {
                if (edit.offset > text.size() || edit.length > text.size() - edit.offset)
                    throw py::value_error("after.edits lie beyond before: after was not made from it");
            }
            std::string diff;
            {
                py::gil_scoped_release unlocked;
                diff = kivoparse::UnifiedDiff(name, text, kept);
            }
            return py::bytes(diff);
        },
        py::arg("path"), py::arg("before"), py::arg("after"),
        "The change from before to after.html as a unified diff (bytes) with 3 lines\n"
        "of context, as diff -u and git print it: --- a/PATH, +++ b/PATH, @@ hunks.\n"
        "b'' when nothing changed. after is the KeptRewrite made from before.");
}

void DefineFunctions(py::module_& m) {
    m.def(
        "normalize",
        [](const Data& data, const OptionalData& base, bool rawText) {
            std::string html = ToDocument(data);
            std::string text = ToBase(base);
            return py::bytes(Unlocked([&] { return kivoparse::Normalize(std::move(html), text, rawText); }));
        },
        py::arg("data"), py::arg("base") = py::none(), py::kw_only(), py::arg("raw_text") = false,
        "The document written back normalised, as bytes (Parser.get_html after\n"
        "parse_html, with the document base set when base is given). raw_text=True\n"
        "reads SCRIPT, STYLE and the other raw-text elements as a browser does.");

    auto collect = [](const Data& data, const OptionalData& base, bool rawText, bool images) {
        std::string html = ToDocument(data);
        std::string text = ToBase(base);
        return ToPyList(Unlocked([&]() -> ByteList {
            return images ? kivoparse::Images(std::move(html), text, rawText) : kivoparse::Hrefs(std::move(html), text, rawText);
        }));
    };
    m.def(
        "images",
        [collect](const Data& data, const OptionalData& base, bool rawText) { return collect(data, base, rawText, true); },
        py::arg("data"), py::arg("base") = py::none(), py::kw_only(), py::arg("raw_text") = false,
        "The image URLs of the document (Parser.get_images), as a list of bytes.");
    m.def(
        "hrefs",
        [collect](const Data& data, const OptionalData& base, bool rawText) { return collect(data, base, rawText, false); },
        py::arg("data"), py::arg("base") = py::none(), py::kw_only(), py::arg("raw_text") = false,
        "The link URLs of the document (Parser.get_hrefs), as a list of bytes. base is\n"
        "set as for the tool's hrefs --base: it changes image URLs only, so the list\n"
        "is the same with or without it.");

    m.def(
        "rewrite",
        [](const Data& data, const Pairs& images, const Pairs& hrefs, const OptionalData& base, bool rawText) {
            std::string html = ToDocument(data);
            kivoparse::UrlMap imageMap = ToUrlMap(images.object, "images");
            kivoparse::UrlMap hrefMap = ToUrlMap(hrefs.object, "hrefs");
            std::string text = ToBase(base);
            return py::bytes(
                Unlocked([&] { return kivoparse::Rewrite(std::move(html), imageMap, hrefMap, text, rawText); }));
        },
        py::arg("data"), py::arg("images") = py::none(), py::arg("hrefs") = py::none(), py::arg("base") = py::none(),
        py::kw_only(), py::arg("raw_text") = false,
        "The document with its URLs rewritten in one pass, as bytes. images and hrefs\n"
        "map old URL to new URL (a mapping of bytes or str, or a UrlMap made once for\n"
        "many documents); an old URL matches whole, ASCII letter case ignored, and of\n"
        "keys equal but for case the first in iteration order wins. base is stripped\n"
        "from image URLs while parsing, before they are matched.");

    m.def(
        "urls",
        [](const Data& data, const Kinds& kinds, const OptionalData& base, bool rawText) {
            std::string html = ToDocument(data);
            kivoparse::UrlKinds chosen = ToKinds(kinds);
            std::string text = ToBase(base);
            return ToPyOccurrences(
                Unlocked([&] { return kivoparse::UrlOccurrences(std::move(html), chosen, text, rawText); }));
        },
        py::arg("data"), py::arg("kinds") = "images,links", py::arg("base") = py::none(), py::kw_only(),
        py::arg("raw_text") = true,
        "Every URL of the chosen kinds with its place (Parser.urls), as the tool's\n"
        "kivoparse urls --kinds lists them: SCRIPT, STYLE and the other raw-text\n"
        "elements read as a browser reads them (raw_text=False: markup inside them\n"
        "read as tags).");
    m.def(
        "rewrite_urls",
        [](const Data& data, const Rewriter& map, const Kinds& kinds, const OptionalData& base, bool rawText) {
            std::string html = ToDocument(data);
            kivoparse::UrlKinds chosen = ToKinds(kinds);
            UrlRewrite how(map);
            std::string text = ToBase(base);
            return py::bytes(Unlocked([&] {
                return how.mMap ? kivoparse::RewriteUrls(std::move(html), chosen, *how.mMap, text, rawText)
                                : kivoparse::RewriteUrls(std::move(html), chosen, how.mFunction, text, rawText);
            }));
        },
        py::arg("data"), py::arg("map"), py::arg("kinds") = "images,links", py::arg("base") = py::none(),
        py::kw_only(), py::arg("raw_text") = true,
        "The document with the URLs of the chosen kinds rewritten (Parser.rewrite_urls),\n"
        "as bytes: by a mapping, a UrlMap (prefix rules included) or a callable\n"
        "map(kind, url) -> new URL or None. SCRIPT, STYLE and the other raw-text\n"
        "elements are read as a browser reads them, so markup inside them stays as it\n"
        "is (raw_text=False: read as tags, as rewrite does).");
    DefineKeptRewrite(m);
}

// A path's bytes, as os.fsencode gives them.
std::string ToPath(py::handle path) {
    py::module_ os = py::module_::import("os");
    return os.attr("fsencode")(os.attr("fspath")(path)).cast<std::string>();
}

// kivoparse.SiteFinding and SiteCounts, named tuples made once.
PyObject* FindingType = nullptr;
PyObject* CountsType = nullptr;

// A SiteCheck as Python holds it: documents are parsed without the GIL and
// outside the lock, so threads parse on separate cores; the lock lets one
// thread at a time into the folders and counts.
struct PySiteCheck {
    kivoparse::SiteCheck mCheck;
    std::mutex mMutex;

    // Runs use(mCheck) without the GIL, with the lock.
    template <typename Use>
    auto Locked(Use use) {
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> lock(mMutex);
        return use(mCheck);
    }
};

py::list ToPyFindings(const std::vector<kivoparse::SiteFinding>& findings) {
    py::list list(findings.size());
    py::handle occurrence(OccurrenceType), finding(FindingType);
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const kivoparse::SiteFinding& f = findings[i];
        const kivoparse::UrlOccurrence& o = f.occurrence;
        static const char* const kProblems[] = {"missing", "case", "above-root", "anchor"};
        list[i] = finding(kProblems[static_cast<int>(f.problem)],
                          occurrence(kivoparse::UrlKindName(o.kind), py::bytes(o.tag), py::bytes(o.attribute),
                                     py::bytes(o.url), o.offset, o.line, o.column),
                          py::bytes(f.path), py::bytes(f.actual), py::bytes(f.repaired), py::bytes(f.document));
    }
    return list;
}

const char* const kSiteCheckDoc = R"(A check of a site's URLs against its files, before and after a move.
SiteCheck() looks at the disk; SiteCheck(files) knows only the files named
(paths as "site/a/page.html"). check() reports each URL of a document that
names no file, or a file only in another letter case, or that climbs above
the root with ".."; counts and suggested_map() cover every document checked
so far. With anchors=True, check_anchors() at the end reports each fragment
("page.html#name") whose page holds no such id or A name. Paths are taken
as os.fsencode takes them and given back as bytes. Threads may share one.)";

const char* const kSiteMapDoc = R"(A rule map (UrlMap.parse_rules) whose lines "@document PATH" start a section
that applies to that document only, before the pairs above the first
section; SiteCheck.suggested_map() writes one. It never changes.)";

void DefineSite(py::module_& m) {
    py::object namedtuple = py::module_::import("collections").attr("namedtuple");
    FindingType = namedtuple("SiteFinding", "problem occurrence path actual repaired document",
                             py::arg("module") = "kivoparse")
                      .release()
                      .ptr();
    py::handle(FindingType).attr("__doc__") =
        "A URL that a check found broken: problem ('missing', 'case', 'above-root'\n"
        "or 'anchor'), occurrence (UrlOccurrence), path (the path it names, from the\n"
        "document's folder or the root; for 'above-root' where a browser goes; for\n"
        "'anchor' the page), actual (for 'case': the path on disk; for 'anchor': the\n"
        "fragment), repaired (for 'case': the URL spelt as on disk) and document (for\n"
        "'anchor': the document holding the URL); bytes, b'' where they do not apply.";
    m.attr("SiteFinding") = py::handle(FindingType);
    CountsType = namedtuple("SiteCounts", "checked missing other_case external templates above_root fragments no_anchor",
                            py::arg("module") = "kivoparse")
                     .release()
                     .ptr();
    py::handle(CountsType).attr("__doc__") =
        "What the checks so far saw: local URLs checked, missing, in another letter\n"
        "case; external ones and those with insert blocks, counted but not checked;\n"
        "those climbing above the root; fragments looked up and those without their\n"
        "anchor (check_anchors).";
    m.attr("SiteCounts") = py::handle(CountsType);

    py::class_<PySiteCheck>(m, "SiteCheck", kSiteCheckDoc)
        .def(py::init([](const py::object& files, bool anchors) {
                 std::unique_ptr<PySiteCheck> made;
                 if (files.is_none()) {
                     made.reset(new PySiteCheck{kivoparse::SiteCheck::OnDisk(), {}});
                 } else {
                     if (PyUnicode_Check(files.ptr()) || PyBytes_Check(files.ptr())) {
                         throw py::type_error("files must be a list of paths, not a single " + TypeName(files));
                     }
                     std::vector<std::string> paths;
                     for (py::handle file : py::iter(files)) paths.push_back(ToPath(file));
                     py::gil_scoped_release unlocked;
                     made.reset(new PySiteCheck{kivoparse::SiteCheck::OfPaths(paths), {}});
                 }
                 made->mCheck.CheckFragments(anchors);
                 return made;
             }),
             py::arg("files") = py::none(), py::kw_only(), py::arg("anchors") = false)
        .def(
            "check",
            [](PySiteCheck& self, const Path& document, const Data& data, const py::object& root, const Kinds& kinds,
               bool rawText) {
                std::string path = ToPath(document.object);
                std::string html = ToDocument(data);
                std::string top = root.is_none() ? std::string() : ToPath(root);
                kivoparse::UrlKinds chosen = ToKinds(kinds);
                kivoparse::SiteUrls urls = WithParsed(std::move(html), rawText, [&](kivoparse::Parser& parser) {
                    return self.mCheck.Prepare(parser, chosen);
                });
                return ToPyFindings(self.Locked([&](kivoparse::SiteCheck& check) { return check.Check(path, top, urls); }));
            },
            py::arg("document"), py::arg("data"), py::arg("root") = py::none(), py::arg("kinds") = "all",
            py::kw_only(), py::arg("raw_text") = true,
            "Checks the URLs of the chosen kinds (all by default, as the tool's check)\n"
            "in data, the text of the document at\n"
            "path document: relative URLs from its folder (or its <base href>),\n"
            "root-relative ones ('/...') from root (None: the current folder), where\n"
            "'..' stops. Returns a list of SiteFinding, in document order. Markup inside\n"
            "SCRIPT, STYLE and the other raw-text elements is text, as in a browser\n"
            "(raw_text=False: read as tags).")
        .def(
            "check_anchors",
            [](PySiteCheck& self) {
                return ToPyFindings(self.Locked([](kivoparse::SiteCheck& check) { return check.CheckAnchors(); }));
            },
            "Once every document is checked (with anchors=True): a SiteFinding\n"
            "'anchor' for each fragment whose page holds no such id or A name.")
        .def_property_readonly(
            "counts",
            [](PySiteCheck& self) {
                const kivoparse::SiteCounts counts = self.Locked([](kivoparse::SiteCheck& check) { return check.Counts(); });
                return py::handle(CountsType)(counts.checked, counts.missing, counts.otherCase, counts.external,
                                              counts.templates, counts.aboveRoot, counts.fragments, counts.noAnchor);
            },
            "SiteCounts(checked, missing, other_case, external, templates, above_root,\n"
            "fragments, no_anchor) so far.")
        .def(
            "suggested_map",
            [](PySiteCheck& self) {
                return py::bytes(self.Locked([](kivoparse::SiteCheck& check) { return check.SuggestedMap(); }));
            },
            "The rule map that repairs every case-only URL found so far, as the tool's\n"
            "check --suggest-map writes it (SiteMap.parse reads it): its first line\n"
            "'@kinds LIST' names the kinds checked, its sections name their documents\n"
            "from the root given to check.");

    py::class_<kivoparse::SiteMap>(m, "SiteMap", kSiteMapDoc)
        .def(py::init<>(), "An empty map: it changes nothing.")
        .def_static(
            "parse",
            [](const Data& text) {
                std::string bytes = ToBytes(text.object, "text");
                try {
                    py::gil_scoped_release unlocked;
                    return kivoparse::SiteMap::Parse(bytes);
                } catch (const kivoparse::MapError& error) {
                    py::object exception = py::handle(MapErrorType)(error.what());
                    exception.attr("line") = error.Line();
                    PyErr_SetObject(MapErrorType, exception.ptr());
                    throw py::error_already_set();
                }
            },
            py::arg("text"), "The map's text; MapError names the line of a bad one.")
        .def(
            "apply",
            [](const kivoparse::SiteMap& map, const Path& document, const Data& url) -> py::object {
                std::optional<std::string> found = map.Apply(ToPath(document.object), ToBytes(url.object, "url"));
                if (!found) return py::none();
                return py::bytes(*found);
            },
            py::arg("document"), py::arg("url"), "The new value the map gives url in document, or None.")
        .def(
            "rewrite",
            [](const kivoparse::SiteMap& map, const Path& document, const Data& data, const Kinds& kinds,
               bool rawText) {
                std::string path = ToPath(document.object);
                std::string html = ToDocument(data);
                kivoparse::UrlKinds chosen = ToKinds(kinds);
                return py::bytes(WithParsed(std::move(html), rawText, [&](kivoparse::Parser& parser) {
                    map.Rewrite(parser, chosen, path);
                    return parser.GetHTML();
                }));
            },
            py::arg("document"), py::arg("data"), py::arg("kinds") = "images,links", py::kw_only(),
            py::arg("raw_text") = true,
            "data, the text of the document at path document, with the URLs of the\n"
            "chosen kinds rewritten by the map, as the tool's fix --map does (markup\n"
            "inside SCRIPT, STYLE and the other raw-text elements left as it is;\n"
            "raw_text=False reads it as tags).")
        .def("documents",
             [](const kivoparse::SiteMap& map) {
                 std::vector<std::string> documents = map.Documents();
                 py::list list(documents.size());
                 for (std::size_t i = 0; i < documents.size(); ++i) list[i] = py::bytes(documents[i]);
                 return list;
             },
             "The documents that have sections, sorted.");
}


// kivoparse.MoveError, UrlChange and DocumentChanges, made once.
PyObject* MoveErrorType = nullptr;
PyObject* ChangeType = nullptr;
PyObject* DocumentChangesType = nullptr;

const char* const kSiteMoveDoc = R"(The plan of a move inside a site, as the tool's kivoparse mv makes it.
SiteMove(files, src, dst, site_url=None): files are every file of the site,
src and dst what moves and where, all from the site's root ("img/a.gif");
site_url is where the site is served ("https://example.com/docs/"), so that
absolute URLs under it are the site's too. MoveError says why a move
cannot be made (src missing, dst existing, dst inside src, ...).
plan(document, data) gives the URL changes of one document (a page, or a
stylesheet when its path ends in .css), rewrite(document, data) its new
bytes with every other byte kept. Nothing is moved on disk. Threads may
share one.)";

void DefineMove(py::module_& m) {
    MoveErrorType = PyErr_NewExceptionWithDoc("kivoparse.MoveError", "A move inside a site that cannot be made.",
                                              PyExc_ValueError, nullptr);
    if (MoveErrorType == nullptr) throw py::error_already_set();
    m.attr("MoveError") = py::handle(MoveErrorType);
    py::object namedtuple = py::module_::import("collections").attr("namedtuple");
    ChangeType = namedtuple("UrlChange", "occurrence new_url", py::arg("module") = "kivoparse").release().ptr();
    py::handle(ChangeType).attr("__doc__") = "One URL a move changes: occurrence (UrlOccurrence) and new_url (bytes).";
    m.attr("UrlChange") = py::handle(ChangeType);
    DocumentChangesType =
        namedtuple("DocumentChanges", "path new_path changes", py::arg("module") = "kivoparse").release().ptr();
    py::handle(DocumentChangesType).attr("__doc__") =
        "What a move does to one document: path (before, bytes), new_path (after)\n"
        "and changes (list of UrlChange, in document order).";
    m.attr("DocumentChanges") = py::handle(DocumentChangesType);

    py::class_<kivoparse::SiteMove>(m, "SiteMove", kSiteMoveDoc)
        .def(py::init([](const py::object& files, const Path& src, const Path& dst, const py::object& siteUrl) {
                 if (PyUnicode_Check(files.ptr()) || PyBytes_Check(files.ptr())) {
                     throw py::type_error("files must be a list of paths, not a single " + TypeName(files));
                 }
                 std::vector<std::string> paths;
                 for (py::handle file : py::iter(files)) paths.push_back(ToPath(file));
                 const std::string from = ToPath(src.object), to = ToPath(dst.object);
                 const std::string url = siteUrl.is_none() ? std::string() : ToBytes(siteUrl, "site_url");
                 try {
                     py::gil_scoped_release unlocked;
                     return kivoparse::SiteMove(paths, from, to, url);
                 } catch (const kivoparse::MoveError& error) {
                     PyErr_SetString(MoveErrorType, error.what());
                     throw py::error_already_set();
                 }
             }),
             py::arg("files"), py::arg("src"), py::arg("dst"), py::arg("site_url") = py::none())
        .def_property_readonly("source", [](const kivoparse::SiteMove& move) { return py::bytes(move.Source()); },
                               "src from the root, without '.' and empty segments.")
        .def_property_readonly("destination",
                               [](const kivoparse::SiteMove& move) { return py::bytes(move.Destination()); },
                               "dst likewise.")
        .def(
            "moved_files",
            [](const kivoparse::SiteMove& move) {
                const auto& moved = move.MovedFiles();
                py::list list(moved.size());
                for (std::size_t i = 0; i < moved.size(); ++i) {
                    list[i] = py::make_tuple(py::bytes(moved[i].first), py::bytes(moved[i].second));
                }
                return list;
            },
            "Each file that moves as (before, after), in the order of files.")
        .def(
            "new_path", [](const kivoparse::SiteMove& move, const Path& path) {
                return py::bytes(move.NewPath(ToPath(path.object)));
            },
            py::arg("path"), "Where path is after the move.")
        .def(
            "plan",
            [](const kivoparse::SiteMove& move, const Path& document, const Data& data) {
                const std::string path = ToPath(document.object);
                const std::string text = ToDocument(data);
                kivoparse::DocumentChanges d;
                {
                    py::gil_scoped_release unlocked;
                    d = move.PlanDocument(path, text);
                }
                py::list changes(d.changes.size());
                py::handle occurrence(OccurrenceType), change(ChangeType);
                for (std::size_t i = 0; i < d.changes.size(); ++i) {
                    const kivoparse::UrlOccurrence& o = d.changes[i].occurrence;
                    changes[i] = change(occurrence(kivoparse::UrlKindName(o.kind), py::bytes(o.tag),
                                                   py::bytes(o.attribute), py::bytes(o.url), o.offset, o.line, o.column),
                                        py::bytes(d.changes[i].newUrl));
                }
                return py::handle(DocumentChangesType)(py::bytes(d.path), py::bytes(d.newPath), changes);
            },
            py::arg("document"), py::arg("data"),
            "The URLs of data, the text of the document at path document (before the\n"
            "move), that the move changes: DocumentChanges(path, new_path, changes).\n"
            "Pages are read as browsers read them (scripts are text), every kind of\n"
            "URL, their <base href> honoured.")
        .def(
            "rewrite",
            [](const kivoparse::SiteMove& move, const Path& document, const Data& data) {
                const std::string path = ToPath(document.object);
                const std::string text = ToDocument(data);
                py::gil_scoped_release unlocked;
                const kivoparse::KeptRewrite kept = move.RewriteDocument(path, text);
                py::gil_scoped_acquire locked;
                return py::bytes(kept.html);
            },
            py::arg("document"), py::arg("data"),
            "data with the URLs plan() lists rewritten and every other byte kept, to\n"
            "be written at new_path(document).");
}

}  // namespace

PYBIND11_MODULE(_kivoparse, m) {
    m.doc() = kModuleDoc;
    m.attr("__version__") = kivoparse::Version();
    DefineUrlMap(m);
    DefineParser(m);
    DefineFunctions(m);
    DefineSite(m);
    DefineMove(m);
}
