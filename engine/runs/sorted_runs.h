#pragma once
// Where a list larger than its memory budget goes on disk: sorted runs in scratch files
// (scratch_file.h), written as the list is read, and their merge into the list's result.
//
// A sorted run holds texts in phrase order (phrase_order.h), no two of them one phrase, as
// records laid out as a TextArena lays them out. One writer fills it; then it is read from its
// start, as often as needed.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/order/collation.h"
#include "engine/table/text_arena.h"

namespace ostrel {

// A scratch file that holds runs one after another, so that a list of any number of runs
// keeps a few files open. It goes when the last run in it goes.
class RunFile {
  public:
    explicit RunFile(const std::string& folder);  // creates it in folder
    ~RunFile();
    RunFile(const RunFile&) = delete;
    RunFile& operator=(const RunFile&) = delete;

    // Appends bytes at the end; what was written before stays as it is.
    void Append(const char* bytes, std::size_t size);
    void Flush();
    // Reads up to size bytes from offset; gives how many were read.
    std::size_t ReadAt(std::uint64_t offset, char* bytes, std::size_t size);
    std::uint64_t End() const { return end_; }
    const std::string& Folder() const { return folder_; }

  private:
    void Seek(std::uint64_t offset, bool writing);

    std::FILE* file_;
    std::string folder_;
    std::uint64_t end_ = 0;
};

class SortedRun {
  public:
    // Creates the run in a scratch file of its own in folder; bufferBytes of memory buffer it
    // while it is written or read, none in between.
    SortedRun(const std::string& folder, std::size_t bufferBytes);
    // The run goes at the end of file, whose earlier runs are all written.
    SortedRun(std::shared_ptr<RunFile> file, std::size_t bufferBytes);
    SortedRun(const SortedRun&) = delete;
    SortedRun& operator=(const SortedRun&) = delete;

    // Writing: the texts in order, then Finish. Failures raise the scratch folder's FileError.
    void Add(std::string_view text);
    void Finish();

    // Reading: Rewind, then Next until it gives false. A text stays valid until the next call.
    void Rewind();
    bool Next(std::string_view& text);

    std::uint64_t Count() const { return count_; }  // texts written
    std::uint64_t Bytes() const { return bytes_; }  // bytes written

  private:
    void Flush();
    bool Refill(std::size_t need);
    void TakeBuffer();

    std::shared_ptr<RunFile> file_;
    std::uint64_t start_;  // where the run begins in the file
    std::size_t bufferBytes_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0;  // unread bytes of buffer_ while reading
    std::uint64_t read_ = 0;           // bytes of the run read into the buffer so far
    std::uint64_t count_ = 0, bytes_ = 0;
    bool writing_ = true;
};

// Merges runs, each written in full, into out, which it finishes: in phrase order (a language's
// collation, or none for the "C" order), and of the spellings of one phrase the earliest run's
// (the lowest index) alone. busy is called now and then.
void MergeRuns(const std::vector<SortedRun*>& runs, SortedRun& out,
               const std::function<void()>& busy, const Collation* collation = nullptr);

class SpilledRuns {
  public:
    // Runs go to scratch files in folder, each buffered by bufferBytes, in the order of
    // collation (none: the "C" order); busy is called now and then while they are written and
    // merged.
    SpilledRuns(std::string folder, std::size_t bufferBytes, std::function<void()> busy,
                std::shared_ptr<const Collation> collation = nullptr);

    bool Empty() const { return runs_.empty(); }
    std::uint64_t BytesWritten() const { return bytesWritten_; }
    const std::string& Folder() const { return folder_; }

    // Writes the texts of the arenas out as the next run, sorted as a table sorts its rows,
    // and leaves the arenas empty. No two of the texts may be equal but for letter case; each
    // is the first spelling met since the run before.
    void Write(const std::vector<TextArena*>& texts, unsigned threads);

    // Merges every run into one, the runs' texts in order and of those equal but for letter
    // case the earliest spelling alone, and gives it; no run is left here.
    std::unique_ptr<SortedRun> Merge();

  private:
    std::string folder_;
    std::size_t bufferBytes_;
    std::function<void()> busy_;
    std::shared_ptr<const Collation> collation_;
    std::shared_ptr<RunFile> file_;  // the runs written, one after another
    std::vector<std::unique_ptr<SortedRun>> runs_;
    std::uint64_t bytesWritten_ = 0;
};

}  // namespace ostrel
