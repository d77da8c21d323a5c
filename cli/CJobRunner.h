#pragma once
// Parses the inputs on several worker threads and hands the results back
// in input order, on the calling thread.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/CFileProcessor.h"
#include "cli/CInputList.h"
#include "cli/CProgressBar.h"

namespace kivoparse {
namespace cli {

class CJobRunner {
public:
    using FMakeProcessor = std::function<std::unique_ptr<CFileProcessor>()>;
    // Called for each input in order; false stops the run (nothing more is emitted).
    using FEmit = std::function<bool(const SInput& input, SJobResult& result)>;

    // window: how far workers may run ahead of the oldest result not yet
    // emitted, which bounds the results held in memory at once.
    CJobRunner(const std::vector<SInput>& inputs, unsigned jobs, std::size_t window, CProgressBar& progress);

    // Returns false, with error set, when no worker thread could be started.
    bool Run(const FMakeProcessor& makeProcessor, const FEmit& emit, std::string& error);

private:
    struct SSlot {
        bool mDone = false;
        SJobResult mResult;
    };

    void Work(CFileProcessor& processor);
    void StopAndJoin(std::vector<std::thread>& threads);

    const std::vector<SInput>& mInputs;
    unsigned mJobs;
    std::size_t mWindow;
    CProgressBar& mProgress;

    std::mutex mMutex;
    std::condition_variable mWorkReady;  // workers wait for room in the window
    std::condition_variable mSlotDone;   // the caller waits for the next result
    std::vector<SSlot> mSlots;
    std::size_t mNextClaim = 0;
    std::size_t mNextEmit = 0;
    std::size_t mCompleted = 0;
    std::size_t mFailed = 0;
    bool mStop = false;
};

}  // namespace cli
}  // namespace kivoparse
