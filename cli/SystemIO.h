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

// Writes the bytes that write hands to its sink to a temporary file beside
// path, renamed over path once complete: a reader sees the old file or the
// new one, never a part. Creates missing directories (unless makeFolders is
// false: then a missing folder is an error). A replaced regular file
// keeps its permissions; a new file or a symbolic link (replaced, not written
// through) gets those of a new file.
bool WriteFileAtomically(const std::string& path, const std::function<void(const ByteSink&)>& write,
                         std::string& error, bool makeFolders = true);

// A file written in two steps, for a change of many files at once: first
// every new text into a temporary file beside its target (flushed, with
// the target's permissions), then, once all are written, each renamed over
// its target. Until then a signal removes the temporary files.
// StageFile fills temp with its name.
bool StageFile(const std::string& path, std::string_view bytes, std::string& temp, std::string& error);
// The same for a symbolic link to target, staged beside path.
bool StageLink(const std::string& path, const std::string& target, std::string& temp, std::string& error);
// The staged file temp is now at renamed (a folder holding it was moved).
void RenameStaged(const std::string& temp, const std::string& renamed);
// Renames temp over path; false with error, temp then kept.
bool CommitStaged(const std::string& temp, const std::string& path, std::string& error);
void RemoveStaged(const std::string& temp);

// Runs step with the removal on a signal held off: a SIGINT, SIGTERM or
// SIGHUP that comes meanwhile acts once step is done, on the temporary
// files still staged then. For a change of many files that must not stop
// half-way.
void WithoutInterruption(const std::function<void()>& step);

// Renames from to to, on one file system; to must not exist. A change of
// letter case only goes through a temporary name, so that a file system
// that ignores case does it too.
bool RenamePath(const std::string& from, const std::string& to, std::string& error);

// Creates path and its missing parents ("mkdir -p").
bool MakeDirectories(const std::string& path, std::string& error);

// True when path and input name one existing file (input "-": the standard input).
bool SameFile(const std::string& path, const std::string& input);

enum class EWriteResult { Ok, ClosedPipe, Failed };

// Writes all of data to the standard output. A reader that went away
// (EPIPE) is told apart from other failures, whose reason fills error.
EWriteResult WriteStdout(std::string_view data, std::string& error);

// Writes a text to the standard error as it is; failures are ignored.
void WriteStderr(std::string_view text);

bool IsTerminal(int fd);

// Opens /dev/null on each of the descriptors 0 to 2 that is closed, so that no
// file opened later gets what was meant for it; opened the other way round,
// so that reading or writing still fails (EBADF) as on the closed one.
bool GuardStandardDescriptors();

// SIGINT, SIGTERM and SIGHUP then remove the temporary files in flight and
// end the process as the signal would have. Called before any other thread.
void RemoveTemporariesOnSignal();

// The message for a thread that could not be started.
std::string ThreadFailure(const std::system_error& failure);

// Called once, first thing in main: a closed pipe becomes an EPIPE error of
// write instead of a signal, and the umask is noted for new output files.
void InitProcessIO();

// The file the trace is appended to, a line at a time; after a write fails
// the rest is dropped, and Finish tells why.
class CAppendFile {
public:
    bool Open(const std::string& path, std::string& error);  // for appending, created if missing
    void AppendLine(std::string_view line);                   // line and a line feed
    std::string Finish();  // closes; why writing failed, or ""
    ~CAppendFile() { Finish(); }

private:
    int mFd = -1;
    int mError = 0;
};

}  // namespace cli
}  // namespace kivoparse
