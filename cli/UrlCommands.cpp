#include "cli/UrlCommands.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>

#include <kivoparse/kivoparse.h>

#include "cli/CJobRunner.h"
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

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

enum class EUrlCommand { Urls, Check, Fix };

struct SUrlOptions {
    EUrlCommand mCommand = EUrlCommand::Urls;
    UrlKinds mKinds = UrlKinds::Default();
    bool mJson = false;
    bool mRecursive = false;
    std::vector<std::string> mExtensions{"html", "htm"};
    std::string mRoot;  // check: "" is each operand's own folder
    std::string mSuggestMap;
    std::string mMapPath;
    bool mHasBase = false;
    std::string mBase;
    bool mHasOut = false;
    std::string mOutDir;
    unsigned mJobs = 0;
    std::vector<std::string> mOperands;
};

const char kUrlsHelp[] = R"(usage: kivoparse urls [--kinds LIST|--all] [--json] [-r] [--ext LIST] [-j N] [FILE...]

Lists every URL of the chosen kinds with its place, in document order, one
per line: FILE:LINE:COLUMN: KIND TAG ATTRIBUTE URL (ATTRIBUTE "-" for the
text of a STYLE element). Lines and columns count from 1, columns in bytes.

Options:
  --kinds LIST  the kinds, comma separated: images, links, resources, frames,
                media, areas, forms, srcset, refresh, css, or all (default:
                images,links)
  --all         every kind
  --json        one JSON object per line: {"file": ..., "line": ...,
                "column": ..., "tag": ..., "attribute": ..., "kind": ...,
                "url": ...}
  -r            read directories (files ending in .html or .htm)
  --ext LIST    with -r, the name endings to take instead
  -j N          parse N files at a time (default: the number of cores)
  --help        show this text
)";

const char kCheckHelp[] = R"(usage: kivoparse check [--root DIR] [--kinds LIST|--all] [--json]
                       [--suggest-map FILE] [-r] [--ext LIST] [-j N] [FILE...]

Resolves every relative URL against its document's folder and every
root-relative one ("/...") against --root, the query and fragment dropped,
%XX escapes and character references decoded, backslashes read as slashes,
and reports each one whose target does not exist:
  FILE:LINE:COLUMN: KIND 'URL': no such file 'PATH'
and then each one whose target exists only in another letter case (what a
server that ignores case serves, and no other does):
  FILE:LINE:COLUMN: KIND 'URL': exists as 'PATH'
