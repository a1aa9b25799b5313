#pragma once
// Reading a keyword list: its encoding, its bytes decoded to UTF-8, and chunks of whole lines.
//
// A UTF-8, UTF-16 or UTF-32 byte-order mark (little- or big-endian) says what the file is
// (engine/text/text_codec.h). Without one the file is read as UTF-8 from the start, so that its
// lines come from the first chunk on, whatever its size; at the first byte that is not UTF-8,
// reading starts again from the beginning in the system's 8-bit code page, and what came
// before that byte is read twice.
//
// Only regular files are read: a device, pipe or socket is refused before anything is read
// from it. A file whose size or times at the end are not those of the start changed while it
// was read, and is refused, as is one that does not have the size the system gives for it.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "engine/files/file_system.h"
#include "engine/text/code_page.h"
#include "engine/text/line_scanner.h"
#include "engine/text/text_codec.h"
#include "engine/text/utf.h"

namespace ostrel {

class TextFileReader {
  public:
    // Opens the file or throws RuntimeError naming the file and the reason.
    TextFileReader(const std::string& utf8Path, const CodePage& codePage);
    ~TextFileReader();
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;

    enum class Chunk {
        Lines,    // chunk holds the next lines
        TooLong,  // the next line is longer than the limit: chunk holds its first limit + 1
                  // characters, and nothing after them is read
        End,      // nothing is left to read
        Restart,  // the file is not UTF-8 after all: drop every line read so far; reading
                  // starts again from the beginning, in the code page
    };

    // Reads on by whole lines into chunk, replacing what it held, up to about maxBytes: the
    // file's text decoded to UTF-8, line ends and spaces as they stand, ending at a line end
    // (a CR LF is never split between two chunks) or at the end of the file. A line longer
    // than a chunk is read through a LineScanner as it comes and becomes a chunk of its own,
    // its trimmed text ended by LF, or TooLong. A failure met after some lines is raised by the
    // next call, so the lines before it are handled first, as they would be line by line.
    Chunk ReadChunk(std::string& chunk, std::size_t maxBytes, std::size_t maxCharacters);

    std::uint64_t Size() const { return stamp_.size; }  // of the file when it was opened, in bytes
    std::uint64_t BytesRead() const { return bytesRead_; }  // of the file so far
    TextEncoding Encoding() const { return encoding_; }
    const std::string& Path() const { return path_; }
    void Close();

  private:
    enum class Decoded { Text, End, NotUtf8 };
    // Appends the decoded text of about the next want bytes of the file to out, ending on a
    // whole character.
    Decoded Decode(std::string& out, std::size_t want);
    std::size_t ReadRaw(char* into, std::size_t want);
    void DecodeUnits(std::string& out);
    void FinishUnits(std::string& out);
    void StartOver();
    Chunk LongLine(std::string& chunk, std::size_t maxBytes, std::size_t maxCharacters);
    void EndOfFile();

    std::string path_;
    const CodePage& codePage_;
    std::FILE* file_ = nullptr;
    FileStamp stamp_;  // when it was opened
    std::uint64_t bytesRead_ = 0;
    TextEncoding encoding_ = TextEncoding::Utf8;
    bool atEnd_ = false;         // the file has been read to its end
    bool finished_ = false;      // nothing more is to be read
    bool dropLineFeed_ = false;  // the last line ended with a CR: an LF next belongs to it
    Utf8Validator validator_;
    std::string raw_;                        // bytes read and not decoded yet
    std::string converted_;                  // scratch for the code page's conversion
    UnitDecoder units_{TextEncoding::Utf8};  // for UTF-16 and UTF-32
    std::string carry_;            // text after a chunk's last line end, for the next chunk
    std::string piece_;            // the next part of a line longer than a chunk
    std::exception_ptr deferred_;  // met after a chunk's lines: raised by the next call
};

}  // namespace ostrel
