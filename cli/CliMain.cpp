// The run of one command: check everything that can be checked before any
// work (options, map file, log file, output directory, output paths), then
// hand the inputs to the workers and write their results in input order.
#include "cli/CliMain.h"

#include <map>
#include <memory>
#include <thread>

#include "cli/CCommandLine.h"
#include "cli/CFileProcessor.h"
#include "cli/CInputList.h"
#include "cli/CJobRunner.h"
#include "cli/CProgressBar.h"
#include "cli/SystemIO.h"

#include <unistd.h>

#ifndef KIVOPARSE_VERSION
#define KIVOPARSE_VERSION "unknown"
#endif

namespace kivoparse {
namespace cli {

namespace {

int UsageError(const SParseResult& parsed, const std::string& message) {
    WriteStderr("kivoparse: " + message + "\n" +
                CCommandLine::UsageText(parsed.mHasCommand, parsed.mOptions.mCommand));
    return kExitUsage;
}

// Help goes to the standard output, so it can be paged or searched.
int PrintToStdout(const std::string& text) {
    std::string error;
    if (WriteStdout(text.data(), text.size(), error) == EWriteResult::Failed) {
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
        return kExitFailed;
    }
    return kExitOk;
}

enum class EMapOutcome { Ok, Unreadable, BadLine };

// One pair per line, "old<TAB>new"; the first TAB splits, an empty last
// line is ignored, every other byte (CR and NUL included) is kept.
EMapOutcome LoadMap(const std::string& path, SMap& map, std::string& message) {
    std::string text;
    std::string error;
    if (!ReadWholeFile(path, text, error)) {
        message = DisplayName(path) + ": " + error;
        return EMapOutcome::Unreadable;
    }
    std::size_t start = 0;
    std::size_t lineNumber = 0;
    while (start < text.size()) {
        ++lineNumber;
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t tab = text.find('\t', start);
        if (tab == std::string::npos || tab > end) {
            message = DisplayName(path) + ": line " + std::to_string(lineNumber) +
                      " has no TAB; each line must be old value, TAB, new value";
            return EMapOutcome::BadLine;
        }
        map.mOld.push_back(text.substr(start, tab - start));
        map.mNew.push_back(text.substr(tab + 1, end - tab - 1));
        start = end + 1;
    }
    return EMapOutcome::Ok;
}

std::string JoinOut(const std::string& dir, const std::string& relative) {
    return dir.back() == '/' ? dir + relative : dir + "/" + relative;
}

}  // namespace

int CliMain(const std::vector<std::string>& args) {
    InitProcessIO();

    SParseResult parsed = CCommandLine::Parse(args);
    switch (parsed.mOutcome) {
        case EParseOutcome::Help:
            return PrintToStdout(CCommandLine::HelpText(parsed.mHasCommand, parsed.mOptions.mCommand));
        case EParseOutcome::Version:
            return PrintToStdout(std::string("kivoparse ") + KIVOPARSE_VERSION + "\n");
        case EParseOutcome::UsageError:
            return UsageError(parsed, parsed.mMessage);
        case EParseOutcome::Run:
            break;
    }
    const SOptions& options = parsed.mOptions;

    SMap map;
    if (options.mHasMap) {
        std::string message;
        switch (LoadMap(options.mMapPath, map, message)) {
            case EMapOutcome::Ok: break;
            case EMapOutcome::Unreadable: WriteStderr("kivoparse: " + message + "\n"); return kExitFailed;
            case EMapOutcome::BadLine: return UsageError(parsed, message);
        }
    }

    if (options.mHasLog) {
        std::string error;
        if (!CheckAppendable(options.mLogPath, error)) {
            WriteStderr("kivoparse: cannot open log file '" + options.mLogPath + "': " + error + "\n");
            return kExitFailed;
        }
    }

    // The output directory is never read as input, should it lie inside a walked tree.
    SDirectoryId outId;
    bool hasOutId = options.mHasOut && GetDirectoryId(options.mOutDir, outId);
    std::vector<std::string> notes;
    std::vector<SInput> inputs = CInputList::Expand(options, hasOutId ? &outId : nullptr, notes);
    for (const std::string& note : notes) WriteStderr("kivoparse: " + note + "\n");

    if (options.mHasOut) {
        // Two inputs that would land on one output file are refused before anything is written.
        std::map<std::string, const SInput*> targets;
        for (SInput& input : inputs) {
            if (!input.mError.empty()) continue;
            if (input.mOutPath.empty()) {
                input.mError = "has no file name to write under --out";
                continue;
            }
            auto placed = targets.emplace(input.mOutPath, &input);
            if (!placed.second) {
                return UsageError(parsed, "'" + placed.first->second->mPath + "' and '" + input.mPath +
                                              "' would both be written to '" +
                                              JoinOut(options.mOutDir, input.mOutPath) + "'");
            }
        }
        std::string error;
        if (!MakeDirectories(options.mOutDir, error)) {
            WriteStderr("kivoparse: --out " + options.mOutDir + ": " + error + "\n");
            return kExitFailed;
        }
    }

    unsigned jobs = options.mJobs;
    if (jobs == 0) jobs = std::thread::hardware_concurrency();
    if (jobs == 0) jobs = 1;
    bool multi = options.mOperands.size() > 1 || options.mRecursive;
    // Results bound for the standard output wait in memory until their turn:
    // the workers may run only a little ahead of the writer.
    std::size_t window = options.mHasOut ? inputs.size() : std::size_t{4} * jobs;
    bool stdoutIsTerminal = !options.mHasOut && ::isatty(STDOUT_FILENO) == 1;
    CProgressBar progress(StderrIsTerminal() && inputs.size() > 1 && !stdoutIsTerminal);

    bool anyFailed = false;
    bool writeFailed = false;
    auto emit = [&](const SInput& input, SJobResult& result) {
        if (result.mFailed) {
            WriteStderr("kivoparse: " + DisplayName(input.mPath) + ": " + result.mError + "\n");
            anyFailed = true;
            return true;
        }
        std::string error;
        switch (WriteStdout(result.mOutput.data(), result.mOutput.size(), error)) {
            case EWriteResult::Ok: return true;
            case EWriteResult::ClosedPipe: return false;  // the reader has all it wanted
            case EWriteResult::Failed:
                WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
                writeFailed = true;
                return false;
        }
        return false;
    };
    auto makeProcessor = [&] { return std::make_unique<CFileProcessor>(options, map, multi); };

    CJobRunner runner(inputs, jobs, window, progress);
    std::string error;
    if (!runner.Run(makeProcessor, emit, error)) {
        WriteStderr("kivoparse: " + error + "\n");
        return kExitFailed;
    }
    return anyFailed || writeFailed ? kExitFailed : kExitOk;
}

}  // namespace cli
}  // namespace kivoparse
