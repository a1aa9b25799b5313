#include "engine/text_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "engine/file_system.h"
#include "engine/runtime_error.h"

namespace ostrel {
namespace fs = std::filesystem;

namespace {

// Bytes at the end of UTF-8 text that begin a character not yet complete.
std::size_t UnfinishedTail(std::string_view text) {
    const std::size_t n = text.size();
    for (std::size_t back = 1; back <= 4 && back <= n; ++back) {
        const auto b = static_cast<unsigned char>(text[n - back]);
        if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        return Utf8SequenceLength(b) > back ? back : 0;
    }
    return 0;
}

// Where 8-bit text may be cut: after a byte below 0x40, which no code page uses as part of a
// two-byte character (spaces, digits, line ends). 0 when there is none.
std::size_t CodePageCut(std::string_view bytes) {
    for (std::size_t i = bytes.size(); i > 0; --i)
        if (static_cast<unsigned char>(bytes[i - 1]) < 0x40) return i;
    return 0;
}

}  // namespace

TextFileReader::TextFileReader(const std::string& utf8Path, const CodePage& codePage)
    : path_(utf8Path), codePage_(codePage) {
    file_ = OpenRegularFileForReading(path_, size_);

    // The byte-order mark, if any, says what the file is.
    char head[4] = {};
    const std::size_t got = ReadRaw(head, sizeof head);
    const auto b = [&](std::size_t i) {
        return i < got ? static_cast<unsigned char>(head[i]) : -1;
    };
    std::size_t mark = 0;  // bytes of the byte-order mark
    if (b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
        encoding_ = TextEncoding::Utf8Bom, mark = 3;
    } else if (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0) {
        encoding_ = TextEncoding::Utf32LE, mark = 4;
    } else if (b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF) {
        encoding_ = TextEncoding::Utf32BE, mark = 4;
    } else if (b(0) == 0xFF && b(1) == 0xFE) {
        encoding_ = TextEncoding::Utf16LE, mark = 2;
    } else if (b(0) == 0xFE && b(1) == 0xFF) {
        encoding_ = TextEncoding::Utf16BE, mark = 2;
    }
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
    if (bytesRead_ != size_ && !deferred_)
        deferred_ = std::make_exception_ptr(
            RuntimeError(err::kDeviceIo, "The file changed while it was read: " + path_));
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
            const std::size_t tail = UnfinishedTail(out);
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
                DecodeCodePage(n == 0, out);
            } else {
                const bool utf16 =
                    encoding_ == TextEncoding::Utf16LE || encoding_ == TextEncoding::Utf16BE;
                DecodeUnits(utf16 ? 2 : 4, out);
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

void TextFileReader::DecodeUnits(std::size_t unitSize, std::string& out) {
    const bool big = encoding_ == TextEncoding::Utf16BE || encoding_ == TextEncoding::Utf32BE;
    const auto* s = reinterpret_cast<const unsigned char*>(raw_.data());
    const std::size_t n = raw_.size();
    std::size_t i = 0;
    for (; i + unitSize <= n; i += unitSize) {
        char32_t u = 0;
        for (std::size_t k = 0; k < unitSize; ++k)
            u |= char32_t{s[i + k]} << (8 * (big ? unitSize - 1 - k : k));
        if (unitSize == 4) {
            if (u > 0x10FFFF) {
                // No character has this number, so nothing after it can be trusted either.
                deferred_ = std::make_exception_ptr(
                    RuntimeError(err::kBadEncoding,
                                 "The file holds a value that is not a UTF-32 character at byte " +
                                     std::to_string(bytesRead_ - n + i) + ": " + path_));
                raw_.clear();
                atEnd_ = true;
                return;
            }
            AppendUtf8(u, out);  // a surrogate stays as it is, so that it is written back so
            continue;
        }
        if (highSurrogate_) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                AppendUtf8(0x10000 + ((char32_t{highSurrogate_} - 0xD800) << 10) + (u - 0xDC00),
                           out);
                highSurrogate_ = 0;
                continue;
            }
            AppendUtf8(highSurrogate_, out);  // unpaired: kept alone, written back alone
            highSurrogate_ = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            highSurrogate_ = static_cast<char16_t>(u);
        else
            AppendUtf8(u, out);
    }
    raw_.erase(0, i);
}

void TextFileReader::FinishUnits(std::string& out) {
    if (highSurrogate_) AppendUtf8(highSurrogate_, out);
    highSurrogate_ = 0;
    if (!raw_.empty() && !deferred_) {
        const bool utf16 = encoding_ == TextEncoding::Utf16LE || encoding_ == TextEncoding::Utf16BE;
        deferred_ = std::make_exception_ptr(RuntimeError(
            err::kBadEncoding, std::string("The file ends in the middle of a ") +
                                   (utf16 ? "UTF-16" : "UTF-32") + " character: " + path_));
    }
    raw_.clear();
}

void TextFileReader::DecodeCodePage(bool atEnd, std::string& out) {
    // A run this long with no space or line end in it is no phrase; it need not wait for the
    // rest of its character.
    constexpr std::size_t kLongestUncut = std::size_t{64} << 10;
    std::size_t cut = atEnd ? raw_.size() : CodePageCut(raw_);
    if (cut == 0 && raw_.size() >= kLongestUncut) cut = raw_.size();
    if (cut == 0) return;
    codePage_.ToUtf8(std::string_view(raw_).substr(0, cut), converted_);
    out.append(converted_);
    raw_.erase(0, cut);
}

TextFileReader::Chunk TextFileReader::ReadChunk(std::string& chunk, std::size_t maxBytes,
                                                std::size_t maxCharacters) {
    chunk.clear();
    if (deferred_ && finished_) std::rethrow_exception(std::exchange(deferred_, nullptr));
    if (finished_ || !file_) return Chunk::End;
    chunk.swap(carry_);
    for (;;) {
        if (dropLineFeed_ && !chunk.empty()) {
            if (chunk.front() == '\n') chunk.erase(0, 1);
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
    // Keep the last, unfinished line for the next chunk. A CR at the very end stays too: an LF
    // after it belongs to the same line end.
    std::size_t cut = chunk.size();
    if (chunk[cut - 1] == '\r') --cut;
    while (cut > 0 && chunk[cut - 1] != '\n' && chunk[cut - 1] != '\r') --cut;
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
