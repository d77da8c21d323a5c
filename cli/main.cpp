// kivoparse: the command-line face of the parser. A run is planned first:
// everything that can be checked before any work (options, map files, log
// file, output directory, output paths); then executed: the workers parse
// the inputs and the results are written in input order.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include <kivoparse/kivoparse.h>
#include <kivoparse/site.h>

#include "cli/CCommandLine.h"
#include "cli/CJobRunner.h"
#include "cli/FixSummary.h"
#include "cli/InputList.h"
#include "cli/MoveCommand.h"
#include "cli/SystemIO.h"
#include "cli/UrlCommands.h"
#include "cli/ValueFormat.h"

namespace kivoparse {
namespace cli {

// Said, with status 1, when the process cannot get the memory to begin at
// all: before main, and before the plan is made.
constexpr char kNoMemoryToStart[] =
    "kivoparse: not enough memory to start; is the address-space limit (ulimit -v) too low?\n";

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an input could not be read or an output not written
// check: 1 says what it found broken, so a failure to read or write is this.
constexpr int kExitCheckFailed = 3;

int FailedStatus(const SOptions& options) {
    return options.mCommand == ECommand::Check ? kExitCheckFailed : kExitFailed;
}

int Fail(const std::string& message, int status = kExitFailed) {
    WriteStderr("kivoparse: " + message + "\n");
    return status;
}

// What a run will do, settled before any input is parsed.
struct SPlan {
    SOptions mOptions;
    UrlMap mImages;  // indexed once here and only read by the workers
    UrlMap mHrefs;
    SiteMap mRules;  // fix --map
    std::optional<CCheckCommand> mCheck;
    std::optional<CAppendFile> mTrace;
    CCoreGate mCores;
    std::vector<SInput> mInputs;
    // fix --map: each input's path as the map's sections name it.
    std::vector<std::string> mSitePaths;
    // --out: the inputs whose result is not written, since another input
    // writes the same file (through a symbolic link, or directly); and the
    // file each result is written to when its target is a link.
    std::vector<bool> mWrittenElsewhere;
    std::vector<std::string> mWriteThrough;
    bool mMulti = false;  // the lists name their input
    CFixSummary mSummary;  // fix: counted by the workers, told at the end
};

// CR line ends and a byte order mark stay bytes of the values, as every
// other byte; the user is told, since they are most likely a mistake.
void WarnOfLineEnds(const std::string& path, const MapFile& map) {
    if (map.byteOrderMark) {
        WriteStderr("kivoparse: warning: " + DisplayName(path) +
                    " starts with a UTF-8 byte order mark; it is kept as the first bytes of the first old value\n");
    }
    if (map.crLfLines > 0) {
        WriteStderr("kivoparse: warning: " + DisplayName(path) + ": " + std::to_string(map.crLfLines) + " of " +
                    std::to_string(map.lineCount) +
                    " lines end in CR LF; each CR is kept as the last byte of its new value\n");
    }
}

// Reads the map file at path ("": none) in format and hands its lines to
// take; returns the exit status for a map that cannot be read or parsed,
// or kExitOk.
template <class FTake>
int ReadMap(const SOptions& options, const std::string& path, MapFormat format, FTake take) {
    if (path.empty()) return kExitOk;
    std::string text, error;
    if (!ReadWholeFile(path, text, error)) {
        bool directory = error.rfind("is a directory", 0) == 0;
        return Fail(DisplayName(path) + ": " + (directory ? "is a directory; the map must be a file" : error),
                    FailedStatus(options));
    }
    MapFile map;
    try {
        map = ReadMapFile(text, format);
    } catch (const MapError& bad) {
        return UsageError(options, DisplayName(path) + ": " + bad.what());
    }
    std::string().swap(text);  // the lines hold the values now
    WarnOfLineEnds(path, map);
    take(std::move(map));
    return kExitOk;
}

std::string OutTarget(const SOptions& options, const SInput& input) {
    return options.mOutDir + (options.mOutDir.back() == '/' ? "" : "/") + input.mOutPath;
}

// Refuses, before anything is written, two inputs that would land on one
// output file; an input with no name to write under gets its failure.
bool CheckOutTargets(const SOptions& options, std::vector<SInput>& inputs, std::string& message) {
    std::map<std::string, const SInput*> targets;
    for (SInput& input : inputs) {
        if (!input.mError.empty()) continue;
        if (input.mOutPath.empty()) {
            input.mError = "has no file name to write under --out";
            continue;
        }
        auto placed = targets.emplace(input.mOutPath, &input);
        if (!placed.second) {
            message = QuoteName(placed.first->second->mPath, true) + " and " + QuoteName(input.mPath, true) +
                      " would both be written to " + QuoteName(OutTarget(options, input), true);
            return false;
        }
    }
    return true;
}

// The checks of the operands against the options that CLI11 cannot make.
std::string OperandProblem(const SOptions& options) {
    std::size_t stdinCount = options.mOperands.empty() ? 1 : 0;
    for (const std::string& operand : options.mOperands) stdinCount += operand == "-" ? 1 : 0;
    bool mapFromStdin = options.mImagesMap == "-" || options.mHrefsMap == "-" || options.mRuleMap == "-";
    if (!options.mLogPath.empty() && options.mOperands.size() > 1) {
        return "--log takes a single input: the traces of several documents would interleave in one file";
    }
    if (stdinCount > 1 || (options.mImagesMap == "-" && options.mHrefsMap == "-")) {
        return "the standard input (\"-\") can be read only once";
    }
    if (options.mHasOut && stdinCount > 0) {
        return "--out needs named input files: the standard input has no path to write under DIR";
    }
    if (options.mKeepBytes && options.mHasBase) {
        return "--base changes the image values as they are read, so they cannot be edited in place; add "
               "--normalize to write the documents back normalised";
    }
    if (mapFromStdin && stdinCount > 0) {
        return "--map - reads the pairs from the standard input, so the documents must be named FILEs";
    }
    std::string input = options.mOperands.empty() ? "-" : options.mOperands.front();
    if (!options.mLogPath.empty() && SameFile(options.mLogPath, input)) {
        return "--log names the input " + (input == "-" ? "'standard input'" : QuoteName(input, true)) +
               ": the trace would be appended to the document being read";
    }
    return std::string();
}

// fix --map: the kinds the map was made for, unless --kinds or --all say
// otherwise; the path each input's section is found by (from the site root,
// or as given for a map that names it so); a warning for each section that
// no input has.
void PlanRuleMap(SPlan& plan) {
    SOptions& options = plan.mOptions;
    if (const std::optional<UrlKinds> made = plan.mRules.Kinds()) {
        if (!options.mKindsGiven) {
            options.mKinds = *made;
        } else if (!(*made == options.mKinds)) {
            WriteStderr("kivoparse: warning: " + DisplayName(options.mRuleMap) +
                        " was made for other kinds of URL (its @kinds line) than --kinds or --all ask for; "
                        "the URLs of the kinds asked for are rewritten\n");
        }
    }
    std::set<std::string> used;
    for (const SInput& input : plan.mInputs) {
        std::string path = SitePath(input.mPath, SiteRootOf(options, input));
        std::optional<std::string> section = plan.mRules.SectionFor(path);
        if (!section && (section = plan.mRules.SectionFor(input.mPath))) path = input.mPath;
        if (section) used.insert(*section);
        plan.mSitePaths.push_back(std::move(path));
    }
    for (const std::string& document : plan.mRules.Documents()) {
        if (used.count(document)) continue;
        WriteStderr("kivoparse: warning: " + DisplayName(options.mRuleMap) + ": no input is the document of the section " +
                    QuoteName(document, true) +
                    " (named from the site root: the directory operand or --root); its pairs are not used\n");
    }
}

// --out over the inputs themselves (in place): each file is written once.
// Where two inputs are one file (a page and a symbolic link to it), the one
// that names it directly writes it and the other is passed over; a link to
// a file no input names is written through when that file lies under the
// --out folder, so that it stays a link, and left alone with a warning when
// it lies outside. (An output that is not its input replaces a link found
// at its place.)
void PlanWrites(SPlan& plan) {
    namespace fs = std::filesystem;
    std::error_code failed;
    const fs::path outReal = fs::weakly_canonical(plan.mOptions.mOutDir, failed);
    auto inside = [&outReal, &failed](const fs::path& file) {
        if (failed) return false;
        const fs::path relative = file.lexically_relative(outReal);
        return !relative.empty() && *relative.begin() != "..";
    };
    const std::size_t count = plan.mInputs.size();
    plan.mWrittenElsewhere.assign(count, false);
    plan.mWriteThrough.assign(count, std::string());
    std::map<fs::path, std::size_t> writerOf;  // real file written in place: the input that writes it
    std::vector<fs::path> real(count);
    std::vector<bool> link(count, false);
    for (std::size_t i = 0; i < count; ++i) {
        const SInput& input = plan.mInputs[i];
        std::error_code error;
        const fs::path target = OutTarget(plan.mOptions, input);
        if (!input.mError.empty() || !fs::equivalent(target, input.mPath, error) || error) continue;
        link[i] = fs::is_symlink(target, error);
        real[i] = fs::canonical(target, error);
        if (error) continue;
        const auto placed = writerOf.emplace(real[i], i);
        if (!placed.second && link[placed.first->second] && !link[i]) placed.first->second = i;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (real[i].empty()) continue;
        if (writerOf[real[i]] != i) {
            plan.mWrittenElsewhere[i] = true;
        } else if (link[i] && inside(real[i])) {
            plan.mWriteThrough[i] = real[i].string();
        } else if (link[i]) {
            plan.mWrittenElsewhere[i] = true;
            std::error_code ignored;
            const std::string to = fs::read_symlink(OutTarget(plan.mOptions, plan.mInputs[i]), ignored).string();
            WriteStderr("kivoparse: warning: " + DisplayName(plan.mInputs[i].mPath) + " is a symbolic link to " +
                        QuoteName(to, true) + ", outside --out " + QuoteName(plan.mOptions.mOutDir, true) +
                        "; both are left as they are\n");
        }
    }
}

// Returns kExitOk with plan filled, or the exit status of a run that cannot start.
int Plan(SPlan& plan) {
    const SOptions& options = plan.mOptions;
    std::string problem = OperandProblem(options);
    if (!problem.empty()) return UsageError(options, problem);
    if (options.mHasOut) RemoveTemporariesOnSignal();
    auto pairs = [](UrlMap& map) { return [&map](MapFile file) { map = UrlMap(std::move(file.lines)); }; };
    if (int status = ReadMap(options, options.mImagesMap, MapFormat::Pairs, pairs(plan.mImages))) return status;
    if (int status = ReadMap(options, options.mHrefsMap, MapFormat::Pairs, pairs(plan.mHrefs))) return status;
    auto rules = [&plan](MapFile file) { plan.mRules = SiteMap(std::move(file)); };
    if (int status = ReadMap(options, options.mRuleMap, MapFormat::Sections, rules)) return status;
    std::string error;
    if (!options.mLogPath.empty() && !plan.mTrace.emplace().Open(options.mLogPath, error)) {
        return Fail("cannot open log file " + QuoteName(options.mLogPath, true) + ": " + error);
    }
    if (!options.mSuggestMap.empty()) {
        // The map is written at the end, into a folder that must be there now.
        const std::string& path = options.mSuggestMap;
        const std::size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        std::error_code ignored;
        if (!std::filesystem::is_directory(folder, ignored)) {
            return Fail("--suggest-map " + path + ": no folder " + QuoteName(folder, true) +
                            " to write it in; make the folder first",
                        kExitCheckFailed);
        }
    }
    std::vector<std::string> notes;
    plan.mInputs = ExpandInputs(options, notes);
    for (const std::string& note : notes) WriteStderr("kivoparse: " + note + "\n");
    if (options.mHasOut) {
        if (!CheckOutTargets(options, plan.mInputs, error)) return UsageError(options, error);
        if (!options.mDryRun && !MakeDirectories(options.mOutDir, error)) {
            return Fail("--out " + QuoteName(options.mOutDir, false) + ": " + error);
        }
    }
    plan.mMulti = options.mOperands.size() > 1 || options.mRecursive;
    // fix tells what it did when it ends, but for the image and link maps
    // without a new option, which stay as quiet as they always were.
    const bool told = !options.mRuleMap.empty() || options.mKeepBytes || options.mDryRun || options.mNormalize;
    if (options.mCommand == ECommand::Fix && told) plan.mSummary.Want(options.mDryRun);
    if (options.mCommand == ECommand::Check) plan.mCheck.emplace(options, plan.mInputs.size());
    if (!options.mRuleMap.empty()) PlanRuleMap(plan);
    if (options.mHasOut) PlanWrites(plan);
    return kExitOk;
}

// The target of input's result under --out: the real file when the
// target is a symbolic link, so that the link stays.
std::string WriteTarget(const SPlan& plan, const SInput& input, std::size_t index) {
    const std::string& through = plan.mWriteThrough[index];
    return through.empty() ? OutTarget(plan.mOptions, input) : through;
}

// Whether the file at path holds exactly the bytes write gives: read as the
// bytes come, stopping at the first difference, never held whole.
bool FileHolds(const std::string& path, const std::function<void(const ByteSink&)>& write) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    struct SDiffers {};
    std::string chunk;
    try {
        write([&](std::string_view bytes) {
            chunk.resize(bytes.size());
            if (!file.read(&chunk[0], static_cast<std::streamsize>(bytes.size())) || chunk != bytes) throw SDiffers{};
        });
    } catch (const SDiffers&) {
        return false;
    }
    return file.peek() == std::char_traits<char>::eof();
}

// The output of one document: to the standard output as it is written, kept
// for the writer (several inputs), or to its file under --out. fix leaves
// alone an output file that holds these bytes already.
void Deliver(const SPlan& plan, const SInput& input, std::size_t index, std::unique_lock<CCoreGate>& turn,
             const std::function<void(const ByteSink&)>& write, SJobResult& result) {
    const SOptions& options = plan.mOptions;
    if (!options.mHasOut && !plan.mMulti) {
        // The one document for the standard output is written as the writer
        // makes it, in pieces: its whole text is never held.
        struct SStop {};
        result.mWritten = true;
        try {
            write([&result](std::string_view piece) {
                result.mWriteResult = WriteStdout(piece, result.mError);
                if (result.mWriteResult != EWriteResult::Ok) throw SStop{};
            });
        } catch (const SStop&) {
        }
    } else if (!options.mHasOut) {
        write([&result](std::string_view piece) { result.mOutput.append(piece); });
    } else {
        turn.unlock();
        const std::string target = WriteTarget(plan, input, index);
        if (options.mCommand == ECommand::Fix && FileHolds(target, write)) return;
        result.mFailed = !WriteFileAtomically(target, write, result.mError);
    }
}

// fix with its summary, --keep-bytes or --dry-run, and fix-images and
// fix-hrefs with --keep-bytes: the new bytes as a byte-keeping rewrite (or
// the normalised tree) and the counts; text is the input.
SJobResult ProcessFix(SPlan& plan, Parser& parser, const SInput& input, std::size_t index, std::string text,
                      std::unique_lock<CCoreGate>& turn) {
    const SOptions& options = plan.mOptions;
    SJobResult result;
    KeptRewrite kept;
    if (options.mKeepBytes) {
        if (plan.mTrace) {
            // The trace is of the same reading as the rewrite's.
            parser.ParseHTML(text);
        }
        switch (options.mCommand) {
            case ECommand::FixImages:
                kept = RewriteKeepingBytes(text, UrlKind::Image, plan.mImages, options.mRawText);
                break;
            case ECommand::FixHrefs: kept = RewriteKeepingBytes(text, UrlKind::Link, plan.mHrefs, options.mRawText); break;
            default:
                if (!options.mRuleMap.empty()) {
                    kept = plan.mRules.RewriteKeepingBytes(text, options.mKinds, plan.mSitePaths[index], options.mRawText);
                } else {
                    kept = RewriteKeepingBytes(text, UrlKinds(UrlKind::Image) | UrlKind::Link,
                                               [&plan](UrlKind kind, std::string_view url) {
                                                   return (kind == UrlKind::Image ? plan.mImages : plan.mHrefs).Apply(url);
                                               },
                                               options.mRawText);
                }
                break;
        }
    } else {
        // Normalised, as without the summary; the whole text is one change.
        parser.SetDocumentBase(options.mHasBase ? options.mBase : std::string());
        parser.ParseHTML(text);
        if (options.mRuleMap.empty()) parser.Rewrite(plan.mImages, plan.mHrefs);
        else plan.mRules.Rewrite(parser, options.mKinds, plan.mSitePaths[index]);
        kept.html = parser.GetHTML();
        if (kept.html != text) kept.edits.push_back(UrlEdit{0, text.size(), kept.html, UrlKind::Image});
    }
    plan.mSummary.Add(kept, !options.mKeepBytes);
    if (options.mDryRun) {
        result.mOutput = UnifiedDiff(input.mPath, text, kept);
        return result;
    }
    text = std::string();
    auto write = [&kept](const ByteSink& sink) { sink(kept.html); };
    Deliver(plan, input, index, turn, write, result);
    return result;
}

// A stylesheet: its URLs listed or collected for the check, or rewritten in
// place, every byte but those of the URLs changed kept.
SJobResult ProcessStylesheet(SPlan& plan, const SInput& input, std::size_t index, const std::string& text) {
    const SOptions& options = plan.mOptions;
    switch (options.mCommand) {
        case ECommand::Urls:
            return {false, OccurrenceLines(input, StylesheetUrls(options, text), options.mFormat == EListFormat::Json),
                    std::string()};
        case ECommand::Check:
            plan.mCheck->CollectStylesheet(index, text);
            return {false, std::string(), std::string()};
        default: break;
    }
    const SiteMap& rules = plan.mRules;
    const std::string& document = plan.mSitePaths[index];
    const KeptRewrite kept =
        options.mKinds.Has(UrlKind::Css)
            ? RewriteCssKeepingBytes(text, [&](UrlKind, std::string_view url) { return rules.Apply(document, url); })
            : KeptRewrite{};
    const std::string& out = kept.Changed() ? kept.html : text;
    if (plan.mSummary.Wanted()) plan.mSummary.AddStylesheet(kept);
    if (options.mDryRun) return {false, UnifiedDiff(input.mPath, text, kept), std::string()};
    SJobResult result{false, std::string(), std::string()};
    if (!options.mHasOut) {
        result.mOutput = out;
    } else if (kept.Changed() || WriteTarget(plan, input, index) != input.mPath) {
        result.mFailed = !WriteFileAtomically(WriteTarget(plan, input, index),
                                              [&out](const ByteSink& sink) { sink(out); }, result.mError);
    }
    return result;
}

// The work on one document: read, parse, collect or rewrite, and write the
// result under --out or hand it back for the standard output.
SJobResult Process(SPlan& plan, Parser& parser, const SInput& input) {
    const SOptions& options = plan.mOptions;
    const auto index = static_cast<std::size_t>(&input - plan.mInputs.data());
    SJobResult result{true, std::string(), input.mError};
    // A file another input writes is neither read nor written: in place, it
    // would be read after that input rewrote it, and rewritten once more.
    if (input.mError.empty() && options.mHasOut && plan.mWrittenElsewhere[index]) return {false, {}, {}};
    std::string text;
    if (!input.mError.empty() || !ReadWholeFile(input.mPath, text, result.mError)) return result;
    result.mFailed = false;
    if (IsStylesheet(options, input)) return ProcessStylesheet(plan, input, index, text);
    std::unique_lock<CCoreGate> turn(plan.mCores);  // given back before the output file is written
    parser.SetRawText(options.mRawText);
    if (plan.mTrace) parser.SetTraceSink([&plan](std::string_view line) { plan.mTrace->AppendLine(line); });
    if (options.mKeepBytes || (options.mCommand == ECommand::Fix && plan.mSummary.Wanted())) {
        return ProcessFix(plan, parser, input, index, std::move(text), turn);
    }
    parser.SetDocumentBase(options.mHasBase ? options.mBase : std::string());
    parser.ParseHTML(std::move(text));  // the parser takes the bytes as they are, no copy

    switch (options.mCommand) {
        case ECommand::Images:
            return {false, FormatValues(parser.GetImages(), options.mFormat, plan.mMulti, input.mPath), std::string()};
        case ECommand::Hrefs:
            return {false, FormatValues(parser.GetHrefs(), options.mFormat, plan.mMulti, input.mPath), std::string()};
        case ECommand::FixImages: parser.FixImages(plan.mImages); break;
        case ECommand::FixHrefs: parser.FixHrefs(plan.mHrefs); break;
        case ECommand::Urls:
            return {false, OccurrenceLines(input, parser.GetUrlOccurrences(options.mKinds),
                                           options.mFormat == EListFormat::Json),
                    std::string()};
        case ECommand::Check:
            plan.mCheck->Collect(index, parser);
            return {false, std::string(), std::string()};
        case ECommand::Fix:
            if (options.mRuleMap.empty()) parser.Rewrite(plan.mImages, plan.mHrefs);
            else plan.mRules.Rewrite(parser, options.mKinds, plan.mSitePaths[index]);
            break;
        case ECommand::Html:
        case ECommand::Move: break;
    }
    Deliver(plan, input, index, turn, [&parser](const ByteSink& sink) { parser.WriteHTML(sink); }, result);
    return result;
}

int Execute(SPlan& plan) {
    const SOptions& options = plan.mOptions;
    unsigned jobs = options.mJobs != 0 ? options.mJobs : std::max(1u, std::thread::hardware_concurrency());
    // Results bound for the standard output wait in memory until their turn:
    // the workers may run only a little ahead of the writer.
    std::size_t window = options.mHasOut ? plan.mInputs.size() : std::size_t{4} * jobs;
    bool stdoutIsTerminal = !options.mHasOut && IsTerminal(1);
    CJobRunner runner(plan.mInputs, jobs, window, IsTerminal(2) && plan.mInputs.size() > 1 && !stdoutIsTerminal);

    bool anyFailed = false;
    std::string error;
    auto emit = [&](const SInput& in, SJobResult& result) {
        if (result.mFailed) {
            anyFailed = true;
            std::string reason = result.mOutOfMemory ? "not enough memory to parse it" : result.mError;
            WriteStderr("kivoparse: " + DisplayName(in.mPath) + ": " + reason + "\n");
            return true;
        }
        if (plan.mCheck) result.mOutput = plan.mCheck->Check(static_cast<std::size_t>(&in - plan.mInputs.data()), in);
        if (result.mWritten) error = result.mError;
        switch (result.mWritten ? result.mWriteResult : WriteStdout(result.mOutput, error)) {
            case EWriteResult::Ok: return true;
            case EWriteResult::ClosedPipe: return false;  // the reader has all it wanted
            case EWriteResult::Failed: break;
        }
        anyFailed = true;
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
        return false;
    };
    auto process = [&plan](Parser& parser, const SInput& in) { return Process(plan, parser, in); };
    if (!runner.Run(process, emit, error)) return Fail(error, FailedStatus(options));
    if (plan.mTrace && !(error = plan.mTrace->Finish()).empty()) {
        return Fail("cannot write to log file " + QuoteName(options.mLogPath, true) + ": " + error);
    }
    if (plan.mSummary.Wanted()) WriteStderr(plan.mSummary.Text());
    if (plan.mCheck) {
        const ECheckEnd end = plan.mCheck->Finish();
        if (anyFailed || end == ECheckEnd::NotWritten) return kExitCheckFailed;
        return end == ECheckEnd::Problems ? kExitFailed : kExitOk;
    }
    return anyFailed ? kExitFailed : kExitOk;
}

// Static objects of the command-line reader allocate before main. Under an
// address-space limit that leaves no room for them, not even the exception
// that says so can be made, and the run would end in std::terminate: before
// main it ends with a message and status 1 instead.
bool bMainStarted = false;
std::terminate_handler gDefaultTerminate = nullptr;
[[noreturn]] void TerminateBeforeMain() {
    if (!bMainStarted) {
        [[maybe_unused]] const ssize_t written = ::write(2, kNoMemoryToStart, sizeof kNoMemoryToStart - 1);
        ::_exit(kExitFailed);
    }
    if (gDefaultTerminate) gDefaultTerminate();
    std::abort();
}
struct STerminateBeforeMain {
    STerminateBeforeMain() { gDefaultTerminate = std::set_terminate(TerminateBeforeMain); }
} const gTerminateBeforeMain __attribute__((init_priority(101)));

int Run(int argc, char** argv) {
    // "--version" and "--help" are answered while the command line is read,
    // which needs little: the heap grows by what is asked once it cannot
    // take its usual step (StartHeapUnderTightLimit, below).
    SPlan plan;
    if (int status = ParseCommandLine(argc, argv, plan.mOptions); status >= 0) return status;
    // Under an address-space limit that leaves the heap no room, even the
    // message about running out of memory could not be made later on.
    void* probe = std::malloc(std::size_t{256} << 10);
    std::free(probe);
    if (!probe) {
        WriteStderr(kNoMemoryToStart);
        return kExitFailed;
    }
    if (plan.mOptions.mCommand == ECommand::Move) return RunMove(plan.mOptions);
    if (int status = Plan(plan)) return status;
    return Execute(plan);
}

}  // namespace

}  // namespace cli
}  // namespace kivoparse