External URLs (a scheme such as http: or mailto:, or //host) are counted,
not fetched; so are URLs holding an insert block. A count goes to the
standard error at the end.

Options:
  --root DIR    the folder that root-relative URLs start from (default: the
                directory operand a file was found under, or a file
                operand's own folder)
  --kinds LIST  the kinds, as for 'kivoparse urls' (default: images,links)
  --all         every kind
  --json        one JSON object per report line, with "problem": "missing"
                or "case", "path" and, for "case", "actual"
  --suggest-map FILE  write the map of exact pairs that repairs every URL
                whose target exists in another letter case, for
                'kivoparse fix --map FILE'
  -r            read directories (files ending in .html or .htm)
  --ext LIST    with -r, the name endings to take instead
  -j N          parse N files at a time (default: the number of cores)
  --help        show this text

Exit status: 0 nothing broken; 1 a URL is broken or in another letter case,
or an input could not be read; 2 usage error.
)";

const char kFixHelp[] = R"(usage: kivoparse fix --map MAPFILE [--kinds LIST|--all] [--base TEXT]
                     [-r] [--ext LIST] [--out DIR] [-j N] [FILE...]

Rewrites every URL of the chosen kinds (default: images,links) with a rule
map and writes the HTML as 'html' does. A URL inside a longer value (a
srcset, a refresh, CSS) is replaced alone; the rest stays byte for byte.

The map has one pair per line, old value, TAB, new value, as for
fix-images. An old value that ends in "*" is a prefix rule: every URL that
starts with the rest (letter case ignored) gets the new value (whose own
trailing "*" may be left out) in place of that start. Exact pairs come
first, then the longest prefix. At the end of either value "**" stands for
one literal "*".
  http://old.example.com/*	https://example.com/*
  images/*	assets/img/*

Options:
  --map MAPFILE the rule map ("-": the standard input)
  --kinds LIST  the kinds, as for 'kivoparse urls'
  --all         every kind
  --base TEXT   document base, as for the other commands
  -r            read directories (files ending in .html or .htm)
  --ext LIST    with -r, the name endings to take instead
  --out DIR     write each result to a file under DIR, as for fix-images
  -j N          parse N files at a time (default: the number of cores)
  --help        show this text
)";

const char* Synopsis(EUrlCommand command) {
    switch (command) {
        case EUrlCommand::Urls: return "usage: kivoparse urls [--kinds LIST|--all] [--json] [-r] [FILE...]\n";
        case EUrlCommand::Check:
            return "usage: kivoparse check [--root DIR] [--kinds LIST|--all] [--json] [--suggest-map FILE] [-r] "
                   "[FILE...]\n";
        case EUrlCommand::Fix: return "usage: kivoparse fix --map MAPFILE [--kinds LIST|--all] [-r] [--out DIR] [FILE...]\n";
    }
    return "";
}

int UsageError(EUrlCommand command, const std::string& message) {
    WriteStderr("kivoparse: " + message + "\n" + Synopsis(command) + "Try 'kivoparse " +
                (command == EUrlCommand::Urls ? "urls" : command == EUrlCommand::Check ? "check" : "fix") +
                " --help'.\n");
    return kExitUsage;
}

int Fail(const std::string& message) {
    WriteStderr("kivoparse: " + message + "\n");
    return kExitFailed;
}

bool ParseExtensionList(const std::string& list, std::vector<std::string>& endings) {
    endings.clear();
    for (std::size_t start = 0;;) {
        const std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty() && item[0] == '.') item.erase(0, 1);
        if (item.empty() || item.find('/') != std::string::npos) return false;
        for (char& c : item) c = static_cast<char>(FoldByte(c));
        endings.push_back(item);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// Reads the command line; returns -1 to go on, -2 for help, else the exit
// status of a usage error. Options take their value as the next word or
// after "="; "--" ends the options; "-" is an operand.
int ParseArgs(const std::vector<std::string>& args, SUrlOptions& options) {
    options.mCommand = args[0] == "urls" ? EUrlCommand::Urls : args[0] == "check" ? EUrlCommand::Check : EUrlCommand::Fix;
    const EUrlCommand command = options.mCommand;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--") break;
        if (args[i] == "--help" || args[i] == "-h") return -2;
    }
    bool all = false, hasKinds = false, hasExt = false, hasMap = false, hasSuggest = false;
    std::string kinds, extensions;
    std::vector<std::string> valued = {"--ext", "--kinds", "-j", "--jobs"};
    if (command == EUrlCommand::Check) valued.insert(valued.end(), {"--root", "--suggest-map"});
    if (command == EUrlCommand::Fix) valued.insert(valued.end(), {"--map", "--base", "--out"});
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--") {
            options.mOperands.insert(options.mOperands.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (word.size() < 2 || word[0] != '-') {
            options.mOperands.push_back(word);
            continue;
        }
        std::string name = word, value;
        bool hasValue = false;
        const std::size_t equals = word.find('=');
        if (word.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
            hasValue = true;
        } else if (word.compare(0, 2, "-j") == 0 && word.size() > 2) {
            name = "-j";
            value = word.substr(2);
            hasValue = true;
        }
        if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
            if (!hasValue) {
                if (i + 1 == args.size()) return UsageError(command, "option " + name + " needs a value");
                value = args[++i];
            }
            if (name == "--ext") hasExt = true, extensions = value;
            else if (name == "--kinds") hasKinds = true, kinds = value;
            else if (name == "--root") options.mRoot = value;
            else if (name == "--suggest-map") hasSuggest = true, options.mSuggestMap = value;
            else if (name == "--map") hasMap = true, options.mMapPath = value;
            else if (name == "--base") options.mHasBase = true, options.mBase = value;
            else if (name == "--out") options.mHasOut = true, options.mOutDir = value;
            else {
                char* end = nullptr;
                const unsigned long jobs = std::strtoul(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || value[0] == '-' || jobs < 1 || jobs > 1024)
                    return UsageError(command, "-j wants a number from 1 to 1024; got '" + value + "'");
                options.mJobs = static_cast<unsigned>(jobs);
            }
            continue;
        }
        if (hasValue) return UsageError(command, "option " + name + " takes no value");
        if (name == "-r" || name == "--recursive") options.mRecursive = true;
        else if (name == "--all") all = true;
        else if (name == "--json" && command != EUrlCommand::Fix) options.mJson = true;
        else return UsageError(command, "unknown option '" + name + "'");
    }
    if (hasKinds && all) return UsageError(command, "--kinds and --all: give one of them");
    if (all) options.mKinds = UrlKinds::All();
    std::string error;
    if (hasKinds && !UrlKinds::Parse(kinds, options.mKinds, error)) return UsageError(command, "--kinds: " + error);
    if (hasExt && !ParseExtensionList(extensions, options.mExtensions))
        return UsageError(command, "--ext wants a comma-separated list of name endings such as html,htm; got '" +
                                       extensions + "'");
    if (command == EUrlCommand::Fix && !hasMap) return UsageError(command, "fix needs --map MAPFILE");
    if (options.mHasOut && options.mOutDir.empty()) return UsageError(command, "--out wants a directory");
    if (hasSuggest && options.mSuggestMap.empty()) return UsageError(command, "--suggest-map wants a file name");
    return -1;
}

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

std::string CheckDocument(SCheckState& state, const SUrlOptions& options, const SInput& input,
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
                report += options.mJson ? json("missing", "")
                                        : place + kind + " '" + o.url + "': no such file '" + resolved.mPath + "'\n";
                break;
            case EFound::OtherCase: {
                ++state.mOtherCase;
                state.mCaseReports += options.mJson ? json("case", ", \"actual\": " + JsonString(resolved.mActual))
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

// A rule map whose lines "@document PATH" (no TAB) start a section: its
// pairs apply to that document only (named as the inputs are named), before
// the pairs above the first section, which apply to every document.
struct SScopedMaps {
    UrlMap mAll;
    std::unordered_map<std::string, UrlMap> mByDocument;
};

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

}  // namespace

bool IsUrlCommand(int argc, char** argv) {
    if (argc < 2) return false;
    const std::string_view command = argv[1];
    if (command == "urls" || command == "check") return true;
    if (command != "fix") return false;
    // "fix" with a rule map; the images and links maps are the other fix's.
    for (int i = 2; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") break;
        if (word == "--map" || word.substr(0, 6) == "--map=") return true;
    }
    return false;
}

int RunUrlCommand(const std::vector<std::string>& args) {
    SUrlOptions options;
    const int parsed = ParseArgs(args, options);
    if (parsed == -2) {
        const char* text = options.mCommand == EUrlCommand::Urls ? kUrlsHelp
                           : options.mCommand == EUrlCommand::Check ? kCheckHelp
                                                                    : kFixHelp;
        std::string error;
        return WriteStdout(text, error) == EWriteResult::Failed ? Fail("cannot write to standard output: " + error)
                                                               : kExitOk;
    }
    if (parsed >= 0) return parsed;

    SScopedMaps maps;
    if (options.mCommand == EUrlCommand::Fix) {
        std::string text, error;
        if (!ReadWholeFile(options.mMapPath, text, error)) return Fail(DisplayName(options.mMapPath) + ": " + error);
        try {
            maps = ReadScopedMaps(text);
        } catch (const MapError& mapError) {
            return UsageError(options.mCommand, DisplayName(options.mMapPath) + ": " + mapError.what());
        }
    }

    SOptions listing;
    listing.mRecursive = options.mRecursive;
    listing.mExtensions = options.mExtensions;
    listing.mHasOut = options.mHasOut;
    listing.mOutDir = options.mOutDir;
    listing.mOperands = options.mOperands;
    std::vector<std::string> notes;
    std::vector<SInput> inputs = ExpandInputs(listing, notes);
    for (const std::string& note : notes) WriteStderr("kivoparse: " + note + "\n");
    std::string error;
    if (options.mHasOut) {
        std::map<std::string, const SInput*> targets;
        for (SInput& input : inputs) {
            if (!input.mError.empty()) continue;
            if (input.mOutPath.empty()) {
                input.mError = "has no file name to write under --out";
                continue;
            }
            auto placed = targets.emplace(input.mOutPath, &input);
            if (!placed.second)
                return UsageError(options.mCommand, "'" + placed.first->second->mPath + "' and '" + input.mPath +
                                                        "' would both be written to the same file under --out");
        }
        if (!MakeDirectories(options.mOutDir, error)) return Fail("--out " + options.mOutDir + ": " + error);
    }

    // Each input's URLs wait in its own slot until their turn: the check
    // reads the folders on this thread only.
    std::vector<std::vector<SToCheck>> occurrences(inputs.size());
    auto process = [&](Parser& parser, const SInput& input) -> SJobResult {
        SJobResult result{true, std::string(), input.mError};
        std::string text;
        if (!input.mError.empty() || !ReadWholeFile(input.mPath, text, result.mError)) return result;
        result.mFailed = false;
        parser.SetDocumentBase(options.mHasBase ? options.mBase : std::string());
        parser.ParseHTML(std::move(text));
        if (options.mCommand == EUrlCommand::Fix) {
            const auto section = maps.mByDocument.find(input.mPath);
            if (section == maps.mByDocument.end()) {
                parser.Rewrite(options.mKinds, maps.mAll);
            } else {
                const UrlMap& own = section->second;
                parser.Rewrite(options.mKinds, [&](UrlKind, std::string_view url) {
                    std::optional<std::string> value = own.Apply(url);
                    return value ? value : maps.mAll.Apply(url);
                });
            }
            result.mOutput = parser.GetHTML();
            if (options.mHasOut) {
                const std::string target =
                    options.mOutDir + (options.mOutDir.back() == '/' ? "" : "/") + input.mOutPath;
                const std::string& html = result.mOutput;
                result.mFailed =
                    !WriteFileAtomically(target, [&](const ByteSink& sink) { sink(html); }, result.mError);
                result.mOutput.clear();
            }
            return result;
        }
        std::vector<UrlOccurrence> found = parser.GetUrlOccurrences(options.mKinds);
        if (options.mCommand == EUrlCommand::Urls) {
            result.mOutput = OccurrenceLines(input, found, options.mJson);
        } else {
            auto& slot = occurrences[static_cast<std::size_t>(&input - inputs.data())];
            slot.reserve(found.size());
            for (UrlOccurrence& o : found) {
                SUrlPath path = SplitUrlPath(o.url);
                slot.push_back(SToCheck{std::move(o), std::move(path)});
            }
        }
        return result;
    };

    SCheckState state;
    bool anyFailed = false;
    auto emit = [&](const SInput& input, SJobResult& result) {
        if (result.mFailed) {
            anyFailed = true;
            WriteStderr("kivoparse: " + DisplayName(input.mPath) + ": " + result.mError + "\n");
            return true;
        }
        if (options.mCommand == EUrlCommand::Check) {
            auto& found = occurrences[static_cast<std::size_t>(&input - inputs.data())];
            result.mOutput = CheckDocument(state, options, input, found);
            std::vector<SToCheck>().swap(found);
        }
        switch (WriteStdout(result.mOutput, error)) {
            case EWriteResult::Ok: return true;
            case EWriteResult::ClosedPipe: return false;
            case EWriteResult::Failed: break;
        }
        anyFailed = true;
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
        return false;
    };
    const unsigned jobs = options.mJobs != 0 ? options.mJobs : std::max(1u, std::thread::hardware_concurrency());
    const std::size_t window = options.mHasOut ? inputs.size() : std::size_t{4} * jobs;
    const bool stdoutIsTerminal = !options.mHasOut && IsTerminal(1);
    CJobRunner runner(inputs, jobs, window, IsTerminal(2) && inputs.size() > 1 && !stdoutIsTerminal);
    if (!runner.Run(process, emit, error)) return Fail(error);
    if (options.mCommand != EUrlCommand::Check) return anyFailed ? kExitFailed : kExitOk;

    if (!state.mCaseReports.empty() && WriteStdout(state.mCaseReports, error) == EWriteResult::Failed) {
        anyFailed = true;
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
    }
    const std::string suggested = options.mSuggestMap.empty() ? std::string() : SuggestedMap(state);
    if (!options.mSuggestMap.empty() &&
        !WriteFileAtomically(options.mSuggestMap, [&](const ByteSink& sink) { sink(suggested); }, error)) {
        anyFailed = true;
        WriteStderr("kivoparse: --suggest-map " + options.mSuggestMap + ": " + error + "\n");
    }
    WriteStderr("kivoparse: " + std::to_string(state.mChecked) + " local URLs checked: " +
                std::to_string(state.mMissing) + " missing, " + std::to_string(state.mOtherCase) +
                " in another letter case; " + std::to_string(state.mExternal) + " external and " +
                std::to_string(state.mTemplates) + " with insert blocks not checked\n");
    return anyFailed || state.mMissing || state.mOtherCase ? kExitFailed : kExitOk;
}

}  // namespace cli
}  // namespace kivoparse
