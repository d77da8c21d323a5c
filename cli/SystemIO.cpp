// POSIX file and stream services of the command-line tool. Raw descriptors
// throughout: no stdio buffering to flush or lose, no text-mode translation.
#include "cli/SystemIO.h"

#include "cli/ValueFormat.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

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

// The temporary files in flight, for the signal thread to remove. Made
// once and never destroyed: the signal thread may use it until the very end.
struct STemporaries {
    std::recursive_mutex mMutex;  // recursive: WithoutInterruption holds it around steps that take it
    std::set<std::string> mPaths;
};
STemporaries& Temporaries() {
    static STemporaries* temporaries = new STemporaries;
    return *temporaries;
}

// mkstemp, and the name recorded in the same step: a signal finds every
// temporary file that exists.
int CreateTemporary(std::string& pattern) {
    std::lock_guard<std::recursive_mutex> lock(Temporaries().mMutex);
    int fd = ::mkstemp(&pattern[0]);
    if (fd >= 0) Temporaries().mPaths.insert(pattern);
    return fd;
}

// Forgets the temporary file when the scope ends (renamed or removed by then).
struct STemporaryGone {
    const std::string& mPath;
    ~STemporaryGone() {
        std::lock_guard<std::recursive_mutex> lock(Temporaries().mMutex);
        Temporaries().mPaths.erase(mPath);
    }
};

std::string TooLargeText(std::uint64_t size) {
    return "too large (" + std::to_string(size) +
           " bytes); the parser takes at most 2147483647 bytes (just under 2 GiB)";
}

// Backs the pages of a large buffer about to be filled in one call instead
// of a page fault at each first touch (Linux 5.14 and later; elsewhere, or
// on pages already backed, nothing happens).
void PrefaultBuffer(char* buffer, std::size_t size) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr std::uintptr_t kPage = 4096;
    const auto address = reinterpret_cast<std::uintptr_t>(buffer);
    const std::uintptr_t from = (address + kPage - 1) & ~(kPage - 1), to = (address + size) & ~(kPage - 1);
    if (size >= (std::size_t{1} << 20) && from < to) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)buffer;
    (void)size;
#endif
}

}  // namespace

std::string DisplayName(const std::string& path) { return path == "-" ? "standard input" : QuoteName(path, false); }

std::string ThreadFailure(const std::system_error& failure) {
    return std::string("cannot start a thread: ") + failure.code().message() +
           " (a resource limit is too low: address space, ulimit -v, or processes, ulimit -u)";
}

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
    const std::size_t expected = S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) + 1 : std::size_t{1} << 16;
    data.reserve(expected);
    PrefaultBuffer(&data[0], data.capacity());
    data.resize(expected);
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
    if (error.empty()) data.resize(size);  // shrinking only: a large input is not copied once more
    else std::string().swap(data);
    return error.empty();
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
        error = "cannot create directory " + QuoteName(prefix, true) + ": " +
                ErrnoText(saved == EEXIST ? ENOTDIR : saved);
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::function<void(const ByteSink&)>& write,
                         std::string& error, bool makeFolders) {
    std::string::size_type slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (!makeFolders) {
        struct stat info {};
        if (::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            error = "no folder " + QuoteName(dir, true) + " to write it in; make the folder first";
            return false;
        }
    } else if (!MakeDirectories(dir, error)) {
        return false;
    }

    // The temporary file sits beside the target, so the rename stays on one file system.
    std::string temp = dir + "/." + path.substr(slash + 1) + ".kivoparse-XXXXXX";
    SFd fd{CreateTemporary(temp)};
    STemporaryGone gone{temp};
    if (fd.mFd < 0) {
        error = "cannot create a temporary file in " + QuoteName(dir, true) + ": " + ErrnoText(errno);
        return false;
    }
    // A replaced file keeps its permissions. A symbolic link is replaced, not
    // written through, so its target's permissions do not count.
    struct stat old {};
    mode_t mode = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? old.st_mode & 07777 : gNewFileMode;

    int code = 0;
    try {
        write([&](std::string_view bytes) {
            if (code == 0) code = WriteAll(fd.mFd, bytes.data(), bytes.size());
        });
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
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
    error = code == 0 ? "cannot replace " + QuoteName(path, true) + ": " + ErrnoText(errno)
                      : std::string(step) + " " + QuoteName(temp, true) + ": " + ErrnoText(code);
    ::unlink(temp.c_str());
    return false;
}

bool StageFile(const std::string& path, std::string_view bytes, std::string& temp, std::string& error) {
    const std::string::size_type slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    temp = dir + "/." + path.substr(slash + 1) + ".kivoparse-XXXXXX";
    SFd fd{CreateTemporary(temp)};
    if (fd.mFd < 0) {
        error = "cannot create a temporary file in " + QuoteName(dir, true) + ": " + ErrnoText(errno);
        return false;
    }
    struct stat old {};
    const mode_t mode = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? old.st_mode & 07777 : gNewFileMode;
    int code = WriteAll(fd.mFd, bytes.data(), bytes.size());
    if (code == 0 && ::fchmod(fd.mFd, mode) != 0) code = errno;
    if (code == 0 && ::fsync(fd.mFd) != 0) code = errno;
    const int closing = fd.mFd;
    fd.mFd = -1;
    if (::close(closing) != 0 && code == 0) code = errno;
    if (code == 0) return true;
    error = "cannot write " + QuoteName(temp, true) + ": " + ErrnoText(code);
    RemoveStaged(temp);
    return false;
}

bool StageLink(const std::string& path, const std::string& target, std::string& temp, std::string& error) {
    // mkstemp reserves a name; the link takes its place.
    if (!StageFile(path, std::string_view(), temp, error)) return false;
    if (::unlink(temp.c_str()) == 0 && ::symlink(target.c_str(), temp.c_str()) == 0) return true;
    error = "cannot make a symbolic link " + QuoteName(temp, true) + ": " + ErrnoText(errno);
    RemoveStaged(temp);
    return false;
}

void RenameStaged(const std::string& temp, const std::string& renamed) {
    std::lock_guard<std::recursive_mutex> lock(Temporaries().mMutex);
    Temporaries().mPaths.erase(temp);
    Temporaries().mPaths.insert(renamed);
}

bool CommitStaged(const std::string& temp, const std::string& path, std::string& error) {
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + QuoteName(path, true) + ": " + ErrnoText(errno);
        return false;
    }
    std::lock_guard<std::recursive_mutex> lock(Temporaries().mMutex);
    Temporaries().mPaths.erase(temp);
    return true;
}

