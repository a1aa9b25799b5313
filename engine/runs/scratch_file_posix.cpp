// Scratch files on POSIX systems: made with O_EXCL under a name of this process, and unlinked
// at once, so that only the open descriptor keeps them.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/files/file_system.h"
#include "engine/runs/scratch_file.h"

namespace ostrel {
namespace {

// The number of the next scratch file's name, shared by every thread of the process.
std::atomic<std::uint64_t> nextNumber{1};

// The process id in a scratch file's name (which IsScratchFileName has accepted); 0 when it
// is not one a process can have.
pid_t ProcessOf(const std::string& name) {
    constexpr std::string_view kPrefix = "ostrel-";
    long long id = 0;
    const auto [end, error] =
        std::from_chars(name.data() + kPrefix.size(), name.data() + name.size(), id);
    if (error != std::errc() || id <= 0 || static_cast<long long>(static_cast<pid_t>(id)) != id)
        return 0;
    return static_cast<pid_t>(id);
}

bool IsRunning(pid_t process) {
    // EPERM means a process of another user has the id: it runs.
    return !(::kill(process, 0) == -1 && errno == ESRCH);
}

// Closes a directory stream when it goes.
class Directory {
  public:
    explicit Directory(const std::string& path) : dir_(::opendir(path.c_str())) {}
    ~Directory() {
        if (dir_) ::closedir(dir_);
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    DIR* Get() const noexcept { return dir_; }

  private:
    DIR* dir_;
};

}  // namespace

std::string TemporaryFolder() {
    const char* variable = std::getenv("TMPDIR");
    std::string folder = variable && *variable ? variable : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::FILE* CreateScratchFile(const std::string& folder) {
    const std::string prefix =
        (folder == "/" ? folder : folder + "/") + "ostrel-" + std::to_string(::getpid()) + "-";
    for (;;) {
        const std::string path = prefix + std::to_string(nextNumber++) + ".run";
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            // A name left by an earlier process of the same id: the next one will do.
            if (errno == EEXIST) continue;
            throw FileError(errno, folder, true);
        }
        ::unlink(path.c_str());
        std::FILE* file = ::fdopen(fd, "w+b");
        if (!file) {
            const int error = errno;
            ::close(fd);
            throw FileError(error, folder, true);
        }
        return file;
    }
}

bool SeekScratchFile(std::FILE* file, std::uint64_t offset) {
    return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

void ClearAbandonedScratchFiles(const std::string& folder) noexcept {
    try {
        const Directory directory(folder);
        if (!directory.Get()) return;
        const std::string prefix = folder == "/" ? folder : folder + "/";
        while (const dirent* entry = ::readdir(directory.Get())) {
            const std::string name = entry->d_name;
            if (!IsScratchFileName(name)) continue;
            const pid_t process = ProcessOf(name);
            if (process == 0 || IsRunning(process)) continue;
            const std::string path = prefix + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
        }
    } catch (...) {
        // Only a clean-up: no memory for a name leaves the files for the next start.
    }
}

}  // namespace ostrel
