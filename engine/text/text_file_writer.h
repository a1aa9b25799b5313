#pragma once
// Writing a text file: the lines go to a temporary file beside the target, which replaces the
// target only once it is complete and flushed; until then an existing target keeps its content.
// A replaced file keeps its permissions and owner (its attributes, security and streams on
// Windows), and a link to it stays a link. Where the folder takes no temporary file, or lets
// none replace the target, the finished result is written over the target in place: from a
// scratch file in the temporary folder, or from the temporary file that could not replace it,
// once its whole size is reserved in the target.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "engine/files/file_system.h"
#include "engine/text/code_page.h"
#include "engine/text/text_codec.h"
#include "engine/text/write_behind.h"

namespace ostrel {

class TextFileWriter {
  public:
    // Lines are gathered in a buffer of this size, and one more while the writer thread writes
    // the last: the memory a save holds, whatever the result's size.
    static constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
    static constexpr std::size_t kRoomBeyondBuffer = 1024;
    static constexpr std::size_t kHeldBytes = 2 * (kBufferBytes + kRoomBeyondBuffer);

    // Creates a temporary file in the folder of the file the path leads to, or throws
    // RuntimeError naming the target and the reason: nothing is created when the target is not
    // a regular file, or not one this user may write.
    TextFileWriter(const std::string& utf8Path, TextEncoding encoding, const CodePage& codePage);
    ~TextFileWriter();  // removes the temporary file unless Commit succeeded
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    // Writes one line followed by CR LF in the file's encoding.
    void WriteLine(std::string_view utf8Text);
    // Flushes, closes and moves the temporary file over the target.
    void Commit();
    // Abandons the temporary file; the target is left as it was.
    void Abandon();

  private:
    void Put(std::string_view bytes);
    void Flush();
    // Writes the finished result, the complete file result, over the target itself.
    void WriteInPlace(std::FILE* result);

    std::string path_;
    SaveTarget target_;
    std::string tempPath_;
    TextEncoding encoding_;
    std::string_view lineEnd_;  // in the encoding
    const CodePage& codePage_;
    std::FILE* file_ = nullptr;
    // The folder takes no temporary file: file_ is a scratch file, written in place at the end.
    bool inPlace_ = false;
    std::string fileName_;  // what errors of file_ name: the target, or the temporary folder
    std::string buffer_;    // its first used_ bytes are the lines not yet handed over
    std::size_t used_ = 0;
    std::uint64_t resultBytes_ = 0;  // handed over so far
    std::string scratch_;
    std::optional<WriteBehind> behind_;  // writes the full buffers to file_
};

}  // namespace ostrel
