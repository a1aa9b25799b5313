#include "engine/text/text_file.h"

#include <cerrno>
#include <utility>

#include "engine/failure.h"
#include "engine/files/file_system.h"
#include "engine/text/text_codec.h"

namespace ostrel {

TextFileReader::TextFileReader(const std::string& utf8Path, const CodePage& codePage)
    : path_(utf8Path), codePage_(codePage) {
    file_ = OpenRegularFileForReading(path_, stamp_);

    // The byte-order mark, if any, says what the file is.
    char head[4] = {};
    const std::size_t got = ReadRaw(head, sizeof head);
    std::size_t mark = 0;
    encoding_ = EncodingOfMark({head, got}, mark);
    units_ = UnitDecoder(encoding_);
    raw_.assign(head + mark, got - mark);
    // What comes after a mark is not checked: the mark says what the file is.
    if (encoding_ == TextEncoding::Utf8 && !validator_.Feed(raw_)) StartOver();
}

TextFileReader::~TextFileReader() {
    Close();
}

void TextFileReader::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

std::size_t TextFileReader::ReadRaw(char* into, std::size_t want) {
    if (!file_ || atEnd_) return 0;
    std::size_t got = 0;
    while (got < want) {
        errno = 0;
        const std::size_t n = std::fread(into + got, 1, want - got, file_);
        if (n == 0) {
            if (std::ferror(file_)) throw FileError(errno ? errno : EIO, path_, false);
            break;
        }
        got += n;
    }
    bytesRead_ += got;
    return got;
}

void TextFileReader::StartOver() {
    errno = 0;
    if (std::fseek(file_, 0, SEEK_SET) != 0) throw FileError(errno ? errno : EIO, path_, false);
    encoding_ = TextEncoding::Ansi;
    bytesRead_ = 0;
    atEnd_ = finished_ = dropLineFeed_ = false;
    raw_.clear();
    carry_.clear();
    deferred_ = nullptr;
}

void TextFileReader::EndOfFile() {
    atEnd_ = true;
    if (deferred_) return;
    // A file rewritten in place at its size is told by its times.
    if (StampOf(file_, path_) != stamp_) {
        deferred_ = std::make_exception_ptr(
            RuntimeError(err::kDeviceIo, "The file changed while it was read: " + path_));
    } else if (bytesRead_ != stamp_.size) {
        deferred_ = std::make_exception_ptr(RuntimeError(
            err::kDeviceIo,
            "The file does not have the size the system gives for it, as with the files in "
            "/proc and /sys: " +
                path_));
    }
}

TextFileReader::Decoded TextFileReader::Decode(std::string& out, std::size_t want) {
    if (atEnd_) return Decoded::End;
    const std::size_t start = out.size();
    switch (encoding_) {
        case TextEncoding::Utf8:
        case TextEncoding::Utf8Bom: {
            // The bytes are the text: read straight into out.
            out.append(raw_);
            raw_.clear();
            const std::size_t had = out.size();
            out.resize(had + want);
            const std::size_t n = ReadRaw(out.data() + had, want);
            out.resize(had + n);
            if (n == 0) {
                if (encoding_ == TextEncoding::Utf8 && !validator_.Finish())
                    return Decoded::NotUtf8;
                EndOfFile();
                return out.size() > start ? Decoded::Text : Decoded::End;
            }
            if (encoding_ == TextEncoding::Utf8 && !validator_.Feed({out.data() + had, n}))
                return Decoded::NotUtf8;
            const std::size_t tail = UnfinishedUtf8Tail(out);
            raw_.assign(out, out.size() - tail, tail);
            out.resize(out.size() - tail);
            return Decoded::Text;
        }
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE:
        case TextEncoding::Utf32LE:
        case TextEncoding::Utf32BE:
        case TextEncoding::Ansi: {
            const std::size_t had = raw_.size();
            raw_.resize(had + want);
            const std::size_t n = ReadRaw(raw_.data() + had, want);
            raw_.resize(had + n);
            if (encoding_ == TextEncoding::Ansi) {
                raw_.erase(0, DecodeCodePage(raw_, n == 0, codePage_, converted_, out));
            } else {
                DecodeUnits(out);
                if (n == 0) FinishUnits(out);
            }
            if (n == 0) {
                EndOfFile();
                return out.size() > start ? Decoded::Text : Decoded::End;
            }
            return Decoded::Text;
        }
    }
    return Decoded::End;
}

void TextFileReader::DecodeUnits(std::string& out) {
    const std::size_t taken = units_.Decode(raw_, out);
    if (units_.BadUnit()) {
        // No character has this number, so nothing after it can be trusted either.
        deferred_ = std::make_exception_ptr(RuntimeError(
            err::kBadEncoding, "The file holds a value that is not a UTF-32 character at byte " +
                                   std::to_string(bytesRead_ - raw_.size() + taken) + ": " +
                                   path_));
        raw_.clear();
        atEnd_ = true;
        return;
    }
    raw_.erase(0, taken);
}

void TextFileReader::FinishUnits(std::string& out) {
    units_.Finish(out);
    if (!raw_.empty() && !deferred_) {
        deferred_ = std::make_exception_ptr(
            RuntimeError(err::kBadEncoding, std::string("The file ends in the middle of a ") +
                                                (UnitBytes(encoding_) == 2 ? "UTF-16" : "UTF-32") +
                                                " character: " + path_));
    }
    raw_.clear();
}

TextFileReader::Chunk TextFileReader::ReadChunk(std::string& chunk, std::size_t maxBytes,
                                                std::size_t maxCharacters) {
    chunk.clear();
    if (deferred_ && finished_) std::rethrow_exception(std::exchange(deferred_, nullptr));
    if (finished_ || !file_) return Chunk::End;
    chunk.swap(carry_);
    for (;;) {
        if (dropLineFeed_ && !chunk.empty()) {
            chunk.erase(0, LineScanner::RestOfLineEnd(chunk));
            dropLineFeed_ = false;
            continue;
        }
        if (chunk.size() >= maxBytes) break;
        const Decoded decoded = Decode(chunk, maxBytes - chunk.size());
        if (decoded == Decoded::NotUtf8) {
            StartOver();
            chunk.clear();
            return Chunk::Restart;
        }
        if (decoded == Decoded::End) break;
    }
    if (atEnd_) {
        // All that is left of the file is in the chunk.
        finished_ = true;
        if (chunk.empty()) {
            if (deferred_) std::rethrow_exception(std::exchange(deferred_, nullptr));
            return Chunk::End;
        }
        return Chunk::Lines;
    }
    // Keep the last, unfinished line for the next chunk.
    const std::size_t cut = LineScanner::WholeLinesEnd(chunk);
    if (cut > 0) {
        carry_.assign(chunk, cut, std::string::npos);
        chunk.resize(cut);
        return Chunk::Lines;
    }
    return LongLine(chunk, maxBytes, maxCharacters);
}

// One line fills the chunk and goes on: it is scanned piece by piece as it is read, since
// spaces around a phrase may be of any length, and held only as far as the limit needs.
TextFileReader::Chunk TextFileReader::LongLine(std::string& chunk, std::size_t maxBytes,
                                               std::size_t maxCharacters) {
    LineScanner scanner(maxCharacters);
    const char* p = chunk.data();
    const char* end = p + chunk.size();
    std::string_view text;
    LineScanner::Step step = scanner.Next(p, end, false, text);
    while (step == LineScanner::Step::More) {
        piece_.clear();
        Decoded decoded = Decoded::Text;
        while (piece_.empty() && decoded == Decoded::Text) decoded = Decode(piece_, maxBytes);
        if (decoded == Decoded::NotUtf8) {
            StartOver();
            chunk.clear();
            return Chunk::Restart;
        }
        p = piece_.data();
        end = p + piece_.size();
        step = scanner.Next(p, end, atEnd_, text);
    }
    std::string line(text);
    if (step == LineScanner::Step::TooLong) {
        chunk.swap(line);
        finished_ = true;  // refused: nothing after it is read
        deferred_ = nullptr;
        return Chunk::TooLong;
    }
    carry_.assign(p, static_cast<std::size_t>(end - p));
    line.push_back('\n');
    chunk.swap(line);
    dropLineFeed_ = scanner.EndedAtCr();
    if (atEnd_ && carry_.empty()) finished_ = true;
    return Chunk::Lines;
}

}  // namespace ostrel
