#pragma once
// Text files as the engine reads and writes them.
//
// Reading: a line ends at CR, CR LF or a lone LF; a last line with no line end is read like the
// others. A UTF-8 or UTF-16 (little- or big-endian) byte-order mark says what the file is;
// without one, a file that is valid UTF-8 is UTF-8, anything else is 8-bit text in the system
// code page. Lines come back as UTF-8, trimmed of the space character at both ends.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "code_page.h"
#include "text_encoding.h"

namespace ostrel {

class TextFileReader {
  public:
    // Opens the file or throws RuntimeError naming the file and the reason. The encoding is
    // settled before the first line is read.
    TextFileReader(const std::string& utf8Path, const CodePage& codePage);
    ~TextFileReader();
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;

    bool Eof();
    // Reads the next line, trimmed, into text. A trimmed line longer than maxCharacters is not
    // held whole: text then holds more than maxCharacters characters of it (at most a few
    // hundred bytes), which is enough for the caller to refuse it; the rest of that line is
    // passed over without being kept, and only when the caller reads on.
    void ReadLine(std::string& text, std::size_t maxCharacters = 100);
    // Reads on by whole lines into chunk, replacing what it held, up to about maxBytes: for a
    // UTF-8 file the bytes as they stand, line ends included; for any other encoding the lines
    // converted to UTF-8, trimmed and each ended by LF, as ReadLine gives them. A chunk ends
    // at a line end. A line longer than maxBytes makes a chunk of its own, trimmed and ended by
    // LF, and held only as far as ReadLine would hold it. False when nothing is left to read. An
    // error met after some lines of a chunk is raised by the next call, so that the lines
    // before it are handled first, as they would be line by line.
    // Not to be mixed with ReadLine on the same reader.
    bool ReadChunk(std::string& chunk, std::size_t maxBytes, std::size_t maxCharacters);
    std::uint64_t Size() const { return size_; }
    std::uint64_t LineNumber() const { return lineNumber_; }
    TextEncoding Encoding() const { return encoding_; }
    const std::string& Path() const { return path_; }
    void Close();

  private:
    bool FillBuffer();
    void ReadUnits(std::string& text, std::size_t cap);
    // One line of an 8-bit or UTF-8 file, of which head, when given, was read already.
    void ReadBytes(std::string& text, std::size_t cap, std::string_view head = {});
    std::size_t UnitSize() const;            // bytes in one code unit
    unsigned UnitAt(std::size_t pos) const;  // the code unit at a buffer position
    void SkipLineFeed();                     // after a CR: an LF that follows belongs to it
    void SkipRestOfLine();

    std::string path_;
    const CodePage& codePage_;
    std::FILE* file_ = nullptr;
    TextEncoding encoding_ = TextEncoding::Utf8;
    std::unique_ptr<char[]> buffer_;
    std::size_t bufferSize_ = 0;
    std::size_t bufferPos_ = 0;
    bool endOfData_ = false;
    bool skipRest_ = false;  // the last line read was cut short: its rest is still to pass
    std::uint64_t lineNumber_ = 0;
    std::string carry_;            // bytes read past a chunk's last line end, for the next chunk
    std::exception_ptr deferred_;  // met after a chunk's lines: raised with the next chunk
    std::string raw_;         // one line's 8-bit bytes before conversion (code-page files only)
    std::uint64_t size_ = 0;  // of the file, in bytes
};

}  // namespace ostrel
