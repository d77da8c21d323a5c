#pragma once
// The few operating-system services the command-line tool needs: whole-file
// reads, atomic file replacement, directory creation and raw writes to
// standard output. Everything is byte for byte: no text mode, no encoding.
#include <cstdint>
#include <string>
#include <vector>

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
// the new one, never part of it. Creates missing parent directories. A new
// file gets the usual permissions; a replaced file keeps its own.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error);

// Creates path and its missing parents ("mkdir -p").
bool MakeDirectories(const std::string& path, std::string& error);

// Appends nothing; opens path for appending (creating it) to learn early
// whether the trace can be written there.
bool CheckAppendable(const std::string& path, std::string& error);

enum class EWriteResult { Ok, ClosedPipe, Failed };

// Writes all of data to the standard output. A reader that went away
// (EPIPE) is told apart from other failures, whose reason fills error.
EWriteResult WriteStdout(const char* data, std::size_t size, std::string& error);

// Writes a text to the standard error as it is; failures are ignored.
void WriteStderr(const std::string& text);

bool StderrIsTerminal();

// Identifies a directory (device and inode), so a walk can pass over the
// output directory. Returns false when path is no directory.
struct SDirectoryId {
    std::uint64_t mDevice = 0;
    std::uint64_t mInode = 0;
    bool operator==(const SDirectoryId& other) const {
        return mDevice == other.mDevice && mInode == other.mInode;
    }
};
bool GetDirectoryId(const std::string& path, SDirectoryId& id);

// One name in a directory. Symbolic links to files count as files; links to
// directories are passed over (a walk that follows them could loop forever),
// and so are devices, sockets and pipes.
enum class EEntryKind { File, Directory, Skipped };
struct SDirEntry {
    std::string mName;
    EEntryKind mKind = EEntryKind::Skipped;
    SDirectoryId mId;  // set for directories
};
bool ListDirectory(const std::string& path, std::vector<SDirEntry>& entries, std::string& error);

// Called once, first thing in main: a closed pipe becomes an EPIPE error of
// write instead of a signal, the standard streams are put into binary mode,
// and the process's umask is noted for new output files.
void InitProcessIO();

}  // namespace cli
}  // namespace kivoparse
