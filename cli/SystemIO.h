#pragma once
// The operating-system services of the command-line tool: whole-file reads,
// atomic file replacement, raw writes to the standard streams, and the file
// of the parser's trace. Everything is byte for byte: no text mode, no encoding.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#include <kivoparse/kivoparse.h>

namespace kivoparse {
namespace cli {

// Inputs are limited by the parser's 32-bit input length: 2 GiB or more is refused.
constexpr std::uint64_t kMaxInputBytes = 0x7FFFFFFFu;

// Names an input in messages; "-" is the standard input.
std::string DisplayName(const std::string& path);

// Reads every byte of path ("-": the standard input). On failure fills
// error with the reason (no file name) and returns false.
bool ReadWholeFile(const std::string& path, std::string& data, std::string& error);

// Writes to path by way of a temporary file in the same directory that
// is renamed over path once complete, so a reader sees either the old file or
// the new one, never part of it. Creates missing parent directories. A
// replaced regular file keeps its permissions; anything else (a new file, a
// symbolic link, which is replaced and not written through) gets the usual ones.
// write hands the bytes to the sink it is given, in pieces.
bool WriteFileAtomically(const std::string& path, const std::function<void(const ByteSink&)>& write,
                         std::string& error);

// Creates path and its missing parents ("mkdir -p").
bool MakeDirectories(const std::string& path, std::string& error);

// True when path and input name one existing file (input "-": the standard input).
bool SameFile(const std::string& path, const std::string& input);

enum class EWriteResult { Ok, ClosedPipe, Failed };

// Writes all of data to the standard output. A reader that went away
// (EPIPE) is told apart from other failures, whose reason fills error.
EWriteResult WriteStdout(const std::string& data, std::string& error);

// Writes a text to the standard error as it is; failures are ignored.
void WriteStderr(const std::string& text);

bool IsTerminal(int fd);

// Opens /dev/null on each of the descriptors 0 to 2 that is closed, so that
// no file opened later takes its place and gets what was meant for it. It is
// opened for the other direction: a read or write still fails (EBADF), as on
// the closed descriptor. False when /dev/null cannot be opened.
bool GuardStandardDescriptors();

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files that
// WriteFileAtomically has in flight, and then end the process as the signal
// would have. Called before any other thread is started.
void RemoveTemporariesOnSignal();

// The message for a thread that could not be started.
std::string ThreadFailure(const std::system_error& failure);

// Called once, first thing in main: a closed pipe becomes an EPIPE error of
// write instead of a signal, and the umask is noted for new output files.
void InitProcessIO();

// A file the trace is appended to: lines are gathered and written in large
// pieces; after a write fails the rest is dropped, and Finish tells why.
class CAppendFile {
public:
    CAppendFile() = default;
    CAppendFile(const CAppendFile&) = delete;
    CAppendFile& operator=(const CAppendFile&) = delete;
    ~CAppendFile();

    // Opens path for appending, creating it.
    bool Open(const std::string& path, std::string& error);
    // Adds line and a line feed.
    void AppendLine(std::string_view line);
    // Writes what is left and closes; returns why writing failed, or "".
    std::string Finish();

private:
    void Flush();

    int mFd = -1;
    std::string mPending;
    int mError = 0;
};

}  // namespace cli
}  // namespace kivoparse
