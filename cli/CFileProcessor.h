#pragma once
// The work on one document: read, parse, collect or rewrite, write. Each
// worker thread owns one processor and with it its own control object.
#include <string>
#include <vector>

#include "cli/CCommandLine.h"
#include "cli/CInputList.h"
#include "control/CKIVOParseCtrl.h"

namespace kivoparse {
namespace cli {

// The pairs of a map file: mOld[i] is replaced by mNew[i].
struct SMap {
    std::vector<std::string> mOld;
    std::vector<std::string> mNew;
};

struct SJobResult {
    bool mFailed = false;
    std::string mOutput;  // for the standard output
    std::string mError;   // the reason, when failed
};

class CFileProcessor {
public:
    // multi: values are written with the name of their input (several inputs).
    CFileProcessor(const SOptions& options, const SMap& map, bool multi);
    CFileProcessor(const CFileProcessor&) = delete;
    CFileProcessor& operator=(const CFileProcessor&) = delete;

    // Never throws: whatever goes wrong is the input's failure and its reason.
    void Process(const SInput& input, SJobResult& result);

private:
    void Run(const SInput& input, SJobResult& result);

    const SOptions& mOptions;
    const SMap& mMap;
    bool mMulti;
    CKIVOParseCtrl mCtrl;
};

}  // namespace cli
}  // namespace kivoparse