void RemoveStaged(const std::string& temp) {
    std::lock_guard<std::recursive_mutex> lock(Temporaries().mMutex);
    ::unlink(temp.c_str());
    Temporaries().mPaths.erase(temp);
}

namespace {

// rename() that fails (EEXIST) rather than replace what appeared at to
// meanwhile, where the system can say so.
int RenameNoReplace(const std::string& from, const std::string& to) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
    return ::rename(from.c_str(), to.c_str());
}

}  // namespace

void WithoutInterruption(const std::function<void()>& step) {
    std::lock_guard<std::recursive_mutex> lock(Temporaries().mMutex);
    step();
}

bool RenamePath(const std::string& from, const std::string& to, std::string& error) {
    // rename() replaces an existing file: refuse here rather than lose one.
    struct stat info {}, same {};
    const bool caseOnly = ::lstat(to.c_str(), &info) == 0 && ::lstat(from.c_str(), &same) == 0 &&
                          info.st_dev == same.st_dev && info.st_ino == same.st_ino;
    if (::lstat(to.c_str(), &info) == 0 && !caseOnly) {
        error = QuoteName(to, true) + " exists already";
        return false;
    }
    std::string through = to;
    auto fold = [](std::string text) {
        for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        return text;
    };
    if (fold(from) == fold(to)) {
        // A file system that ignores case may take the rename for nothing to
        // do: the name goes through another one first.
        through = to + ".kivoparse-mv-" + std::to_string(::getpid());
        if (::lstat(through.c_str(), &info) == 0) {
            error = QuoteName(through, true) + " exists already";
            return false;
        }
    }
    if (RenameNoReplace(from, through) != 0) {
        error = "cannot rename " + QuoteName(from, true) + " to " + QuoteName(through, true) + ": " + ErrnoText(errno);
        return false;
    }
    if (through == to) return true;
    if (RenameNoReplace(through, to) == 0) return true;
    error = "cannot rename " + QuoteName(through, true) + " to " + QuoteName(to, true) + ": " + ErrnoText(errno);
    if (::rename(through.c_str(), from.c_str()) != 0) {
        error += "; it is left as " + QuoteName(through, true);
    }
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

void WriteStderr(std::string_view text) { (void)WriteAll(STDERR_FILENO, text.data(), text.size()); }

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

bool GuardStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is fd itself.
        if (::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY) != fd) return false;
    }
    return true;
}

void RemoveTemporariesOnSignal() {
    sigset_t signals;
    sigemptyset(&signals);
    // A signal ignored from the start (a background job's SIGINT, nohup's
    // SIGHUP) stays ignored.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) sigaddset(&signals, signal);
    }
    // Blocked here, the signals stay blocked in the workers started later and
    // reach only the waiting thread.
    if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
    try {
        std::thread([signals] {
            int signal = 0;
            while (::sigwait(&signals, &signal) != 0) continue;
            Temporaries().mMutex.lock();  // held on: no worker makes another temporary file
            for (const std::string& path : Temporaries().mPaths) ::unlink(path.c_str());
            ::signal(signal, SIG_DFL);
            ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
            ::raise(signal);
            ::_exit(128 + signal);
        }).detach();
    } catch (const std::system_error&) {
        ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);  // no thread: the signals act as before
    }
}

void InitProcessIO() {
    ::signal(SIGPIPE, SIG_IGN);
    mode_t mask = ::umask(0);
    ::umask(mask);
    gNewFileMode = 0666 & ~mask;
}

bool CAppendFile::Open(const std::string& path, std::string& error) {
    mFd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (mFd < 0) error = ErrnoText(errno);
    return mFd >= 0;
}

void CAppendFile::AppendLine(std::string_view line) {
    std::string text = std::string(line) + '\n';
    if (mError == 0) mError = WriteAll(mFd, text.data(), text.size());
}

std::string CAppendFile::Finish() {
    if (mFd >= 0 && ::close(mFd) != 0 && mError == 0) mError = errno;
    mFd = -1;
    return mError == 0 ? std::string() : ErrnoText(mError);
}

}  // namespace cli
}  // namespace kivoparse
