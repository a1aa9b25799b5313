#include "text_file.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <filesystem>
#include <system_error>

#include "file_system.h"
#include "runtime_error.h"
#include "text_words.h"
#include "utf.h"

namespace ostrel {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

// Four bytes a character is the most any encoding here needs, so a trimmed line longer than
// this has more characters than the limit: no more of a line need be held.
std::size_t HeldBytes(std::size_t maxCharacters) {
    return 4 * (maxCharacters + 1);
}

std::string_view Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

}  // namespace

const char* EncodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return "UTF-8";
        case TextEncoding::Utf8Bom:
            return "UTF-8 with byte-order mark";
        case TextEncoding::Utf16LE:
            return "UTF-16 little-endian";
        case TextEncoding::Utf16BE:
            return "UTF-16 big-endian";
        case TextEncoding::Utf32LE:
            return "UTF-32 little-endian";
        case TextEncoding::Utf32BE:
            return "UTF-32 big-endian";
        case TextEncoding::Ansi:
            return "the system code page";
    }
    return "";
}

// ---- Reading ----

TextFileReader::TextFileReader(const std::string& utf8Path, const CodePage& codePage)
    : path_(utf8Path), codePage_(codePage), buffer_(new char[kBufferSize]) {
    std::error_code ec;
    if (fs::is_directory(NativePath(path_), ec))
        throw RuntimeError(err::kPermissionDenied, "This is a folder, not a file: " + path_);
    errno = 0;
    file_ = OpenFile(path_, false);
    if (!file_) throw FileError(errno ? errno : ENOENT, path_, false);
    {
        std::error_code sizeError;
        const auto size = fs::file_size(NativePath(path_), sizeError);
        size_ = sizeError ? 0 : static_cast<std::uint64_t>(size);
    }

    // The byte-order mark, if any, says what the file is.
    unsigned char head[3] = {};
    const std::size_t got = std::fread(head, 1, 3, file_);
    std::size_t skip = 0;
    if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
        encoding_ = TextEncoding::Utf8Bom, skip = 3;
    } else if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
        encoding_ = TextEncoding::Utf16LE, skip = 2;
    } else if (got >= 2 && head[0] == 0xFE && head[1] == 0xFF) {
        encoding_ = TextEncoding::Utf16BE, skip = 2;
    } else {
        // No mark: UTF-8 if the whole file is valid UTF-8, else the system code page.
        std::rewind(file_);
        Utf8Validator validator;
        std::size_t n;
        while ((n = std::fread(buffer_.get(), 1, kBufferSize, file_)) > 0)
            if (!validator.Feed({buffer_.get(), n})) break;
        if (std::ferror(file_)) throw FileError(errno ? errno : EIO, path_, false);
        encoding_ = validator.Finish() ? TextEncoding::Utf8 : TextEncoding::Ansi;
    }
    if (std::fseek(file_, static_cast<long>(skip), SEEK_SET) != 0)
        throw FileError(errno ? errno : EIO, path_, false);
}

TextFileReader::~TextFileReader() {
    Close();
}

void TextFileReader::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool TextFileReader::FillBuffer() {
    if (endOfData_ || !file_) return false;
    // Keep a lone trailing byte of a UTF-16 unit with the next read.
    std::size_t keep = bufferSize_ - bufferPos_;
    if (keep > 0) std::memmove(buffer_.get(), buffer_.get() + bufferPos_, keep);
    const std::size_t n = std::fread(buffer_.get() + keep, 1, kBufferSize - keep, file_);
    if (n == 0) {
        if (std::ferror(file_)) throw FileError(errno ? errno : EIO, path_, false);
        endOfData_ = true;
        bufferPos_ = 0, bufferSize_ = keep;
        return false;
    }
    bufferPos_ = 0, bufferSize_ = keep + n;
    return true;
}

std::size_t TextFileReader::UnitSize() const {
    return encoding_ == TextEncoding::Utf16LE || encoding_ == TextEncoding::Utf16BE ? 2 : 1;
}

unsigned TextFileReader::UnitAt(std::size_t pos) const {
    const auto a = static_cast<unsigned char>(buffer_[pos]);
    if (UnitSize() == 1) return a;
    const auto b = static_cast<unsigned char>(buffer_[pos + 1]);
    return encoding_ == TextEncoding::Utf16BE ? (a << 8) | b : (b << 8) | a;
}