#if defined(__GLIBC__)
#include <malloc.h>
#include <unistd.h>

// Runs before the static objects of the tool are built (CLI11 builds its
// validators on the heap before main). glibc grows the heap by what is asked
// and 128 KiB more; under an address-space limit just above what the loader
// needs, that step fails, the validators' allocation throws, and with no
// memory left for the exception the process would abort. Then the heap grows
// by what is asked only, which is enough for "--version" and "--help"; with
// not even that, the tool says so.
__attribute__((constructor(101))) static void StartHeapUnderTightLimit() {
    void* probe = std::malloc(1);
    if (!probe) {
        ::mallopt(M_TOP_PAD, 0);
        probe = std::malloc(1);
    }
    if (!probe) {
        kivoparse::cli::WriteStderr(kivoparse::cli::kNoMemoryToStart);
        ::_exit(1);
    }
    std::free(probe);
}
#endif

int main(int argc, char** argv) {
    kivoparse::cli::bMainStarted = true;
    if (!kivoparse::cli::GuardStandardDescriptors()) return 1;
    kivoparse::cli::InitProcessIO();
    try {
        return kivoparse::cli::Run(argc, argv);
    } catch (const std::bad_alloc&) {
        kivoparse::cli::WriteStderr("kivoparse: out of memory\n");
    } catch (const std::system_error& e) {  // only a thread start throws it
        kivoparse::cli::WriteStderr("kivoparse: " + kivoparse::cli::ThreadFailure(e) + "\n");
    } catch (const std::exception& e) {
        kivoparse::cli::WriteStderr(std::string("kivoparse: internal error: ") + e.what() + "\n");
    }
    return 1;
}
