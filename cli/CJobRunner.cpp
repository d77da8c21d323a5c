#include "cli/CJobRunner.h"

#include <chrono>
#include <exception>
#include <system_error>
#include <thread>

namespace kivoparse {
namespace cli {

CJobRunner::CJobRunner(const std::vector<SInput>& inputs, unsigned jobs, std::size_t window,
                       CProgressBar& progress)
    : mInputs(inputs), mJobs(jobs), mWindow(window < 1 ? 1 : window), mProgress(progress), mSlots(inputs.size()) {}

// A worker takes the next input while it lies inside the window, parses it
// with its own processor, and files the result in the input's slot.
void CJobRunner::Work(CFileProcessor& processor) {
    for (;;) {
        std::size_t index;
        {
            std::unique_lock<std::mutex> lock(mMutex);
            mWorkReady.wait(lock, [&] {
                return mStop || mNextClaim >= mInputs.size() || mNextClaim < mNextEmit + mWindow;
            });
            if (mStop || mNextClaim >= mInputs.size()) return;
            index = mNextClaim++;
        }
        SJobResult result;
        processor.Process(mInputs[index], result);
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mSlots[index].mResult = std::move(result);
            mSlots[index].mDone = true;
            ++mCompleted;
            if (mSlots[index].mResult.mFailed) ++mFailed;
        }
        mSlotDone.notify_all();
    }
}

bool CJobRunner::Run(const FMakeProcessor& makeProcessor, const FEmit& emit, std::string& error) {
    unsigned count = mJobs;
    if (count > mInputs.size()) count = static_cast<unsigned>(mInputs.size());
    if (count == 0) return true;

    // Each worker owns its processor; they are made here so that a failure
    // to make one is seen before any thread runs.
    std::vector<std::unique_ptr<CFileProcessor>> processors;
    for (unsigned i = 0; i < count; ++i) processors.push_back(makeProcessor());

    std::vector<std::thread> threads;
    for (unsigned i = 0; i < count; ++i) {
        try {
            CFileProcessor* processor = processors[i].get();
            threads.emplace_back([this, processor] { Work(*processor); });
        } catch (const std::system_error& e) {
            if (threads.empty()) {
                error = std::string("cannot start a worker thread: ") + e.what();
                return false;
            }
            break;  // fewer workers than asked still finish the work
        }
    }

    // Results are emitted strictly in input order; the progress bar is
    // redrawn while waiting for the next one.
    std::unique_lock<std::mutex> lock(mMutex);
    while (mNextEmit < mInputs.size()) {
        mProgress.Update(mCompleted, mInputs.size(), mFailed);
        if (!mSlots[mNextEmit].mDone) {
            mSlotDone.wait_for(lock, std::chrono::milliseconds(100));
            continue;
        }
        std::size_t index = mNextEmit++;
        SJobResult result = std::move(mSlots[index].mResult);
        mSlots[index].mResult = SJobResult{};
        lock.unlock();
        mWorkReady.notify_all();
        if (result.mFailed) mProgress.Clear();
        bool goOn = false;
        try {
            goOn = emit(mInputs[index], result);
        } catch (...) {
            // The workers are stopped and joined before the error travels on.
            StopAndJoin(threads);
            throw;
        }
        lock.lock();
        if (!goOn) break;
    }
    lock.unlock();
    StopAndJoin(threads);
    return true;
}

void CJobRunner::StopAndJoin(std::vector<std::thread>& threads) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mWorkReady.notify_all();
    for (std::thread& thread : threads) {
        if (thread.joinable()) thread.join();
    }
    mProgress.Clear();
}

}  // namespace cli
}  // namespace kivoparse
