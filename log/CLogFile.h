#pragma once
#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>

namespace kivoparse {

// The diagnostic trace file. Off until a path is set; from then on every
// Log call appends exactly one line (open, append, close), so nothing is
// held open between lines and nothing is left to flush. A sink set in its
// place receives each line instead, without its line feed.
class CLogFile {
public:
    CLogFile() = default;
    virtual ~CLogFile();

    // Stores a private copy of the name, up to its first NUL. Opens nothing.
    void SetPath(const char* fileName);
    // Lines go to sink from now on; an empty sink turns the trace off.
    void SetSink(std::function<void(std::string_view line)> sink);

    // True once a path is set. Callers on hot paths test this first, so a
    // trace call without a file costs one test and no formatting.
    bool IsOn() const { return mHasPath; }

    void Log(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void LogV(const char* format, va_list args);

private:
    std::string mFileName;
    std::function<void(std::string_view line)> mSink;
    bool mHasPath = false;  // on: to the file, or to mSink when it is set
};

// The path from an engine to the control's log. The engine
// holds a pointer to the link, never to the log, and owns neither.
class CLogLink {
public:
    virtual ~CLogLink() = default;
    CLogFile* mLog = nullptr;
};

}  // namespace kivoparse
