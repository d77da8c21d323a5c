// kivoparse beside gumbo and libxml2's HTML parser, in one process and one
// run: every round runs every tool in every mode on every input, so that a
// change of machine load hits all of them alike. Prints markdown tables:
// MB/s of input (median over the rounds, process CPU time), the ratios to
// the peers and to a loop that reads every byte once, the command-line tool
// as whole processes (wall time), and the peak resident memory of each mode,
// each measured in a process of its own.
//
//   kivoparse_compare [--rounds N] [--corpus DIR] [--flat FILE] [--real FILE] [--bigpage FILE]
//                     [--cli PATH] [--cli-runs N] [--small-parses N] [--family-scale F] [--no-memory]
//   kivoparse_compare --write-flat FILE MB     writes the generated flat page
//   kivoparse_compare --write-real FILE MB [SEED]  writes a page of real shape
//   kivoparse_compare --small N                N parses and writes of a 50-byte document
//   kivoparse_compare --repeat MODE PATH N     one mode N times, for profiling
//   kivoparse_compare --memory MODE PATH       (internal) one mode in this process
//   kivoparse_compare --spawn SETTING CMD...   (internal) times one command
//
// bench/run.sh builds the inputs and runs this with glibc's trimming off.
#include <gumbo.h>
#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/xmlversion.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/CountingMalloc.h"
#include "kivoparse/kivoparse.h"

#ifndef KIVOBENCH_GUMBO_VERSION
#define KIVOBENCH_GUMBO_VERSION "?"
#endif

namespace {

namespace fs = std::filesystem;

constexpr double kMB = 1e6;

// Keeps results alive so that no work is optimised away.
volatile std::size_t gSink = 0;

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "kivoparse_compare: %s\n", message.c_str());
    std::exit(2);
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double WallSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string Fixed(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Die("cannot read " + path + ": " + std::strerror(errno));
    std::string text;
    in.seekg(0, std::ios::end);
    text.resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0, std::ios::beg);
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    if (!in) Die("cannot read all of " + path);
    return text;
}

// The .html files under dir, in byte order of their paths; a file stands
// for itself.
std::vector<std::string> HtmlFiles(const std::string& dir) {
    std::vector<std::string> paths;
    if (fs::is_regular_file(dir)) return {dir};
    std::error_code error;
    for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file() && it->path().extension() == ".html") paths.push_back(it->path().string());
    }
    if (error) Die("cannot walk " + dir + ": " + error.message());
    if (paths.empty()) Die(dir + " holds no .html file");
    std::sort(paths.begin(), paths.end());
    return paths;
}

// ---------------------------------------------------------------- inputs

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// A page of flat markup: short blocks of headings, paragraphs, links and
// images with attributes in the usual quoting styles, and text from a small
// vocabulary. Deterministic for a given size.
std::string FlatPage(std::size_t bytes) {
    static const char* const kWords[] = {"the", "parser", "reads", "every", "byte", "of", "a", "page",
                                         "and", "builds", "tree", "with", "nodes", "for", "tags", "text"};
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    auto words = [&](int count) {
        std::string out;
        for (int i = 0; i < count; ++i) {
            if (i) out += ' ';
            out += kWords[next() % 16];
        }
        return out;
    };
    std::string page = "<!DOCTYPE html>\n<html><head><title>Generated flat page</title></head>\n<body>\n";
    page.reserve(bytes + 1024);
    for (unsigned n = 0; page.size() < bytes; ++n) {
        std::string k = std::to_string(n);
        page += "<div class=\"item c" + std::to_string(n % 7) + "\" id=n" + k + "><h3>" + words(3) + "</h3>";
        page += "<p>" + words(12) + " <a href=\"pages/p" + k + ".html\" title='go to " + k + "'>" + words(2) +
                "</a> " + words(8) + " <b>" + words(1) + "</b>.</p>";
        page += "<img src=\"img/i" + k + ".png\" alt=\"" + words(2) + "\" width=" + std::to_string(next() % 500) +
                " height=" + std::to_string(next() % 300) + "><br></div>\n";
    }
    page += "</body></html>\n";
    return page;
}

