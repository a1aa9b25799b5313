#include "engine/text_file_writer.h"

#include <cerrno>

#include "engine/runtime_error.h"
#include "engine/text_codec.h"
#include "engine/unfinished_file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ostrel {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

}  // namespace

TextFileWriter::TextFileWriter(const std::string& utf8Path, TextEncoding encoding,
                               const CodePage& codePage)
    : path_(utf8Path), encoding_(encoding), codePage_(codePage) {
    if (path_.empty() || !NativePath(path_).has_filename())
        throw RuntimeError(err::kBadFileName, "Bad file name: " + path_);
    target_ = FindSaveTarget(path_);
    file_ = CreateTemporaryFile(target_, path_, tempPath_);
    try {
        buffer_.reserve(kBufferSize + 1024);
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
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!tempPath_.empty()) {
        RemoveFile(tempPath_);
        unfinished_file::Clear();
        tempPath_.clear();
    }
}

void TextFileWriter::Put(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferSize) Flush();
}

void TextFileWriter::Flush() {
    if (buffer_.empty()) return;
    errno = 0;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
        throw FileError(errno ? errno : ENOSPC, path_, true);
    buffer_.clear();
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
    Put(LineEndIn(encoding_));
}

void TextFileWriter::Commit() {
    Flush();
    errno = 0;
    if (std::fflush(file_) != 0) throw FileError(errno ? errno : EIO, path_, true);
    TakeIdentity(file_, target_, path_);
#ifdef _WIN32
    if (_commit(_fileno(file_)) != 0) throw FileError(errno ? errno : EIO, path_, true);
#else
    if (fsync(fileno(file_)) != 0) throw FileError(errno ? errno : EIO, path_, true);
#endif
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) throw FileError(errno ? errno : EIO, path_, true);
    MoveOverTarget(tempPath_, target_, path_);
    unfinished_file::Clear();
    tempPath_.clear();
}

}  // namespace ostrel
