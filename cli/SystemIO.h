#pragma once
// The operating-system services of the command-line tool: whole-file reads,
// atomic file replacement, raw writes to the standard streams, and the relay
// of the parser's trace. Everything is byte for byte: no text mode, no encoding.
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

namespace kivoparse {
namespace cli {

// Inputs are limited by the parser's 32-bit input length: 2 GiB or more is refused.
constexpr std::uint64_t kMaxInputBytes = 0x7FFFFFFFu;

// Names an input in messages; "-" is the standard input.
std::string DisplayName(const std::string& path);

// Reads every byte of path ("-": the standard input). On failure fills
// error with the reason (no file name) and returns false.
bool ReadWholeFile(const std::string& path, std::string& data, std::string& error);

// Writes data to path by way of a temporary file in the same directory that
// is renamed over path once complete, so a reader sees either the old file or
// the new one, never part of it. Creates missing parent directories. A
// replaced regular file keeps its permissions; anything else (a new file, a
// symbolic link, which is replaced and not written through) gets the usual ones.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error);

// Creates path and its missing parents ("mkdir -p").
bool MakeDirectories(const std::string& path, std::string& error);

// True when path and input name one existing file (input "-": the standard input).
bool SameFile(const std::string& path, const std::string& input);

enum class EWriteResult { Ok, ClosedPipe, Failed };

// Writes all of data to the standard output. A reader that went away
// (EPIPE) is told apart from other failures, whose reason fills error.
EWriteResult WriteStdout(std::string_view data, std::string& error);

// Writes a text to the standard error as it is; failures are ignored.
void WriteStderr(const std::string& text);

bool IsTerminal(int fd);

// Called once, first thing in main: a closed pipe becomes an EPIPE error of
// write instead of a signal, and the umask is noted for new output files.
void InitProcessIO();

// The parser appends its trace to a file by name and drops the lines it
// cannot write. The tool names the write end of a pipe instead, and a thread
// copies the trace to the real file: a write that fails (a full disk) is seen.
class CLogRelay {
public:
    CLogRelay() = default;
    CLogRelay(const CLogRelay&) = delete;
    CLogRelay& operator=(const CLogRelay&) = delete;
    ~CLogRelay();

    // Opens path for appending (creating it) and starts the copying.
    bool Open(const std::string& path, std::string& error);
    // The name for the parser's SetLogFile.
    std::string PipeName() const;
    // Waits until every line is copied; returns why writing failed, or "".
    std::string Finish();

private:
    int mFile = -1;
    int mPipe[2] = {-1, -1};
    std::thread mCopier;
    std::string mPath;  // set when the parser must write the file itself
    std::string mError;
};

}  // namespace cli
}  // namespace kivoparse