void TextFileReader::SkipLineFeed() {
    const std::size_t unit = UnitSize();
    if (bufferSize_ - bufferPos_ < unit) FillBuffer();
    if (bufferSize_ - bufferPos_ >= unit && UnitAt(bufferPos_) == '\n') bufferPos_ += unit;
}

void TextFileReader::SkipRestOfLine() {
    skipRest_ = false;
    const std::size_t unit = UnitSize();
    for (;;) {
        if (bufferSize_ - bufferPos_ < unit && !FillBuffer()) return;
        if (bufferSize_ - bufferPos_ < unit) return;
        const unsigned u = UnitAt(bufferPos_);
        bufferPos_ += unit;
        if (u == '\n') return;
        if (u == '\r') return SkipLineFeed();
    }
}

bool TextFileReader::Eof() {
    if (!file_) return true;
    if (skipRest_) SkipRestOfLine();
    const std::size_t unit = UnitSize();
    while (bufferSize_ - bufferPos_ < unit) {
        if (!FillBuffer()) break;
    }
    if (bufferSize_ - bufferPos_ >= unit) return false;
    if (bufferSize_ - bufferPos_ != 0)
        throw RuntimeError(err::kBadEncoding,
                           "The file ends in the middle of a UTF-16 character: " + path_);
    return true;
}

namespace {

// Collects one line's text, trimmed of spaces, without holding more than a cap of it: a line
// longer than the cap is refused by the caller anyway, and may be any size on disk.
class LineCollector {
  public:
    LineCollector(std::string& out, std::size_t cap) : out_(out), cap_(cap) { out_.clear(); }

    // Adds a run of characters (already UTF-8, or 8-bit bytes) that holds no line end.
    void Add(std::string_view s) {
        if (full_) return;
        if (out_.empty()) {
            // Leading spaces are dropped; spaces already pending were leading too.
            std::size_t i = 0;
            while (i < s.size() && s[i] == ' ') ++i;
            s.remove_prefix(i);
            pendingSpaces_ = 0;
            if (s.empty()) return;
        }
        std::size_t last = s.find_last_not_of(' ');
        if (last == std::string_view::npos) {
            pendingSpaces_ += s.size();
            return;
        }
        if (pendingSpaces_ > 0) {
            if (out_.size() + pendingSpaces_ > cap_) return Overflow();
            out_.append(pendingSpaces_, ' ');
            pendingSpaces_ = 0;
        }
        if (out_.size() + last + 1 > cap_) {
            out_.append(s.substr(0, cap_ + 1 - std::min(cap_ + 1, out_.size())));
            return Overflow();
        }
        out_.append(s.substr(0, last + 1));
        pendingSpaces_ = s.size() - last - 1;
    }
    bool Full() const { return full_; }

  private:
    void Overflow() {
        full_ = true;
        if (out_.size() <= cap_) out_.append(cap_ + 1 - out_.size(), ' ');
    }
    std::string& out_;
    std::size_t cap_;
    std::size_t pendingSpaces_ = 0;
    bool full_ = false;
};

}  // namespace

void TextFileReader::ReadLine(std::string& text, std::size_t maxCharacters) {
    if (Eof()) throw RuntimeError(err::kInputPastEnd, "Input past end of file: " + path_);
    ++lineNumber_;
    const std::size_t cap = HeldBytes(maxCharacters);
    if (encoding_ == TextEncoding::Utf16LE || encoding_ == TextEncoding::Utf16BE)
        return ReadUnits(text, cap);

    ReadBytes(text, cap);
}

