#include "cli/CJobRunner.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <system_error>

#include "cli/SystemIO.h"

namespace kivoparse {
namespace cli {

CCoreGate::CCoreGate() : mFree(std::max(1u, std::thread::hardware_concurrency())) {}

void CCoreGate::lock() {
    std::unique_lock<std::mutex> lock(mMutex);
    mFreed.wait(lock, [this] { return mFree > 0; });
    --mFree;
}

void CCoreGate::unlock() {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        ++mFree;
    }
    mFreed.notify_one();
}

CJobRunner::CJobRunner(const std::vector<SInput>& inputs, unsigned jobs, std::size_t window, bool progress)
    : mInputs(inputs), mJobs(jobs), mWindow(window < 1 ? 1 : window), mProgress(progress), mSlots(inputs.size()) {}

// A worker takes the next input while it lies inside the window, parses it
// with its own parser, and files the result in the input's slot. Whatever
// goes wrong with one input is that input's failure; the others go on.
// After running out of memory the parser is dropped, and with it whatever it
// held; the next input gets a new one.
void CJobRunner::Work(const FProcess& process) {
    std::unique_ptr<Parser> parser;
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
        bool wakeWriter = false;
        try {
            if (!parser) parser = std::make_unique<Parser>();
            result = process(*parser, mInputs[index]);
        } catch (const std::bad_alloc&) {
            parser.reset();
            result.mFailed = result.mOutOfMemory = true;
        } catch (const std::exception& e) {
            result = SJobResult{true, std::string(), std::string("internal error: ") + e.what()};
        }
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mSlots[index].mResult = std::move(result);
            mSlots[index].mDone = true;
            ++mCompleted;
            if (mSlots[index].mResult.mFailed) ++mFailed;
            // Only the writer waits on this, and only for the oldest result.
            wakeWriter = index == mNextEmit;
        }
        if (wakeWriter) mSlotDone.notify_one();
    }
}

bool CJobRunner::Run(const FProcess& process, const FEmit& emit, std::string& error) {
    std::vector<std::thread> threads;
    // One input is parsed on this thread: its memory then comes from the
    // main heap, which grows in large steps, where a thread's own heap grows
    // a page range at a time (a big page would spend much of its time there).
    // The number of workers is settled before the first starts: from then on
    // the claims belong to the workers and are read only under the mutex.
    std::size_t workers = mInputs.size() == 1 ? 0 : std::min<std::size_t>(mJobs, mInputs.size());
    if (mInputs.size() == 1) Work(process);
    for (std::size_t i = 0; i < workers; ++i) {
        try {
            threads.emplace_back([this, &process] { Work(process); });
        } catch (const std::system_error& e) {
            if (threads.empty()) {
                error = ThreadFailure(e);
                return false;
            }
            break;  // fewer workers than asked still finish the work
        }
    }

    // Results are emitted strictly in input order; the progress bar is
    // redrawn while waiting for the next one.
    std::unique_lock<std::mutex> lock(mMutex);
    while (mNextEmit < mInputs.size()) {
        DrawProgress();
        if (!mSlots[mNextEmit].mDone) {
            mSlotDone.wait_for(lock, std::chrono::milliseconds(100));
            continue;
        }
        std::size_t index = mNextEmit++;
        SJobResult result = std::move(mSlots[index].mResult);
        mSlots[index].mResult = SJobResult{};
        lock.unlock();
        // One result written frees one place in the window: one worker can
        // go on. Waking them all would only send the others back to sleep.
        mWorkReady.notify_one();
        if (result.mFailed) ClearProgress();
        bool goOn = false;
        try {
            goOn = emit(mInputs[index], result);
        } catch (...) {
            StopAndJoin(threads);  // the workers end before the error travels on
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
    ClearProgress();
}

// Called with the mutex held.
void CJobRunner::DrawProgress() {
    auto now = std::chrono::steady_clock::now();
    if (!mProgress || (mProgressShown && now - mLastDraw < std::chrono::milliseconds(100))) return;
    mLastDraw = now;
    constexpr std::size_t kWidth = 30;
    std::size_t filled = mCompleted * kWidth / mInputs.size();
    std::string line = "\rkivoparse: [" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
                       std::to_string(mCompleted) + "/" + std::to_string(mInputs.size()) + " files";
    if (mFailed > 0) line += ", " + std::to_string(mFailed) + " failed";
    WriteStderr(line + "\x1b[K");  // erase what a longer earlier line left
    mProgressShown = true;
}

void CJobRunner::ClearProgress() {
    if (!mProgressShown) return;
    WriteStderr("\r\x1b[K");
    mProgressShown = false;
}

}  // namespace cli
}  // namespace kivoparse
