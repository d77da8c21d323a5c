#pragma once
#include <cstdarg>
#include <string>

namespace kivoparse {

// The diagnostic trace file. Off until a path is set; from then on every
// Log call appends exactly one line (open, append, close), so nothing is
// held open between lines and nothing is left to flush.
class CLogFile {
public:
    CLogFile() = default;
    virtual ~CLogFile();

    // Stores a private copy of the name, up to its first NUL. Opens nothing.
    void SetPath(const char* fileName);

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
    bool mHasPath = false;
};

// The path from an engine (and its nodes) to the control's log. The engine
// holds a pointer to the link, never to the log, and owns neither.
class CLogLink {
public:
    virtual ~CLogLink() = default;
    CLogFile* mLog = nullptr;
};

}  // namespace kivoparse
