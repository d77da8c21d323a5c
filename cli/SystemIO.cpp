// POSIX file and stream services of the command-line tool. Raw descriptors
// throughout: no stdio buffering to flush or lose, no text-mode translation.
#include "cli/SystemIO.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kivoparse {
namespace cli {

namespace {

mode_t gNewFileMode = 0644;

std::string ErrnoText(int error) { return std::strerror(error); }

// Closes a descriptor when the scope ends.
struct SFd {
    int mFd;
    ~SFd() {
        if (mFd >= 0) ::close(mFd);
    }
};

// Returns 0, or the errno of the write that failed.
int WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        // Some systems refuse single writes of 2 GiB or more.
        ssize_t n = ::write(fd, data, size < (std::size_t{1} << 30) ? size : (std::size_t{1} << 30));
        if (n < 0 && errno != EINTR) return errno;
        if (n < 0) continue;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string TooLargeText(std::uint64_t size) {
    return "too large (" + std::to_string(size) +
           " bytes); the parser takes at most 2147483647 bytes (just under 2 GiB)";
}

}  // namespace

std::string DisplayName(const std::string& path) { return path == "-" ? "standard input" : path; }

bool ReadWholeFile(const std::string& path, std::string& data, std::string& error) {
    data.clear();
    bool isStdin = path == "-";
    int opened = isStdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (opened < 0) {
        error = ErrnoText(errno);
        return false;
    }
    SFd fd{isStdin ? -1 : opened};
    struct stat info {};
    if (::fstat(opened, &info) != 0) {
        error = ErrnoText(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = "is a directory (give -r to read the files under it)";
        return false;
    }
    // A regular file says its size up front: refuse a large one before reading it.
    if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > kMaxInputBytes) {
        error = TooLargeText(static_cast<std::uint64_t>(info.st_size));
        return false;
    }
    // Read straight into the string; pipes and growing files are counted as they come.
    std::size_t size = 0;
    data.resize(S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) + 1 : std::size_t{1} << 16);
    for (;;) {
        if (size == data.size()) data.resize(size * 2);
        ssize_t n = ::read(opened, &data[size], data.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0) error = ErrnoText(errno);
            break;
        }
        size += static_cast<std::size_t>(n);
        if (size > kMaxInputBytes) {
            error = TooLargeText(size);
            break;
        }
    }
    if (!error.empty()) {
        std::string().swap(data);
        return false;
    }
    data.resize(size);  // shrinking only: a large input is not copied once more
    return true;
}

bool MakeDirectories(const std::string& path, std::string& error) {
    // Each prefix in turn; a prefix made meanwhile by another worker is fine.
    std::string::size_type pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string prefix = path.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0777) == 0) continue;
        int saved = errno;
        struct stat info {};
        if (::stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
        error = "cannot create directory '" + prefix + "': " + ErrnoText(saved == EEXIST ? ENOTDIR : saved);
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& data, std::string& error) {
    std::string::size_type slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (!MakeDirectories(dir, error)) return false;

    // The temporary file sits beside the target, so the rename stays on one file system.
    std::string temp = dir + "/." + path.substr(slash + 1) + ".kivoparse-XXXXXX";
    SFd fd{::mkstemp(&temp[0])};
    if (fd.mFd < 0) {
        error = "cannot create a temporary file in '" + dir + "': " + ErrnoText(errno);
        return false;
    }
    // A replaced file keeps its permissions. A symbolic link is replaced, not
    // written through, so its target's permissions do not count.
    mode_t mode = gNewFileMode;
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode = old.st_mode & 07777;

    int code = WriteAll(fd.mFd, data.data(), data.size());
    const char* step = "cannot write";
    if (code == 0 && ::fchmod(fd.mFd, mode) != 0) {
        code = errno;
        step = "cannot set the permissions of";
    }
    int closing = fd.mFd;
    fd.mFd = -1;
    if (code == 0 && ::fsync(closing) != 0) code = errno;
    if (::close(closing) != 0 && code == 0) code = errno;
    if (code == 0 && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    error = code == 0 ? "cannot replace '" + path + "': " + ErrnoText(errno)
                      : std::string(step) + " '" + temp + "': " + ErrnoText(code);
    ::unlink(temp.c_str());
    return false;
}

bool SameFile(const std::string& path, const std::string& input) {
    struct stat one {}, two {};
    return ::stat(path.c_str(), &one) == 0 &&
           (input == "-" ? ::fstat(STDIN_FILENO, &two) : ::stat(input.c_str(), &two)) == 0 &&
           one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}

EWriteResult WriteStdout(std::string_view data, std::string& error) {
    int code = WriteAll(STDOUT_FILENO, data.data(), data.size());
    if (code == 0) return EWriteResult::Ok;
    if (code == EPIPE) return EWriteResult::ClosedPipe;
    error = ErrnoText(code);
    return EWriteResult::Failed;
}

void WriteStderr(const std::string& text) { (void)WriteAll(STDERR_FILENO, text.data(), text.size()); }

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

void InitProcessIO() {
    ::signal(SIGPIPE, SIG_IGN);
    mode_t mask = ::umask(0);
    ::umask(mask);
    gNewFileMode = 0666 & ~mask;
}

CLogRelay::~CLogRelay() { Finish(); }

bool CLogRelay::Open(const std::string& path, std::string& error) {
    mFile = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (mFile < 0 || ::pipe(mPipe) != 0) {
        error = ErrnoText(errno);
        return false;
    }
    ::fcntl(mPipe[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(mPipe[1], F_SETFD, FD_CLOEXEC);
    // Without /dev/fd the parser writes the file itself, and failures go unseen.
    SFd probe{::open(PipeName().c_str(), O_WRONLY | O_CLOEXEC)};
    if (probe.mFd < 0) {
        mPath = path;
        return true;
    }
    // After the first failed write the rest is read and dropped: the parser
    // must never wait on a full pipe.
    mCopier = std::thread([this] {
        std::vector<char> buffer(1 << 16);
        for (;;) {
            ssize_t n = ::read(mPipe[0], buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            int code = mError.empty() ? WriteAll(mFile, buffer.data(), static_cast<std::size_t>(n)) : 0;
            if (code != 0) mError = ErrnoText(code);
        }
    });
    return true;
}

std::string CLogRelay::PipeName() const { return mPath.empty() ? "/dev/fd/" + std::to_string(mPipe[1]) : mPath; }

std::string CLogRelay::Finish() {
    if (mPipe[1] >= 0) ::close(mPipe[1]);
    mPipe[1] = -1;
    if (mCopier.joinable()) mCopier.join();
    for (int* fd : {&mPipe[0], &mFile}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    return mError;
}

}  // namespace cli
}  // namespace kivoparse
