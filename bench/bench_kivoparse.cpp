// Throughput of the four things a host does with a document: parse it, write
// it back, collect its URLs and rewrite them. Each runs on the sample pages
// (repeated to about 1 MB) and on generated documents that stress one path
// each. Tracing is off throughout: no log link is set.
#include <benchmark/benchmark.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/CKIVOParseCtrl.h"
#include "engine/CParsingEngine.h"

using kivoparse::CKIVOParseCtrl;
using kivoparse::CParsingEngine;
using CValueList = std::vector<std::string>;

namespace {

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string RepeatTo(const std::string& piece, std::size_t bytes) {
    return Repeat(piece, bytes / piece.size() + 1);
}

std::string Sample(const char* name) {
    std::ifstream in(std::string(KIVOPARSE_SAMPLES_DIR) + "/" + name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty()) text = "<p>missing sample</p>";
    return text;
}

constexpr std::size_t kMB = 1 << 20;

// The documents, built once on first use.
const std::map<std::string, std::function<std::string()>> kMakers{
    {"catalogue", [] { return RepeatTo(Sample("catalogue.html"), kMB); }},
    {"newsletter", [] { return RepeatTo(Sample("newsletter.html"), kMB); }},
    // Long runs of text between a few tags.
    {"text_heavy", [] {
         return RepeatTo("<p>" + Repeat("Lorem ipsum dolor sit amet, consectetur adipiscing elit. ", 40) + "</p>\n", kMB);
     }},
    // Tags with many attributes in every quoting style, URLs among them.
    {"attribute_heavy", [] {
         return RepeatTo("<img alt=\"a picture\" src='pics/a.gif' width=10 height=20 border=0 hspace=\"2\" vspace='2' "
                         "designtimesp=123 class=x id=y title=\"t\" ismap><td background=b.gif align=middle nowrap>"
                         "<a href=\"page.htm\" target=_top name=n>",
                         kMB);
     }},
    // A million nested elements: every end tag folds one closed element into
    // the next one out.
    {"nested_1e6", [] { return Repeat("<div>", 1000000) + "x" + Repeat("</div>", 1000000); }},
    // Insert blocks between tags and inside attribute values, some nested.
    {"insert_heavy", [] {
         return RepeatTo("<|user.name|><p title='<|t.title|>'>x</p><|if a<|b|>|><a href=<|link|>>y</a>", kMB);
     }},
    // Thousands of top-level nodes followed by 100k end tags that match
    // nothing: each must be found unmatched without walking the whole list.
    {"unmatched_end_tags", [] { return Repeat("<p>t", 5000) + Repeat("</div>", 100000) + "<p>"; }},
    // "<" and then a long run of "|": insert blocks open and are abandoned
    // over and over.
    {"pipes_after_lt", [] { return "<" + std::string(kMB, '|') + "<p>"; }},
    // One tag whose values hold "<" after "<", then a byte that turns it all
    // into text: every inner "<" opens a tag that is bound to fail the same
    // way.
    {"failing_tag_of_tags", [] { return Repeat("<a x=", 200000) + ":<p>"; }},
};

const std::string& Document(const std::string& name) {
    static std::map<std::string, std::string> built;
    auto it = built.find(name);
    if (it == built.end()) it = built.emplace(name, kMakers.at(name)()).first;
    return it->second;
}

std::unique_ptr<CKIVOParseCtrl> Parsed(const std::string& text) {
    auto control = std::make_unique<CKIVOParseCtrl>();
    control->ParseHTML(text);
    return control;
}

void SetThroughput(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// Parse includes making and destroying the engine and the document, as
// every ParseHTML of the control does.
void BM_Parse(benchmark::State& state, const std::string& name) {
    const std::string& text = Document(name);
    for (auto _ : state) {
        CParsingEngine engine;
        benchmark::DoNotOptimize(engine.Parse(text));
    }
    SetThroughput(state, text.size());
}

void BM_Write(benchmark::State& state, const std::string& name) {
    const std::string& text = Document(name);
    auto engine = Parsed(text);
    for (auto _ : state) benchmark::DoNotOptimize(engine->GetHTML());
    SetThroughput(state, text.size());
}

void BM_Collect(benchmark::State& state, const std::string& name) {
    const std::string& text = Document(name);
    auto engine = Parsed(text);
    std::size_t found = 0;
    for (auto _ : state) found = engine->GetImages().size() + engine->GetHrefs().size();
    state.counters["urls"] = static_cast<double>(found);
    SetThroughput(state, text.size());
}

// Rewrites every collected URL with itself, so each iteration sees the same
// tree. One entry that matches nothing is added, so that a document without
// URLs still costs its tree walks rather than an early return.
void BM_Rewrite(benchmark::State& state, const std::string& name) {
    const std::string& text = Document(name);
    auto engine = Parsed(text);
    CValueList images = engine->GetImages();
    CValueList hrefs = engine->GetHrefs();
    images.push_back("no/such/image.gif");
    hrefs.push_back("no/such/page.htm");
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine->FixImages(images, images));
        benchmark::DoNotOptimize(engine->FixHrefs(hrefs, hrefs));
    }
    SetThroughput(state, text.size());
}

void RegisterAll() {
    for (const auto& maker : kMakers) {
        const std::string& name = maker.first;
        benchmark::RegisterBenchmark(("Parse/" + name).c_str(), BM_Parse, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Write/" + name).c_str(), BM_Write, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Collect/" + name).c_str(), BM_Collect, name)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Rewrite/" + name).c_str(), BM_Rewrite, name)->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
