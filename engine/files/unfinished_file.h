#pragma once
// The temporary file a save is writing, kept where a signal handler or a console control
// handler can remove it without allocating or locking: a program ended part-way through a
// save leaves nothing behind. One save at a time is kept; the writer sets and clears it.
#include <filesystem>

namespace ostrel::unfinished_file {

// Keeps a copy of the path; a path longer than the space kept for it is not kept.
void Set(const std::filesystem::path& path) noexcept;
void Clear() noexcept;

// Removes the file kept, if any. Async-signal-safe.
void RemoveNow() noexcept;

}  // namespace ostrel::unfinished_file
