// Replacing a file on POSIX systems: links followed with lstat and readlink, the file's type
// checked before anything opens it, and the successor given its permissions and owner.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "engine/files/file_system.h"
#include "engine/files/unfinished_file.h"

namespace ostrel {
namespace {

constexpr int kMostLinks = 40;  // as many as the kernel follows in one path

std::string ReadLink(const std::string& link, const std::string& utf8Path) {
    std::string to(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink(link.c_str(), to.data(), to.size());
        if (n < 0) throw FileError(errno, utf8Path, true);
        if (static_cast<std::size_t>(n) < to.size()) {
            to.resize(static_cast<std::size_t>(n));
            return to;
        }
        to.resize(to.size() * 2);
    }
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

FileStamp StampFrom(const struct stat& st) {
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.written = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changed = std::int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

void RefuseUnlessRegular(mode_t mode, const std::string& utf8Path) {
    if (S_ISREG(mode)) return;
    if (S_ISDIR(mode)) throw NotAFileError(NotAFile::Folder, utf8Path);
    if (S_ISCHR(mode) || S_ISBLK(mode)) throw NotAFileError(NotAFile::Device, utf8Path);
    if (S_ISFIFO(mode)) throw NotAFileError(NotAFile::Pipe, utf8Path);
    if (S_ISSOCK(mode)) throw NotAFileError(NotAFile::Socket, utf8Path);
    throw NotAFileError(NotAFile::Other, utf8Path);
}

// Owns an open file descriptor and closes it when it goes, as win32::Handle owns a handle.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    // Hands the descriptor to another owner (a C stream) without closing it.
    int Release() noexcept { return std::exchange(fd_, -1); }
    void Reset() noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

// A C stream on an open descriptor, which from then on closes it; null, with the descriptor
// closed and errno set, when the runtime cannot take it.
std::FILE* StreamOn(FileDescriptor& fd, const char* mode) {
    std::FILE* stream = ::fdopen(fd.Get(), mode);
    if (!stream) {
        const int error = errno;
        fd.Reset();
        errno = error;
        return nullptr;
    }
    fd.Release();
    return stream;
}

// Opens a regular file for writing and gives its status; a file of another kind is refused,
// having been neither changed nor waited on: opening does not block, in case a pipe has
// taken the file's place since it was looked at.
FileDescriptor OpenRegularForWriting(const std::string& path, const std::string& utf8Path,
                                     struct stat& st) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) throw FileError(errno, utf8Path, true);
    if (::fstat(fd.Get(), &st) != 0) throw FileError(errno, utf8Path, true);
    RefuseUnlessRegular(st.st_mode, utf8Path);
    return fd;
}

// Holds back every signal in this thread while it lives.
class SignalsHeld {
  public:
    SignalsHeld() noexcept {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

}  // namespace

std::FILE* OpenRegularFileForReading(const std::string& utf8Path, FileStamp& stamp) {
    // Opening without waiting: a pipe with no writer would hold the open.
    FileDescriptor fd(::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        // A socket refuses to open, and so does a device with nothing behind it (/dev/tty
        // without a terminal): the refusal says which it is.
        const int error = errno;
        struct stat st {};
        if (error == ENXIO && ::stat(utf8Path.c_str(), &st) == 0)
            RefuseUnlessRegular(st.st_mode, utf8Path);
        throw FileError(error, utf8Path, false);
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) throw FileError(errno, utf8Path, false);
    RefuseUnlessRegular(st.st_mode, utf8Path);
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags != -1) ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = StreamOn(fd, "rb");
    if (!file) throw FileError(errno, utf8Path, false);
    stamp = StampFrom(st);
    return file;
}

FileStamp StampOf(std::FILE* file, const std::string& utf8Path) {
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0) throw FileError(errno, utf8Path, false);
    return StampFrom(st);
}

SaveTarget FindSaveTarget(const std::string& utf8Path) {
    SaveTarget target;
    std::string path = utf8Path;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            // A new file, or the one a link to no file names; a missing folder fails later.
            if (errno != ENOENT) throw FileError(errno, utf8Path, true);
            target.path = path;
            return target;
        }
        if (S_ISLNK(st.st_mode)) {
            if (links == kMostLinks) throw FileError(ELOOP, utf8Path, true);
            const std::string to = ReadLink(path, utf8Path);
            path = !to.empty() && to[0] == '/' ? to : FolderOf(path).append(to);
            continue;
        }
        RefuseUnlessRegular(st.st_mode, utf8Path);
        // A file that cannot be written is not replaced either.
        OpenRegularForWriting(path, utf8Path, st);
        target.path = path;
        target.exists = true;
        target.mode = st.st_mode & 0777;
        target.owner = st.st_uid;
        target.group = st.st_gid;
        return target;
    }
}