bool TextFileReader::ReadChunk(std::string& chunk, std::size_t maxBytes,
                               std::size_t maxCharacters) {
    chunk.clear();
    if (deferred_) std::rethrow_exception(std::exchange(deferred_, nullptr));
    if (encoding_ != TextEncoding::Utf8 && encoding_ != TextEncoding::Utf8Bom) {
        std::string line;
        try {
            while (chunk.size() < maxBytes && !Eof()) {
                ReadLine(line, maxCharacters);
                chunk.append(line).push_back('\n');
            }
        } catch (const RuntimeError&) {
            if (chunk.empty()) throw;
            deferred_ = std::current_exception();
        }
        return !chunk.empty();
    }
    if (!file_) return false;
    if (skipRest_) SkipRestOfLine();
    chunk.assign(carry_);  // into the chunk's own buffer, which is reused from chunk to chunk
    carry_.clear();
    chunk.append(buffer_.get() + bufferPos_, bufferSize_ - bufferPos_);
    bufferPos_ = bufferSize_ = 0;
    bool atEnd = endOfData_;
    if (!atEnd && chunk.size() < maxBytes) {
        const std::size_t had = chunk.size();
        chunk.resize(maxBytes);
        std::size_t got = 0;
        while (had + got < maxBytes) {
            const std::size_t n =
                std::fread(chunk.data() + had + got, 1, maxBytes - had - got, file_);
            if (n == 0) {
                if (std::ferror(file_)) throw FileError(errno ? errno : EIO, path_, false);
                atEnd = endOfData_ = true;
                break;
            }
            got += n;
        }
        chunk.resize(had + got);
    }
    if (!atEnd) {
        // Keep the last, unfinished line for the next chunk. A CR at the very end stays too:
        // an LF after it belongs to the same line end.
        std::size_t cut = chunk.size();
        if (cut > 0 && chunk[cut - 1] == '\r') --cut;
        while (cut > 0 && chunk[cut - 1] != '\n' && chunk[cut - 1] != '\r') --cut;
        if (cut > 0) {
            carry_.assign(chunk, cut, std::string::npos);
            chunk.resize(cut);
        } else if (chunk.back() == '\r') {
            SkipLineFeed();  // one line, ended by this CR alone: an LF after it belongs to it
        } else {
            // One line fills the chunk and goes on. It is read to its end as ReadLine reads it,
            // trimmed and held only as far as the limit needs, since spaces around a phrase may
            // be any length; the chunk becomes that one line.
            std::string line;
            ReadBytes(line, HeldBytes(maxCharacters), chunk);
            chunk.assign(line).push_back('\n');
        }
    }
    return !chunk.empty();
}

void TextFileReader::ReadBytes(std::string& text, std::size_t cap, std::string_view head) {
    const bool ansi = encoding_ == TextEncoding::Ansi;
    std::string& target = ansi ? raw_ : text;
    LineCollector line(target, cap);
    line.Add(head);
    bool direct = head.empty();  // the whole line lies in the buffer: no collecting needed
    for (;;) {
        if (line.Full()) {
            skipRest_ = true;  // refused anyway: the rest is passed over only if asked for
            break;
        }
        if (bufferPos_ == bufferSize_ && !FillBuffer()) break;  // a last line with no line end
        const char* begin = buffer_.get() + bufferPos_;
        const char* end = buffer_.get() + bufferSize_;
        const char* p = FindLineEnd(begin, end);
        if (p == end) {
            line.Add({begin, static_cast<std::size_t>(p - begin)});
            direct = false;
            bufferPos_ = bufferSize_;
            continue;
        }
        if (direct) {
            const std::string_view t = Trim({begin, static_cast<std::size_t>(p - begin)});
            target.assign(t.substr(0, std::min(t.size(), cap + 1)));
        } else {
            line.Add({begin, static_cast<std::size_t>(p - begin)});
        }
        bufferPos_ = static_cast<std::size_t>(p - buffer_.get()) + 1;
        if (*p == '\r') SkipLineFeed();
        break;
    }
    if (ansi) codePage_.ToUtf8(raw_, text);
}

void TextFileReader::ReadUnits(std::string& text, std::size_t cap) {
    std::string& chunk = raw_;
    chunk.clear();
    LineCollector line(text, cap);
    char16_t highSurrogate = 0;
    auto flushSurrogate = [&] {
        if (highSurrogate) AppendUtf8(highSurrogate, chunk);
        highSurrogate = 0;
    };
    for (;;) {
        if (bufferSize_ - bufferPos_ < 2 && !FillBuffer()) break;
        if (bufferSize_ - bufferPos_ < 2) break;
        const auto u = static_cast<char16_t>(UnitAt(bufferPos_));
        if (u == u'\n' || u == u'\r') {
            bufferPos_ += 2;
            if (u == u'\r') SkipLineFeed();
            break;
        }
        bufferPos_ += 2;
        if (u >= 0xD800 && u <= 0xDBFF) {
            flushSurrogate();
            highSurrogate = u;
            continue;
        }
        if (u >= 0xDC00 && u <= 0xDFFF && highSurrogate) {
            AppendUtf8(0x10000 + ((char32_t(highSurrogate) - 0xD800) << 10) + (u - 0xDC00), chunk);
            highSurrogate = 0;
        } else {
            flushSurrogate();
            AppendUtf8(u, chunk);
        }
        if (chunk.size() >= 4096) {
            line.Add(chunk);
            chunk.clear();
            if (line.Full()) {
                skipRest_ = true;
                return;
            }
        }
    }
    flushSurrogate();
    line.Add(chunk);
}

}  // namespace ostrel
