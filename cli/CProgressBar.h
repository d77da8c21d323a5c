#pragma once
// A one-line progress bar on the standard error, redrawn in place.
#include <chrono>
#include <cstddef>

namespace kivoparse {
namespace cli {

class CProgressBar {
public:
    explicit CProgressBar(bool enabled) : mEnabled(enabled) {}

    // Redraws when at least a tenth of a second has passed (or force is set).
    void Update(std::size_t done, std::size_t total, std::size_t failed, bool force = false);
    // Removes the bar, so a message can take the line; the next Update draws it again.
    void Clear();

private:
    bool mEnabled;
    bool mShown = false;
    std::chrono::steady_clock::time_point mLastDraw{};
};

}  // namespace cli
}  // namespace kivoparse
