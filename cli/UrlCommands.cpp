#include "cli/UrlCommands.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <memory>
#include <unordered_map>
#include <utility>

#include <kivoparse/kivoparse.h>

#include "cli/CSiteIndex.h"
#include "cli/InputList.h"
#include "cli/SystemIO.h"
#include "cli/ValueFormat.h"
#include "links/UrlPaths.h"
#include "links/CompareNoCase.h"
#include "tree/HashMix.h"

namespace kivoparse {
namespace cli {

namespace {

std::string JsonString(const std::string& bytes) {
    std::string out;
    AppendJsonString(out, bytes);
    return out;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// What the check keeps between documents: the folders read, the counts,
// the case-only reports (written after the missing ones), the map.
struct SCheckState {
    CSiteIndex mIndex;
    std::size_t mChecked = 0, mMissing = 0, mOtherCase = 0, mExternal = 0, mTemplates = 0;
    std::string mCaseReports;
    // Each case-only URL repaired: document, URL, repaired spelling.
    struct SCaseFix {
        std::string mFile;
        std::string mUrl;
        std::string mFixed;
    };
    std::vector<SCaseFix> mCaseFixes;
    // For each URL (its folded bytes, hashed), the hash of the first
    // spelling that works where it stands, and whether another one does
    // somewhere else: 16 bytes a URL, whatever the site.
    struct SSpelling {
        std::uint64_t mKey = 0;  // 0: the slot is free
        std::uint64_t mSpelling = 0;
        bool mSeveral = false;
    };
    std::vector<SSpelling> mSpellings = std::vector<SSpelling>(1024);
    std::size_t mUsed = 0;
    std::uint64_t mSeed = Mix(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));

    std::uint64_t Hash(const std::string& bytes, bool folded) const {
        std::uint64_t hash = 14695981039346656037ULL ^ mSeed;
        for (const char c : bytes) hash = (hash ^ (folded ? FoldByte(c) : static_cast<unsigned char>(c))) * 1099511628211ULL;
        return Mix(hash) | 1;  // never 0
    }
    SSpelling& Slot(std::uint64_t key) {
        const std::size_t mask = mSpellings.size() - 1;
        for (std::size_t i = key & mask;; i = (i + 1) & mask) {
            if (mSpellings[i].mKey == key || mSpellings[i].mKey == 0) return mSpellings[i];
        }
    }
    void Note(const std::string& url, const std::string& works) {
        const std::uint64_t key = Hash(url, true), spelling = Hash(works, false);
        SSpelling& slot = Slot(key);
        if (slot.mKey == 0) {
            slot = SSpelling{key, spelling, false};
            if (++mUsed * 2 > mSpellings.size()) Grow();
        } else if (slot.mSpelling != spelling) {
            slot.mSeveral = true;
        }
    }
    bool Several(const std::string& url) { return Slot(Hash(url, true)).mSeveral; }
    void Grow() {
        std::vector<SSpelling> old(mSpellings.size() * 2);
        old.swap(mSpellings);
        for (const SSpelling& entry : old) {
            if (entry.mKey != 0) Slot(entry.mKey) = entry;
        }
    }
};

std::string Folded(std::string text) {
    for (char& c : text) c = static_cast<char>(FoldByte(c));
    return text;
}

// Checks one document's URLs; returns its report of missing targets.
// A URL to check, read on a worker thread: its place and its path.
struct SToCheck {
    UrlOccurrence mOccurrence;
    SUrlPath mPath;
};

std::string CheckDocument(SCheckState& state, const SOptions& options, const SInput& input,
                          const std::vector<SToCheck>& found) {
    std::string report;
    const std::string file = DisplayName(input.mPath);
    const std::string folder = input.mPath == "-" ? std::string() : FolderOf(input.mPath);
    std::string root = options.mRoot;
    if (root.empty() && input.mPath != "-") {
        // The directory operand: the path less the part found below it.
        root = input.mPath.size() > input.mOutPath.size() ? input.mPath.substr(0, input.mPath.size() - input.mOutPath.size())
                                                          : std::string();
        if (root.size() > 1 && root.back() == '/') root.pop_back();
    }
    for (const SToCheck& item : found) {
        const UrlOccurrence& o = item.mOccurrence;
        const SUrlPath& path = item.mPath;
        switch (path.mClass) {
            case EUrlClass::External: ++state.mExternal; continue;
            case EUrlClass::Template: ++state.mTemplates; continue;
            case EUrlClass::SameDocument: continue;
            case EUrlClass::Relative:
            case EUrlClass::RootRelative: break;
        }
        ++state.mChecked;
        const SResolved resolved =
            state.mIndex.Resolve(path.mClass == EUrlClass::RootRelative ? root : folder, path);
        const std::string place = file + ":" + std::to_string(o.line) + ":" + std::to_string(o.column) + ": ";
        const char* kind = UrlKindName(o.kind);
        auto json = [&](const char* problem, const std::string& extra) {
            return "{\"file\": " + JsonString(input.mPath) + ", \"line\": " + std::to_string(o.line) +
                   ", \"column\": " + std::to_string(o.column) + ", \"tag\": " + JsonString(o.tag) +
                   ", \"attribute\": " + JsonString(o.attribute) + ", \"kind\": \"" + kind + "\", \"url\": " +
                   JsonString(o.url) + ", \"problem\": \"" + problem + "\", \"path\": " + JsonString(resolved.mPath) +
                   extra + "}\n";
        };
        switch (resolved.mFound) {
            case EFound::Exists:
                if (!options.mSuggestMap.empty()) state.Note(o.url, o.url);
                break;
            case EFound::Missing:
                ++state.mMissing;
                report += options.mFormat == EListFormat::Json ? json("missing", "")
                                        : place + kind + " '" + o.url + "': no such file '" + resolved.mPath + "'\n";
                break;
            case EFound::OtherCase: {
                ++state.mOtherCase;
                state.mCaseReports += options.mFormat == EListFormat::Json ? json("case", ", \"actual\": " + JsonString(resolved.mActual))
                                                    : place + kind + " '" + o.url + "': exists as '" +
                                                          resolved.mActual + "'\n";
                std::string fixed = o.url;
                for (std::size_t i = path.mSegments.size(); i-- > 0;) {
                    if (resolved.mRecased[i].empty()) continue;
                    const SUrlSegment& segment = path.mSegments[i];
                    fixed.replace(segment.mRawStart, segment.mRawEnd - segment.mRawStart,
                                  RecaseSegment(std::string_view(o.url).substr(segment.mRawStart,
                                                                               segment.mRawEnd - segment.mRawStart),
                                                resolved.mRecased[i]));
                }
                if (!options.mSuggestMap.empty()) state.Note(o.url, fixed);
                state.mCaseFixes.push_back(SCheckState::SCaseFix{input.mPath, o.url, fixed});
                break;
            }
        }
    }
    return report;
}

// The map --suggest-map writes: a pair for each URL that reads the same
// wherever it is repaired; a URL that must read differently in different
// folders ("index.html" where one folder's index was renamed and another's
// not) gets its pairs in a section for each document that needs them.
std::string SuggestedMap(SCheckState& state) {
    std::string text;
    std::unordered_map<std::string, bool> paired;  // folded URL -> written
    for (const auto& fix : state.mCaseFixes) {
        if (state.Several(fix.mUrl) || !paired.emplace(Folded(fix.mUrl), true).second) continue;
        text += fix.mUrl + "\t" + fix.mFixed + "\n";
    }
    std::vector<std::string> files;
    std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>> sections;
    std::unordered_map<std::string, bool> inSection;  // file, NUL, folded URL -> written
    for (const auto& fix : state.mCaseFixes) {
        if (!state.Several(fix.mUrl)) continue;
        if (!inSection.emplace(fix.mFile + std::string(1, '\0') + Folded(fix.mUrl), true).second) continue;
        auto& section = sections[fix.mFile];
        if (section.empty()) files.push_back(fix.mFile);
        section.emplace_back(fix.mUrl, fix.mFixed);
    }
    for (const std::string& file : files) {
        text += "@document " + file + "\n";
        for (const auto& pair : sections[file]) text += pair.first + "\t" + pair.second + "\n";
    }
    return text;
}

}  // namespace

SScopedMaps ReadScopedMaps(const std::string& text) {
    SScopedMaps maps;
    std::string document, chunk;
    std::size_t line = 0, chunkStart = 1;
    std::unordered_map<std::string, std::pair<std::string, std::size_t>> chunks;  // text, first line
    auto flush = [&]() {
        if (document.empty()) {
            chunks[""] = {chunk, chunkStart};
        } else {
            auto& known = chunks[document];
            if (known.first.empty()) known.second = chunkStart;
            known.first += chunk;
        }
        chunk.clear();
    };
    const std::string mark = "@document ";
    for (std::size_t start = 0; start < text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string_view row(text.data() + start, end - start);
        if (row.compare(0, mark.size(), mark) == 0 && row.find('\t') == std::string_view::npos) {
            flush();
            document.assign(row.substr(mark.size()));
            if (!document.empty() && document.back() == '\n') document.pop_back();
            chunkStart = line + 2;
        } else {
            chunk.append(row);
        }
        start = end;
    }
    flush();
    for (auto& entry : chunks) {
        try {
            UrlMap map = UrlMap::ParseRules(entry.second.first);
            if (entry.first.empty()) maps.mAll = std::move(map);
            else maps.mByDocument[entry.first] = std::move(map);
        } catch (const MapError& error) {
            // Lines of a section count from its first; the file's count.
            const std::size_t at = error.Line() + entry.second.second - 1;
            const std::string message = error.what();
            throw MapError(at, "line " + std::to_string(at) + message.substr(message.find(' ', 5)));
        }
    }
    return maps;
}

std::string OccurrenceLines(const SInput& input, const std::vector<UrlOccurrence>& found, bool json) {
    std::string out;
    const std::string file = DisplayName(input.mPath);
    for (const UrlOccurrence& o : found) {
        if (json) {
            out += "{\"file\": " + JsonString(input.mPath) + ", \"line\": " + std::to_string(o.line) +
                   ", \"column\": " + std::to_string(o.column) + ", \"tag\": " + JsonString(o.tag) +
                   ", \"attribute\": " + JsonString(o.attribute) + ", \"kind\": \"" + UrlKindName(o.kind) +
                   "\", \"url\": " + JsonString(o.url) + "}\n";
        } else {
            out += file + ":" + std::to_string(o.line) + ":" + std::to_string(o.column) + ": " + UrlKindName(o.kind) +
                   " " + o.tag + " " + (o.attribute.empty() ? "-" : o.attribute) + " " + o.url + "\n";
        }
    }
    return out;
}

void RewriteByRules(Parser& parser, UrlKinds kinds, const SScopedMaps& maps, const std::string& path) {
    const auto section = maps.mByDocument.find(path);
    if (section == maps.mByDocument.end()) {
        parser.Rewrite(kinds, maps.mAll);
        return;
    }
    const UrlMap& own = section->second;
    parser.Rewrite(kinds, [&](UrlKind, std::string_view url) {
        std::optional<std::string> value = own.Apply(url);
        return value ? value : maps.mAll.Apply(url);
    });
}

struct CSiteCheck::SState {
    const SOptions& mOptions;
    SCheckState mCheck;
    // Each input's URLs wait in its own slot until their turn.
    std::vector<std::vector<SToCheck>> mFound;
};

CSiteCheck::CSiteCheck(const SOptions& options, std::size_t inputs)
    : mState(new SState{options, SCheckState(), std::vector<std::vector<SToCheck>>(inputs)}) {}

CSiteCheck::~CSiteCheck() = default;

void CSiteCheck::Collect(std::size_t index, Parser& parser) {
    std::vector<UrlOccurrence> found = parser.GetUrlOccurrences(mState->mOptions.mKinds);
    std::vector<SToCheck>& slot = mState->mFound[index];
    slot.reserve(found.size());
    for (UrlOccurrence& o : found) {
        SUrlPath path = SplitUrlPath(o.url);
        slot.push_back(SToCheck{std::move(o), std::move(path)});
    }
}

std::string CSiteCheck::Check(std::size_t index, const SInput& input) {
    std::string report = CheckDocument(mState->mCheck, mState->mOptions, input, mState->mFound[index]);
    std::vector<SToCheck>().swap(mState->mFound[index]);
    return report;
}

bool CSiteCheck::Finish() {
    SCheckState& state = mState->mCheck;
    const std::string& suggestPath = mState->mOptions.mSuggestMap;
    bool failed = false;
    std::string error;
    if (!state.mCaseReports.empty() && WriteStdout(state.mCaseReports, error) == EWriteResult::Failed) {
        failed = true;
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
    }
    const std::string suggested = suggestPath.empty() ? std::string() : SuggestedMap(state);
    if (!suggestPath.empty() &&
        !WriteFileAtomically(suggestPath, [&](const ByteSink& sink) { sink(suggested); }, error)) {
        failed = true;
        WriteStderr("kivoparse: --suggest-map " + suggestPath + ": " + error + "\n");
    }
    WriteStderr("kivoparse: " + std::to_string(state.mChecked) + " local URLs checked: " +
                std::to_string(state.mMissing) + " missing, " + std::to_string(state.mOtherCase) +
                " in another letter case; " + std::to_string(state.mExternal) + " external and " +
                std::to_string(state.mTemplates) + " with insert blocks not checked\n");
    return failed || state.mMissing || state.mOtherCase;
}

}  // namespace cli
}  // namespace kivoparse
