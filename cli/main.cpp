// kivoparse: the command-line face of the parser. A run checks everything
// that can be checked before any work (options, map file, log file, output
// directory, output paths), then hands the inputs to the workers and writes
// their results in input order.
#include <algorithm>
#include <exception>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <kivoparse/kivoparse.h>

#include "cli/CCommandLine.h"
#include "cli/CJobRunner.h"
#include "cli/InputList.h"
#include "cli/SystemIO.h"
#include "cli/ValueFormat.h"

#ifndef KIVOPARSE_VERSION
#define KIVOPARSE_VERSION "unknown"
#endif

namespace kivoparse {
namespace cli {

namespace {

// Exit status of the tool.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an input could not be read or an output not written
constexpr int kExitUsage = 2;   // the command line was wrong; nothing was done

// The pairs of a map file: mOld[i] is replaced by mNew[i].
struct SMap {
    std::vector<std::string> mOld;
    std::vector<std::string> mNew;
};

int UsageError(const SParseResult& parsed, const std::string& message) {
    WriteStderr("kivoparse: " + message + "\n" + UsageText(parsed.mHasCommand, parsed.mOptions.mCommand));
    return kExitUsage;
}

int Fail(const std::string& message) {
    WriteStderr("kivoparse: " + message + "\n");
    return kExitFailed;
}

// Help goes to the standard output, so it can be paged or searched.
int PrintToStdout(const std::string& text) {
    std::string error;
    if (WriteStdout(text, error) == EWriteResult::Failed) return Fail("cannot write to standard output: " + error);
    return kExitOk;
}

// One pair per line, "old<TAB>new"; the first TAB splits, an empty last
// line is ignored, every other byte (CR and NUL included) is kept. Returns
// the exit status for a map that cannot be used, or kExitOk.
int LoadMap(const SParseResult& parsed, SMap& map) {
    const std::string& path = parsed.mOptions.mMapPath;
    std::string text;
    std::string error;
    if (!ReadWholeFile(path, text, error)) {
        if (error.compare(0, 14, "is a directory") == 0) error = "is a directory; the map must be a file";
        return Fail(DisplayName(path) + ": " + error);
    }
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < text.size(); ++lineNumber) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t tab = text.find('\t', start);
        if (tab == std::string::npos || tab > end) {
            return UsageError(parsed, DisplayName(path) + ": line " + std::to_string(lineNumber + 1) +
                                          " has no TAB; each line must be old value, TAB, new value");
        }
        map.mOld.push_back(text.substr(start, tab - start));
        map.mNew.push_back(text.substr(tab + 1, end - tab - 1));
        start = end + 1;
    }
    return kExitOk;
}

std::string OutTarget(const SOptions& options, const SInput& input) {
    return options.mOutDir + (options.mOutDir.back() == '/' ? "" : "/") + input.mOutPath;
}

// The work on one document: read, parse, collect or rewrite, and write the
// result under --out or hand it back for the standard output.
SJobResult Process(const SOptions& options, const UrlMap& map, const std::string& logName, bool multi,
                   Parser& parser, const SInput& input) {
    SJobResult result{true, std::string(), input.mError};
    std::string text;
    if (!input.mError.empty() || !ReadWholeFile(input.mPath, text, result.mError)) return result;
    result.mFailed = false;
    parser.SetDocumentBase(options.mHasBase ? options.mBase : std::string());
    if (!logName.empty()) parser.SetLogFile(logName);
    parser.ParseHTML(std::move(text));  // the parser takes the bytes as they are, no copy

    switch (options.mCommand) {
        case ECommand::Images:
            return {false, FormatValues(parser.GetImages(), options.mFormat, multi, input.mPath), std::string()};
        case ECommand::Hrefs:
            return {false, FormatValues(parser.GetHrefs(), options.mFormat, multi, input.mPath), std::string()};
        case ECommand::FixImages: parser.FixImages(map); break;
        case ECommand::FixHrefs: parser.FixHrefs(map); break;
        case ECommand::Html: break;
    }
    if (!options.mHasOut && !multi) {
        // The one document for the standard output is written as the writer
        // walks the tree, in pieces: its whole text is never held.
        struct SStop {};
        result.mWritten = true;
        try {
            parser.WriteHTML([&result](std::string_view piece) {
                result.mWriteResult = WriteStdout(piece, result.mError);
                if (result.mWriteResult != EWriteResult::Ok) throw SStop{};
            });
        } catch (const SStop&) {
        }
        return result;
    }
    result.mOutput = parser.GetHTML();
    if (options.mHasOut) {
        result.mFailed = !WriteFileAtomically(OutTarget(options, input), result.mOutput, result.mError);
        result.mOutput.clear();
    }
    return result;
}

// Refuses, before anything is written, two inputs that would land on one
// output file; an input with no name to write under gets its failure.
bool CheckOutTargets(const SParseResult& parsed, std::vector<SInput>& inputs, std::string& message) {
    std::map<std::string, const SInput*> targets;
    for (SInput& input : inputs) {
        if (!input.mError.empty()) continue;
        if (input.mOutPath.empty()) {
            input.mError = "has no file name to write under --out";
            continue;
        }
        auto placed = targets.emplace(input.mOutPath, &input);
        if (!placed.second) {
            message = "'" + placed.first->second->mPath + "' and '" + input.mPath + "' would both be written to '" +
                      OutTarget(parsed.mOptions, input) + "'";
            return false;
        }
    }
    return true;
}

int Run(const std::vector<std::string>& args) {
    InitProcessIO();
    SParseResult parsed = ParseCommandLine(args);
    switch (parsed.mOutcome) {
        case EParseOutcome::Help: return PrintToStdout(HelpText(parsed.mHasCommand, parsed.mOptions.mCommand));
        case EParseOutcome::Version: return PrintToStdout(std::string("kivoparse ") + KIVOPARSE_VERSION + "\n");
        case EParseOutcome::UsageError: return UsageError(parsed, parsed.mMessage);
        case EParseOutcome::Run: break;
    }
    const SOptions& options = parsed.mOptions;
    const std::string& log = options.mLogPath;
    std::string input = options.mOperands.empty() ? "-" : options.mOperands.front();
    if (!log.empty() && SameFile(log, input)) {
        return UsageError(parsed, "--log names the input '" + DisplayName(input) +
                                      "': the trace would be appended to the document being read");
    }
    SMap pairs;
    if (!options.mMapPath.empty()) {
        if (int status = LoadMap(parsed, pairs)) return status;
    }
    // Indexed once here and only read by the workers, whatever the number
    // of documents.
    const UrlMap map(std::move(pairs.mOld), std::move(pairs.mNew));
    CLogRelay relay;
    std::string error;
    if (!log.empty() && !relay.Open(log, error)) return Fail("cannot open log file '" + log + "': " + error);

    std::vector<std::string> notes;
    std::vector<SInput> inputs = ExpandInputs(options, notes);
    for (const std::string& note : notes) WriteStderr("kivoparse: " + note + "\n");
    if (options.mHasOut) {
        if (!CheckOutTargets(parsed, inputs, error)) return UsageError(parsed, error);
        if (!MakeDirectories(options.mOutDir, error)) return Fail("--out " + options.mOutDir + ": " + error);
    }

    unsigned jobs = options.mJobs != 0 ? options.mJobs : std::max(1u, std::thread::hardware_concurrency());
    bool multi = options.mOperands.size() > 1 || options.mRecursive;
    // Results bound for the standard output wait in memory until their turn:
    // the workers may run only a little ahead of the writer.
    std::size_t window = options.mHasOut ? inputs.size() : std::size_t{4} * jobs;
    bool stdoutIsTerminal = !options.mHasOut && IsTerminal(1);
    CJobRunner runner(inputs, jobs, window, IsTerminal(2) && inputs.size() > 1 && !stdoutIsTerminal);

    bool anyFailed = false;
    auto emit = [&](const SInput& in, SJobResult& result) {
        if (result.mFailed) {
            anyFailed = true;
            WriteStderr("kivoparse: " + DisplayName(in.mPath) + ": " + result.mError + "\n");
            return true;
        }
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
    std::string logName = log.empty() ? std::string() : relay.PipeName();
    auto process = [&](Parser& parser, const SInput& in) { return Process(options, map, logName, multi, parser, in); };
    if (!runner.Run(process, emit, error)) return Fail(error);
    if (!log.empty() && !(error = relay.Finish()).empty()) {
        return Fail("cannot write to log file '" + log + "': " + error);
    }
    return anyFailed ? kExitFailed : kExitOk;
}

}  // namespace

}  // namespace cli
}  // namespace kivoparse

int main(int argc, char** argv) {
    try {
        return kivoparse::cli::Run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)));
    } catch (const std::bad_alloc&) {
        kivoparse::cli::WriteStderr("kivoparse: out of memory\n");
    } catch (const std::exception& e) {
        kivoparse::cli::WriteStderr(std::string("kivoparse: internal error: ") + e.what() + "\n");
    }
    return 1;
}