// A flat page of the shape of real documentation, from a seed: sections of
// headings, paragraphs with links, emphasis and inline code holding entities,
// `<ul>` lists whose `<li>` items are never closed, preformatted blocks,
// `data-*` attributes in all three quoting styles, a figure and a STYLE
// block now and then, and text that mixes ASCII with UTF-8 (accents, Greek, CJK, dashes).
// The sections are siblings under BODY, so the tree stays shallow; the
// unclosed items make each end tag of a list fold the whole list.
std::string RealPage(std::size_t bytes, std::uint32_t seed) {
    static const char* const kWords[] = {
        "the",    "module",  "returns", "a",      "value", "for",     "each",  "call",  "of",     "this",
        "function", "when",  "object",  "is",     "None",  "list",    "string", "bytes", "file",  "path",
        "see",    "also",    "new",     "in",     "version", "changed", "raises", "error", "with",  "default",
        "café",   "naïve",   "Überblick", "résumé", "Straße", "λόγος",  "ελληνικά", "日本語", "中文", "—",
        "→",      "“quoted”", "€",       "½",      "año",   "Ærø"};
    constexpr std::uint32_t kWordCount = sizeof kWords / sizeof kWords[0];
    std::uint32_t state = seed * 2654435761u + 1u;
    auto next = [&state](std::uint32_t bound) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state % bound;
    };
    auto words = [&](std::uint32_t count) {
        std::string out;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (i) out += ' ';
            out += kWords[next(kWordCount)];
        }
        return out;
    };
    static const char* const kCode[] = {"a &lt; b", "x &amp;&amp; y", "&lt;div class=&quot;x&quot;&gt;",
                                        "f(&#39;s&#39;)", "p-&gt;next", "1&nbsp;000", "&#x3C;T&#x3E;",
                                        "dict[str, int]", "a &gt;= b", "&quot;utf-8&quot;"};
    auto code = [&] { return std::string("<code class=\"literal\">") + kCode[next(10)] + "</code>"; };
    auto sentence = [&](std::uint32_t n) {
        std::string out = words(2 + next(n));
        for (int i = 0, parts = static_cast<int>(next(4)); i < parts; ++i) {
            switch (next(5)) {
                case 0: out += " <em>" + words(1 + next(2)) + "</em>"; break;
                case 1: out += " " + code(); break;
                case 2:
                    out += " <a class=\"reference internal\" href=\"lib/m" + std::to_string(next(500)) + ".html#f" +
                           std::to_string(next(9999)) + "\" title='" + words(2) + "'>" + words(1 + next(3)) + "</a>";
                    break;
                case 3: out += " <strong>" + words(1) + "</strong>"; break;
                default: out += " " + words(1) + " &amp; " + words(1); break;
            }
            out += " " + words(1 + next(6));
        }
        return out + ".";
    };
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>Generated page of real shape</title>\n"
        "<style>body { font: 14px/1.4 sans-serif; } .note > p::before { content: \"\\2192  \"; }</style>\n"
        "</head>\n<body data-seed=\"" + std::to_string(seed) + "\">\n";
    page.reserve(bytes + 4096);
    for (unsigned n = 0; page.size() < bytes; ++n) {
        const std::string k = std::to_string(n);
        // data-* in the three quoting styles: double, single, none.
        page += "<div class=\"section\" id=\"s" + k + "\" data-index=\"" + k + "\" data-kind='" +
                (n % 3 ? "ref" : "guide") + "' data-level=" + std::to_string(1 + next(4)) + ">\n";
        page += "<h" + std::to_string(2 + n % 3) + ">" + words(2 + next(4)) + "<a class=\"headerlink\" href=\"#s" +
                k + "\" title=\"Link to this heading\">¶</a></h" + std::to_string(2 + n % 3) + ">\n";
        for (std::uint32_t p = 0, paragraphs = 1 + next(3); p < paragraphs; ++p) {
            page += "<p>" + sentence(10) + " " + sentence(14) + "</p>\n";
        }
        if (next(3) != 0) {
            const std::uint32_t items = 3 + next(8);
            page += "<ul class=\"simple\" data-items=" + std::to_string(items) + ">\n";
            for (std::uint32_t i = 0; i < items; ++i) {
                switch (next(3)) {
                    case 0: page += "<li>" + sentence(6) + "\n"; break;
                    case 1:
                        page += "<li><a class=\"reference\" href=\"#s" + std::to_string(next(n + 1)) + "\">" +
                                words(1 + next(3)) + "</a> – " + words(3 + next(5)) + "\n";
                        break;
                    default: page += "<li><p>" + sentence(8) + "</p>\n"; break;
                }
            }
            page += "</ul>\n";
        }
        if (next(8) == 0) {
            page += "<p class=\"figure\"><img src=\"../_images/fig" + k + ".png\" alt=\"" + words(2) +
                    "\" width=" + std::to_string(100 + next(700)) + " data-zoom='1'></p>\n";
        }
        if (next(4) == 0) {
            page += "<pre data-lang='python'>";
            for (std::uint32_t i = 0, lines = 2 + next(5); i < lines; ++i) {
                page += "&gt;&gt;&gt; f(&quot;" + words(1) + "&quot;, " + std::to_string(next(1000)) + ")\n";
            }
            page += "</pre>\n";
        }
        if (next(25) == 0) {
            page += "<style type=\"text/css\">\n#s" + k + " .note { border: 1px solid #" +
                    std::to_string(100 + next(900)) + "; }\n#s" + k + " li > p { margin: 0 0 " +
                    std::to_string(next(9)) + "px; }\n</style>\n";
        }
        page += "</div>\n";
    }
    page += "</body></html>\n";
    return page;
}

struct InputSet {
    std::string mName;
    std::vector<std::string> mDocs;
    std::size_t mBytes = 0;
    bool mPeers = false;  // gumbo and libxml2 run on it too
};

InputSet MakeSet(std::string name, std::vector<std::string> docs, bool peers) {
    InputSet set;
    set.mName = std::move(name);
    set.mDocs = std::move(docs);
    for (const std::string& doc : set.mDocs) set.mBytes += doc.size();
    set.mPeers = peers;
    return set;
}

std::string Describe(const InputSet& set) {
    return set.mName + " (" + Fixed(static_cast<double>(set.mBytes) / kMB, 1) + " MB" +
           (set.mDocs.size() > 1 ? ", " + std::to_string(set.mDocs.size()) + " files" : "") + ")";
}

// The generated families that once took time quadratic in their size.
std::vector<InputSet> Families(double scale) {
    auto count = [scale](double n) { return static_cast<std::size_t>(std::max(1.0, n * scale)); };
    std::vector<InputSet> sets;
    sets.push_back(MakeSet("unmatched end tags",
                           {Repeat("<p>t", count(5000)) + Repeat("</div>", count(100000)) + "<p>"}, false));
    sets.push_back(MakeSet("abandoned inserts", {"<" + std::string(count(1 << 20), '|') + "<p>"}, false));
    sets.push_back(MakeSet("tag that falls back", {Repeat("<a x=", count(200000)) + ":<p>"}, false));
    sets.push_back(MakeSet("deep nesting",
                           {Repeat("<div>", count(1000000)) + "x" + Repeat("</div>", count(1000000))}, false));
    return sets;
}

