#pragma once
// A sorted run: texts in ascending order of their folded forms, no two of them equal but for
// letter case, kept in a scratch file as records laid out as a TextArena lays them out. One
// writer fills it; then it is read from its start, as often as needed.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

class SortedRun {
  public:
    // Creates the run's scratch file in folder; bufferBytes of memory buffer it.
    SortedRun(const std::string& folder, std::size_t bufferBytes);
    ~SortedRun();  // the scratch file goes with it
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

    std::FILE* file_;
    std::string folder_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0;  // unread bytes of buffer_ while reading
    std::uint64_t count_ = 0, bytes_ = 0;
    bool writing_ = true;
};

}  // namespace ostrel
