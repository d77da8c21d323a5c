// POSIX file and stream services of the command-line tool. Raw descriptors
// throughout: no stdio buffering to flush or lose, no text-mode translation.
#include "cli/SystemIO.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kivoparse {
namespace cli {

namespace {

mode_t gNewFileMode = 0644;

std::string ErrnoText(int error) { return std::strerror(error); }

// Closes a descriptor when the scope ends, unless released first.
class CFd {
public:
    explicit CFd(int fd) : mFd(fd) {}
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    ~CFd() {
        if (mFd >= 0) ::close(mFd);
    }
    int Get() const { return mFd; }
    int Release() {
        int fd = mFd;
        mFd = -1;
        return fd;
    }

private:
    int mFd;
};

bool WriteAll(int fd, const char* data, std::size_t size, int& error) {
    while (size > 0) {
        // Some systems refuse single writes of 2 GiB or more.
        std::size_t chunk = size < (std::size_t{1} << 30) ? size : (std::size_t{1} << 30);
        ssize_t n = ::write(fd, data, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string TooLargeText(std::uint64_t size) {
    return "too large (" + std::to_string(size) +
           " bytes); the parser takes at most 2147483647 bytes (just under 2 GiB)";
}

std::string ParentOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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
    CFd fd(isStdin ? -1 : opened);

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
    if (S_ISREG(info.st_mode)) {
        auto size = static_cast<std::uint64_t>(info.st_size);
        if (size > kMaxInputBytes) {
            error = TooLargeText(size);
            return false;
        }
        data.reserve(static_cast<std::size_t>(size));
    }

    // Pipes and growing files are counted while they are read.
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t n = ::read(opened, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = ErrnoText(errno);
            data.clear();
            return false;
        }
        if (n == 0) break;
        if (data.size() + static_cast<std::size_t>(n) > kMaxInputBytes) {
            error = TooLargeText(data.size() + static_cast<std::uint64_t>(n));
            data.clear();
            data.shrink_to_fit();
            return false;
        }
        data.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return true;
}

bool MakeDirectories(const std::string& path, std::string& error) {
    // Each prefix in turn; a prefix made meanwhile by another worker is fine.
    std::string::size_type pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string prefix = path.substr(0, pos);
        if (prefix.empty()) continue;
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
    std::string dir = ParentOf(path);
    if (!MakeDirectories(dir, error)) return false;

    // The temporary file sits beside the target, so the rename stays on one file system.
    std::string temp = dir + "/." + BaseOf(path) + ".kivoparse-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    CFd fd(::mkstemp(name.data()));
    if (fd.Get() < 0) {
        error = "cannot create a temporary file in '" + dir + "': " + ErrnoText(errno);
        return false;
    }
    temp.assign(name.data());

    // A replaced file keeps its permissions; a new one gets 0666 less the umask.
    mode_t mode = gNewFileMode;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode = old.st_mode & 07777;

    int code = 0;
    const char* step = nullptr;
    if (!WriteAll(fd.Get(), data.data(), data.size(), code)) {
        step = "cannot write";
    } else if (::fchmod(fd.Get(), mode) != 0) {
        code = errno;
        step = "cannot set the permissions of";
    } else if (::fsync(fd.Get()) != 0) {
        code = errno;
        step = "cannot write";
    } else if (::close(fd.Release()) != 0) {
        code = errno;
        step = "cannot write";
    } else if (::rename(temp.c_str(), path.c_str()) != 0) {
        code = errno;
        error = "cannot replace '" + path + "': " + ErrnoText(code);
        ::unlink(temp.c_str());
        return false;
    } else {
        return true;
    }
    error = std::string(step) + " '" + temp + "': " + ErrnoText(code);
    ::unlink(temp.c_str());
    return false;
}

bool CheckAppendable(const std::string& path, std::string& error) {
    CFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (fd.Get() < 0) {
        error = ErrnoText(errno);
        return false;
    }
    return true;
}

EWriteResult WriteStdout(const char* data, std::size_t size, std::string& error) {
    int code = 0;
    if (WriteAll(STDOUT_FILENO, data, size, code)) return EWriteResult::Ok;
    if (code == EPIPE) return EWriteResult::ClosedPipe;
    error = ErrnoText(code);
    return EWriteResult::Failed;
}

void WriteStderr(const std::string& text) {
    int code = 0;
    (void)WriteAll(STDERR_FILENO, text.data(), text.size(), code);
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool GetDirectoryId(const std::string& path, SDirectoryId& id) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    id.mDevice = static_cast<std::uint64_t>(info.st_dev);
    id.mInode = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

bool ListDirectory(const std::string& path, std::vector<SDirEntry>& entries, std::string& error) {
    entries.clear();
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        error = ErrnoText(errno);
        return false;
    }
    for (;;) {
        errno = 0;
        struct dirent* entry = ::readdir(dir);
        if (!entry) break;
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;

        SDirEntry item;
        item.mName = name;
        std::string full = path + "/" + name;
        struct stat info {};
        if (::lstat(full.c_str(), &info) != 0) {
            item.mKind = EEntryKind::File;  // vanished or unreadable: reading it reports why
        } else if (S_ISDIR(info.st_mode)) {
            item.mKind = EEntryKind::Directory;
            item.mId.mDevice = static_cast<std::uint64_t>(info.st_dev);
            item.mId.mInode = static_cast<std::uint64_t>(info.st_ino);
        } else if (S_ISREG(info.st_mode)) {
            item.mKind = EEntryKind::File;
        } else if (S_ISLNK(info.st_mode)) {
            // A dangling link is kept, so its name is reported rather than silently lost.
            struct stat target {};
            bool exists = ::stat(full.c_str(), &target) == 0;
            item.mKind = !exists || S_ISREG(target.st_mode) ? EEntryKind::File : EEntryKind::Skipped;
        }
        entries.push_back(std::move(item));
    }
    int code = errno;
    ::closedir(dir);
    if (code != 0) {
        error = ErrnoText(code);
        return false;
    }
    return true;
}

void InitProcessIO() {
    ::signal(SIGPIPE, SIG_IGN);
    mode_t mask = ::umask(0);
    ::umask(mask);
    gNewFileMode = 0666 & ~mask;
}

}  // namespace cli
}  // namespace kivoparse
