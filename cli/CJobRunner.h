#pragma once
// Parses the inputs on several worker threads, each with a parser of its
// own, and hands the results back in input order, on the calling thread.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <kivoparse/kivoparse.h>

#include "cli/InputList.h"
#include "cli/SystemIO.h"

namespace kivoparse {
namespace cli {

struct SJobResult {
    bool mFailed = false;
    std::string mOutput;  // for the standard output
    std::string mError;   // the reason, when failed
    bool mOutOfMemory = false;  // failed for want of memory: told by the writer, which may have some
    // Written to the standard output already, with this outcome (and mError
    // the reason when it failed).
    bool mWritten = false;
    EWriteResult mWriteResult = EWriteResult::Ok;
};

// Lets at most as many workers as there are cores compute at once; the
// others wait here, while reads and writes of files go on outside. Workers
// beyond the cores then cost little: they do not take turns on the cores
// with the one whose result the writer waits for.
// With std::unique_lock: lock() waits for a free core, unlock() frees it.
class CCoreGate {
public:
    CCoreGate();
    void lock();
    void unlock();

private:
    std::mutex mMutex;
    std::condition_variable mFreed;
    unsigned mFree;
};

class CJobRunner {
public:
    // Called on a worker thread; what it throws is the input's failure.
    using FProcess = std::function<SJobResult(Parser& parser, const SInput& input)>;
    // Called for each input in order; false stops the run (nothing more is emitted).
    using FEmit = std::function<bool(const SInput& input, SJobResult& result)>;

    // window: how far workers may run ahead of the oldest result not yet
    // emitted, which bounds the results held in memory at once. progress:
    // draw a progress bar on the standard error.
    CJobRunner(const std::vector<SInput>& inputs, unsigned jobs, std::size_t window, bool progress);

    // Returns false, with error set, when no worker thread could be started.
    bool Run(const FProcess& process, const FEmit& emit, std::string& error);

private:
    struct SSlot {
        bool mDone = false;
        SJobResult mResult;
    };

    void Work(const FProcess& process);
    void StopAndJoin(std::vector<std::thread>& threads);
    // Redraws the bar at most ten times a second; Clear removes it, so a message can take the line.
    void DrawProgress();
    void ClearProgress();

    const std::vector<SInput>& mInputs;
    unsigned mJobs;
    std::size_t mWindow;
    bool mProgress;
    bool mProgressShown = false;
    std::chrono::steady_clock::time_point mLastDraw{};

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
