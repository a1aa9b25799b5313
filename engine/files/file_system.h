#pragma once
// Files by UTF-8 path, the run-time errors that failed file operations raise, and the steps of
// replacing a file safely: finding what a path leads to, a temporary file beside it, and the
// move over it that keeps the replaced file's permissions, owner and links.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/failure.h"

namespace ostrel {

// Paths are UTF-8 in the engine; these are the forms the library and the C runtime open.
std::filesystem::path NativePath(const std::string& utf8Path);
std::string Utf8Of(const std::filesystem::path& path);
std::FILE* OpenFile(const std::string& utf8Path, bool forWriting);

// A run-time error for a failed file operation (an errno value), naming the file and the
// reason, once.
RuntimeError FileError(int error, const std::string& path, bool writing);

// What a path names when it is not a regular file, for the error that refuses it.
enum class NotAFile { Folder, Device, Pipe, Socket, DevicePath, ReservedName, Other };
RuntimeError NotAFileError(NotAFile kind, const std::string& path);

// True for a file name Windows keeps for a device: NUL, CON, PRN, AUX, COM1 to COM9, LPT1 to
// LPT9 (also with the superscript digits 1 to 3), CONIN$ and CONOUT$, in any letter case,
// alone or before an extension ("nul.txt"), with or without trailing spaces or dots. Opening
// such a name in any folder opens the device.
bool IsReservedDeviceName(std::string_view fileName);

// What tells that a file changed: its size, the time of its last write and, on POSIX systems,
// of its last change of any kind (which a write that sets the write time back still moves).
// The times are in the system's own units.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t written = 0;
    std::int64_t changed = 0;
    bool operator==(const FileStamp&) const = default;
};

// Opens a list for reading if it is a regular file, and gives its stamp. Anything else (a
// folder, device, pipe, socket, a Windows device path or reserved name) is refused by name
// before anything is read from it: a pipe or device could block the open or the reads for
// good, and never end.
std::FILE* OpenRegularFileForReading(const std::string& utf8Path, FileStamp& stamp);

// The stamp of a file opened by OpenRegularFileForReading, as it is now.
FileStamp StampOf(std::FILE* file, const std::string& utf8Path);

// What saving to a path replaces or creates.
struct SaveTarget {
    std::string path;  // the regular file the path leads to, links followed (UTF-8)
    bool exists = false;
    // The existing file's permission bits, owner and group (POSIX), which its successor takes.
    unsigned mode = 0;
    unsigned owner = 0;
    unsigned group = 0;
};

// Follows symbolic links from utf8Path to the file they lead to (a link to no file leads to
// the file it names, which a save creates) and checks, before opening anything, that it is a
// regular file this user may write, or none yet. Throws RuntimeError naming utf8Path for a
// folder, device, pipe, socket, a Windows device path or reserved name, or a link loop.
SaveTarget FindSaveTarget(const std::string& utf8Path);

// Creates a new empty file for writing in the target's folder under a name no file has, and
// stores its path in tempPath; first it removes the temporary files there that saves ended
// part-way left behind. It is readable by its owner alone while it replaces an existing
// file, whose permissions it takes only on MoveOverTarget; errors name utf8Path. The file is
// kept as the unfinished file (unfinished_file.h), which the caller clears once it is moved
// or removed. A folder that takes no new file is refused by its name; but when the target
// exists (and so may be written), nothing is created and the result is null: the caller then
// writes the target in place (OpenToOverwrite).
std::FILE* CreateTemporaryFile(const SaveTarget& target, const std::string& utf8Path,
                               std::string& tempPath);

// The platform's step of CreateTemporaryFile, for one of the names it tries.
enum class NewFile { Made, NameTaken, FolderRefuses };
// Creates path as a new file open for writing in file, readable by its owner alone when
// isPrivate, and keeps it as the unfinished file; NameTaken when a file of that name exists,
// FolderRefuses when the folder takes no new file. Other errors are thrown, naming utf8Path.
// The file is held from its creation until it is closed (locked on POSIX systems; on Windows
// the open handle is enough, as a clean-up asks for the file unshared), so that no other
// save's clean-up takes it for abandoned.
NewFile CreateNewFile(const std::string& path, bool isPrivate, const std::string& utf8Path,
                      std::FILE*& file);
// Removes the temporary file at path, which a save that was ended part-way left behind, if it
// is a regular file that no running save holds. Best effort: it says nothing either way.
void RemoveIfAbandoned(const std::string& path) noexcept;

// Gives the complete temporary file (still open) the replaced file's permission bits and,
// where the system allows it, its owner and group. Nothing on Windows, where the move does it.
void TakeIdentity(std::FILE* temporary, const SaveTarget& target, const std::string& utf8Path);

// Moves the complete temporary file over the target in one step, and closes it: on POSIX
// systems after the move, so that its lock holds until then; on Windows before, where an
// existing target is replaced with ReplaceFileW, which keeps its attributes, security and
// streams. False, with the temporary file left in place (and the stream open, if it still is),
// when the folder lets no file replace the existing target: a sticky folder, say.
bool MoveOverTarget(std::FILE*& temporary, const std::string& tempPath, const SaveTarget& target,
                    const std::string& utf8Path);

// Opens the existing target to write a result of resultBytes over it in place, from its
// start, when its folder takes no new file or lets none replace it. Checks first that it is
// still a regular file, then reserves the result's room on the disk (posix_fallocate; on
// Windows the file's end is set): a disk too full for the result is refused here, with the
// old content as it was. EndFileAt ends the file once the result is written.
std::FILE* OpenToOverwrite(const SaveTarget& target, const std::string& utf8Path,
                           std::uint64_t resultBytes);
// Flushes a file written in place and ends it at size: the old content past it goes.
void EndFileAt(std::FILE* file, std::uint64_t size, const std::string& utf8Path);

// Asks the system to start putting the bytes written so far (past the stream's buffer) on the
// disk, without waiting for them, so that the flush at the end has less to wait for. A hint:
// nothing where the system has no such call.
void StartWriteBack(std::FILE* file) noexcept;

// Removes a file; false when it could not.
bool RemoveFile(const std::string& utf8Path) noexcept;

}  // namespace ostrel