// ---------------------------------------------------------------- the work

// One dependent table lookup per byte: the next lookup needs the last one's
// result, so the loop cannot run ahead. A bound on what reading each byte
// once with a state machine can cost.
struct ByteLoop {
    std::uint8_t mTable[256];
    ByteLoop() {
        for (unsigned i = 0; i < 256; ++i) mTable[i] = static_cast<std::uint8_t>(i * 167u + 13u);
    }
    std::uint8_t Run(const std::string& text) const {
        std::uint8_t state = 0;
        for (unsigned char c : text) state = mTable[state ^ c];
        return state;
    }
};
const ByteLoop kLoop;

constexpr int kHtmlOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;

void KpParse(const std::string& doc) {
    kivoparse::Parser parser;
    parser.ParseHTML(doc);
}

void KpHtml(const std::string& doc) {
    kivoparse::Parser parser;
    parser.ParseHTML(doc);
    gSink = gSink + parser.GetHTML().size();
}

void XmlParse(const std::string& doc) {
    htmlDocPtr tree = htmlReadMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, kHtmlOptions);
    if (tree) xmlFreeDoc(tree);
}

std::size_t XmlDumpSize(const std::string& doc) {
    htmlDocPtr tree = htmlReadMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, kHtmlOptions);
    int size = 0;
    if (tree) {
        xmlChar* text = nullptr;
        htmlDocDumpMemory(tree, &text, &size);
        xmlFree(text);
        xmlFreeDoc(tree);
    }
    return static_cast<std::size_t>(size);
}

void XmlDump(const std::string& doc) { gSink = gSink + XmlDumpSize(doc); }

void GumboParse(const std::string& doc) {
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, doc.data(), doc.size());
    gumbo_destroy_output(&kGumboDefaultOptions, output);
}

void Loop(const std::string& doc) { gSink = gSink + kLoop.Run(doc); }

// The rows of the throughput table. GetImages and FixImages are timed alone
// on a tree parsed beforehand; the other rows time the whole call.
enum Row { kKpParse, kKpHtml, kKpImages, kKpFix, kXmlParse, kXmlDump, kGumboParse, kLoopRow, kRowCount };

const char* const kRowNames[kRowCount] = {
    "kivoparse: parse",
    "kivoparse: parse + `GetHTML`",
    "kivoparse: `GetImages` (tree parsed before)",
    "kivoparse: `FixImages` with the collected list",
    "libxml2: `htmlReadMemory` + `xmlFreeDoc`",
    "libxml2: parse + `htmlDocDumpMemory`",
    "gumbo: `gumbo_parse` + `gumbo_destroy_output`",
    "a loop reading every byte once (one dependent table lookup per byte)",
};

const std::map<std::string, std::function<void(const std::string&)>> kWholeCalls{
    {"kivoparse-parse", KpParse}, {"kivoparse-html", KpHtml}, {"libxml2-parse", XmlParse},
    {"libxml2-dump", XmlDump},    {"gumbo-parse", GumboParse}, {"loop", Loop},
    {"read", [](const std::string&) {}},
};

const char* const kRowModes[kRowCount] = {"kivoparse-parse", "kivoparse-html", "kivoparse-images", "kivoparse-fix",
                                          "libxml2-parse",   "libxml2-dump",   "gumbo-parse",      "loop"};

double TimeWhole(const std::function<void(const std::string&)>& call, const InputSet& set) {
    double start = CpuSeconds();
    for (const std::string& doc : set.mDocs) call(doc);
    return CpuSeconds() - start;
}

// Seconds spent in GetImages and in FixImages over the set.
std::pair<double, double> TimeImagesAndFix(const InputSet& set) {
    double images = 0, fix = 0;
    for (const std::string& doc : set.mDocs) {
        kivoparse::Parser parser;
        parser.ParseHTML(doc);
        double t0 = CpuSeconds();
        std::vector<std::string> found = parser.GetImages();
        double t1 = CpuSeconds();
        gSink = gSink + static_cast<std::size_t>(parser.FixImages(found, found));
        double t2 = CpuSeconds();
        images += t1 - t0;
        fix += t2 - t1;
    }
    return {images, fix};
}

// ---------------------------------------------------------------- processes

std::size_t StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    std::size_t length = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return static_cast<std::size_t>(std::strtoull(line.c_str() + length + 1, nullptr, 10));
    }
    return 0;
}

