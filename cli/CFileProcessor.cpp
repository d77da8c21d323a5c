#include "cli/CFileProcessor.h"

#include <exception>
#include <new>

#include "cli/SystemIO.h"
#include "cli/ValueFormat.h"

namespace kivoparse {
namespace cli {

CFileProcessor::CFileProcessor(const SOptions& options, const SMap& map, bool multi)
    : mOptions(options), mMap(map), mMulti(multi) {
    // The base and the log stay set for every parse of this control.
    if (options.mHasBase) mCtrl.SetDocumentBase(options.mBase);
    if (options.mHasLog) mCtrl.SetLogFile(options.mLogPath);
}

void CFileProcessor::Process(const SInput& input, SJobResult& result) {
    result = SJobResult{};
    try {
        Run(input, result);
    } catch (const std::bad_alloc&) {
        result = SJobResult{};
        result.mFailed = true;
        result.mError = "not enough memory to parse it";
    } catch (const std::exception& e) {
        result = SJobResult{};
        result.mFailed = true;
        result.mError = std::string("internal error: ") + e.what();
    }
}

void CFileProcessor::Run(const SInput& input, SJobResult& result) {
    if (!input.mError.empty()) {
        result.mFailed = true;
        result.mError = input.mError;
        return;
    }
    std::string text;
    if (!ReadWholeFile(input.mPath, text, result.mError)) {
        result.mFailed = true;
        return;
    }
    mCtrl.ParseHTML(text);
    std::string().swap(text);  // the tree holds the document now

    std::string output;
    switch (mOptions.mCommand) {
        case ECommand::Html:
            output = mCtrl.GetHTML();
            break;
        case ECommand::Images:
            output = FormatValues(mCtrl.GetImages(), mOptions.mFormat, mMulti, input.mPath);
            break;
        case ECommand::Hrefs:
            output = FormatValues(mCtrl.GetHrefs(), mOptions.mFormat, mMulti, input.mPath);
            break;
        case ECommand::FixImages:
            mCtrl.FixImages(mMap.mOld, mMap.mNew);
            output = mCtrl.GetHTML();
            break;
        case ECommand::FixHrefs:
            mCtrl.FixHrefs(mMap.mOld, mMap.mNew);
            output = mCtrl.GetHTML();
            break;
    }

    if (!mOptions.mHasOut) {
        result.mOutput = std::move(output);
        return;
    }
    std::string target = mOptions.mOutDir;
    if (target.back() != '/') target += '/';
    target += input.mOutPath;
    if (!WriteFileAtomically(target, output, result.mError)) result.mFailed = true;
}

}  // namespace cli
}  // namespace kivoparse
