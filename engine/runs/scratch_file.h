#pragma once
// Scratch files: the sorted runs a list larger than its memory budget is written out to.
//
// They live in the system's temporary folder, named "ostrel-<process id>-<number>.run", and
// are gone however the program ends: on POSIX systems a scratch file is unlinked as soon as it
// is made, and on Windows it is opened delete-on-close, which the system honours when the
// process is killed too. ClearAbandonedScratchFiles removes what a crash of the system itself
// may leave behind.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace ostrel {

// The system's temporary folder (UTF-8): GetTempPathW on Windows; $TMPDIR, or /tmp, elsewhere.
// Without a trailing separator.
std::string TemporaryFolder();

// Creates a new scratch file in folder, open for reading and writing in binary, and gone when
// closed or when the process ends. Throws RuntimeError naming the folder and the reason.
std::FILE* CreateScratchFile(const std::string& folder);

// Moves a scratch file's position to offset, from its start (64-bit offsets on every system);
// false when the system refuses.
bool SeekScratchFile(std::FILE* file, std::uint64_t offset);

// Removes the scratch files in folder that no running process holds. Best effort, silent.
void ClearAbandonedScratchFiles(const std::string& folder) noexcept;

// True for a name that a scratch file of this program can have: "ostrel-", digits, "-",
// digits, ".run". Nothing else in the folder is ever touched.
inline bool IsScratchFileName(std::string_view fileName) {
    const auto take = [&](std::string_view part) {
        if (!fileName.starts_with(part)) return false;
        fileName.remove_prefix(part.size());
        return true;
    };
    const auto takeDigits = [&] {
        const std::size_t count =
            std::min(fileName.find_first_not_of("0123456789"), fileName.size());
        fileName.remove_prefix(count);
        return count > 0;
    };
    return take("ostrel-") && takeDigits() && take("-") && takeDigits() && fileName == ".run";
}

}  // namespace ostrel