// --memory MODE PATH: reads the document(s), runs MODE once on each, and
// prints "peak_kb base_kb allocations bytes documents largest": the peak
// resident set of this process (the input it holds included) and the
// resident set once the input was read.
int MemoryMode(const std::string& mode, const std::string& path) {
    std::vector<std::string> files = HtmlFiles(path);
    const bool single = files.size() == 1;
    std::string held;  // a single document is read once and held, as a host would
    if (single) held = ReadFile(files[0]);
    std::size_t base = StatusKb("VmRSS");
    std::size_t bytes = 0, largest = 0;
    unsigned long long allocations = 0;
    for (const std::string& file : files) {
        std::string doc = single ? std::string() : ReadFile(file);
        std::string& text = single ? held : doc;
        bytes += text.size();
        largest = std::max(largest, text.size());
        unsigned long long before = kivobench::gAllocationCount;
        if (mode.compare(0, 10, "kivoparse-") == 0) {
            kivoparse::Parser parser;
            // The parser takes the text by value: the host hands its buffer over.
            parser.ParseHTML(std::move(text));
            if (mode == "kivoparse-html") gSink = gSink + parser.GetHTML().size();
            if (mode == "kivoparse-images" || mode == "kivoparse-fix") {
                std::vector<std::string> found = parser.GetImages();
                if (mode == "kivoparse-fix") parser.FixImages(found, found);
                gSink = gSink + found.size();
            }
        } else {
            auto call = kWholeCalls.find(mode);
            if (call == kWholeCalls.end()) Die("unknown mode " + mode);
            call->second(text);
        }
        allocations += kivobench::gAllocationCount - before;
    }
    std::printf("%zu %zu %llu %zu %zu %zu\n", StatusKb("VmHWM"), base, allocations, bytes, files.size(), largest);
    return 0;
}

// With KIVOBENCH_PERF_CTL naming the control FIFO of a "perf record
// --control=fifo:FILE -D -1", sampling starts after the first pass, so the
// profile shows the steady state and not the heap growing.
void EnableProfiler() {
    const char* fifo = std::getenv("KIVOBENCH_PERF_CTL");
    if (!fifo || !*fifo) return;
    std::ofstream control(fifo);
    control << "enable\n";
    if (!control) Die(std::string("cannot write to ") + fifo);
}

// --repeat MODE PATH N: reads the document(s), then runs MODE N times over
// them and prints the CPU time and page faults of each pass; for profiling
// one mode alone (perf record, valgrind).
int RepeatMode(const std::string& mode, const std::string& path, int times) {
    std::vector<std::string> docs;
    for (const std::string& file : HtmlFiles(path)) docs.push_back(ReadFile(file));
    InputSet set = MakeSet(path, std::move(docs), true);
    unsigned long long countBefore = kivobench::gAllocationCount;
    unsigned long long sizesBefore[kivobench::kSizeClasses];
    std::copy(kivobench::gAllocationsBySize, kivobench::gAllocationsBySize + kivobench::kSizeClasses, sizesBefore);
    double start = CpuSeconds();
    for (int i = 0; i < times; ++i) {
        if (i == 1) EnableProfiler();
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        double passStart = CpuSeconds();
        if (mode == "kivoparse-images" || mode == "kivoparse-fix") {
            TimeImagesAndFix(set);
        } else {
            auto call = kWholeCalls.find(mode);
            if (call == kWholeCalls.end()) Die("unknown mode " + mode);
            TimeWhole(call->second, set);
        }
        getrusage(RUSAGE_SELF, &after);
        std::fprintf(stderr, "pass %d: %.3f s CPU, %ld page faults\n", i + 1, CpuSeconds() - passStart,
                     after.ru_minflt - before.ru_minflt + after.ru_majflt - before.ru_majflt);
    }
    double cpu = CpuSeconds() - start;
    double megabytes = static_cast<double>(set.mBytes) * times / kMB;
    double allocations = static_cast<double>(kivobench::gAllocationCount - countBefore);
    std::fprintf(stderr, "allocations: %.0f per MB of input; by requested size:", allocations / megabytes);
    for (int c = 0; c < kivobench::kSizeClasses; ++c) {
        double share = static_cast<double>(kivobench::gAllocationsBySize[c] - sizesBefore[c]) / allocations;
        std::fprintf(stderr, " %s %.0f%%", kivobench::kSizeClassNames[c], 100 * share);
    }
    std::fprintf(stderr, "\n");
    std::printf("%s on %s, %d times: %.3f s CPU, %.1f MB/s\n", mode.c_str(), Describe(set).c_str(), times, cpu,
                static_cast<double>(set.mBytes) * times / kMB / cpu);
    return 0;
}

// --small N: parses and writes back one 50-byte document N times, each with
// a Parser of its own, as a tool over many small files, a Python loop or a
// fuzzer does; the cost that is not the text's (allocator, system calls,
// the output string's first growth) shows here.
int SmallMode(long times) {
    const std::string doc = "<p class=x>Hello, <b>world</b> &amp; all.<br></p>\n";
    for (long i = 0; i < times; ++i) KpHtml(doc);
    return 0;
}

// The two settings of glibc's allocator that the tool's processes run with:
// glibc's defaults, and trimming off with large blocks kept in the heap.
const char* const kTrimThreshold = "MALLOC_TRIM_THRESHOLD_";
const char* const kMmapThreshold = "MALLOC_MMAP_THRESHOLD_";

void SetMallocSettings(const std::string& setting) {
    if (setting == "tuned") {
        setenv(kTrimThreshold, "1000000000", 1);
        setenv(kMmapThreshold, "33554432", 1);
    } else if (setting == "default") {
        unsetenv(kTrimThreshold);
        unsetenv(kMmapThreshold);
    } else if (setting != "inherit") {
        Die("unknown malloc setting " + setting + " (tuned, default, inherit)");
    }
}

