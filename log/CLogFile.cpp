#include "log/CLogFile.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace kivoparse {

CLogFile::~CLogFile() = default;

void CLogFile::SetPath(const char* fileName) {
    // The stored copy ends at the first NUL, like the C string it came from.
    mFileName.assign(fileName ? fileName : "");
    mSink = nullptr;
    mHasPath = true;
}

void CLogFile::SetSink(std::function<void(std::string_view line)> sink) {
    mSink = std::move(sink);
    mHasPath = static_cast<bool>(mSink);
}

void CLogFile::Log(const char* format, ...) {
    if (!mHasPath) return;
    va_list args;
    va_start(args, format);
    LogV(format, args);
    va_end(args);
}

// One line: formatted into 100 bytes first; a text of 100 characters or more
// is formatted again into 1001 bytes and cut at 1000. The line is the text up
// to its first NUL (a %c of 0 ends it), then one line feed.
void CLogFile::LogV(const char* format, va_list args) {
    if (!mHasPath) return;

    va_list again;
    va_copy(again, args);
    char small[100];
    char large[1001];
    const char* line = small;
    int n = std::vsnprintf(small, sizeof small, format, args);
    if (n < 0 || n > 99) {
        n = std::vsnprintf(large, sizeof large, format, again);
        if (n < 0) large[0] = '\0';
        large[1000] = '\0';
        line = large;
    }
    va_end(again);

    if (mSink) {
        mSink(std::string_view(line));  // up to the first NUL, as in the file
        return;
    }
    std::FILE* file = std::fopen(mFileName.c_str(), "a");
    if (!file) return;  // dropped; the next line tries again
    std::fprintf(file, "%s\n", line);
    std::fclose(file);
}

}  // namespace kivoparse
