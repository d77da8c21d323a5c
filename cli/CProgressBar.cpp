#include "cli/CProgressBar.h"

#include <string>

#include "cli/SystemIO.h"

namespace kivoparse {
namespace cli {

void CProgressBar::Update(std::size_t done, std::size_t total, std::size_t failed, bool force) {
    if (!mEnabled || total == 0) return;
    auto now = std::chrono::steady_clock::now();
    if (mShown && !force && now - mLastDraw < std::chrono::milliseconds(100)) return;
    mLastDraw = now;

    constexpr std::size_t kWidth = 30;
    std::size_t filled = done * kWidth / total;
    std::string line = "\rkivoparse: [";
    line.append(filled, '#');
    line.append(kWidth - filled, '.');
    line += "] " + std::to_string(done) + "/" + std::to_string(total) + " files";
    if (failed > 0) line += ", " + std::to_string(failed) + " failed";
    line += "\x1b[K";  // erase what a longer earlier line left
    WriteStderr(line);
    mShown = true;
}

void CProgressBar::Clear() {
    if (!mShown) return;
    WriteStderr("\r\x1b[K");
    mShown = false;
}

}  // namespace cli
}  // namespace kivoparse