NewFile CreateNewFile(const std::string& path, bool isPrivate, const std::string& utf8Path,
                      std::FILE*& file) {
    // A handler that removes the unfinished file must not run between its creation and its
    // being kept.
    SignalsHeld held;
    // Until it takes the replaced file's permissions, nobody else may read what it holds.
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC,
                             isPrivate ? 0600 : 0666));
    if (!fd) {
        if (errno == EEXIST) return NewFile::NameTaken;
        if (errno == EACCES || errno == EPERM || errno == EROFS) return NewFile::FolderRefuses;
        throw FileError(errno, utf8Path, true);
    }
    // Locked from here until it is closed. Another save's clean-up may have found it in the
    // instant before and removed it; the name is then as good as taken. Where the file system
    // has no locks, no clean-up can lock it either, and so none removes it.
    struct stat st {};
    if ((::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) ||
        (::fstat(fd.Get(), &st) == 0 && st.st_nlink == 0))
        return NewFile::NameTaken;
    file = StreamOn(fd, "w+b");
    if (!file) {
        const int error = errno;
        RemoveFile(path);
        throw FileError(error, utf8Path, true);
    }
    unfinished_file::Set(NativePath(path));
    return NewFile::Made;
}

void TakeIdentity(std::FILE* temporary, const SaveTarget& target, const std::string& utf8Path) {
    if (!target.exists) return;
    const int fd = ::fileno(temporary);
    // The owner first, as a change of owner may clear permission bits. Only an administrator
    // may give a file away, and a user may keep the group only when a member of it; otherwise
    // the new file stays the user's, as a file the user creates would.
    const auto given = [](int result) { return result == 0 || errno == EPERM || errno == EINVAL; };
    if (::fchown(fd, target.owner, target.group) != 0 &&
        !given(::fchown(fd, static_cast<uid_t>(-1), target.group)))
        throw FileError(errno, utf8Path, true);
    // A file system without permissions (FAT) refuses; the file then stays private, never
    // more open than the one it replaces.
    if (::fchmod(fd, target.mode) != 0 && errno != EPERM) throw FileError(errno, utf8Path, true);
}

bool MoveOverTarget(std::FILE*& temporary, const std::string& tempPath, const SaveTarget& target,
                    const std::string& utf8Path) {
    if (::rename(tempPath.c_str(), target.path.c_str()) != 0) {
        if (target.exists && (errno == EACCES || errno == EPERM)) return false;
        throw FileError(errno, utf8Path, true);
    }
    // Its content is on the disk already: closing cannot change what the target now holds.
    std::fclose(std::exchange(temporary, nullptr));
    return true;
}

std::FILE* OpenToOverwrite(const SaveTarget& target, const std::string& utf8Path,
                           std::uint64_t resultBytes) {
    struct stat st {};
    FileDescriptor fd = OpenRegularForWriting(target.path, utf8Path, st);
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags != -1) ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    if (resultBytes != 0) {
        const int error = ::posix_fallocate(fd.Get(), 0, static_cast<off_t>(resultBytes));
        // A file system that cannot reserve room is written without it, as before.
        if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
            // What the attempt added past the old end goes; the old content stays.
            if (::ftruncate(fd.Get(), st.st_size) != 0) {
                // Only the old end's restoration failed: the refusal still stands.
            }
            throw FileError(error, utf8Path, true);
        }
    }
    std::FILE* file = StreamOn(fd, "wb");  // a stream on an open file empties nothing
    if (!file) throw FileError(errno, utf8Path, true);
    return file;
}

void EndFileAt(std::FILE* file, std::uint64_t size, const std::string& utf8Path) {
    errno = 0;
    if (std::fflush(file) != 0) throw FileError(errno ? errno : EIO, utf8Path, true);
    if (::ftruncate(::fileno(file), static_cast<off_t>(size)) != 0)
        throw FileError(errno, utf8Path, true);
}

void RemoveIfAbandoned(const std::string& path) noexcept {
    const FileDescriptor fd(
        ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat held {
    }, named{};
    if (!fd || ::fstat(fd.Get(), &held) != 0 || !S_ISREG(held.st_mode) ||
        ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return;
    // Only the file locked, not one made under its name since.
    if (::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino)
        ::unlink(path.c_str());
}

void StartWriteBack([[maybe_unused]] std::FILE* file) noexcept {
#if defined(__linux__)
    sync_file_range(fileno(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool RemoveFile(const std::string& utf8Path) noexcept {
    return ::unlink(utf8Path.c_str()) == 0;
}

}  // namespace ostrel
