#include "engine/sorted_run.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "engine/file_system.h"
#include "engine/scratch_file.h"
#include "engine/text_arena.h"

namespace ostrel {

SortedRun::SortedRun(const std::string& folder, std::size_t bufferBytes)
    : file_(CreateScratchFile(folder)),
      folder_(folder),
      buffer_(std::max(bufferBytes, TextArena::RecordBytes(RecordHeader::kMostLength))) {
    // The run keeps its own buffer; the stream's would copy every byte once more.
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

SortedRun::~SortedRun() {
    std::fclose(file_);
}

void SortedRun::Add(std::string_view text) {
    if (!writing_) throw std::logic_error("a finished run takes no more texts");
    const std::size_t need = TextArena::RecordBytes(text.size());
    if (end_ + need > buffer_.size()) Flush();
    TextArena::PutRecord(buffer_.data() + end_, text);
    end_ += need;
    bytes_ += need;
    ++count_;
}

void SortedRun::Flush() {
    errno = 0;
    if (end_ != 0 && std::fwrite(buffer_.data(), 1, end_, file_) != end_)
        throw FileError(errno ? errno : EIO, folder_, true);
    end_ = 0;
}

void SortedRun::Finish() {
    Flush();
    errno = 0;
    if (std::fflush(file_) != 0) throw FileError(errno ? errno : EIO, folder_, true);
    writing_ = false;
}

void SortedRun::Rewind() {
    if (writing_) Finish();
    std::rewind(file_);
    begin_ = end_ = 0;
}

// Makes need unread bytes lie together in the buffer; false at the end of the run.
bool SortedRun::Refill(std::size_t need) {
    if (end_ - begin_ >= need) return true;
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    errno = 0;
    end_ += std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    if (std::ferror(file_)) throw FileError(errno ? errno : EIO, folder_, false);
    return end_ >= need;
}

bool SortedRun::Next(std::string_view& text) {
    if (writing_) throw std::logic_error("a run is read once it is finished");
    if (!Refill(TextArena::kHeaderBytes)) {
        // A run ends on a whole record; anything else is a scratch file gone wrong.
        if (end_ != begin_) throw FileError(EIO, folder_, false);
        return false;
    }
    const std::size_t length = TextArena::HeaderAt(buffer_.data() + begin_).Length();
    if (!Refill(TextArena::RecordBytes(length))) throw FileError(EIO, folder_, false);
    text = TextArena::TextAt(buffer_.data() + begin_);
    begin_ += TextArena::RecordBytes(length);
    return true;
}

}  // namespace ostrel