// --spawn SETTING CMD...: runs CMD with its standard output to /dev/null and
// glibc's allocator set as SETTING says (tuned, default, inherit), and prints
// "wall_seconds cpu_seconds maxrss_kb exit_status". Spawned from this small
// fresh process, so the child's peak is its own.
int SpawnMode(const std::string& setting, char** argv) {
    double start = WallSeconds();
    pid_t pid = fork();
    if (pid < 0) Die(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        SetMallocSettings(setting);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(126);
        execv(argv[0], argv);
        std::fprintf(stderr, "kivoparse_compare: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0) Die(std::string("wait4: ") + std::strerror(errno));
    double wall = WallSeconds() - start;
    double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("%.6f %.6f %ld %d\n", wall, cpu, usage.ru_maxrss, code);
    return 0;
}

// Runs this program again with args and returns what it printed.
std::string RunSelf(const std::vector<std::string>& args) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) Die(std::string("pipe: ") + std::strerror(errno));
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) Die(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        std::vector<char*> argv;
        static char self[] = "/proc/self/exe";
        argv.push_back(self);
        std::vector<std::string> copies(args);
        for (std::string& arg : copies) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        execv(self, argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        out.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    std::string command;
    for (const std::string& arg : args) command += " " + arg;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("child failed:" + command);
    return out;
}

// ---------------------------------------------------------------- report

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}


std::string Rate(double value) { return value <= 0 ? "–" : Fixed(value, value < 10 ? 1 : 0); }
std::string Times(double value) { return value <= 0 ? "–" : Fixed(value, 2) + "×"; }

struct CliJob {
    std::string mName;
    std::string mSetting;  // of glibc's allocator: tuned or default
    std::vector<std::string> mCommand;
    std::size_t mBytes = 0;
    std::size_t mFiles = 0;
    long mParses = 0;  // the small-document job: parses it makes
    std::vector<double> mWall, mCpu;
    long mMaxRssKb = 0;
};

struct Options {
    int mRounds = 5;
    std::string mCorpus, mFlat, mReal, mBigPage, mCli;
    double mFamilyScale = 1.0;
    bool mMemory = true;
    // Runs of each command of the tool in all, at least 5, spread over the rounds.
    int mCliRuns = 5;
    long mSmallParses = 200000;
};


std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "(unset)";
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

