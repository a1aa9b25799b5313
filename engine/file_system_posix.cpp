// Replacing a file on POSIX systems: links followed with lstat and readlink, the file's type
// checked before anything opens it, and the successor given its permissions and owner.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

#include "engine/file_system.h"
#include "engine/unfinished_file.h"

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

void RefuseUnlessRegular(mode_t mode, const std::string& utf8Path) {
    if (S_ISREG(mode)) return;
    if (S_ISDIR(mode)) throw NotAFileError(NotAFile::Folder, utf8Path);
    if (S_ISCHR(mode) || S_ISBLK(mode)) throw NotAFileError(NotAFile::Device, utf8Path);
    if (S_ISFIFO(mode)) throw NotAFileError(NotAFile::Pipe, utf8Path);
    if (S_ISSOCK(mode)) throw NotAFileError(NotAFile::Socket, utf8Path);
    throw NotAFileError(NotAFile::Other, utf8Path);
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

std::FILE* OpenRegularFileForReading(const std::string& utf8Path, std::uint64_t& size) {
    // Opening without waiting: a pipe with no writer would hold the open.
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENXIO) throw NotAFileError(NotAFile::Socket, utf8Path);
        throw FileError(errno, utf8Path, false);
    }
    struct stat st {};
    try {
        if (::fstat(fd, &st) != 0) throw FileError(errno, utf8Path, false);
        RefuseUnlessRegular(st.st_mode, utf8Path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        throw FileError(error, utf8Path, false);
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return file;
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
        // A file that cannot be written is not replaced either. Non-blocking, in case a pipe
        // took the file's place since.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) throw FileError(errno, utf8Path, true);
        const int checked = ::fstat(fd, &st);
        ::close(fd);
        if (checked != 0) throw FileError(errno, utf8Path, true);
        RefuseUnlessRegular(st.st_mode, utf8Path);
        target.path = path;
        target.exists = true;
        target.mode = st.st_mode & 0777;
        target.owner = st.st_uid;
        target.group = st.st_gid;
        return target;
    }
}

std::FILE* CreateTemporaryFile(const SaveTarget& target, const std::string& utf8Path,
                               std::string& tempPath) {
    std::random_device random;
    const std::string folder = FolderOf(target.path);
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Short, so that a target whose name is as long as the system allows still gets one.
        tempPath = folder + "~ostrel-" + std::to_string(random() % 1000000000u) + ".tmp";
        // A handler that removes the unfinished file must not run between its creation and
        // its being kept.
        SignalsHeld held;
        // Until it takes the replaced file's permissions, nobody else may read what it holds.
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC,
                              target.exists ? 0600 : 0666);
        if (fd < 0) {
            const int error = errno;
            tempPath.clear();
            if (error == EEXIST) continue;
            throw FileError(error, utf8Path, true);
        }
        std::FILE* file = ::fdopen(fd, "wb");
        if (!file) {
            const int error = errno;
            ::close(fd);
            RemoveFile(tempPath);
            tempPath.clear();
            throw FileError(error, utf8Path, true);
        }
        unfinished_file::Set(NativePath(tempPath));
        return file;
    }
    throw FileError(EEXIST, utf8Path, true);
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

void MoveOverTarget(const std::string& tempPath, const SaveTarget& target,
                    const std::string& utf8Path) {
    if (::rename(tempPath.c_str(), target.path.c_str()) != 0)
        throw FileError(errno, utf8Path, true);
}

bool RemoveFile(const std::string& utf8Path) noexcept {
    return ::unlink(utf8Path.c_str()) == 0;
}

}  // namespace ostrel
