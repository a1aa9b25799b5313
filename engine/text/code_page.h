#pragma once
// The system's 8-bit code page, used for files that carry no byte-order mark and are not UTF-8.
// On Windows the window and ostrel-cli pass the ANSI code page; elsewhere Windows-1252 serves.
#include <string>
#include <string_view>

namespace ostrel {

class CodePage {
  public:
    virtual ~CodePage() = default;
    // 8-bit text to UTF-8. Every byte maps to a character, so this cannot fail.
    virtual void ToUtf8(std::string_view bytes, std::string& utf8) const = 0;
    // UTF-8 back to 8-bit text. Returns false when a character has no exact 8-bit form.
    virtual bool FromUtf8(std::string_view utf8, std::string& bytes) const = 0;
};

// Windows-1252, with the five bytes it leaves undefined mapped to the C1 controls of the same
// value, as Windows maps them, so that every byte round-trips.
const CodePage& Windows1252();

}  // namespace ostrel