int Compare(const Options& options) {
    std::vector<InputSet> sets;
    std::string corpusDir = options.mCorpus;
    if (!options.mCorpus.empty()) {
        std::vector<std::string> docs;
        for (const std::string& file : HtmlFiles(options.mCorpus)) docs.push_back(ReadFile(file));
        sets.push_back(MakeSet("documentation corpus", std::move(docs), true));
    }
    if (!options.mFlat.empty()) sets.push_back(MakeSet("flat page", {ReadFile(options.mFlat)}, true));
    if (!options.mReal.empty()) sets.push_back(MakeSet("real-shaped page", {ReadFile(options.mReal)}, true));
    if (!options.mBigPage.empty()) sets.push_back(MakeSet("corpus as one page", {ReadFile(options.mBigPage)}, true));
    const std::size_t peerSets = sets.size();
    for (InputSet& family : Families(options.mFamilyScale)) sets.push_back(std::move(family));

    // Each command runs with glibc's defaults and with the tuned settings.
    std::vector<CliJob> jobs;
    if (!options.mCli.empty()) {
        auto add = [&](std::string name, std::vector<std::string> args, const InputSet& set) {
            for (const char* setting : {"default", "tuned"}) {
                CliJob job;
                job.mName = name;
                job.mSetting = setting;
                job.mCommand = {"--spawn", setting, options.mCli};
                job.mCommand.insert(job.mCommand.end(), args.begin(), args.end());
                job.mBytes = set.mBytes;
                job.mFiles = set.mDocs.size();
                jobs.push_back(std::move(job));
            }
        };
        for (const InputSet& set : sets) {
            if (set.mName == "corpus as one page") add("`kivoparse html` on the corpus as one page", {"html", options.mBigPage}, set);
            if (set.mName == "flat page") add("`kivoparse html` on the flat page", {"html", options.mFlat}, set);
            if (set.mName == "real-shaped page") add("`kivoparse html` on the real-shaped page", {"html", options.mReal}, set);
            if (set.mName == "documentation corpus") {
                add("`kivoparse html -j 1 -r` over the corpus files", {"html", "-j", "1", "-r", corpusDir}, set);
                add("`kivoparse html -j 2 -r` over the corpus files", {"html", "-j", "2", "-r", corpusDir}, set);
            }
        }
    }
    if (options.mSmallParses > 0) {
        for (const char* setting : {"default", "tuned"}) {
            CliJob job;
            job.mName = std::to_string(options.mSmallParses) + " parses and writes of a 50-byte document in one process";
            job.mSetting = setting;
            job.mCommand = {"--spawn", setting, "/proc/self/exe", "--small", std::to_string(options.mSmallParses)};
            job.mParses = options.mSmallParses;
            jobs.push_back(std::move(job));
        }
    }
    // Runs of each job per round (the first round runs each once, uncounted).
    const int jobRuns = (std::max(5, options.mCliRuns) + options.mRounds - 1) / options.mRounds;

    std::printf("## kivoparse beside libxml2 %s and gumbo %s\n\n", LIBXML_DOTTED_VERSION, KIVOBENCH_GUMBO_VERSION);
    std::printf("Inputs:");
    for (const InputSet& set : sets) std::printf(" %s;", Describe(set).c_str());
    std::printf("\nglibc malloc: MALLOC_TRIM_THRESHOLD_=%s MALLOC_MMAP_THRESHOLD_=%s\n",
                Env("MALLOC_TRIM_THRESHOLD_").c_str(), Env("MALLOC_MMAP_THRESHOLD_").c_str());
    std::printf("Load average at start: %s (2 cores)\n", LoadAverage().c_str());
    std::fflush(stdout);

    // seconds[row][set], one entry per round
    std::vector<std::vector<std::vector<double>>> seconds(kRowCount, std::vector<std::vector<double>>(sets.size()));
    // Round 0 warms up and is not counted: with trimming off, the heap that
    // the first big parse grows stays for every later tool, so no tool pays
    // the first page faults alone.
    for (int round = 0; round <= options.mRounds; ++round) {
        double roundStart = WallSeconds();
        const bool counted = round > 0;
        for (std::size_t s = 0; s < sets.size(); ++s) {
            const InputSet& set = sets[s];
            // The order of the tools turns each round, so none always runs first.
            for (int k = 0; k < kRowCount; ++k) {
                int row = (k + round) % kRowCount;
                bool peer = row == kXmlParse || row == kXmlDump || row == kGumboParse;
                if (row == kKpFix || (peer && !set.mPeers)) continue;
                if (row == kKpImages) {
                    std::pair<double, double> both = TimeImagesAndFix(set);
                    if (counted) {
                        seconds[kKpImages][s].push_back(both.first);
                        seconds[kKpFix][s].push_back(both.second);
                    }
                    continue;
                }
                double time = TimeWhole(kWholeCalls.at(kRowModes[row]), set);
                if (counted) seconds[row][s].push_back(time);
            }
        }
        // The processes interleave: every job once, then every job again,
        // starting from another job each round.
        for (int run = 0; run < (counted ? jobRuns : 1); ++run) {
            for (std::size_t k = 0; k < jobs.size(); ++k) {
                CliJob& job = jobs[(k + static_cast<std::size_t>(round)) % jobs.size()];
                std::istringstream out(RunSelf(job.mCommand));
                double wall = 0, cpu = 0;
                long rss = 0;
                int code = -1;
                out >> wall >> cpu >> rss >> code;
                if (code != 0) Die(job.mName + " exited with status " + std::to_string(code));
                if (!counted) continue;
                job.mWall.push_back(wall);
                job.mCpu.push_back(cpu);
                job.mMaxRssKb = std::max(job.mMaxRssKb, rss);
            }
        }
        std::fprintf(stderr, "%s%d of %d: %.0f s\n", counted ? "round " : "warm-up round (not counted), before round ",
                     counted ? round : 1, options.mRounds, WallSeconds() - roundStart);
    }

    auto rate = [&](int row, std::size_t s) {
        double median = Median(seconds[row][s]);
        return median > 0 ? static_cast<double>(sets[s].mBytes) / kMB / median : 0.0;
    };

    std::printf("\n### Throughput: MB/s of input, median of %d rounds (process CPU time)\n\n|", options.mRounds);
    for (const InputSet& set : sets) std::printf(" | %s", Describe(set).c_str());
    std::printf(" |\n|---");
    for (std::size_t s = 0; s < sets.size(); ++s) std::printf("|---:");
    std::printf("|\n");
    for (int row = 0; row < kRowCount; ++row) {
        std::printf("| %s", kRowNames[row]);
        for (std::size_t s = 0; s < sets.size(); ++s) std::printf(" | %s", Rate(rate(row, s)).c_str());
        std::printf(" |\n");
    }

    struct Ratio {
        const char* mName;
        int mTop, mBottom;
    };
    const Ratio ratios[] = {
        {"kivoparse parse ÷ libxml2 parse (must ≥ 3, aim ≥ 10)", kKpParse, kXmlParse},
        {"kivoparse parse ÷ gumbo parse (must ≥ 6)", kKpParse, kGumboParse},
        {"kivoparse parse + `GetHTML` ÷ libxml2 parse + dump (must ≥ 3, aim ≥ 8)", kKpHtml, kXmlDump},
        {"kivoparse parse ÷ the byte loop (aim ≥ 0.75)", kKpParse, kLoopRow},
        {"kivoparse parse + `GetHTML` ÷ the byte loop", kKpHtml, kLoopRow},
        {"libxml2 parse ÷ the byte loop", kXmlParse, kLoopRow},
        {"gumbo parse ÷ the byte loop", kGumboParse, kLoopRow},
    };
    std::printf("\n### Ratios of the medians above\n\n|");
    for (const InputSet& set : sets) std::printf(" | %s", set.mName.c_str());
    std::printf(" |\n|---");
    for (std::size_t s = 0; s < sets.size(); ++s) std::printf("|---:");
    std::printf("|\n");
    for (const Ratio& ratio : ratios) {
        std::printf("| %s", ratio.mName);
        for (std::size_t s = 0; s < sets.size(); ++s) {
            double top = rate(ratio.mTop, s), bottom = rate(ratio.mBottom, s);
            std::printf(" | %s", Times(bottom > 0 ? top / bottom : 0).c_str());
        }
        std::printf(" |\n");
    }

    if (!jobs.empty()) {
        std::printf("\n### The command-line tool: whole processes, output to /dev/null, %zu interleaved runs each "
                    "(wall time; MB/s and files/s of the median)\n\n",
                    jobs[0].mWall.size());
        std::printf("| command | glibc malloc | MB/s | files/s | wall s: min | median | max | max ÷ min | CPU s "
                    "(median) | peak RSS MB | peak ÷ input |\n");
        std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
        for (const CliJob& job : jobs) {
            const double wall = Median(job.mWall), cpu = Median(job.mCpu);
            const double low = *std::min_element(job.mWall.begin(), job.mWall.end());
            const double high = *std::max_element(job.mWall.begin(), job.mWall.end());
            const bool many = job.mFiles > 1;
            std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %.0f | %s |\n", job.mName.c_str(),
                        job.mSetting.c_str(), job.mBytes ? Rate(static_cast<double>(job.mBytes) / kMB / wall).c_str() : "–",
                        many ? Rate(static_cast<double>(job.mFiles) / wall).c_str() : "–", Fixed(low, 2).c_str(),
                        Fixed(wall, 2).c_str(), Fixed(high, 2).c_str(), Times(high / low).c_str(), Fixed(cpu, 2).c_str(),
                        static_cast<double>(job.mMaxRssKb) / 1024.0,
                        job.mFiles == 1 ? Times(static_cast<double>(job.mMaxRssKb) * 1024.0 / static_cast<double>(job.mBytes)).c_str()
                                        : "–");
        }
    }

    // The targets of the work on large pages and whole processes, from the
    // figures above.
    {
        auto setIndex = [&](const char* name) -> long {
            for (std::size_t s = 0; s < sets.size(); ++s) {
                if (sets[s].mName == name) return static_cast<long>(s);
            }
            return -1;
        };
        auto findJob = [&](const std::string& prefix, const char* setting) -> const CliJob* {
            for (const CliJob& job : jobs) {
                if (job.mName.compare(0, prefix.size(), prefix) == 0 && job.mSetting == setting && !job.mWall.empty())
                    return &job;
            }
            return nullptr;
        };
        std::vector<std::string> lines;
        auto check = [&](const std::string& what, double value, bool atLeast, double bound) {
            if (value <= 0) return;
            const bool met = atLeast ? value >= bound : value <= bound;
            lines.push_back("| " + what + " | " + Fixed(value, 2) + " | " + (atLeast ? "≥ " : "≤ ") + Fixed(bound, 2) +
                            " | " + (met ? "met" : "**not met**") + " |");
        };
        auto ratio = [&](int top, int bottom, long s) {
            if (s < 0) return 0.0;
            const double under = rate(bottom, static_cast<std::size_t>(s));
            return under > 0 ? rate(top, static_cast<std::size_t>(s)) / under : 0.0;
        };
        const long real = setIndex("real-shaped page"), big = setIndex("corpus as one page"),
                   corpus = setIndex("documentation corpus");
        check("real-shaped page: parse ÷ libxml2 parse", ratio(kKpParse, kXmlParse, real), true, 5);
        check("real-shaped page: parse ÷ gumbo parse", ratio(kKpParse, kGumboParse, real), true, 8);
        check("real-shaped page: parse + `GetHTML` ÷ libxml2 parse + dump", ratio(kKpHtml, kXmlDump, real), true, 8);
        check("corpus: parse + `GetHTML` ÷ libxml2 parse + dump", ratio(kKpHtml, kXmlDump, corpus), true, 8);
        check("corpus: parse ÷ the byte loop", ratio(kKpParse, kLoopRow, corpus), true, 0.65);
        check("real-shaped page: parse ÷ the byte loop", ratio(kKpParse, kLoopRow, real), true, 0.55);
        for (const char* setting : {"default", "tuned"}) {
            const std::string with = std::string(" (") + setting + " malloc)";
            if (const CliJob* job = findJob("`kivoparse html` on the corpus as one page", setting)) {
                const double xml = big >= 0 ? rate(kXmlParse, static_cast<std::size_t>(big)) : 0;
                if (xml > 0) {
                    check("corpus as one page: `kivoparse html` whole process (median MB/s) ÷ libxml2 in-process "
                          "parse" + with,
                          static_cast<double>(job->mBytes) / kMB / Median(job->mWall) / xml, true, 5);
                    // Wall time counts the waits of a loaded machine; CPU time does not.
                    lines.push_back("| the same by CPU time" + with + " | " +
                                    Fixed(static_cast<double>(job->mBytes) / kMB / Median(job->mCpu) / xml, 2) +
                                    " | | (for comparison) |");
                }
                check("corpus as one page: `kivoparse html` max ÷ min wall time" + with,
                      *std::max_element(job->mWall.begin(), job->mWall.end()) /
                          *std::min_element(job->mWall.begin(), job->mWall.end()),
                      false, 1.5);
            }
            // The peak on both generated pages, the page of real shape and the
            // flat page of short blocks, whose many small nodes weigh most, and
            // on the corpus as one page.
            for (const char* page : {"real-shaped page", "flat page", "corpus as one page"}) {
                if (const CliJob* job = findJob(std::string("`kivoparse html` on the ") + page, setting))
                    check(std::string(page) + ": `kivoparse html` peak ÷ input" + with,
                          static_cast<double>(job->mMaxRssKb) * 1024.0 / static_cast<double>(job->mBytes), false, 4);
            }
        }
        if (options.mSmallParses > 0) {
            const std::string name = std::to_string(options.mSmallParses) + " parses and writes";
            const CliJob* byDefault = findJob(name, "default");
            const CliJob* tuned = findJob(name, "tuned");
            if (byDefault && tuned)
                check(name + " of a 50-byte document: glibc defaults ÷ tuned (median CPU time)",
                      Median(byDefault->mCpu) / Median(tuned->mCpu), false, 1.3);
        }
        if (!lines.empty()) {
            std::printf("\n### Targets\n\n| check | value | target | |\n|---|---:|---:|---|\n");
            for (const std::string& line : lines) std::printf("%s\n", line.c_str());
        }
    }

    if (options.mMemory && peerSets > 0) {
        std::printf("\n### Memory: each mode once in a process of its own; peak resident set (VmHWM, the input held "
                    "by the process included) and allocations (malloc, calloc, realloc calls)\n\n");
        std::vector<std::pair<std::string, std::string>> inputs;  // name, path
        if (!options.mFlat.empty()) inputs.push_back({"flat page", options.mFlat});
        if (!options.mReal.empty()) inputs.push_back({"real-shaped page", options.mReal});
        if (!options.mBigPage.empty()) inputs.push_back({"corpus as one page", options.mBigPage});
        if (!options.mCorpus.empty()) inputs.push_back({"corpus, each file its own document", options.mCorpus});
        std::printf("| mode");
        for (const auto& input : inputs) {
            if (input.second == options.mCorpus)
                std::printf(" | %s: peak MB | allocations per MB", input.first.c_str());
            else
                std::printf(" | %s: peak MB | bytes per input byte | allocations per MB", input.first.c_str());
        }
        std::printf(" |\n|---");
        for (const auto& input : inputs) std::printf(input.second == options.mCorpus ? "|---:|---:" : "|---:|---:|---:");
        std::printf("|\n");
        for (int row = 0; row < kRowCount; ++row) {
            std::printf("| %s", row == kLoopRow ? "the input alone (read, nothing parsed)" : kRowNames[row]);
            if (row == kKpImages) std::printf(" (with the parse)");
            if (row == kKpFix) std::printf(" (with the parse and `GetImages`)");
            for (const auto& input : inputs) {
                std::istringstream out(RunSelf({"--memory", row == kLoopRow ? "read" : kRowModes[row], input.second}));
                double peak = 0, base = 0, allocations = 0, bytes = 0;
                out >> peak >> base >> allocations >> bytes;
                std::printf(" | %.0f", peak / 1024.0);
                if (input.second != options.mCorpus) std::printf(" | %s", Fixed(peak * 1024.0 / bytes, 1).c_str());
                std::printf(" | %s", row == kLoopRow ? "–" : Fixed(allocations / (bytes / kMB), 0).c_str());
            }
            std::printf(" |\n");
            std::fflush(stdout);
        }
        std::printf("\nFor the corpus, the files are read and parsed one at a time: the peak is set by the largest.\n");
    }
    std::printf("\nLoad average at end: %s\n", LoadAverage().c_str());
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: kivoparse_compare [--rounds N] [--corpus DIR] [--flat FILE] [--real FILE] [--bigpage FILE]\n"
                 "                         [--cli PATH] [--cli-runs N] [--small-parses N] [--family-scale F]\n"
                 "                         [--no-memory]\n"
                 "       kivoparse_compare --write-flat FILE MB\n"
                 "       kivoparse_compare --write-real FILE MB [SEED]\n"
                 "       kivoparse_compare --repeat MODE PATH N\n"
                 "       kivoparse_compare --memory MODE PATH\n"
                 "       kivoparse_compare --spawn tuned|default|inherit CMD...\n"
                 "       kivoparse_compare --small N\n"
                 "MODE: kivoparse-parse kivoparse-html kivoparse-images kivoparse-fix libxml2-parse\n"
                 "      libxml2-dump gumbo-parse loop read\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--spawn") {
        if (argc < 4) return Usage();
        return SpawnMode(args[1], argv + 3);
    }
    if (!args.empty() && args[0] == "--small") {
        if (args.size() != 2) return Usage();
        return SmallMode(std::atol(args[1].c_str()));
    }
    if (!args.empty() && args[0] == "--memory") {
        if (args.size() != 3) return Usage();
        return MemoryMode(args[1], args[2]);
    }
    if (!args.empty() && args[0] == "--repeat") {
        if (args.size() != 4) return Usage();
        return RepeatMode(args[1], args[2], std::max(1, std::atoi(args[3].c_str())));
    }
    if (!args.empty() && args[0] == "--write-real") {
        if (args.size() != 3 && args.size() != 4) return Usage();
        double mb = std::atof(args[2].c_str());
        if (mb <= 0) Die("--write-real wants a size in MB above 0, not " + args[2]);
        const std::uint32_t seed = args.size() == 4 ? static_cast<std::uint32_t>(std::strtoul(args[3].c_str(), nullptr, 10)) : 1;
        std::string page = RealPage(static_cast<std::size_t>(mb * kMB), seed);
        std::ofstream out(args[1], std::ios::binary);
        out.write(page.data(), static_cast<std::streamsize>(page.size()));
        if (!out) Die("cannot write " + args[1]);
        return 0;
    }
    if (!args.empty() && args[0] == "--write-flat") {
        if (args.size() != 3) return Usage();
        double mb = std::atof(args[2].c_str());
        if (mb <= 0) Die("--write-flat wants a size in MB above 0, not " + args[2]);
        std::string page = FlatPage(static_cast<std::size_t>(mb * kMB));
        std::ofstream out(args[1], std::ios::binary);
        out.write(page.data(), static_cast<std::streamsize>(page.size()));
        if (!out) Die("cannot write " + args[1]);
        return 0;
    }
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) Die(arg + " wants a value");
            return args[++i];
        };
        if (arg == "--rounds") options.mRounds = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--corpus") options.mCorpus = value();
        else if (arg == "--flat") options.mFlat = value();
        else if (arg == "--real") options.mReal = value();
        else if (arg == "--cli-runs") options.mCliRuns = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--small-parses") options.mSmallParses = std::atol(value().c_str());
        else if (arg == "--bigpage") options.mBigPage = value();
        else if (arg == "--cli") options.mCli = value();
        else if (arg == "--family-scale") options.mFamilyScale = std::atof(value().c_str());
        else if (arg == "--no-memory") options.mMemory = false;
        else return Usage();
    }
    xmlInitParser();
    return Compare(options);
}
