#include "engine/text/text_file_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/failure.h"
#include "engine/files/unfinished_file.h"
#include "engine/runs/scratch_file.h"
#include "engine/text/text_codec.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ostrel {

namespace {

constexpr std::size_t kBufferSize = TextFileWriter::kBufferBytes;

// Hands what the stream holds to the system.
void FlushStream(std::FILE* file, const std::string& path) {
    errno = 0;
    if (std::fflush(file) != 0) throw FileError(errno ? errno : EIO, path, true);
}

// Flushes a stream and has the system put what it holds on the disk.
void FlushToDisk(std::FILE* file, const std::string& path) {
    FlushStream(file, path);
    errno = 0;
#ifdef _WIN32
    if (_commit(_fileno(file)) != 0) throw FileError(errno ? errno : EIO, path, true);
#else
    if (fsync(fileno(file)) != 0) throw FileError(errno ? errno : EIO, path, true);
#endif
}

void WriteAll(std::FILE* file, std::string_view bytes, const std::string& path) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        throw FileError(errno ? errno : ENOSPC, path, true);
}

}  // namespace

TextFileWriter::TextFileWriter(const std::string& utf8Path, TextEncoding encoding,
                               const CodePage& codePage)
    : path_(utf8Path), encoding_(encoding), lineEnd_(LineEndIn(encoding)), codePage_(codePage) {
    if (path_.empty() || !NativePath(path_).has_filename())
        throw RuntimeError(err::kBadFileName, "Bad file name: " + path_);
    target_ = FindSaveTarget(path_);
    file_ = CreateTemporaryFile(target_, path_, tempPath_);
    inPlace_ = !file_;
    fileName_ = path_;
    try {
        if (inPlace_) {
            // The result waits in a scratch file, in bounded buffers as any other, until its
            // size is known and reserved in the target.
            fileName_ = TemporaryFolder();
            file_ = CreateScratchFile(fileName_);
        }
        buffer_.resize(kBufferSize + kRoomBeyondBuffer);
        // The disk goes to work on each buffer while the next is filled.
        behind_.emplace([this](std::string_view bytes) {
            WriteAll(file_, bytes, fileName_);
            FlushStream(file_, fileName_);
            StartWriteBack(file_);
        });
    } catch (...) {
        Abandon();  // the destructor does not run for an object never made
        throw;
    }
    Put(MarkOf(encoding_));
}

TextFileWriter::~TextFileWriter() {
    Abandon();
}

void TextFileWriter::Abandon() {
    behind_.reset();  // its write in hand is done first
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!tempPath_.empty()) {
        RemoveFile(tempPath_);
        unfinished_file::Clear();
        tempPath_.clear();
    }
}

void TextFileWriter::Put(std::string_view bytes) {
    // Bytes are copied into room the buffer already has: a line is two short copies.
    if (bytes.size() > buffer_.size() - used_)
        buffer_.resize(std::max(used_ + bytes.size(), 2 * buffer_.size()));
    if (!bytes.empty()) std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
    if (used_ >= kBufferSize) Flush();
}

void TextFileWriter::Flush() {
    if (used_ == 0) return;
    buffer_.resize(used_);
    resultBytes_ += used_;
    used_ = 0;
    // The buffer handed back keeps its size: only room it never had is cleared.
    behind_->Write(buffer_);
    buffer_.resize(buffer_.capacity());
}

void TextFileWriter::WriteLine(std::string_view utf8Text) {
    if (encoding_ == TextEncoding::Utf8 || encoding_ == TextEncoding::Utf8Bom) {
        Put(utf8Text);  // as it is, with no copy
    } else {
        if (!EncodeText(utf8Text, encoding_, codePage_, scratch_))
            throw RuntimeError(err::kBadEncoding,
                               "A phrase has characters that the system code page cannot "
                               "hold: " +
                                   path_);
        Put(scratch_);
    }
    Put(lineEnd_);
}

void TextFileWriter::Commit() {
    Flush();
    behind_->Finish();
    if (inPlace_) {
        WriteInPlace(file_);
        Abandon();  // the scratch file goes
        return;
    }
    FlushToDisk(file_, path_);
    TakeIdentity(file_, target_, path_);
    if (!MoveOverTarget(file_, tempPath_, target_, path_)) {
        // The folder lets no other file take the target's place: the finished temporary file
        // is copied over it instead, and then removed.
        if (!file_) file_ = OpenFile(tempPath_, false);
        if (!file_) throw FileError(errno ? errno : EIO, path_, true);
        WriteInPlace(file_);
        Abandon();
        return;
    }
    unfinished_file::Clear();
    tempPath_.clear();
}

void TextFileWriter::WriteInPlace(std::FILE* result) {
    // The old content stays whole until the result's room is reserved.
    std::FILE* target = OpenToOverwrite(target_, path_, resultBytes_);
    try {
        std::rewind(result);
        buffer_.resize(kBufferSize);
        for (std::size_t n; (n = std::fread(buffer_.data(), 1, buffer_.size(), result)) > 0;)
            WriteAll(target, std::string_view(buffer_.data(), n), path_);
        if (std::ferror(result)) throw FileError(EIO, fileName_, false);
        EndFileAt(target, resultBytes_, path_);
        FlushToDisk(target, path_);
        errno = 0;
        const int closed = std::fclose(std::exchange(target, nullptr));
        if (closed != 0) throw FileError(errno ? errno : EIO, path_, true);
    } catch (const RuntimeError& e) {
        if (target) std::fclose(target);
        // The target itself has changed since it was opened.
        throw RuntimeError(e.Number(),
                           e.Description() + " (written in place: the file may now be incomplete)");
    }
}

}  // namespace ostrel
